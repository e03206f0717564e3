// The application object: runs the main dialog once, then lets the process end.
#include "app/brisko_dlg.h"
#include "framework/scoped_win.h"

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

BOOL CBriskoApp::InitInstance()
{
    Enable3dControls();
    ScopedComInit com;
    CBriskoDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;
    // No message pump of the application's own: the program ends with its dialog.
    return FALSE;
}
