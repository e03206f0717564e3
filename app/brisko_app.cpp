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

// In the session's namespace: one Brisko per logged-on user, however many users the machine has. The
// name stays, so that every version of Brisko sees the others.
const char kInstanceMutex[] = "Local\\Brisko.Instance";
// How long a start looks for the running Brisko's window (it holds the mutex a little before the
// window exists), and how long it waits for a closing one to end (a busy shell or disk can hold a
// close for longer).
const DWORD kHandOverMs = 5000;
const DWORD kCloseWaitMs = 30000;
// How long the running Brisko has to answer before it counts as busy with a run.
const DWORD kAnswerMs = 2000;
const DWORD kPollMs = 50;

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

enum class Answer { Taken, Going, NoWindow };

// Asks the running Brisko to come forward as a left press on its icon does (a hidden start only asks
// whether it stays). Taken when it took the request, or is busy with a run and gets it posted for
// later; Going, with its process, when it is closing.
Answer HandOver(bool show, DWORD& processId)
{
    HWND hWnd = FindMainWindow();
    if (hWnd == nullptr)
        return Answer::NoWindow;
    ::GetWindowThreadProcessId(hWnd, &processId);
    // The user started this process, so it may hand the running one the right to come forward.
    ::AllowSetForegroundWindow(processId);
    const LPARAM press = show ? WM_LBUTTONDOWN : WM_MOUSEMOVE;
    DWORD_PTR staying = 0;
    if (::SendMessageTimeoutA(hWnd, WM_TRAYNOTIFY, ID_TRAYICON, press, SMTO_NORMAL, kAnswerMs, &staying))
        return staying != 0 ? Answer::Taken : Answer::Going;
    if (::GetLastError() != ERROR_TIMEOUT)
        return Answer::NoWindow;
    ::PostMessageA(hWnd, WM_TRAYNOTIFY, ID_TRAYICON, press);
    return Answer::Taken;
}

} // namespace

BOOL CBriskoApp::InitInstance()
{
    Enable3dControls();
    // Held while this Brisko lives: a second one would keep its own timers, icon and settings, and the
    // last to close would overwrite the other's. A mutex that exists, or that this user may not open
    // (an elevated Brisko's), is another Brisko's; a closing one is waited for, so that this start
    // then runs as the only one. Where the name is another kind of object, Brisko runs all the same.
    const DWORD started = ::GetTickCount();
    DWORD patience = kHandOverMs;
    ScopedFile instance;
    for (;;) {
        instance = ScopedFile(::CreateMutexA(nullptr, FALSE, kInstanceMutex));
        const DWORD error = ::GetLastError();
        if (instance ? error != ERROR_ALREADY_EXISTS : error != ERROR_ACCESS_DENIED)
            break;
        instance = ScopedFile(); // the closing Brisko's mutex goes with its last handle
        DWORD closing = 0;
        const Answer answer = HandOver(!IsHiddenStart(m_lpCmdLine), closing);
        if (answer == Answer::Going)
            patience = kCloseWaitMs;
        const DWORD waited = ::GetTickCount() - started;
        if (answer == Answer::Taken || waited >= patience)
            return FALSE;
        // An elevated Brisko's process may not be opened: then the mutex is polled.
        ScopedFile process(answer == Answer::Going ? ::OpenProcess(SYNCHRONIZE, FALSE, closing) : nullptr);
        if (process)
            ::WaitForSingleObject(process.get(), patience - waited);
        else
            ::Sleep(kPollMs);
    }
    ScopedComInit com;
    CBriskoDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;
    // No message pump of the application's own: the program ends with its dialog.
    return FALSE;
}
