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
// At an early logon the shell may not take the icon yet: it is offered again every 2 s for 2 minutes.
const UINT kTrayRetryMs = 2000;
const int kTrayRetries = 60;

const wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t kRunValue[] = L"Brisko";
// The longest path Windows gives a module, terminator included.
const size_t kLongestPath = 32768;

// The program's own full path, whatever its letters and length; empty when it cannot be had whole.
std::wstring ProgramPath()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, &path[0], (DWORD)path.size());
        if (length == 0)
            return std::wstring();
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        if (path.size() >= kLongestPath)
            return std::wstring();
        path.resize(path.size() * 2);
    }
}

bool WriteRunValue(const ScopedKey& key, const std::wstring& data)
{
    return ::RegSetValueExW(key.get(), kRunValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                            (DWORD)((data.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool SetRunValue(HKEY root, const std::wstring& data)
{
    ScopedKey key;
    // A new profile may have no Run key of its own yet.
    return key.Open(::RegCreateKeyW, root, kRunKey) == ERROR_SUCCESS && WriteRunValue(key, data);
}

void DeleteRunValue(HKEY root)
{
    ScopedKey key;
    if (key.Open(::RegOpenKeyW, root, kRunKey) == ERROR_SUCCESS)
        ::RegDeleteValueW(key.get(), kRunValue);
}

// Whether the hive's entry starts this program at the next logon.
bool RunValueStarts(HKEY root, const std::wstring& path)
{
    DWORD size = 0;
    if (::RegGetValueW(root, kRunKey, kRunValue, RRF_RT_REG_SZ, nullptr, nullptr, &size) != ERROR_SUCCESS)
        return false;
    std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
    size = (DWORD)(data.size() * sizeof(wchar_t));
    return ::RegGetValueW(root, kRunKey, kRunValue, RRF_RT_REG_SZ, nullptr, &data[0], &size) == ERROR_SUCCESS &&
           EntryStartsProgram(data.c_str(), path);
}

struct OwnedSearch {
    HWND owner, found;
};

BOOL CALLBACK FindEnabledOwned(HWND hWnd, LPARAM lParam)
{
    OwnedSearch* search = reinterpret_cast<OwnedSearch*>(lParam);
    if (::GetWindow(hWnd, GW_OWNER) != search->owner || !::IsWindowVisible(hWnd) || !::IsWindowEnabled(hWnd))
        return TRUE;
    search->found = hWnd;
    return FALSE;
}

// The window that takes the user's input: the main window, or the box of ours open over it (the About
// box), which disables it.
HWND InputWindow(HWND main)
{
    OwnedSearch search = {main, main};
    if (!::IsWindowEnabled(main))
        ::EnumThreadWindows(::GetCurrentThreadId(), FindEnabledOwned, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

} // namespace

UINT TaskbarCreatedMessage()
{
    static const UINT message = ::RegisterWindowMessageA("TaskbarCreated");
    return message;
}

BOOL(WINAPI* CBriskoDlg::s_pfnShellNotifyIconA)(DWORD dwMessage, PNOTIFYICONDATAA lpData) = ::Shell_NotifyIconA;

void CBriskoDlg::OnTimer(UINT_PTR nIDEvent)
{
    if (nIDEvent == ID_TIMER_HIDE) {
        OnHide();
        KillTimer(ID_TIMER_HIDE);
    } else if (nIDEvent == ID_TIMER_AUTOCLEAR) {
        if (m_bAutoClear)
            StartRun();
    } else if (nIDEvent == ID_TIMER_TRAYRETRY) {
        if (--m_nTrayRetriesLeft <= 0)
            KillTimer(ID_TIMER_TRAYRETRY);
        AddTrayIcon();
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
    if (m_bClosing)
        return;
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
    // A shell that still shows the icon (it announces a new task bar on other occasions too) refuses
    // a second one and takes the update.
    if (s_pfnShellNotifyIconA(NIM_ADD, &nid) || s_pfnShellNotifyIconA(NIM_MODIFY, &nid)) {
        KillTimer(ID_TIMER_TRAYRETRY);
        m_nTrayRetriesLeft = 0;
    } else if (m_nTrayRetriesLeft == 0) {
        m_nTrayRetriesLeft = kTrayRetries;
        SetTimer(ID_TIMER_TRAYRETRY, kTrayRetryMs);
    }
}

LRESULT CBriskoDlg::OnTaskbarCreated(WPARAM, LPARAM)
{
    // Explorer restarted and knows no icon of ours.
    AddTrayIcon();
    return 0;
}

LRESULT CBriskoDlg::OnTrayNotify(WPARAM wParam, LPARAM lParam)
{
    // A second start asks through this message too: a Brisko that is going away says so, and the start
    // waits for it to end instead of handing over to it.
    if (m_bClosing)
        return 0;
    if (wParam == ID_TRAYICON && lParam == WM_LBUTTONDOWN) {
        // A second start's press can come before the hidden start's tick, which must not undo it.
        KillTimer(ID_TIMER_HIDE);
        ShowWindow(IsIconic() ? SW_RESTORE : SW_SHOW);
        if (!::SetForegroundWindow(InputWindow(m_hWnd))) {
            FLASHWINFO flash = {sizeof flash, m_hWnd, FLASHW_ALL | FLASHW_TIMERNOFG, 0, 0};
            ::FlashWindowEx(&flash);
        }
    }
    return 1;
}

void CBriskoDlg::RemoveTrayIcon()
{
    KillTimer(ID_TIMER_TRAYRETRY);
    NOTIFYICONDATAA nid = {};
    nid.cbSize = kTrayRecordSize;
    nid.hWnd = m_hWnd;
    nid.uID = ID_TRAYICON;
    s_pfnShellNotifyIconA(NIM_DELETE, &nid);
    // The task bar may still show the icon until it repaints.
    ::SendMessageA(::FindWindowA("Shell_TrayWnd", nullptr), WM_PAINT, 0, 0);
}

void CBriskoDlg::OnAutoStart()
{
    UpdateData(TRUE);
    const std::wstring path = ProgramPath();
    if (!m_bAutoStart) {
        DeleteRunValue(HKEY_LOCAL_MACHINE);
        DeleteRunValue(HKEY_CURRENT_USER);
    } else if (!path.empty()) {
        // Only an elevated administrator may write the machine's entry, and that key is not
        // virtualised; the user's own Run key starts the same command line at their logon. One of
        // the two, or Brisko starts twice.
        if (SetRunValue(HKEY_LOCAL_MACHINE, StartupEntryData(path)) || RunValueStarts(HKEY_LOCAL_MACHINE, path))
            DeleteRunValue(HKEY_CURRENT_USER);
        else
            SetRunValue(HKEY_CURRENT_USER, StartupEntryData(path));
    }
    // The box shows what the next logon will do, whatever this user was allowed to change.
    m_bAutoStart =
        !path.empty() && (RunValueStarts(HKEY_LOCAL_MACHINE, path) || RunValueStarts(HKEY_CURRENT_USER, path));
    ::CheckDlgButton(m_hWnd, IDC_AUTOSTART, m_bAutoStart ? BST_CHECKED : BST_UNCHECKED);
}
