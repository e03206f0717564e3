// The link at the foot of the real Brisko window, driven from a second process.
#include "support/brisko_driver.h"

#include "res/resource.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <string>

using brisko::Ending;
using brisko::Instance;

namespace {

// Memory inside Brisko's process: tooltip messages carry pointers, which Wine passes on as they are.
class RemoteBlock {
public:
    RemoteBlock(DWORD processId, size_t size)
        : m_hProcess(::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId)),
          m_p(m_hProcess ? ::VirtualAllocEx(m_hProcess, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)
                         : nullptr)
    {
    }
    ~RemoteBlock()
    {
        if (m_p != nullptr)
            ::VirtualFreeEx(m_hProcess, m_p, 0, MEM_RELEASE);
        if (m_hProcess != nullptr)
            ::CloseHandle(m_hProcess);
    }
    RemoteBlock(const RemoteBlock&) = delete;
    RemoteBlock& operator=(const RemoteBlock&) = delete;

    char* Address() const { return static_cast<char*>(m_p); }
    bool Write(size_t offset, const void* data, size_t size) const
    {
        return ::WriteProcessMemory(m_hProcess, Address() + offset, data, size, nullptr) != FALSE;
    }
    bool Read(size_t offset, void* data, size_t size) const
    {
        return ::ReadProcessMemory(m_hProcess, Address() + offset, data, size, nullptr) != FALSE;
    }

private:
    HANDLE m_hProcess;
    void* m_p;
};

struct ToolText {
    bool found;
    std::string text;
};

struct ToolSearch {
    DWORD processId;
    HWND link;
    ToolText result;
};

// Asks one tooltip window of the process for tool 1 of the link.
BOOL CALLBACK AskTooltip(HWND hWnd, LPARAM lParam)
{
    auto* s = reinterpret_cast<ToolSearch*>(lParam);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(hWnd, &owner);
    char className[32] = "";
    ::GetClassNameA(hWnd, className, sizeof className);
    if (owner != s->processId || lstrcmpiA(className, TOOLTIPS_CLASSA) != 0)
        return TRUE;
    const size_t textOffset = sizeof(TTTOOLINFOA), textSize = 512;
    RemoteBlock block(s->processId, textOffset + textSize);
    if (block.Address() == nullptr)
        return TRUE;
    TTTOOLINFOA tool = {};
    tool.cbSize = TTTOOLINFOA_V1_SIZE;
    tool.hwnd = s->link;
    tool.uId = 1;
    tool.lpszText = block.Address() + textOffset;
    char text[textSize] = "";
    if (!block.Write(0, &tool, sizeof tool) || !block.Write(textOffset, text, sizeof text))
        return TRUE;
    if (!::SendMessageA(hWnd, TTM_GETTOOLINFOA, 0, reinterpret_cast<LPARAM>(block.Address())))
        return TRUE;
    block.Read(textOffset, text, sizeof text - 1);
    s->result = {true, text};
    return FALSE;
}

ToolText LinkToolText(const Instance& brisko, HWND link)
{
    ToolSearch search = {brisko.ProcessId(), link, {false, ""}};
    ::EnumWindows(AskTooltip, reinterpret_cast<LPARAM>(&search));
    return search.result;
}

struct Box {
    HWND hWnd;
    std::string title;
    std::string text;
};

struct BoxSearch {
    DWORD processId;
    HWND main;
    Box box;
};

// A message box of the process: a dialog other than the main window, with a text of its own.
BOOL CALLBACK CheckForBox(HWND hWnd, LPARAM lParam)
{
    auto* s = reinterpret_cast<BoxSearch*>(lParam);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(hWnd, &owner);
    char className[16] = "";
    ::GetClassNameA(hWnd, className, sizeof className);
    if (owner != s->processId || hWnd == s->main || lstrcmpA(className, "#32770") != 0 || !::IsWindowVisible(hWnd))
        return TRUE;
    char text[512] = "";
    for (HWND child = ::GetWindow(hWnd, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
        ::GetClassNameA(child, className, sizeof className);
        if (lstrcmpiA(className, "Static") == 0 && ::GetWindowTextA(child, text, sizeof text) > 0)
            s->box.text = text;
    }
    ::GetWindowTextA(hWnd, text, sizeof text);
    s->box.title = text;
    s->box.hWnd = hWnd;
    return FALSE;
}

Box FindMessageBox(const Instance& brisko, DWORD timeoutMs)
{
    BoxSearch search = {brisko.ProcessId(), brisko.Window(), {nullptr, "", ""}};
    brisko.WaitFor(
        [&] {
            ::EnumWindows(CheckForBox, reinterpret_cast<LPARAM>(&search));
            return search.box.hWnd != nullptr;
        },
        timeoutMs);
    return search.box;
}

} // namespace

TEST(Link, TooltipHoldsTheAddressTheLabelShows)
{
    Instance brisko;
    ASSERT_TRUE(brisko.Start());
    // On a session's first start the window can be found before its initialisation has run.
    HWND link = nullptr;
    ToolText tool = {false, ""};
    EXPECT_TRUE(brisko.WaitFor(
        [&] {
            link = brisko.Item(IDC_LINK);
            tool = link ? LinkToolText(brisko, link) : ToolText{false, ""};
            return tool.found;
        },
        10000));
    ASSERT_NE(nullptr, link);
    EXPECT_EQ(BRISKO_URL, brisko.Text(IDC_LINK));
    EXPECT_NE(0, ::GetWindowLongA(link, GWL_STYLE) & SS_NOTIFY);
    EXPECT_EQ(BRISKO_URL, tool.text);
    EXPECT_TRUE(brisko.End(Ending::CloseBox));
}

TEST(Link, ClickWithoutABrowserExplainsItAndTheWindowCarriesOn)
{
    Instance brisko;
    ASSERT_TRUE(brisko.Start());
    HWND link = nullptr;
    EXPECT_TRUE(brisko.WaitFor(
        [&] {
            link = brisko.Item(IDC_LINK);
            return link != nullptr && (::GetWindowLongA(link, GWL_STYLE) & SS_NOTIFY) != 0;
        },
        10000));
    ASSERT_NE(nullptr, link);
    ::PostMessageA(link, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    ::PostMessageA(link, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));

    Box box = FindMessageBox(brisko, 15000);
    ASSERT_NE(nullptr, box.hWnd) << "no message box";
    EXPECT_EQ("Brisko", box.title);
    EXPECT_EQ("Unable to open hyperlink:\n\nThere is no application associated\nwith the given filename extension.",
              box.text);
    ::SendMessageA(::GetDlgItem(box.hWnd, IDOK), BM_CLICK, 0, 0);
    EXPECT_TRUE(brisko.WaitFor([&] { return !::IsWindow(box.hWnd); }, 5000));

    EXPECT_TRUE(brisko.Running());
    EXPECT_TRUE(brisko.End(Ending::CloseBox));
}
