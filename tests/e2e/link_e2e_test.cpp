// The link at the foot of the real Brisko window, driven from a second process.
#include "res/resource.h"
#include "framework/scoped_win.h"
#include "tests/support/brisko_driver.h"
#include "tests/support/trace_kit.h"

#include <gtest/gtest.h>
#include <commctrl.h>
#include <shlwapi.h>

#include <algorithm>

using brisko::Ending;
using brisko::Instance;

namespace {

// The tooltip's text for tool 1 of the link, asked of each tooltip window of the process. Tooltip
// messages carry pointers, which Wine passes on as they are: the record lives in Brisko's memory.
struct ToolSearch {
    DWORD processId;
    HWND link;
    std::string text;
};

BOOL CALLBACK AskTooltip(HWND hWnd, LPARAM lParam)
{
    auto* s = reinterpret_cast<ToolSearch*>(lParam);
    DWORD owner = 0;
    char cls[32] = "", text[512] = "";
    ::GetWindowThreadProcessId(hWnd, &owner);
    ::GetClassNameA(hWnd, cls, sizeof cls);
    if (owner != s->processId || lstrcmpiA(cls, TOOLTIPS_CLASSA))
        return TRUE;
    ScopedFile process(::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, owner));
    char* block = static_cast<char*>(
        ::VirtualAllocEx(process.get(), nullptr, sizeof(TTTOOLINFOA) + sizeof text, MEM_COMMIT, PAGE_READWRITE));
    TTTOOLINFOA tool = {static_cast<UINT>(TTTOOLINFOA_V1_SIZE), 0, s->link, 1};
    tool.lpszText = block + sizeof tool;
    if (block && ::WriteProcessMemory(process.get(), block, &tool, sizeof tool, nullptr) &&
        ::WriteProcessMemory(process.get(), tool.lpszText, text, sizeof text, nullptr) &&
        ::SendMessageA(hWnd, TTM_GETTOOLINFOA, 0, reinterpret_cast<LPARAM>(block)) &&
        ::ReadProcessMemory(process.get(), tool.lpszText, text, sizeof text - 1, nullptr))
        s->text = text;
    if (block)
        ::VirtualFreeEx(process.get(), block, 0, MEM_RELEASE);
    return s->text.empty();
}

// A ".htm" association whose open command is link_tool, for as long as it lives.
class HtmAssociation {
public:
    HtmAssociation()
    {
        const std::string tool = brisko::InBuild(LINK_TOOL_IN_BUILD);
        trace_kit::SetString(HKEY_CLASSES_ROOT, ".htm", "", "BriskoLinkTest.Document");
        trace_kit::SetString(HKEY_CLASSES_ROOT, "BriskoLinkTest.Document\\shell\\open\\command", "",
                             "\"" + tool + "\" -first \"%1\" -second %1");
    }
    ~HtmAssociation()
    {
        SHDeleteKeyA(HKEY_CLASSES_ROOT, ".htm");
        SHDeleteKeyA(HKEY_CLASSES_ROOT, "BriskoLinkTest.Document");
    }
    HtmAssociation(const HtmAssociation&) = delete;
    HtmAssociation& operator=(const HtmAssociation&) = delete;
};

void ClickLink(const Instance& brisko)
{
    ::PostMessageA(brisko.Item(IDC_LINK), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    ::PostMessageA(brisko.Item(IDC_LINK), WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
}

} // namespace

TEST(Link, TooltipHoldsTheAddressTheLabelShows)
{
    brisko::SharedStateGuard guard;
    Instance brisko;
    ASSERT_TRUE(brisko.Start());
    ToolSearch search = {brisko.ProcessId(), brisko.Item(IDC_LINK), ""};
    brisko::WaitFor([&] { return !::EnumWindows(AskTooltip, reinterpret_cast<LPARAM>(&search)); }, 5000);
    EXPECT_EQ(BRISKO_URL, search.text);
    EXPECT_EQ(BRISKO_URL, brisko.Text(IDC_LINK));
    EXPECT_TRUE(brisko.End(Ending::CloseBox));
}

// The shell opens nothing here: the click explains why, under the program's title, and goes on.
TEST(Link, ClickWithoutABrowserExplainsItAndTheWindowCarriesOn)
{
    brisko::SharedStateGuard guard;
    Instance brisko;
    ASSERT_TRUE(brisko.Start());
    ClickLink(brisko);
    HWND box = brisko.FindDialog("Brisko", 15000);
    ASSERT_NE(nullptr, box) << "no message box";
    EXPECT_EQ("Unable to open hyperlink:\n\nThere is no application associated\nwith the given filename extension.",
              brisko::DialogText(box));
    ::SendMessageA(::GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    EXPECT_TRUE(brisko::WaitFor([&] { return !::IsWindow(box); }, 5000));
    EXPECT_TRUE(brisko.End(Ending::CloseBox));
}

// Then the ".htm" association's command is started, cut at its quoted "%1", with the address.
TEST(Link, ClickStartsTheHtmAssociationsCommandWithTheAddress)
{
    brisko::SharedStateGuard guard;
    HtmAssociation association;
    const std::string log = trace_kit::TempFolder() + "\\brisko-link.log";
    ::DeleteFileA(log.c_str());
    ::SetEnvironmentVariableA("BRISKO_LINK_LOG", log.c_str());
    Instance brisko;
    ASSERT_TRUE(brisko.Start());
    ClickLink(brisko);
    EXPECT_TRUE(brisko::WaitFor([&] { return trace_kit::Exists(log); }, 15000));
    const std::string line = trace_kit::ReadBytes(log);
    EXPECT_EQ("\" -first  " BRISKO_URL, line.substr(std::min(line.size(), line.find('"', 1)))) << line;
    EXPECT_EQ(nullptr, brisko.FindDialog("Brisko", 500));
    EXPECT_TRUE(brisko.End(Ending::CloseBox));
    ::DeleteFileA(log.c_str());
}
