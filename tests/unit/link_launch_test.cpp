// Opening the link: the shell, the sandbox's own .htm association with the recording tool, the
// bounded buffers, and the message box that explains a failure.
#include "link_test_support.h"

#include <gtest/gtest.h>

#include <shellapi.h>

#include <cstring>
#include <memory>
#include <string>

// The message box carries the application's title.
CWinApp g_linkTestApp("Brisko link test");

namespace {

// No browser in the sandbox: the shell refuses this address and the .htm fallback decides.
const char kAddress[] = "http://www.example.com/brisko/";
const char kPrefix[] = "Unable to open hyperlink:\n\n";
const char kNoAssociation[] = "There is no application associated\nwith the given filename extension.";

int ShellResult(const char* address)
{
    return (int)reinterpret_cast<INT_PTR>(::ShellExecuteA(nullptr, "open", address, nullptr, nullptr, SW_SHOW));
}

void Click(CLinkStatic& link)
{
    link.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    link.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
}

} // namespace

TEST(OpenUrl, FallbackCutsTheTemplateAtItsMarkerAndAppendsTheAddress)
{
    ASSERT_GE(32, ShellResult(kAddress)) << "the sandbox must have no browser for http";
    const std::string tool = ToolPath();
    struct Case {
        std::string command;
        std::string expected;
    } cases[] = {
        {tool + " \"%1\"", tool + "  " + kAddress},                   // quoted marker: two blanks
        {tool + " --url=%1", tool + " --url= " + kAddress},           // bare marker: cut at the percent sign
        {tool + " -a %1 -b \"%1\"", tool + " -a %1 -b  " + kAddress}, // the quoted one wins
        {tool + " -x", tool + " -x " + kAddress},                     // no marker
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        HtmAssociation association(c.command);
        ToolLog log;
        EXPECT_LT(32, CLinkStatic::OpenUrl(kAddress, SW_SHOWNORMAL));
        EXPECT_EQ(c.expected, log.Wait());
    }
}

TEST(OpenUrl, CommandTooLongForItsBufferStartsNothingAndGivesTheShellsCode)
{
    std::string command = ToolPath() + " -p ";
    command.resize(250, 'p');
    std::string address = std::string("http://www.example.com/") + std::string(280, 'a');
    HtmAssociation association(command);
    ToolLog log;
    int shell = ShellResult(address.c_str());
    ASSERT_GE(32, shell);
    EXPECT_EQ(shell, CLinkStatic::OpenUrl(address.c_str(), SW_SHOWNORMAL));
    EXPECT_EQ("", log.Wait(1500));
}

TEST(ComposeLinkCommand, FitsUpToTheLastByteAndLeavesTheTemplateWhenItWouldNot)
{
    char command[kLinkCommandSize + 8];
    std::memset(command, '#', sizeof command);
    std::string longest(kLinkCommandSize - 1 - 1 - 100, 't'); // template, blank and address: 519 bytes
    std::string address(100, 'a');
    std::memcpy(command, longest.c_str(), longest.size() + 1);
    ASSERT_TRUE(ComposeLinkCommand(command, kLinkCommandSize, address.c_str()));
    EXPECT_EQ(kLinkCommandSize - 1, std::strlen(command));
    EXPECT_EQ('#', command[kLinkCommandSize]); // nothing past the buffer

    std::string tooLong = longest + "t";
    std::memcpy(command, tooLong.c_str(), tooLong.size() + 1);
    EXPECT_FALSE(ComposeLinkCommand(command, kLinkCommandSize, address.c_str()));
    EXPECT_EQ(tooLong, command);
}

TEST(ReadKeyDefault, ValueTooLongGivesAnEmptyStringAndCountsAsNoAssociation)
{
    struct Case {
        size_t length;
        bool fits;
    } cases[] = {{259, true}, {260, false}, {300, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        std::string value(c.length, 'v');
        HtmAssociation association("unused", value);
        char out[kLinkCommandSize];
        std::memset(out, '#', sizeof out);
        LONG error = CLinkStatic::ReadKeyDefault(HKEY_CLASSES_ROOT, ".htm", out);
        EXPECT_EQ(c.fits, error == ERROR_SUCCESS);
        EXPECT_EQ(c.fits ? value : std::string(), std::string(out));
        EXPECT_EQ('#', out[MAX_PATH]); // never more than 260 bytes written
    }

    // A too-long file type name stops the fallback: the shell's code is the answer.
    HtmAssociation association(ToolPath() + " \"%1\"", std::string(300, 'v'));
    ToolLog log;
    EXPECT_EQ(ShellResult(kAddress), CLinkStatic::OpenUrl(kAddress, SW_SHOWNORMAL));
    EXPECT_EQ("", log.Wait(1000));
}

TEST(ShowLaunchError, ExplainsEachCodeUnderTheApplicationsTitle)
{
    struct Case {
        int code;
        const char* text;
    } cases[] = {
        {0, "The operating system is out\nof memory or resources."},
        {2, "The specified file was not found."},
        {26, "A sharing violation occurred. "},
        {31, kNoAssociation},
        {4, "Unknown Error (4) occurred."},
        {-5, "Unknown Error (-5) occurred."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        MessageBoxCatcher catcher;
        CLinkStatic::ShowLaunchError(c.code);
        ASSERT_EQ(1u, catcher.m_boxes.size());
        EXPECT_EQ(std::string(kPrefix) + c.text, catcher.m_boxes[0].text);
        EXPECT_EQ("Brisko link test", catcher.m_boxes[0].title);
        EXPECT_TRUE(catcher.m_boxes[0].exclamation);
    }
}

TEST(OnClicked, ShellSuccessNeedsNoRegistryAndShowsTheVisitedColour)
{
    const std::string tool = ToolPath();
    HtmAssociation association(tool + " -fallback \"%1\"");
    ToolLog log;
    CLinkTestDlg dlg;
    dlg.m_beforeAttach = [&](CLinkTestDlg& d) { ::SetDlgItemTextA(d.m_hWnd, IDC_L_CENTER, tool.c_str()); };
    MessageBoxCatcher catcher;
    RunLinkDialog(dlg, {[&](CLinkTestDlg& d) {
                      Click(d.m_center);
                      EXPECT_TRUE(d.m_center.m_bVisited);
                      EXPECT_EQ(RGB(85, 26, 139), ColoursOf(d, d.m_center).text);
                  }});
    std::string started = log.Wait();
    EXPECT_NE(std::string::npos, started.find("link_tool.exe"));
    EXPECT_EQ(std::string::npos, started.find("-fallback")); // the shell started it, not the association
    EXPECT_TRUE(catcher.m_boxes.empty());
}

TEST(OnClicked, FailureAfterSuccessClearsVisitedAndExplainsTheLastCode)
{
    struct Case {
        const char* failingCommand; // nullptr: no association at all
        std::string text;
    } cases[] = {
        {nullptr, kNoAssociation},                                                      // the shell's code, 31
        {"Y:\\brisko-no-such-browser.exe \"%1\"", "The specified file was not found."}, // WinExec's code, 2
    };
    ASSERT_EQ(SE_ERR_NOASSOC, ShellResult(kAddress));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ToolLog log;
        MessageBoxCatcher catcher;
        CLinkTestDlg dlg;
        RunLinkDialog(dlg, {[&](CLinkTestDlg& d) {
                          CLinkStatic& link = d.m_center;
                          {
                              HtmAssociation working(ToolPath() + " \"%1\"");
                              Click(link);
                          }
                          EXPECT_TRUE(link.m_bVisited);
                          EXPECT_TRUE(catcher.m_boxes.empty());

                          std::unique_ptr<HtmAssociation> failing;
                          if (c.failingCommand != nullptr)
                              failing = std::make_unique<HtmAssociation>(c.failingCommand);
                          Click(link);
                          EXPECT_FALSE(link.m_bVisited);
                          ASSERT_EQ(1u, catcher.m_boxes.size());
                          EXPECT_EQ(std::string(kPrefix) + c.text, catcher.m_boxes[0].text);
                          EXPECT_EQ(RGB(0, 0, 238), ColoursOf(d, link).text);
                          link.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(1, 1));
                          EXPECT_EQ(::GetSysColor(COLOR_HIGHLIGHT), ColoursOf(d, link).text);
                          link.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(-5, -5));
                      }});
        EXPECT_NE("", log.Wait()); // the first click's launch
    }
}
