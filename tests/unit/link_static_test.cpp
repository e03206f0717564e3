// The hyperlink control in a dialog of its own: attach, fitting, colours, hover, cursor, tooltip.
#include "link_test_support.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <cstdlib>
#include <memory>
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

// Records the relayed messages a tooltip receives.
class RelayRecorder {
public:
    explicit RelayRecorder(HWND hToolTip) : m_hWnd(hToolTip) { ::SetWindowSubclass(hToolTip, Proc, 78, (DWORD_PTR)this); }
    ~RelayRecorder() { ::RemoveWindowSubclass(m_hWnd, Proc, 78); }
    RelayRecorder(const RelayRecorder&) = delete;
    RelayRecorder& operator=(const RelayRecorder&) = delete;

    std::vector<MSG> m_relayed;

private:
    static LRESULT CALLBACK Proc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR self)
    {
        if (message == TTM_RELAYEVENT && lParam != 0)
            reinterpret_cast<RelayRecorder*>(self)->m_relayed.push_back(*reinterpret_cast<const MSG*>(lParam));
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
    explicit HelpProgram(const char* name) : m_saved(CLinkStatic::s_pszHelpProgram) { CLinkStatic::s_pszHelpProgram = name; }
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

TEST(FitLinkRect, CentredTextMovesBothSidesByHalfTheSlackTruncated)
{
    CRect narrowed = FitLinkRect(CRect(10, 20, 160, 40), SIZE{101, 13}, SS_CENTER);
    EXPECT_EQ(34, narrowed.left);
    EXPECT_EQ(136, narrowed.right);
    EXPECT_EQ(102, narrowed.Width()); // one more than the text: the slack of 49 is odd

    CRect widened = FitLinkRect(CRect(10, 20, 110, 40), SIZE{131, 13}, SS_CENTER | SS_NOTIFY);
    EXPECT_EQ(-5, widened.left);
    EXPECT_EQ(125, widened.right);
    EXPECT_EQ(130, widened.Width()); // one less than the text
}

TEST(FitLinkRect, RightKeepsTheRightEdgeAndNeitherKeepsTheLeft)
{
    CRect right = FitLinkRect(CRect(10, 20, 160, 40), SIZE{101, 13}, SS_RIGHT);
    EXPECT_EQ(59, right.left);
    EXPECT_EQ(160, right.right);
    CRect left = FitLinkRect(CRect(10, 20, 160, 40), SIZE{101, 13}, SS_LEFT | SS_NOTIFY);
    EXPECT_EQ(10, left.left);
    EXPECT_EQ(111, left.right);
}

TEST(FitLinkRect, VerticalTakesTheTextHeightOrCentresItForCentreImage)
{
    CRect plain = FitLinkRect(CRect(0, 20, 100, 60), SIZE{50, 13}, SS_LEFT);
    EXPECT_EQ(20, plain.top);
    EXPECT_EQ(33, plain.bottom);
    // Slack 27: each side in by 13, one pixel taller than the text.
    CRect centred = FitLinkRect(CRect(0, 20, 100, 60), SIZE{50, 13}, SS_CENTERIMAGE);
    EXPECT_EQ(33, centred.top);
    EXPECT_EQ(47, centred.bottom);
    // Text taller than the window: d = -(-7 / 2) = 3 out on each side.
    CRect grown = FitLinkRect(CRect(0, 20, 100, 26), SIZE{50, 13}, SS_CENTERIMAGE | SS_CENTER);
    EXPECT_EQ(17, grown.top);
    EXPECT_EQ(29, grown.bottom);
}

TEST(Attach, ControlsReportClicksTakeTheirTextAsAddressAndShowItAsTooltip)
{
    CLinkTestDlg dlg;
    RunLinkDialog(dlg, {[](CLinkTestDlg& d) {
        HWND link = d.m_center.m_hWnd;
        EXPECT_EQ((DWORD)(SS_CENTER | SS_NOTIFY), d.m_center.GetStyle() & (SS_TYPEMASK | SS_NOTIFY | SS_CENTERIMAGE));
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
    }});
}

TEST(Attach, LinkFontIsAnUnderlinedCopyOfTheControlsFont)
{
    CLinkTestDlg dlg;
    LOGFONTA before = {};
    dlg.m_beforeAttach = [&](CLinkTestDlg& d) { before = FontOf(d.GetDlgItem(IDC_L_CENTER)); };
    RunLinkDialog(dlg, {[&](CLinkTestDlg& d) {
        HFONT font = reinterpret_cast<HFONT>(::SendMessageA(d.m_center.m_hWnd, WM_GETFONT, 0, 0));
        EXPECT_EQ(d.m_center.m_fontLink.m_hObject, font);
        LOGFONTA after = FontOf(d.m_center.m_hWnd);
        EXPECT_EQ(1, after.lfUnderline);
        EXPECT_EQ(0, before.lfUnderline);
        EXPECT_STREQ(before.lfFaceName, after.lfFaceName);
        EXPECT_EQ(before.lfHeight, after.lfHeight);
    }});
}

TEST(Attach, ControlWithoutFontUsesItsDialogsFontOrTheDefaultGuiFont)
{
    CLinkTestDlg dlg;
    RunLinkDialog(dlg, {[](CLinkTestDlg& d) {
        LOGFONTA dialogFont = FontOf(d.m_hWnd);
        HWND bare = ::CreateWindowExA(0, "STATIC", "no font", WS_CHILD | WS_VISIBLE, 5, 5, 80, 20, d.m_hWnd, nullptr,
                                      nullptr, nullptr);
        ASSERT_EQ(nullptr, (HFONT)::SendMessageA(bare, WM_GETFONT, 0, 0));
        CLinkStatic inDialog;
        inDialog.SubclassWindow(bare);
        LOGFONTA link = FontOf(bare);
        EXPECT_EQ(1, link.lfUnderline);
        EXPECT_STREQ(dialogFont.lfFaceName, link.lfFaceName);
        ::DestroyWindow(bare);

        // No font anywhere above: the system's default GUI font, underlined.
        HWND top = ::CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 200, 50, nullptr, nullptr, nullptr, nullptr);
        HWND child = ::CreateWindowExA(0, "STATIC", "orphan", WS_CHILD | WS_VISIBLE, 5, 5, 80, 20, top, nullptr, nullptr,
                                       nullptr);
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

TEST(FitToText, EachAlignmentFitsTheWindowToItsText)
{
    CLinkTestDlg dlg;
    RunLinkDialog(dlg, {[](CLinkTestDlg& d) {
        for (int id : {IDC_L_CENTER, IDC_L_RIGHT, IDC_L_LEFT, IDC_L_CENTERIMAGE}) {
            SCOPED_TRACE(id);
            const CRect& before = d.m_templateRects[id];
            CRect after = d.ItemRect(id);
            SIZE text = TextExtent(d.GetDlgItem(id));
            CRect expected = FitLinkRect(before, text, (DWORD)::GetWindowLongA(d.GetDlgItem(id), GWL_STYLE));
            EXPECT_TRUE(::EqualRect(&expected, &after));
            EXPECT_LE(std::abs(after.Width() - text.cx), 1);
        }
        const CRect& centre = d.m_templateRects[IDC_L_CENTER];
        CRect fitted = d.ItemRect(IDC_L_CENTER);
        EXPECT_LE(std::abs((fitted.left + fitted.right) - (centre.left + centre.right)), 1);
        EXPECT_EQ(centre.top, fitted.top);
        EXPECT_EQ(d.m_templateRects[IDC_L_RIGHT].right, d.ItemRect(IDC_L_RIGHT).right);
        EXPECT_EQ(d.m_templateRects[IDC_L_LEFT].left, d.ItemRect(IDC_L_LEFT).left);
        EXPECT_EQ(TextExtent(d.GetDlgItem(IDC_L_LEFT)).cy, d.ItemRect(IDC_L_LEFT).Height());
        const CRect& image = d.m_templateRects[IDC_L_CENTERIMAGE];
        CRect imageFitted = d.ItemRect(IDC_L_CENTERIMAGE);
        EXPECT_LE(std::abs((imageFitted.top + imageFitted.bottom) - (image.top + image.bottom)), 1);
        EXPECT_LT(imageFitted.Height(), image.Height());
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
        RunLinkDialog(dlg, {[&](CLinkTestDlg& d) {
            loaded = d.m_center.m_hLinkCursor;
            ASSERT_NE(nullptr, loaded);
            ICONINFO info = {};
            ASSERT_TRUE(::GetIconInfo(reinterpret_cast<HICON>(loaded), &info)); // alive after the library went
            ::DeleteObject(info.hbmMask);
            ::DeleteObject(info.hbmColor);
            ::SetCursor(::LoadCursorA(nullptr, MAKEINTRESOURCEA(32514) /* IDC_WAIT */));
            LRESULT handled = d.m_center.SendMessage(WM_SETCURSOR, (WPARAM)d.m_center.m_hWnd, MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
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
        LRESULT handled = d.m_center.SendMessage(WM_SETCURSOR, (WPARAM)d.m_center.m_hWnd, MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        EXPECT_EQ(FALSE, handled);
        EXPECT_EQ(wait, ::GetCursor()); // the default would have set the class's arrow
    }});
}

TEST(PreTranslateMessage, MessagesThroughTheLoopReachTheTooltipAndStillTheControl)
{
    CLinkTestDlg dlg;
    std::unique_ptr<RelayRecorder> recorder;
    RunLinkDialog(dlg, {[&](CLinkTestDlg& d) {
                            recorder = std::make_unique<RelayRecorder>(d.m_center.m_toolTip.m_hWnd);
                            ::PostMessageA(d.m_center.m_hWnd, WM_MOUSEMOVE, 0, Point(3, 3));
                        },
                        [&](CLinkTestDlg& d) {
                            ASSERT_FALSE(recorder->m_relayed.empty());
                            const MSG& relayed = recorder->m_relayed.back();
                            EXPECT_EQ((UINT)WM_MOUSEMOVE, relayed.message);
                            EXPECT_EQ(d.m_center.m_hWnd, relayed.hwnd);
                            EXPECT_EQ(Point(3, 3), relayed.lParam);
                            EXPECT_TRUE(d.m_center.m_bHover); // the control was not denied the move
                            d.m_center.SendMessage(WM_MOUSEMOVE, 0, Point(-5, -5));
                            recorder.reset();
                        }});
}
