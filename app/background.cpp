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

// The start-up entry under the hive's Run key; false when the key cannot be opened or written.
bool SetRunValue(HKEY root, const std::string& data)
{
    HKEY hKey = nullptr;
    // A new profile may have no Run key of its own yet.
    LONG opened =
        root == HKEY_CURRENT_USER ? ::RegCreateKeyA(root, kRunKey, &hKey) : ::RegOpenKeyA(root, kRunKey, &hKey);
    if (opened != ERROR_SUCCESS)
        return false;
    ScopedKey key(hKey);
    return ::RegSetValueExA(key.get(), kRunValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                            (DWORD)data.size() + 1) == ERROR_SUCCESS;
}

void DeleteRunValue(HKEY root)
{
    HKEY hKey = nullptr;
    if (::RegOpenKeyA(root, kRunKey, &hKey) == ERROR_SUCCESS) {
        ScopedKey key(hKey);
        ::RegDeleteValueA(key.get(), kRunValue);
    }
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
    } else if (whole && !SetRunValue(HKEY_LOCAL_MACHINE, data)) {
        // Only an elevated administrator may write the machine's entry, and that key is not
        // virtualised; the user's own Run key starts the same command line at their logon.
        SetRunValue(HKEY_CURRENT_USER, data);
    }
}
