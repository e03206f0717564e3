// The link at the foot of the real Brisko window, met with the real mouse pointer and seen on the
// screen: its tooltip, its colours and underline, and a click that opens the address or explains why not.
#include "res/resource.h"
#include "tests/support/brisko_driver.h"
#include "tests/support/trace_kit.h"

#include <gtest/gtest.h>
#include <commctrl.h>
#include <shlwapi.h>

#include <algorithm>

namespace {

const COLORREF kUnvisited = RGB(0, 0, 238), kVisited = RGB(85, 26, 139);

// Puts the pointer on the link (or far from it), stirring it a pixel as a hand does, until some row
// of the link on the screen is all `colour`: the underline, drawn in the text's colour.
bool HoverShows(HWND link, bool onIt, COLORREF colour)
{
    RECT r;
    ::GetWindowRect(link, &r);
    int stir = 0;
    return brisko::WaitFor(
        [&] {
            stir = 1 - stir;
            ::SetCursorPos(onIt ? (r.left + r.right) / 2 + stir : 1 + stir, onIt ? (r.top + r.bottom) / 2 : 1);
            HDC screen = ::GetDC(nullptr);
            bool underlined = false;
            for (LONG y = r.top; y < r.bottom && !underlined; ++y) {
                LONG x = r.left;
                while (x < r.right && ::GetPixel(screen, x, y) == colour)
                    ++x;
                underlined = x == r.right;
            }
            ::ReleaseDC(nullptr, screen);
            return underlined;
        },
        5000);
}

} // namespace

// Unvisited, the pointer on it shows its address as a tip and the hover colour. No browser opens it
// here: the click explains why, under the program's title, and the link stays unvisited. Given a
// ".htm" association, a click starts its command, cut at its quoted "%1", with the address; the link
// is then visited, and the pointer on it still shows the hover colour.
TEST(Link, ShowsItsAddressAndOpensItWithTheHtmAssociationOrExplainsWhyNot)
{
    brisko::SharedStateGuard guard;
    const std::string log = trace_kit::TempFolder() + "\\brisko-link.log";
    ::DeleteFileA(log.c_str());
    brisko::Instance brisko;
    ASSERT_TRUE(brisko.Start());
    HWND link = brisko.Item(IDC_LINK);
    EXPECT_EQ(BRISKO_URL, brisko.Text(IDC_LINK));
    EXPECT_TRUE(HoverShows(link, false, kUnvisited));
    EXPECT_TRUE(HoverShows(link, true, ::GetSysColor(COLOR_HIGHLIGHT)));
    char text[256] = "";
    ::SendMessageA(brisko.FindShown(TOOLTIPS_CLASSA, nullptr, 5000), WM_GETTEXT, sizeof text,
                   reinterpret_cast<LPARAM>(text));
    EXPECT_STREQ(BRISKO_URL, text);
    EXPECT_TRUE(HoverShows(link, false, kUnvisited)); // the pointer away, the tip gone
    ::PostMessageA(link, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    ::PostMessageA(link, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    HWND box = brisko.FindShown("#32770", "Brisko", 15000);
    ASSERT_NE(nullptr, box) << "no message box";
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text); // a message box's text is its item 0xFFFF
    EXPECT_STREQ("Unable to open hyperlink:\n\nThere is no application associated\nwith the given filename extension.",
                 text);
    ::SendMessageA(::GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    EXPECT_TRUE(brisko::WaitFor([&] { return !::IsWindow(box); }, 5000));
    EXPECT_TRUE(HoverShows(link, false, kUnvisited));

    trace_kit::SetString(HKEY_CLASSES_ROOT, ".htm", "", "BriskoLinkTest.Document");
    trace_kit::SetString(HKEY_CLASSES_ROOT, "BriskoLinkTest.Document\\shell\\open\\command", "",
                         "\"" + brisko::InBuild(LINK_TOOL_IN_BUILD) + "\" \"" + log + "\" -first \"%1\" -second %1");
    ::PostMessageA(link, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    ::PostMessageA(link, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    EXPECT_TRUE(brisko::WaitFor([&] { return trace_kit::Exists(log); }, 15000));
    const std::string line = trace_kit::ReadBytes(log);
    EXPECT_EQ("\" \"" + log + "\" -first  " BRISKO_URL, line.substr(std::min(line.size(), line.find('"', 1)))) << line;
    EXPECT_EQ(nullptr, brisko.FindShown("#32770", "Brisko", 500));
    EXPECT_TRUE(HoverShows(link, false, kVisited));
    EXPECT_TRUE(HoverShows(link, true, ::GetSysColor(COLOR_HIGHLIGHT)));
    EXPECT_TRUE(brisko.End(brisko::Ending::CloseBox));
    SHDeleteKeyA(HKEY_CLASSES_ROOT, ".htm");
    SHDeleteKeyA(HKEY_CLASSES_ROOT, "BriskoLinkTest.Document");
    ::DeleteFileA(log.c_str());
}
