// The real Brisko.exe, with chosen step boxes stored ticked, cleans the trace kit's traces on
// "Clear Now": what each step removes, and that nothing else goes.
#include "res/resource.h"
#include "tests/support/brisko_driver.h"
#include "tests/support/trace_kit.h"

#include <gtest/gtest.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <sstream>
#include <vector>

extern "C" __declspec(dllimport) LRESULT CALLBACK StatusHook(int code, WPARAM wParam, LPARAM lParam);

namespace {

struct Case {
    const char* name;
    std::vector<int> steps;
    std::string temp;    // TMP and TEMP for Brisko, when not empty
    const char* version; // the Windows version Wine shows Brisko, when not null
    const char* spared;  // traces of the ticked steps whose names hold this stay
};

// Seeding and reporting run in a fresh process each time: wininet keeps its own view of the cache.
std::vector<trace_kit::TraceState> Report()
{
    std::string output, state, step, also, name;
    EXPECT_TRUE(brisko::RunKit("report", output)) << output;
    std::vector<trace_kit::TraceState> traces;
    std::istringstream lines(output);
    while (std::getline(lines, state, '\t') && std::getline(lines, step, '\t') && std::getline(lines, also, '\t') &&
           std::getline(lines, name))
        traces.push_back({name, std::stoi(step), std::stoi(also), state == "present"});
    EXPECT_LT(100u, traces.size()) << output;
    return traces;
}

void SetTemp(const std::string& temp)
{
    SetEnvironmentVariableW(L"TMP", trace_kit::Wide(temp).c_str());
    SetEnvironmentVariableW(L"TEMP", trace_kit::Wide(temp).c_str());
}

class Clean : public ::testing::TestWithParam<Case> {};

TEST_P(Clean, RemovesTheTickedStepsTracesAndNothingElse)
{
    const Case& c = GetParam();
    brisko::SharedStateGuard guard;
    std::string seeded;
    ASSERT_TRUE(brisko::RunKit("seed", seeded)) << seeded;
    for (const trace_kit::TraceState& trace : Report())
        ASSERT_TRUE(trace.present) << "seeded but absent: " << trace.name;
    std::array<int, 20> flags = {};
    for (int step : c.steps)
        flags[step - 1] = 1;
    ASSERT_TRUE(trace_kit::WriteBytes(brisko::SettingsPath(), brisko::SettingsBytes(flags, "5")));
    const char version[] = "Software\\Wine\\AppDefaults\\Brisko.exe";
    ASSERT_TRUE(!c.version || trace_kit::SetString(HKEY_CURRENT_USER, version, "Version", c.version));
    const std::string ownTemp = trace_kit::TempFolder();
    SetTemp(c.temp.empty() ? ownTemp : c.temp);
    brisko::Instance brisko;
    const bool started = brisko.Start();
    SetTemp(ownTemp);
    SHDeleteKeyA(HKEY_CURRENT_USER, version);
    ASSERT_TRUE(started);
    brisko.Click(IDC_CLEARNOW);
    EXPECT_TRUE(brisko::WaitFor([&] { return brisko.Text(IDC_STATUS) == "Finished!"; }, 60000));
    ASSERT_TRUE(brisko.End(brisko::Ending::CloseBox));
    std::string wronglyGone, wronglyKept;
    for (const trace_kit::TraceState& trace : Report()) {
        bool goes = false;
        for (int step : c.steps)
            goes = goes || trace.step == step || trace.alsoStep == step;
        goes = goes && !(c.spared && trace.name.find(c.spared) != std::string::npos);
        if (goes == trace.present)
            (trace.present ? wronglyKept : wronglyGone) +=
                "\n  " + trace.name + " (step " + std::to_string(trace.step) + ")";
    }
    EXPECT_EQ("", wronglyGone) << "removed, though it should stay";
    EXPECT_EQ("", wronglyKept) << "still there, though it should go";
}

std::vector<Case> Cases()
{
    std::vector<Case> cases = {
        {"None", {}, "", nullptr, nullptr},
        {"All", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17}, "", nullptr, nullptr},
        // Only the NT family keeps a per-user copy of the form data.
        {"FormHistoryOnWindows98", {4}, "", "win98", "of the user"},
        {"FormHistoryOnWindowsNT4", {4}, "", "nt40", nullptr},
        // A temp folder that is the profile, through a link or spelt otherwise, is refused.
        {"TempLinkedToTheProfile", {8}, trace_kit::ProfileLink(), nullptr, ""},
        {"TempIsTheProfileSpeltLong", {8}, "\\\\?\\" + trace_kit::ShellFolder(CSIDL_PROFILE), nullptr, ""}};
    const char* const names[] = {"TempFiles",  "Cookies",      "UrlHistory", "FormHistory",   "PasswordHistory",
                                 "Favorites",  "AutoDial",     "SystemTemp", "RecycleBin",    "RunHistory",
                                 "RecentDocs", "LogonHistory", "FindFiles",  "FindComputers", "NetHood",
                                 "Telnet",     "HistoryItems"};
    for (int step = 1; step <= 17; ++step)
        cases.push_back({names[step - 1], {step}, "", nullptr, nullptr});
    return cases;
}

std::string g_seen; // each text the status line showed, on a line of its own
const char kTypedUrls[] = "Software\\Microsoft\\Internet Explorer\\TypedURLs";

LRESULT CALLBACK ReadStatus(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_APP)
        return DefWindowProcA(hWnd, message, wParam, lParam);
    char text[64] = "";
    GetWindowTextA(reinterpret_cast<HWND>(wParam), text, sizeof text);
    g_seen += std::string(text) + "\n";
    // A step's message comes before the step: its trace is still there.
    if (std::string(text) == "Deleting URL history..." && !trace_kit::KeyExists(HKEY_CURRENT_USER, kTypedUrls))
        g_seen += "(typed addresses gone before their message)\n";
    return 0;
}

// Every step ticked, one of them by hand, the status line read from this process while Brisko's thread waits in the
// hook at each new text: no message passes unseen however fast its step, and each comes before its step.
TEST(Run, StatusLineNamesEveryStepBeforeItInTheCatalogueOrderThenFinished)
{
    brisko::SharedStateGuard guard;
    ASSERT_TRUE(trace_kit::WriteBytes(
        brisko::SettingsPath(),
        brisko::SettingsBytes(brisko::Ticked({1, 2, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17}), "5")));
    ASSERT_TRUE(trace_kit::SetString(HKEY_CURRENT_USER, kTypedUrls, "url1", "http://example.test/"));
    WNDCLASSA watcherClass = {};
    watcherClass.lpfnWndProc = ReadStatus;
    watcherClass.lpszClassName = "BriskoStatusWatcher";
    RegisterClassA(&watcherClass);
    HWND watcher =
        CreateWindowExA(0, watcherClass.lpszClassName, nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    brisko::Instance brisko;
    ASSERT_TRUE(brisko.Start());
    HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROCRET, StatusHook, GetModuleHandleA("status_hook.dll"),
                                   GetWindowThreadProcessId(brisko.Window(), nullptr));
    ASSERT_NE(nullptr, hook);
    brisko.Click(IDC_URLHISTORY); // the run reads the boxes, not only what was stored
    g_seen.clear();
    brisko.Click(IDC_CLEARNOW); // this thread answers the hook while it waits for the run to end
    UnhookWindowsHookEx(hook);
    DestroyWindow(watcher);
    EXPECT_EQ("Deleting internet temp files...\nDeleting cookies...\nDeleting URL history...\n"
              "Deleting form history...\nDeleting password history...\nDeleting my favorite...\n"
              "Deleting auto dial history...\nDeleting system temp directory...\nClear recycle bin...\n"
              "Clear history of run command...\nClear recent documents...\nClear logon history...\n"
              "Clear finding files history...\nClear finding computers history...\n"
              "Clear network link objects...\nClear remote logon history...\nClear internet history items...\n"
              "Finished!\n",
              g_seen);
    ASSERT_TRUE(brisko.End(brisko::Ending::CloseBox));
}

INSTANTIATE_TEST_SUITE_P(Steps, Clean, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

} // namespace
