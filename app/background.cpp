// Unattended operation: the auto-clear and hide timers, the tray icon and the start-up entry.
#include "app/brisko_dlg.h"

#include "app/dialog_rules.h"
#include "framework/scoped_win.h"

#include <shellapi.h>

#include <string>

namespace {

// The tray record in the layout with a 128-byte tip, whatever size the headers' struct has.
const DWORD kTrayRecordSize = NOTIFYICONDATAA_V2_SIZE;
static_assert(sizeof(void*) != 4 || NOTIFYICONDATAA_V2_SIZE == 488, "the tray record is 488 bytes on 32-bit Windows");

const char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kRunValue[] = "Brisko";

bool WriteRunValue(const ScopedKey& key, const std::string& data)
{
    return ::RegSetValueExA(key.get(), kRunValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                            (DWORD)data.size() + 1) == ERROR_SUCCESS;
}

// Whether the machine's Run key holds the entry: written now, or already there (whatever the case of
// its letters) where this user may not write it.
bool MachineHoldsRunValue(const std::string& data)
{
    ScopedKey key;
    if (key.Open(::RegOpenKeyA, HKEY_LOCAL_MACHINE, kRunKey) != ERROR_SUCCESS)
        return false;
    if (WriteRunValue(key, data))
        return true;
    char held[2 * kStartupPathLimit] = "";
    DWORD size = sizeof held - 1, type = 0;
    return ::RegQueryValueExA(key.get(), kRunValue, nullptr, &type, reinterpret_cast<BYTE*>(held), &size) ==
               ERROR_SUCCESS &&
           type == REG_SZ && ::lstrcmpiA(held, data.c_str()) == 0;
}

void SetUserRunValue(const std::string& data)
{
    ScopedKey key;
    // A new profile may have no Run key of its own yet.
    if (key.Open(::RegCreateKeyA, HKEY_CURRENT_USER, kRunKey) == ERROR_SUCCESS)
        WriteRunValue(key, data);
}

void DeleteRunValue(HKEY root)
{
    ScopedKey key;
    if (key.Open(::RegOpenKeyA, root, kRunKey) == ERROR_SUCCESS)
        ::RegDeleteValueA(key.get(), kRunValue);
}

} // namespace

void CBriskoDlg::OnTimer(UINT_PTR nIDEvent)
{
    if (nIDEvent == ID_TIMER_HIDE) {
        OnHide();
        KillTimer(ID_TIMER_HIDE);
    } else if (nIDEvent == ID_TIMER_AUTOCLEAR) {
        if (m_bAutoClear)
            RunClean();
    }
    CDialog::OnTimer(nIDEvent);
}

void CBriskoDlg::OnSelchangeMinutes()
{
    UpdateData(TRUE);
    KillTimer(ID_TIMER_AUTOCLEAR);
    UINT period;
    if (MinutesToPeriod(m_strMinutes.c_str(), period))
        SetTimer(ID_TIMER_AUTOCLEAR, period);
}

void CBriskoDlg::AddTrayIcon()
{
    NOTIFYICONDATAA nid = {};
    nid.cbSize = kTrayRecordSize;
    nid.hWnd = m_hWnd;
    nid.uID = ID_TRAYICON;
    nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    nid.uCallbackMessage = WM_TRAYNOTIFY;
    // The shell keeps its own copy of the picture, so ours goes when the icon is in.
    ScopedIcon icon((HICON)::LoadImageA(AfxGetInstanceHandle(), MAKEINTRESOURCEA(IDR_MAINFRAME), IMAGE_ICON, 16, 16,
                                        LR_DEFAULTCOLOR));
    nid.hIcon = icon.get();
    char caption[200] = "";
    ::GetWindowTextA(m_hWnd, caption, sizeof caption);
    ::lstrcpynA(nid.szTip, caption, sizeof nid.szTip);
    ::Shell_NotifyIconA(NIM_ADD, &nid);
}

LRESULT CBriskoDlg::OnTrayNotify(WPARAM wParam, LPARAM lParam)
{
    if (wParam == ID_TRAYICON && lParam == WM_LBUTTONDOWN) {
        // A second start's press can come before the hidden start's tick, which must not undo it.
        KillTimer(ID_TIMER_HIDE);
        ShowWindow(SW_SHOW);
        ::SetForegroundWindow(m_hWnd);
    }
    return 0;
}

void CBriskoDlg::RemoveTrayIcon()
{
    NOTIFYICONDATAA nid = {};
    nid.cbSize = kTrayRecordSize;
    nid.hWnd = m_hWnd;
    nid.uID = ID_TRAYICON;
    ::Shell_NotifyIconA(NIM_DELETE, &nid);
    // The task bar may still show the icon until it repaints.
    ::SendMessageA(::FindWindowA("Shell_TrayWnd", nullptr), WM_PAINT, 0, 0);
}

void CBriskoDlg::OnAutoStart()
{
    UpdateData(TRUE);
    char path[kStartupPathLimit];
    DWORD length = ::GetModuleFileNameA(nullptr, path, kStartupPathLimit);
    std::string data;
    bool whole = StartupEntryData(path, length, kStartupPathLimit, data);

    if (!m_bAutoStart) {
        DeleteRunValue(HKEY_LOCAL_MACHINE);
        DeleteRunValue(HKEY_CURRENT_USER);
    } else if (whole) {
        // Only an elevated administrator may write the machine's entry, and that key is not
        // virtualised; the user's own Run key starts the same command line at their logon. One of
        // the two, or Brisko starts twice.
        if (MachineHoldsRunValue(data))
            DeleteRunValue(HKEY_CURRENT_USER);
        else
            SetUserRunValue(data);
    }
}
