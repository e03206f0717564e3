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
const UINT kRepaintMs = 1000;

const wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t kRunValue[] = L"Brisko";
// Where a virtualised write of the 32-bit machine entry lands: the user's VirtualStore. Windows' list
// of keys exempt from virtualisation does not name the 32-bit view of the Run key.
const wchar_t kVirtualRunKey[] =
    L"Software\\Classes\\VirtualStore\\MACHINE\\SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run";
// The shell's start-up switch (Task Manager, Settings), in the 64-bit view: "Run" for the user's and
// the 64-bit machine entry, "Run32" for the 32-bit machine entry.
const wchar_t kApprovedKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";
const wchar_t kApprovedKey32[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run32";
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

bool SetRunValue(HKEY root, const std::wstring& data)
{
    ScopedKey key;
    // A new profile may have no Run key of its own yet.
    return key.Open(::RegCreateKeyW, root, kRunKey) == ERROR_SUCCESS &&
           ::RegSetValueExW(key.get(), kRunValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                            (DWORD)((data.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

// The value in the program's own registry view, or in the 64-bit view where the shell keeps its keys.
void DeleteRunValue(HKEY root, const wchar_t* key = kRunKey, REGSAM view = 0)
{
    ScopedKey opened;
    if (opened.Open(::RegOpenKeyExW, root, key, 0, KEY_SET_VALUE | view) == ERROR_SUCCESS)
        ::RegDeleteValueW(opened.get(), kRunValue);
}

// Whether the hive's entry names this program.
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

// The machine entry's mark: "Run32" where the 32-bit view is apart (64-bit Windows), else "Run".
const wchar_t* MachineApprovedKey()
{
    BOOL wow64 = FALSE;
    return ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64 ? kApprovedKey32 : kApprovedKey;
}

// The shell marks an entry it will not start with an odd first byte (02 enabled, 03 disabled); no
// mark at all is an entry never switched.
bool MarkedDisabled(HKEY root, const wchar_t* key)
{
    ScopedKey opened;
    BYTE mark[12] = {};
    DWORD type = 0, size = sizeof mark;
    if (opened.Open(::RegOpenKeyExW, root, key, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY) != ERROR_SUCCESS)
        return false;
    const LONG result = ::RegQueryValueExW(opened.get(), kRunValue, nullptr, &type, mark, &size);
    return (result == ERROR_SUCCESS || result == ERROR_MORE_DATA) && type == REG_BINARY && size > 0 &&
           (mark[0] & 1) != 0;
}

// Whether the user's VirtualStore holds a Brisko value for the machine's entry.
bool VirtualValueLeft()
{
    ScopedKey opened;
    return opened.Open(::RegOpenKeyExW, HKEY_CURRENT_USER, kVirtualRunKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY) ==
               ERROR_SUCCESS &&
           ::RegQueryValueExW(opened.get(), kRunValue, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

// Clears a "disabled" mark where this user may; false when the entry stays switched off.
bool ClearDisabledMark(HKEY root, const wchar_t* key)
{
    if (MarkedDisabled(root, key))
        DeleteRunValue(root, key, KEY_WOW64_64KEY);
    return !MarkedDisabled(root, key);
}

// Whether this process's writes under HKEY_LOCAL_MACHINE may land in the user's VirtualStore; a
// token that cannot be asked counts as virtualised.
bool RegistryVirtualised()
{
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
        return true;
    ScopedFile owned(token);
    DWORD enabled = 1, size = 0;
    return !CBriskoDlg::s_pfnGetTokenInformation(token, TokenVirtualizationEnabled, &enabled, sizeof enabled, &size) ||
           enabled != 0;
}

// Whether the machine's entry starts Brisko at the next logon. Where writes are virtualised, reads
// merge the VirtualStore too: the value read is the real one only when no virtual one is left.
bool MachineEntryStarts(const std::wstring& path, bool virtualised)
{
    return (!virtualised || !VirtualValueLeft()) && RunValueStarts(HKEY_LOCAL_MACHINE, path) &&
           !MarkedDisabled(HKEY_LOCAL_MACHINE, MachineApprovedKey());
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
BOOL(WINAPI* CBriskoDlg::s_pfnGetTokenInformation)
(HANDLE hToken, TOKEN_INFORMATION_CLASS infoClass, LPVOID lpInfo, DWORD cbInfo,
 PDWORD pcbReturned) = ::GetTokenInformation;

void CBriskoDlg::OnTimer(UINT_PTR nIDEvent)
{
    if (nIDEvent == ID_TIMER_HIDE) {
        OnHide();
        KillTimer(ID_TIMER_HIDE);
    } else if (nIDEvent == ID_TIMER_AUTOCLEAR) {
        if (m_bAutoClear)
            StartRun();
    } else if (nIDEvent == ID_TIMER_TRAYRETRY) {
        // Two minutes of offers, then only a new task bar's announcement starts them again.
        if (OfferTrayIcon() || --m_nTrayRetriesLeft <= 0) {
            KillTimer(ID_TIMER_TRAYRETRY);
            m_nTrayRetriesLeft = 0;
        }
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

bool CBriskoDlg::OfferTrayIcon()
{
    if (m_bClosing)
        return true;
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
    return s_pfnShellNotifyIconA(NIM_ADD, &nid) || s_pfnShellNotifyIconA(NIM_MODIFY, &nid);
}

void CBriskoDlg::AddTrayIcon()
{
    if (OfferTrayIcon()) {
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
    // The task bar may still show the icon until it repaints; a hung shell must not hang Brisko.
    DWORD_PTR result = 0;
    ::SendMessageTimeoutA(::FindWindowA("Shell_TrayWnd", nullptr), WM_PAINT, 0, 0, SMTO_ABORTIFHUNG, kRepaintMs,
                          &result);
}

void CBriskoDlg::OnAutoStart()
{
    UpdateData(TRUE);
    const std::wstring path = ProgramPath();
    // A virtual value (a build that trusted a virtualised write left it) deceives every later read.
    DeleteRunValue(HKEY_CURRENT_USER, kVirtualRunKey, KEY_WOW64_64KEY);
    const bool virtualised = RegistryVirtualised();
    if (!m_bAutoStart) {
        if (!virtualised)
            DeleteRunValue(HKEY_LOCAL_MACHINE);
        DeleteRunValue(HKEY_CURRENT_USER);
    } else if (!path.empty()) {
        // The machine's entry only where the write is real (elevated, or virtualisation off), or where
        // one already starts Brisko and is switched on; else the user's own entry. One of the two, or
        // Brisko starts twice.
        if (!virtualised && SetRunValue(HKEY_LOCAL_MACHINE, StartupEntryData(path)))
            ClearDisabledMark(HKEY_LOCAL_MACHINE, MachineApprovedKey());
        if (MachineEntryStarts(path, virtualised)) {
            DeleteRunValue(HKEY_CURRENT_USER);
        } else {
            SetRunValue(HKEY_CURRENT_USER, StartupEntryData(path));
            ClearDisabledMark(HKEY_CURRENT_USER, kApprovedKey);
        }
    }
    // The box shows what the next logon will do, whatever this user was allowed to change.
    m_bAutoStart = !path.empty() &&
                   (MachineEntryStarts(path, virtualised) ||
                    (RunValueStarts(HKEY_CURRENT_USER, path) && !MarkedDisabled(HKEY_CURRENT_USER, kApprovedKey)));
    ::CheckDlgButton(m_hWnd, IDC_AUTOSTART, m_bAutoStart ? BST_CHECKED : BST_UNCHECKED);
}
