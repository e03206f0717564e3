// The application object: one Brisko per session; it runs the main dialog once, then lets the process end.
#include "app/brisko_dlg.h"
#include "app/dialog_rules.h"
#include "framework/scoped_win.h"

#include <cstring>

class CBriskoApp : public CWinApp {
    DECLARE_MESSAGE_MAP()

public:
    CBriskoApp() : CWinApp(nullptr) {}
    BOOL InitInstance() override;
};

BEGIN_MESSAGE_MAP(CBriskoApp, CWinApp)
    ON_COMMAND(57670 /* ID_HELP */, OnHelp)
END_MESSAGE_MAP()

CBriskoApp theApp;

namespace {

// In the session's namespace: one Brisko per logged-on user, however many users the machine has.
const char kInstanceMutex[] = "Local\\Brisko.Instance";
// The running Brisko holds the mutex a little before its window exists.
const DWORD kWindowWaitMs = 10000;

// The running Brisko's main window: the unowned dialog "Brisko" with a "Clear Now" button, not its
// About box, its message box or another program's window. Read without sending: it may be busy.
HWND FindMainWindow()
{
    for (HWND hWnd = nullptr; (hWnd = ::FindWindowExA(nullptr, hWnd, "#32770", "Brisko")) != nullptr;) {
        char button[16] = "";
        ::GetWindowTextA(::GetDlgItem(hWnd, IDC_CLEARNOW), button, sizeof button);
        if (::GetWindow(hWnd, GW_OWNER) == nullptr && std::strcmp(button, "Clear Now") == 0)
            return hWnd;
    }
    return nullptr;
}

// As a left press on its tray icon does. Posted, so that this start ends at once even while the
// running Brisko cleans; it shows itself when the run is over.
void ShowRunningBrisko()
{
    HWND hWnd = nullptr;
    for (DWORD waited = 0; (hWnd = FindMainWindow()) == nullptr && waited < kWindowWaitMs; waited += 50)
        ::Sleep(50);
    if (hWnd == nullptr)
        return;
    DWORD processId = 0;
    ::GetWindowThreadProcessId(hWnd, &processId);
    // The user started this process, so it may hand the running one the right to come forward.
    ::AllowSetForegroundWindow(processId);
    ::PostMessageA(hWnd, WM_TRAYNOTIFY, ID_TRAYICON, WM_LBUTTONDOWN);
}

} // namespace

BOOL CBriskoApp::InitInstance()
{
    Enable3dControls();
    // Held while this Brisko lives: a second one would keep its own timers, icon and settings, and the
    // last to close would overwrite the other's. Where no mutex can be made, Brisko runs all the same.
    ScopedFile instance(::CreateMutexA(nullptr, FALSE, kInstanceMutex));
    if (instance && ::GetLastError() == ERROR_ALREADY_EXISTS) {
        if (!IsHiddenStart(m_lpCmdLine))
            ShowRunningBrisko();
        return FALSE;
    }
    ScopedComInit com;
    CBriskoDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;
    // No message pump of the application's own: the program ends with its dialog.
    return FALSE;
}
