// The run on the real main dialog: the boxes are read first, each ticked step's message is on the
// (repainted) status line before the step begins, and "Finished!" comes last.
#include "app/brisko_dlg.h"
#include "tests/support/trace_kit_files.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <string>
#include <vector>

using namespace trace_kit;

namespace {

const char kTypedUrls[] = "Software\\Microsoft\\Internet Explorer\\TypedURLs";
const char kRunMru[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RunMRU";
const char kFindComputer[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FindComputerMRU";
const char kTelnet[] = "Software\\Microsoft\\Telnet";

// What the status line showed, and which step traces were still there at that moment.
struct StatusChange {
    std::string text;
    bool typedUrls, runMru, findComputer, telnet;
    bool unpainted; // the status control still waited to be painted when the next change came
};

std::vector<StatusChange> g_changes;
CBriskoDlg* g_dialog = nullptr;

LRESULT CALLBACK RecordStatus(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR)
{
    if (message == WM_SETTEXT) {
        if (!g_changes.empty())
            g_changes.back().unpainted = GetUpdateRect(hwnd, nullptr, FALSE);
        g_changes.push_back({reinterpret_cast<const char*>(lParam), KeyExists(HKEY_CURRENT_USER, kTypedUrls),
                             KeyExists(HKEY_CURRENT_USER, kRunMru), KeyExists(HKEY_CURRENT_USER, kFindComputer),
                             ValueExists(HKEY_CURRENT_USER, kTelnet, "Machine1"), false});
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

// Runs inside the dialog's modal loop: tick the boxes as a user would, press "Clear Now", close.
void CALLBACK ClickClearNow(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(nullptr, timer);
    HWND dialog = g_dialog->GetSafeHwnd();
    for (int id = IDC_TEMPFILES; id <= IDC_CLEARONSTART; ++id)
        SendDlgItemMessageA(dialog, id, BM_SETCHECK, BST_UNCHECKED, 0);
    for (int id : {IDC_URLHISTORY, IDC_RUNHISTORY, IDC_FINDCOMPUTERS, IDC_TELNET})
        SendDlgItemMessageA(dialog, id, BM_SETCHECK, BST_CHECKED, 0);
    HWND status = GetDlgItem(dialog, IDC_STATUS);
    SetWindowSubclass(status, RecordStatus, 1, 0);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_CLEARNOW, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDC_CLEARNOW)));
    if (!g_changes.empty())
        g_changes.back().unpainted = GetUpdateRect(status, nullptr, FALSE);
    RemoveWindowSubclass(status, RecordStatus, 1);
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
}

} // namespace

TEST(RunClean, ReadsTheBoxesThenShowsEachMessageBeforeItsStepAndEndsWithFinished)
{
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, kTypedUrls, "url1", "http://brisko.test/"));
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, kRunMru, "a", "notepad\\1"));
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, kFindComputer, "a", "brisko"));
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, kTelnet, "Machine1", "brisko.test"));

    CBriskoDlg dialog;
    g_dialog = &dialog;
    g_changes.clear();
    ASSERT_NE(0u, SetTimer(nullptr, 0, 10, ClickClearNow));
    dialog.DoModal();

    // The members held the defaults (temp files, cookies, ... ticked) until the run read the boxes.
    struct Expected {
        const char* text;
        bool typedUrls, runMru, findComputer, telnet;
    } const expected[] = {
        {"Deleting URL history...", true, true, true, true},
        {"Clear history of run command...", false, true, true, true},
        {"Clear finding computers history...", false, false, true, true},
        {"Clear remote logon history...", false, false, false, true},
        {"Finished!", false, false, false, false},
    };
    ASSERT_EQ(sizeof expected / sizeof expected[0], g_changes.size());
    for (size_t i = 0; i < g_changes.size(); ++i) {
        const StatusChange& change = g_changes[i];
        SCOPED_TRACE(expected[i].text);
        EXPECT_EQ(expected[i].text, change.text);
        EXPECT_EQ(expected[i].typedUrls, change.typedUrls);
        EXPECT_EQ(expected[i].runMru, change.runMru);
        EXPECT_EQ(expected[i].findComputer, change.findComputer);
        EXPECT_EQ(expected[i].telnet, change.telnet);
        // Windows repaints the static only on WM_PAINT; Wine paints it at once on WM_SETTEXT.
        EXPECT_FALSE(change.unpainted) << "the status line was not repainted while its step ran";
    }
    EXPECT_EQ("Finished!", dialog.m_strStatus);
    DeleteKeyTree(HKEY_CURRENT_USER, kTelnet);
}
