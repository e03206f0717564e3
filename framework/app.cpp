// The application object, the program's entry point and the framework's message box.
#include "framework/afxwin.h"

namespace {

CWinApp* g_pApp = nullptr;

// Text after the last path separator and before the extension.
CString ModuleBaseName(HINSTANCE hInstance)
{
    char path[MAX_PATH];
    DWORD length = ::GetModuleFileNameA(hInstance, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return CString();
    CString name(path, length);
    size_t slash = name.find_last_of("\\/");
    if (slash != CString::npos)
        name.erase(0, slash + 1);
    size_t dot = name.rfind('.');
    if (dot != CString::npos)
        name.erase(dot);
    return name;
}

} // namespace

BEGIN_MESSAGE_MAP(CWinApp, CCmdTarget)
    ON_COMMAND(57670 /* ID_HELP */, OnHelp)
END_MESSAGE_MAP()

CWinApp::CWinApp(const char* pszAppName)
{
    if (pszAppName != nullptr)
        m_strAppName = pszAppName;
    g_pApp = this;
}

CWinApp::~CWinApp()
{
    if (g_pApp == this)
        g_pApp = nullptr;
}

HICON CWinApp::LoadIcon(UINT nIDResource) const { return ::LoadIconA(m_hInstance, MAKEINTRESOURCEA(nIDResource)); }

void CWinApp::OnHelp()
{
    // The help file is named after the program: Brisko.exe has Brisko.hlp beside it.
    char path[MAX_PATH];
    DWORD length = ::GetModuleFileNameA(m_hInstance, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH - 4)
        return;
    CString help(path, length);
    size_t dot = help.rfind('.');
    if (dot != CString::npos && help.find_first_of("\\/", dot) == CString::npos)
        help.erase(dot);
    help += ".hlp";
    ::WinHelpA(m_pMainWnd ? m_pMainWnd->m_hWnd : nullptr, help.c_str(), HELP_FINDER, 0);
}

bool CWinApp::OnCmdMsg(UINT nCode, UINT nID)
{
    const AFX_MSGMAP_ENTRY* entry = FindEntry(WM_COMMAND, nCode, nID, false);
    if (entry == nullptr)
        return false;
    entry->pfn(this, MAKEWPARAM(nID, nCode), 0);
    return true;
}

CWinApp* AfxGetApp() { return g_pApp; }

HINSTANCE AfxGetInstanceHandle()
{
    return g_pApp != nullptr && g_pApp->m_hInstance != nullptr ? g_pApp->m_hInstance : ::GetModuleHandleA(nullptr);
}

const char* AfxSkipProgramName(const char* cmdLine)
{
    const char* p = cmdLine ? cmdLine : "";
    if (*p == '"') {
        ++p;
        while (*p != '\0' && *p != '"')
            ++p;
        if (*p == '"')
            ++p;
    } else {
        while (*p != '\0' && *p != ' ' && *p != '\t')
            ++p;
    }
    while (*p == ' ' || *p == '\t')
        ++p;
    return p;
}

int AfxWinMain(HINSTANCE hInstance, const char* lpCmdLine)
{
    CWinApp* pApp = AfxGetApp();
    if (pApp == nullptr)
        return 1;
    pApp->m_hInstance = hInstance;
    pApp->m_lpCmdLine = lpCmdLine;
    if (pApp->m_strAppName.empty())
        pApp->m_strAppName = ModuleBaseName(hInstance);
    // No message pump of our own: the application's work is done when InitInstance returns.
    pApp->InitInstance();
    return pApp->ExitInstance();
}

int AfxMessageBox(const char* text, UINT nType, UINT)
{
    CWinApp* pApp = AfxGetApp();
    HWND hOwner = nullptr;
    if (pApp != nullptr && pApp->m_pMainWnd != nullptr && pApp->m_pMainWnd->IsWindow())
        hOwner = ::GetLastActivePopup(pApp->m_pMainWnd->m_hWnd);
    const char* title = pApp != nullptr && !pApp->m_strAppName.empty() ? pApp->m_strAppName.c_str() : nullptr;
    return ::MessageBoxA(hOwner, text, title, nType);
}
