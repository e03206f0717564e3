// What the end-to-end runs cannot pin down about the link: its fitting arithmetic, the command it
// composes, the text of every failure, and the colour it answers with in each state.
#include "controls/link_static.h"
#include "res/resource.h"

#include <gtest/gtest.h>
#include <commctrl.h>

#include <cstring>
#include <functional>
#include <string>

namespace {

const char kAddress[] = "http://www.example.com/brisko/";

// Brisko's own main dialog template with just its link attached; the steps run at the end of
// OnInitDialog, and the dialog's loop then runs what they posted before it ends.
class CLinkDlg : public CDialog {
public:
    explicit CLinkDlg(std::function<void(CLinkDlg&)> steps) : CDialog(IDD_MAIN_DIALOG), m_steps(std::move(steps)) {}
    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        m_steps(*this);
        ::PostMessageA(m_hWnd, WM_COMMAND, IDOK, 0);
        return TRUE;
    }
    void DoDataExchange(CDataExchange* pDX) override { DDX_Control(pDX, IDC_LINK, m_link); }
    COLORREF Colour()
    {
        HDC dc = ::GetDC(m_hWnd);
        ::SetBkMode(dc, OPAQUE);
        const LRESULT brush = SendMessage(WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), (LPARAM)m_link.m_hWnd);
        const COLORREF colour =
            ::GetBkMode(dc) == TRANSPARENT && brush == reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH))
                ? ::GetTextColor(dc)
                : CLR_INVALID;
        ::ReleaseDC(m_hWnd, dc);
        return colour;
    }
    CLinkStatic m_link;

private:
    std::function<void(CLinkDlg&)> m_steps;
};

// Inside a message box's own loop: record its text and close it.
std::string g_boxText;
void CALLBACK CloseBox(HWND, UINT, UINT_PTR timer, DWORD)
{
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND box, LPARAM) -> BOOL {
            char text[512] = "";
            if (!GetDlgItemTextA(box, 0xFFFF, text, sizeof text))
                return TRUE;
            g_boxText = text;
            PostMessageA(box, WM_COMMAND, IDOK, 0);
            return FALSE;
        },
        0);
    if (!g_boxText.empty())
        KillTimer(nullptr, timer);
}

} // namespace

TEST(Link, FitsItsRectangleToTheTextByAlignmentWithTruncatingHalves)
{
    const struct {
        CRect rect;
        SIZE text;
        DWORD style;
        CRect fitted;
    } cases[] = {
        {CRect(10, 20, 160, 40), {101, 13}, SS_CENTER, CRect(34, 20, 136, 33)},             // slack 49: in by 24
        {CRect(10, 20, 110, 40), {131, 13}, SS_CENTER | SS_NOTIFY, CRect(-5, 20, 125, 33)}, // slack -31: out by 15
        {CRect(10, 20, 160, 40), {101, 13}, SS_RIGHT, CRect(59, 20, 160, 33)},
        {CRect(10, 20, 160, 40), {101, 13}, SS_LEFT | SS_NOTIFY, CRect(10, 20, 111, 33)},
        {CRect(0, 20, 100, 60), {50, 13}, SS_CENTERIMAGE, CRect(0, 33, 50, 47)},              // slack 27: in by 13
        {CRect(0, 20, 100, 26), {50, 13}, SS_CENTERIMAGE | SS_CENTER, CRect(25, 17, 75, 29)}, // -7: out by 3
    };
    for (const auto& c : cases) {
        const CRect fitted = FitLinkRect(c.rect, c.text, c.style);
        EXPECT_TRUE(::EqualRect(&c.fitted, &fitted))
            << c.style << ": " << fitted.left << "," << fitted.top << "," << fitted.right << "," << fitted.bottom;
    }
}

TEST(Link, ComposesTheOpenCommandUpToTheLastByte)
{
    const struct {
        const char* command;
        size_t size;
        const char* composed; // null: refused, the command left as it was
    } cases[] = {
        {"browser.exe -nohome \"%1\" %1", 64, "browser.exe -nohome  http://a/"}, // the quoted marker wins
        {"browser.exe %1 -x", 64, "browser.exe  http://a/"},
        {"browser.exe", 64, "browser.exe http://a/"},
        {"b.exe %1", 17, "b.exe  http://a/"}, // the terminator in the last byte
        {"b.exe %1", 16, nullptr},
    };
    for (const auto& c : cases) {
        char command[64] = "";
        std::strcpy(command, c.command);
        EXPECT_EQ(c.composed != nullptr, ComposeLinkCommand(command, c.size, "http://a/")) << c.command;
        EXPECT_STREQ(c.composed ? c.composed : c.command, command);
    }
}

TEST(Link, ExplainsEachLaunchFailure)
{
    const struct {
        int code;
        const char* text;
    } cases[] = {
        {0, "The operating system is out\nof memory or resources."},
        {2, "The specified file was not found."},
        {11, "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image)."},
        {26, "A sharing violation occurred. "},
        {31, "There is no application associated\nwith the given filename extension."},
        {32, "The specified dynamic-link library was not found."},
        {4, "Unknown Error (4) occurred."},
        {-5, "Unknown Error (-5) occurred."},
    };
    for (const auto& c : cases) {
        g_boxText.clear();
        SetTimer(nullptr, 0, 20, CloseBox);
        CLinkStatic::ShowLaunchError(c.code);
        EXPECT_EQ(std::string("Unable to open hyperlink:\n\n") + c.text, g_boxText) << c.code;
    }
}

// Hover wins over visited, visited over unvisited; always on a transparent null brush, underlined.
// The mouse reaches the tooltip only through the relay, as the dialog's loop offers it to the link.
static int g_relayedMoves = 0;
static LRESULT CALLBACK CountRelays(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR)
{
    if (message == TTM_RELAYEVENT && reinterpret_cast<const MSG*>(lParam)->message == WM_MOUSEMOVE)
        ++g_relayedMoves;
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

TEST(Link, AnswersTheColourOfItsStateAndRelaysTheMouseToItsTooltip)
{
    const COLORREF unvisited = RGB(0, 0, 238), visited = RGB(85, 26, 139), hover = ::GetSysColor(COLOR_HIGHLIGHT);
    g_relayedMoves = 0;
    CLinkDlg dlg([&](CLinkDlg& d) {
        LOGFONTA font = {};
        ::GetObjectA(reinterpret_cast<HFONT>(d.m_link.SendMessage(WM_GETFONT)), sizeof font, &font);
        EXPECT_TRUE(font.lfUnderline);
        EXPECT_EQ(kAddress, d.m_link.m_strUrl);
        const struct {
            BOOL visited;
            int move; // 0: none, 1: onto the link, -1: off it
            COLORREF colour;
        } states[] = {{FALSE, 0, unvisited}, {TRUE, 0, visited}, {TRUE, 1, hover},
                      {TRUE, -1, visited},   {FALSE, 1, hover},  {FALSE, -1, unvisited}};
        for (const auto& state : states) {
            d.m_link.SetVisited(state.visited);
            if (state.move)
                d.m_link.SendMessage(WM_MOUSEMOVE, 0, state.move > 0 ? MAKELPARAM(2, 2) : MAKELPARAM(-5, -5));
            EXPECT_EQ(state.colour, d.Colour()) << state.visited << " " << state.move;
        }
        ASSERT_TRUE(SetWindowSubclass(d.m_link.m_toolTip.m_hWnd, CountRelays, 1, 0));
        ::PostMessageA(d.m_link.m_hWnd, WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
    });
    EXPECT_EQ(IDOK, dlg.DoModal());
    EXPECT_LE(1, g_relayedMoves);
}
