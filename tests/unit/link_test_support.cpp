// The link tests' dialog, tool log, .htm association and message-box catcher.
#include "link_test_support.h"

#include <fstream>
#include <sstream>

BEGIN_MESSAGE_MAP(CLinkTestDlg, CDialog)
    ON_MESSAGE(WM_APP, OnNextStep)
END_MESSAGE_MAP()

BOOL CLinkTestDlg::OnInitDialog()
{
    for (int id : {IDC_L_CENTER, IDC_L_RIGHT, IDC_L_LEFT, IDC_L_CENTERIMAGE})
        m_templateRects[id] = ItemRect(id);
    if (m_beforeAttach)
        m_beforeAttach(*this);
    CDialog::OnInitDialog();
    // The window shows after this returns; painting steps need it visible.
    ::PostMessageA(m_hWnd, WM_APP, 0, 0);
    return TRUE;
}

CRect CLinkTestDlg::ItemRect(int id) const
{
    CRect rect;
    ::GetWindowRect(GetDlgItem(id), &rect);
    ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

void CLinkTestDlg::DoDataExchange(CDataExchange* pDX)
{
    DDX_Control(pDX, IDC_L_CENTER, m_center);
    DDX_Control(pDX, IDC_L_RIGHT, m_right);
    DDX_Control(pDX, IDC_L_LEFT, m_left);
    DDX_Control(pDX, IDC_L_CENTERIMAGE, m_centerImage);
}

LRESULT CLinkTestDlg::OnNextStep(WPARAM, LPARAM)
{
    if (m_nextStep < m_steps.size())
        m_steps[m_nextStep++](*this);
    if (m_nextStep < m_steps.size())
        ::PostMessageA(m_hWnd, WM_APP, 0, 0);
    else
        EndDialog(IDOK);
    return 0;
}

INT_PTR RunLinkDialog(CLinkTestDlg& dlg, std::vector<LinkStep> steps)
{
    dlg.m_steps = std::move(steps);
    return dlg.DoModal();
}

LinkColours ColoursOf(CLinkTestDlg& dlg, const CLinkStatic& link)
{
    HDC dc = ::GetDC(dlg.m_hWnd);
    ::SetTextColor(dc, RGB(1, 2, 3));
    ::SetBkMode(dc, OPAQUE);
    LRESULT brush =
        dlg.SendMessage(WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(link.m_hWnd));
    LinkColours colours = {::GetTextColor(dc), ::GetBkMode(dc), reinterpret_cast<HBRUSH>(brush)};
    ::ReleaseDC(dlg.m_hWnd, dc);
    return colours;
}

std::string ToolPath()
{
    char path[MAX_PATH];
    DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string tool(path, length);
    return tool.substr(0, tool.find_last_of('\\') + 1) + "link_tool.exe";
}

ToolLog::ToolLog()
{
    char temp[MAX_PATH];
    DWORD length = ::GetTempPathA(MAX_PATH, temp);
    m_path = std::string(temp, length) + "brisko-link-tool.log";
    ::SetEnvironmentVariableA("BRISKO_LINK_LOG", m_path.c_str());
    Clear();
}

ToolLog::~ToolLog()
{
    Clear();
    ::SetEnvironmentVariableA("BRISKO_LINK_LOG", nullptr);
}

void ToolLog::Clear() const { ::DeleteFileA(m_path.c_str()); }

std::string ToolLog::Wait(DWORD timeoutMs) const
{
    for (DWORD waited = 0; waited <= timeoutMs; waited += 50) {
        std::ifstream file(m_path, std::ios::binary);
        if (file) {
            std::ostringstream text;
            text << file.rdbuf();
            return text.str();
        }
        ::Sleep(50);
    }
    return std::string();
}

const char HtmAssociation::kTypeName[] = "BriskoLinkTest.Document";

HtmAssociation::HtmAssociation(const std::string& command, const std::string& typeName) : m_typeName(typeName)
{
    Remove();
    ::RegSetValueA(HKEY_CLASSES_ROOT, ".htm", REG_SZ, typeName.c_str(), (DWORD)typeName.size());
    std::string commandKey = typeName + "\\shell\\open\\command";
    ::RegSetValueA(HKEY_CLASSES_ROOT, commandKey.c_str(), REG_SZ, command.c_str(), (DWORD)command.size());
}

HtmAssociation::~HtmAssociation() { Remove(); }

void HtmAssociation::Remove() const
{
    ::RegDeleteTreeA(HKEY_CLASSES_ROOT, ".htm");
    ::RegDeleteKeyA(HKEY_CLASSES_ROOT, ".htm");
    ::RegDeleteTreeA(HKEY_CLASSES_ROOT, m_typeName.c_str());
    ::RegDeleteKeyA(HKEY_CLASSES_ROOT, m_typeName.c_str());
}

namespace {

MessageBoxCatcher* g_pCatcher = nullptr;

// A message box is a dialog of this thread that no framework object owns.
BOOL CALLBACK CatchBox(HWND hWnd, LPARAM)
{
    char className[16] = "";
    ::GetClassNameA(hWnd, className, sizeof className);
    if (std::string(className) != "#32770" || CWnd::FromHandlePermanent(hWnd) != nullptr || !::IsWindowVisible(hWnd))
        return TRUE;
    MessageBoxCatcher::Box box = {"", "", false};
    char text[1024] = "";
    ::GetWindowTextA(hWnd, text, sizeof text);
    box.title = text;
    HICON exclamation = ::LoadIconA(nullptr, MAKEINTRESOURCEA(32515) /* IDI_EXCLAMATION */);
    for (HWND child = ::GetWindow(hWnd, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
        ::GetClassNameA(child, className, sizeof className);
        if (std::string(className) != "Static")
            continue;
        if ((::GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
            box.exclamation = box.exclamation || (HICON)::SendMessageA(child, STM_GETICON, 0, 0) == exclamation;
        else if (::GetWindowTextA(child, text, sizeof text) > 0)
            box.text = text;
    }
    g_pCatcher->m_boxes.push_back(box);
    ::PostMessageA(hWnd, WM_COMMAND, IDOK, 0);
    return FALSE;
}

} // namespace

MessageBoxCatcher::MessageBoxCatcher()
{
    g_pCatcher = this;
    m_timer = ::SetTimer(nullptr, 0, 50, OnTimer);
}

MessageBoxCatcher::~MessageBoxCatcher()
{
    ::KillTimer(nullptr, m_timer);
    g_pCatcher = nullptr;
}

void CALLBACK MessageBoxCatcher::OnTimer(HWND, UINT, UINT_PTR, DWORD)
{
    if (g_pCatcher != nullptr)
        ::EnumThreadWindows(::GetCurrentThreadId(), CatchBox, 0);
}
