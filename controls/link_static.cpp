// The hyperlink control: attach, fit to text, link cursor, colours, hover and the tooltip.
#include "controls/link_static.h"

#include <cstring>

namespace {

const COLORREF kUnvisitedColour = RGB(0, 0, 238);
const COLORREF kVisitedColour = RGB(85, 26, 139);
const UINT_PTR kToolId = 1;
const WORD kLinkCursorId = 106;

// A window's device context, released on every path.
class WindowDC {
public:
    explicit WindowDC(HWND hWnd) : m_hWnd(hWnd), m_hDC(::GetDC(hWnd)) {}
    ~WindowDC()
    {
        if (m_hDC != nullptr)
            ::ReleaseDC(m_hWnd, m_hDC);
    }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    operator HDC() const { return m_hDC; }

private:
    HWND m_hWnd;
    HDC m_hDC;
};

// A font selected into a context for one scope; the previous font goes back.
class FontSelection {
public:
    FontSelection(HDC hDC, HFONT hFont) : m_hDC(hDC), m_hOld(hFont ? ::SelectObject(hDC, hFont) : nullptr) {}
    ~FontSelection()
    {
        if (m_hOld != nullptr)
            ::SelectObject(m_hDC, m_hOld);
    }
    FontSelection(const FontSelection&) = delete;
    FontSelection& operator=(const FontSelection&) = delete;

private:
    HDC m_hDC;
    HGDIOBJ m_hOld;
};

class LoadedLibrary {
public:
    explicit LoadedLibrary(const char* path) : m_hModule(::LoadLibraryA(path)) {}
    ~LoadedLibrary()
    {
        if (m_hModule != nullptr)
            ::FreeLibrary(m_hModule);
    }
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;
    operator HMODULE() const { return m_hModule; }

private:
    HMODULE m_hModule;
};

// The font the link copies: the control's, else its dialog's, else the system's GUI font.
HFONT BaseFont(HWND hWnd)
{
    HFONT hFont = reinterpret_cast<HFONT>(::SendMessageA(hWnd, WM_GETFONT, 0, 0));
    HWND hParent = ::GetParent(hWnd);
    if (hFont == nullptr && hParent != nullptr)
        hFont = reinterpret_cast<HFONT>(::SendMessageA(hParent, WM_GETFONT, 0, 0));
    if (hFont == nullptr)
        hFont = static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
    return hFont;
}

void Redraw(HWND hWnd) { ::RedrawWindow(hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW); }

} // namespace

const char* CLinkStatic::s_pszHelpProgram = "\\winhlp32.exe";

CRect FitLinkRect(const CRect& rect, SIZE text, DWORD style)
{
    // Integer division truncates toward zero: an odd slack leaves the window one pixel wider.
    CRect fitted = rect;
    if (style & SS_CENTERIMAGE)
        ::InflateRect(&fitted, 0, -((fitted.Height() - text.cy) / 2));
    else
        fitted.bottom = fitted.top + text.cy;
    if (style & SS_CENTER)
        ::InflateRect(&fitted, -((fitted.Width() - text.cx) / 2), 0);
    else if (style & SS_RIGHT)
        fitted.left = fitted.right - text.cx;
    else
        fitted.right = fitted.left + text.cx;
    return fitted;
}

BEGIN_MESSAGE_MAP(CLinkStatic, CStatic)
    ON_CONTROL_REFLECT(STN_CLICKED, OnClicked)
    ON_WM_CTLCOLOR_REFLECT()
    ON_WM_SETCURSOR()
    ON_WM_MOUSEMOVE()
END_MESSAGE_MAP()

CLinkStatic::CLinkStatic()
    : m_crUnvisited(kUnvisitedColour),
      m_crVisited(kVisitedColour),
      m_crHover(::GetSysColor(COLOR_HIGHLIGHT)),
      m_bHover(FALSE),
      m_bVisited(FALSE),
      m_bUnderline(TRUE),
      m_bAutoSize(TRUE),
      m_hLinkCursor(nullptr)
{
}

CLinkStatic::~CLinkStatic()
{
    m_fontLink.DeleteObject();
    if (m_hLinkCursor != nullptr)
        ::DestroyCursor(m_hLinkCursor);
}

void CLinkStatic::PreSubclassWindow()
{
    // Without SS_NOTIFY a static control reports no clicks.
    ::SetWindowLongA(m_hWnd, GWL_STYLE, (LONG)(GetStyle() | SS_NOTIFY));
    if (m_strUrl.empty())
        GetWindowText(m_strUrl);

    LOGFONTA lf;
    if (::GetObjectA(BaseFont(m_hWnd), sizeof lf, &lf) == sizeof lf) {
        lf.lfUnderline = (BYTE)m_bUnderline;
        if (m_fontLink.CreateFontIndirect(&lf))
            SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(m_fontLink.m_hObject), TRUE);
    }

    FitToText();
    LoadLinkCursor();

    CRect client;
    GetClientRect(&client);
    if (m_toolTip.Create(this, 0))
        m_toolTip.AddTool(this, m_strUrl.c_str(), &client, kToolId);

    CStatic::PreSubclassWindow();
}

void CLinkStatic::FitToText()
{
    if (!IsWindow() || !m_bAutoSize)
        return;

    CRect rect;
    GetWindowRect(&rect);
    if (HWND hParent = GetParent()) {
        POINT corners[2] = {{rect.left, rect.top}, {rect.right, rect.bottom}};
        ::ScreenToClient(hParent, &corners[0]);
        ::ScreenToClient(hParent, &corners[1]);
        rect = CRect(corners[0].x, corners[0].y, corners[1].x, corners[1].y);
    }

    CString text;
    GetWindowText(text);
    SIZE extent = {0, 0};
    {
        WindowDC dc(m_hWnd);
        if (dc == nullptr)
            return;
        FontSelection selection(dc, m_fontLink);
        ::GetTextExtentPoint32A(dc, text.c_str(), (int)text.size(), &extent);
    }

    CRect fitted = FitLinkRect(rect, extent, GetStyle());
    ::SetWindowPos(m_hWnd, nullptr, fitted.left, fitted.top, fitted.Width(), fitted.Height(), SWP_NOZORDER);
}

void CLinkStatic::LoadLinkCursor()
{
    if (m_hLinkCursor != nullptr)
        return;

    char path[MAX_PATH];
    UINT length = ::GetWindowsDirectoryA(path, MAX_PATH);
    size_t nameLength = std::strlen(s_pszHelpProgram);
    if (length == 0 || length + nameLength >= MAX_PATH)
        return;
    std::memcpy(path + length, s_pszHelpProgram, nameLength + 1);

    LoadedLibrary help(path);
    if (help == nullptr)
        return;
    // The library's cursor dies with the library; the copy is the control's own.
    if (HCURSOR hCursor = ::LoadCursorA(help, MAKEINTRESOURCEA(kLinkCursorId)))
        m_hLinkCursor = reinterpret_cast<HCURSOR>(::CopyIcon(reinterpret_cast<HICON>(hCursor)));
}

HBRUSH CLinkStatic::CtlColor(CDC* pDC, UINT)
{
    pDC->SetTextColor(m_bHover ? m_crHover : m_bVisited ? m_crVisited : m_crUnvisited);
    pDC->SetBkMode(TRANSPARENT);
    return static_cast<HBRUSH>(::GetStockObject(NULL_BRUSH));
}

void CLinkStatic::OnMouseMove(UINT nFlags, CPoint point)
{
    CStatic::OnMouseMove(nFlags, point);
    if (m_bHover) {
        CRect client;
        GetClientRect(&client);
        if (!::PtInRect(&client, point)) {
            m_bHover = FALSE;
            ::ReleaseCapture();
            Redraw(m_hWnd);
        }
    } else {
        // The capture is what lets the control see the move that leaves it.
        m_bHover = TRUE;
        Redraw(m_hWnd);
        ::SetCapture(m_hWnd);
    }
}

BOOL CLinkStatic::OnSetCursor(CWnd*, UINT, UINT)
{
    if (m_hLinkCursor == nullptr)
        return FALSE;
    ::SetCursor(m_hLinkCursor);
    return TRUE;
}

BOOL CLinkStatic::PreTranslateMessage(MSG* pMsg)
{
    // The tool does not subclass the control: the tooltip sees the mouse only through this relay.
    m_toolTip.RelayEvent(pMsg);
    return CStatic::PreTranslateMessage(pMsg);
}

void CLinkStatic::SetVisited(BOOL bVisited)
{
    m_bVisited = bVisited;
    if (IsWindow())
        ::InvalidateRect(m_hWnd, nullptr, TRUE);
}
