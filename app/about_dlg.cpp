// The About box has no handlers of its own: OK and Escape end it through the framework.
#include "app/about_dlg.h"

BEGIN_MESSAGE_MAP(CAboutDlg, CDialog)
END_MESSAGE_MAP()
