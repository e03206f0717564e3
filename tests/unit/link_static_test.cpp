// The hyperlink control in a dialog of its own: attach, fitting, colours, hover, cursor, tooltip.
#include "link_test_support.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

const char kAddress[] = "http://www.example.com/brisko/";

// Watches a window from a subclass of the test's own: paints (with who holds the capture then)
// and the loss of the capture, in the order they happen.
class EventRecorder {
public:
    explicit EventRecorder(HWND hWnd) : m_hWnd(hWnd) { ::SetWindowSubclass(hWnd, Proc, 77, (DWORD_PTR)this); }
    ~EventRecorder() { ::RemoveWindowSubclass(m_hWnd, Proc, 77); }
    EventRecorder(const EventRecorder&) = delete;
    EventRecorder& operator=(const EventRecorder&) = delete;

    std::vector<std::string> m_events;

private:
    static LRESULT CALLBACK Proc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR self)
    {
        auto* recorder = reinterpret_cast<EventRecorder*>(self);
        if (message == WM_PAINT)
            recorder->m_events.push_back(::GetCapture() == hWnd ? "paint while captured" : "paint");
        else if (message == WM_CAPTURECHANGED)
            recorder->m_events.push_back("capture released");
        return ::DefSubclassProc(hWnd, message, wParam, lParam);
    }
    HWND m_hWnd;
};

LPARAM Point(int x, int y) { return MAKELPARAM(x, y); }

LOGFONTA FontOf(HWND hWnd)
{
    LOGFONTA lf = {};
    ::GetObjectA(reinterpret_cast<HFONT>(::SendMessageA(hWnd, WM_GETFONT, 0, 0)), sizeof lf, &lf);
    return lf;
}

SIZE TextExtent(HWND hWnd)
{
    char text[256] = "";
    int length = ::GetWindowTextA(hWnd, text, sizeof text);
    HDC dc = ::GetDC(hWnd);
    HGDIOBJ old = ::SelectObject(dc, (HGDIOBJ)::SendMessageA(hWnd, WM_GETFONT, 0, 0));
    SIZE extent = {};
    ::GetTextExtentPoint32A(dc, text, length, &extent);
    ::SelectObject(dc, old);
    ::ReleaseDC(hWnd, dc);
    return extent;
}

// Points the cursor lookup at a program of the test's own for one test.
class HelpProgram {
public:
    explicit HelpProgram(const char* name) : m_saved(CLinkStatic::s_pszHelpProgram)
    {
        CLinkStatic::s_pszHelpProgram = name;
    }
    ~HelpProgram() { CLinkStatic::s_pszHelpProgram = m_saved; }
    HelpProgram(const HelpProgram&) = delete;
    HelpProgram& operator=(const HelpProgram&) = delete;

private:
    const char* m_saved;
};

std::string WindowsDirectory()
{
    char path[MAX_PATH];
    UINT length = ::GetWindowsDirectoryA(path, MAX_PATH);
    return std::string(path, length);
}

} // namespace

TEST(FitLinkRect, AlignmentBitsDecideWhichEdgesMoveWithTruncatingHalves)
{
    struct Case {
        CRect rect;
        SIZE text;
        DWORD style;
        CRect fitted;
    } cases[] = {
        // Slack 49: each side in by 24, one wider than the text.
        {CRect(10, 20, 160, 40), {101, 13}, SS_CENTER, CRect(34, 20, 136, 33)},
        // Slack -31: d = -(-31 / 2) = 15 out on each side, one narrower than the text.
        {CRect(10, 20, 110, 40), {131, 13}, SS_CENTER | SS_NOTIFY, CRect(-5, 20, 125, 33)},
        {CRect(10, 20, 160, 40), {101, 13}, SS_RIGHT, CRect(59, 20, 160, 33)},
        {CRect(10, 20, 160, 40), {101, 13}, SS_LEFT | SS_NOTIFY, CRect(10, 20, 111, 33)},
        // Vertical slack 27: in by 13 each side; slack -7: out by 3.
        {CRect(0, 20, 100, 60), {50, 13}, SS_CENTERIMAGE, CRect(0, 33, 50, 47)},
        {CRect(0, 20, 100, 26), {50, 13}, SS_CENTERIMAGE | SS_CENTER, CRect(25, 17, 75, 29)},
    };
    for (const Case& c : cases) {
        CRect fitted = FitLinkRect(c.rect, c.text, c.style);
        EXPECT_TRUE(::EqualRect(&c.fitted, &fitted))
            << c.style << ": " << fitted.left << "," << fitted.top << "," << fitted.right << "," << fitted.bottom;
    }
}

TEST(Attach, ControlReportsClicksTakesItsTextAsAddressTooltipAndUnderlinedFont)
{
    CLinkTestDlg dlg;
    RunLinkDialog(dlg, {[](CLinkTestDlg& d) {
                      HWND link = d.m_center.m_hWnd;
                      EXPECT_EQ((DWORD)(SS_CENTER | SS_NOTIFY),
                                d.m_center.GetStyle() & (SS_TYPEMASK | SS_NOTIFY | SS_CENTERIMAGE));
                      EXPECT_EQ(kAddress, d.m_center.m_strUrl);
                      char text[256] = "";
                      ::GetWindowTextA(link, text, sizeof text);
                      EXPECT_STREQ(kAddress, text);

                      char tip[256] = "";
                      TTTOOLINFOA tool = {};
                      tool.cbSize = TTTOOLINFOA_V1_SIZE;
                      tool.hwnd = link;
                      tool.uId = 1;
                      tool.lpszText = tip;
                      ASSERT_TRUE(::SendMessageA(d.m_center.m_toolTip.m_hWnd, TTM_GETTOOLINFOA, 0, (LPARAM)&tool));
                      EXPECT_STREQ(kAddress, tip);
                      CRect client;
                      ::GetClientRect(link, &client);
                      EXPECT_TRUE(::EqualRect(&client, &tool.rect)); // the fitted window's client area
                      EXPECT_EQ(1, (int)::SendMessageA(d.m_center.m_toolTip.m_hWnd, TTM_GETTOOLCOUNT, 0, 0));

                      // The link font: an underlined copy of the dialog font the control had.
                      LOGFONTA font = FontOf(link), dialogFont = FontOf(d.m_hWnd);
                      EXPECT_EQ(d.m_center.m_fontLink.m_hObject, (HFONT)::SendMessageA(link, WM_GETFONT, 0, 0));
                      EXPECT_EQ(1, font.lfUnderline);
                      EXPECT_STREQ(dialogFont.lfFaceName, font.lfFaceName);
                      EXPECT_EQ(dialogFont.lfHeight, font.lfHeight);
                  }});
}

TEST(Attach, ControlWithoutFontUsesItsDialogsFontOrTheDefaultGuiFont)
{
    CLinkTestDlg dlg;
    RunLinkDialog(dlg, {[](CLinkTestDlg& d) {
                      LOGFONTA dialogFont = FontOf(d.m_hWnd);
                      HWND bare = ::CreateWindowExA(0, "STATIC", "no font", WS_CHILD | WS_VISIBLE, 5, 5, 80, 20,
                                                    d.m_hWnd, nullptr, nullptr, nullptr);
                      ASSERT_EQ(nullptr, (HFONT)::SendMessageA(bare, WM_GETFONT, 0, 0));
                      CLinkStatic inDialog;
                      inDialog.SubclassWindow(bare);
                      LOGFONTA link = FontOf(bare);
                      EXPECT_EQ(1, link.lfUnderline);
                      EXPECT_STREQ(dialogFont.lfFaceName, link.lfFaceName);
                      ::DestroyWindow(bare);

                      // No font anywhere above: the system's default GUI font, underlined.
                      HWND top = ::CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 200, 50, nullptr, nullptr, nullptr,
                                                   nullptr);
                      HWND child = ::CreateWindowExA(0, "STATIC", "orphan", WS_CHILD | WS_VISIBLE, 5, 5, 80, 20, top,
                                                     nullptr, nullptr, nullptr);
                      CLinkStatic orphan;
                      orphan.SubclassWindow(child);
                      LOGFONTA gui = {};
                      ::GetObjectA(::GetStockObject(DEFAULT_GUI_FONT), sizeof gui, &gui);
                      LOGFONTA orphanFont = FontOf(child);
                      EXPECT_EQ(1, orphanFont.lfUnderline);
                      EXPECT_STREQ(gui.lfFaceName, orphanFont.lfFaceName);
                      ::DestroyWindow(top);
                  }});
}

TEST(FitToText, EachAlignmentFitsTheWindowToItsTextInTheLinkFont)
{
    CLinkTestDlg dlg;
    RunLinkDialog(dlg, {[](CLinkTestDlg& d) {
                      for (int id : {IDC_L_CENTER, IDC_L_RIGHT, IDC_L_LEFT, IDC_L_CENTERIMAGE}) {
                          SCOPED_TRACE(id);
                          HWND item = d.GetDlgItem(id);
                          SIZE text = TextExtent(item);
                          CRect expected =
                              FitLinkRect(d.m_templateRects[id], text, (DWORD)::GetWindowLongA(item, GWL_STYLE));
                          CRect fitted = d.ItemRect(id);
                          EXPECT_TRUE(::EqualRect(&expected, &fitted));
                          EXPECT_LE(std::abs(fitted.Width() - text.cx), 1);
                      }
                  }});
}

TEST(CtlColor, HoverWinsOverVisitedOnATransparentNullBrush)
{
    const COLORREF unvisited = RGB(0, 0, 238), visited = RGB(85, 26, 139), hover = ::GetSysColor(COLOR_HIGHLIGHT);
    CLinkTestDlg dlg;
    RunLinkDialog(dlg, {[&](CLinkTestDlg& d) {
                      CLinkStatic& link = d.m_center;
                      LinkColours fresh = ColoursOf(d, link);
                      EXPECT_EQ(unvisited, fresh.text);
                      EXPECT_EQ(TRANSPARENT, fresh.bkMode);
                      EXPECT_EQ(::GetStockObject(NULL_BRUSH), (HGDIOBJ)fresh.brush);

                      link.SetVisited(TRUE);
                      EXPECT_EQ(visited, ColoursOf(d, link).text);

                      link.SendMessage(WM_MOUSEMOVE, 0, Point(2, 2));
                      EXPECT_EQ(hover, ColoursOf(d, link).text); // hover over visited
                      link.SendMessage(WM_MOUSEMOVE, 0, Point(-5, -5));
                      EXPECT_EQ(visited, ColoursOf(d, link).text);

                      link.SetVisited(FALSE);
                      link.SendMessage(WM_MOUSEMOVE, 0, Point(2, 2));
                      LinkColours hovering = ColoursOf(d, link);
                      EXPECT_EQ(hover, hovering.text);
                      EXPECT_EQ(TRANSPARENT, hovering.bkMode);
                      link.SendMessage(WM_MOUSEMOVE, 0, Point(-5, -5));
                  }});
}

TEST(OnMouseMove, EnteringRedrawsThenCapturesAndLeavingReleasesThenRedraws)
{
    CLinkTestDlg dlg;
    RunLinkDialog(dlg, {[](CLinkTestDlg& d) {
                      CLinkStatic& link = d.m_center;
                      CRect client;
                      link.GetClientRect(&client);
                      EventRecorder recorder(link.m_hWnd);

                      link.SendMessage(WM_MOUSEMOVE, 0, Point(1, 1));
                      EXPECT_EQ(std::vector<std::string>{"paint"}, recorder.m_events);
                      EXPECT_EQ(link.m_hWnd, ::GetCapture());
                      EXPECT_TRUE(link.m_bHover);

                      recorder.m_events.clear();
                      link.SendMessage(WM_MOUSEMOVE, 0, Point(client.right - 1, client.bottom - 1));
                      EXPECT_TRUE(recorder.m_events.empty());
                      EXPECT_EQ(link.m_hWnd, ::GetCapture());

                      link.SendMessage(WM_MOUSEMOVE, 0, Point(client.right, client.bottom / 2)); // just outside
                      EXPECT_EQ((std::vector<std::string>{"capture released", "paint"}), recorder.m_events);
                      EXPECT_EQ(nullptr, ::GetCapture());
                      EXPECT_FALSE(link.m_bHover);
                  }});
}

TEST(OnSetCursor, LinkCursorComesFromTheHelpProgramsCursor106)
{
    // Wine maps its own winhlp32, which has no cursor 106, so the tool (which has one) stands in.
    const char* name = "\\brisko-link-help.exe";
    std::string copy = WindowsDirectory() + name;
    ASSERT_TRUE(::CopyFileA(ToolPath().c_str(), copy.c_str(), FALSE));
    HCURSOR loaded = nullptr;
    {
        HelpProgram help(name);
        CLinkTestDlg dlg;
        RunLinkDialog(
            dlg, {[&](CLinkTestDlg& d) {
                loaded = d.m_center.m_hLinkCursor;
                ASSERT_NE(nullptr, loaded);
                ICONINFO info = {};
                ASSERT_TRUE(::GetIconInfo(reinterpret_cast<HICON>(loaded), &info)); // alive after the library went
                ::DeleteObject(info.hbmMask);
                ::DeleteObject(info.hbmColor);
                ::SetCursor(::LoadCursorA(nullptr, MAKEINTRESOURCEA(32514) /* IDC_WAIT */));
                LRESULT handled =
                    d.m_center.SendMessage(WM_SETCURSOR, (WPARAM)d.m_center.m_hWnd, MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
                EXPECT_EQ(TRUE, handled);
                EXPECT_EQ(loaded, ::GetCursor());
            }});
    }
    EXPECT_TRUE(::DeleteFileA(copy.c_str())); // the library was freed
}

TEST(OnSetCursor, WithoutTheHelpProgramNothingIsSetAndNoDefaultRuns)
{
    HelpProgram help("\\brisko-no-such-help.exe");
    CLinkTestDlg dlg;
    RunLinkDialog(dlg, {[](CLinkTestDlg& d) {
                      EXPECT_EQ(nullptr, d.m_center.m_hLinkCursor);
                      HCURSOR wait = ::LoadCursorA(nullptr, MAKEINTRESOURCEA(32514) /* IDC_WAIT */);
                      ::SetCursor(wait);
                      LRESULT handled = d.m_center.SendMessage(WM_SETCURSOR, (WPARAM)d.m_center.m_hWnd,
                                                               MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
                      EXPECT_EQ(FALSE, handled);
                      EXPECT_EQ(wait, ::GetCursor()); // the default would have set the class's arrow
                  }});
}
