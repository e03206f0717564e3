// The real Brisko.exe, with chosen step boxes stored ticked, cleans the trace kit's traces on
// "Clear Now": what each step removes, that nothing else goes, and which folders its steps may wipe.
#include "framework/scoped_win.h"
#include "res/resource.h"
#include "tests/support/brisko_driver.h"
#include "tests/support/trace_kit.h"

#include <gtest/gtest.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <vector>

extern "C" __declspec(dllimport) LRESULT CALLBACK StatusHook(int code, WPARAM wParam, LPARAM lParam);

namespace {

struct Case {
    const char* name;
    std::vector<int> steps;
    const char* version; // the Windows version Wine shows Brisko, when not null
    const char* spared;  // traces of the ticked steps whose names hold this stay
};

class Clean : public ::testing::TestWithParam<Case> {};

TEST_P(Clean, RemovesTheTickedStepsTracesAndNothingElse)
{
    const Case& c = GetParam();
    brisko::SharedStateGuard guard;
    std::string seeded;
    ASSERT_TRUE(brisko::RunKit("seed", seeded)) << seeded;
    for (const trace_kit::TraceState& trace : brisko::KitReport())
        ASSERT_TRUE(trace.present) << "seeded but absent: " << trace.name;
    std::array<int, 20> flags = {};
    for (int step : c.steps)
        flags[step - 1] = 1;
    const char version[] = "Software\\Wine\\AppDefaults\\Brisko.exe";
    ASSERT_TRUE(!c.version || trace_kit::SetString(HKEY_CURRENT_USER, version, "Version", c.version));
    std::string finished;
    EXPECT_TRUE(brisko::CleanOnce(flags, "", &finished));
    EXPECT_EQ("Finished!", finished) << "every ticked step did its work";
    SHDeleteKeyA(HKEY_CURRENT_USER, version);
    std::string wronglyGone, wronglyKept;
    const std::vector<trace_kit::TraceState> traces = brisko::KitReport();
    ASSERT_LT(100u, traces.size());
    for (const trace_kit::TraceState& trace : traces) {
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
    std::vector<Case> cases = {{"None", {}, nullptr, nullptr},
                               {"All", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17}, nullptr, nullptr},
                               // Only the NT family keeps a per-user copy of the form data.
                               {"FormHistoryOnWindows98", {4}, "win98", "of the user"},
                               {"FormHistoryOnWindowsNT4", {4}, "nt40", nullptr}};
    const char* const names[] = {"TempFiles",  "Cookies",      "UrlHistory", "FormHistory",   "PasswordHistory",
                                 "Favorites",  "AutoDial",     "SystemTemp", "RecycleBin",    "RunHistory",
                                 "RecentDocs", "LogonHistory", "FindFiles",  "FindComputers", "NetHood",
                                 "Telnet",     "HistoryItems"};
    for (int step = 1; step <= 17; ++step)
        cases.push_back({names[step - 1], {step}, nullptr, nullptr});
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

// Folders a step may be handed, spelt as settings any program of the user can change may spell them,
// and whether the step may empty them.
using Spelling = std::pair<std::string, bool>;

std::vector<Spelling> Spellings()
{
    using trace_kit::ShellFolder;
    const std::string windows = trace_kit::WindowsFolder(), profile = ShellFolder(CSIDL_PROFILE);
    std::string programs(MAX_PATH, '\0');
    programs.resize(GetEnvironmentVariableA("ProgramW6432", &programs[0], MAX_PATH)); // the native one
    return {{"C:\\", false},
            {windows + "\\Sysnative\\drivers", false}, // the native system directory's, for the 32-bit program
            {ShellFolder(CSIDL_COMMON_APPDATA), false},
            {ShellFolder(CSIDL_PROGRAM_FILESX86) + "\\Internet Explorer", false},
            {programs + "\\Windows NT", false},
            {profile, false},
            {"\\\\?\\" + profile + "\\Downloads", false},
            {trace_kit::ProfileLink(), false},
            {trace_kit::ParentFolder(profile), false},
            {ShellFolder(CSIDL_PERSONAL), false},
            {ShellFolder(CSIDL_COMMON_DOCUMENTS), false},
            {trace_kit::ParentFolder(ShellFolder(CSIDL_APPDATA)), false}, // above Roaming and Local
            {ShellFolder(CSIDL_LOCAL_APPDATA) + "\\Temp", true},
            {ShellFolder(CSIDL_PERSONAL) + "\\Brisko Test", true},
            {windows + "\\TEMP\\", true},
            {"Y:\\sandbox\\Brisko Moved", true}, // another drive (the sandbox empties it for each session)
            {windows + "\\History", true}};
}

// `name` in the folder a spelling leads to, in the plain form the kit's helpers take.
std::string In(std::string folder, const char* name)
{
    folder.erase(0, folder.rfind("\\\\?\\", 0) == 0 ? 4 : 0);
    return (folder.back() == '\\' ? folder : folder + '\\') + name;
}

// Each spelling is the temp folder of a run and where Favorites, Recent or NetHood was moved in three
// others. There a file of a sub-folder is held by another program sharing deletion, as scanners do:
// the rest goes, the run finishes, and the file goes when it is let go; one held without delete sharing
// stays, in use. The last message names the steps whose folder was refused, in the run's order.
TEST(Run, WipesOnlyTheFoldersAStepMayWhereverSettingsPointIt)
{
    const char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
    const char* const moved[] = {"TEMP", "Favorites", "Recent", "NetHood"};
    const char* const names[] = {"temp", "favorites", "recent", "nethood"};
    brisko::SharedStateGuard guard;
    const std::vector<Spelling> table = Spellings();
    std::string wrong;
    for (size_t run = 0; run < table.size(); ++run) {
        const std::string held = In(table[run].first, "brisko held\\held.txt"),
                          other = trace_kit::ParentFolder(held) + "\\other";
        ASSERT_TRUE(trace_kit::WriteBytes(held, "held") && trace_kit::WriteBytes(other, "other"));
        for (size_t k = 0; k < 4; ++k) {
            const Spelling& row = table[(run + k) % table.size()];
            ASSERT_TRUE(trace_kit::WriteBytes(In(row.first, "brisko canary.txt"), "canary")) << row.first;
            ASSERT_TRUE(k == 0 || trace_kit::SetString(HKEY_CURRENT_USER, kShellFolders, moved[k], row.first));
        }
        const std::string inUse = trace_kit::ParentFolder(held) + "\\in use";
        ASSERT_TRUE(trace_kit::WriteBytes(inUse, "in use"));
        ScopedFile holder(CreateFileW(trace_kit::Wide("\\\\?\\" + held).c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                                      nullptr)),
            user(CreateFileW(trace_kit::Wide("\\\\?\\" + inUse).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                             OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(holder && user);
        std::string finished, expected, skipped;
        EXPECT_TRUE(brisko::CleanOnce(brisko::Ticked({6, 8, 11, 15}), table[run].first, &finished)) << table[run].first;
        holder = ScopedFile();
        user = ScopedFile();
        int count = 0;
        for (size_t k : {1, 0, 2, 3}) // Favorites, TEMP, Recent, NetHood
            skipped += table[(run + k) % table.size()].second ? "" : (count++ ? ", " : "") + std::string(names[k]);
        const std::string used = table[run].second ? "1 in use" : "";
        expected = count ? "Finished! Skipped: " + skipped : "Finished!";
        if (count && expected.size() + (used.empty() ? 0 : used.size() + 2) > 35)
            expected = "Finished! Skipped " + std::to_string(count) + " steps";
        expected += used.empty() ? "" : (count ? "; " : " ") + used;
        if (finished != expected)
            wrong += "\n  " + table[run].first + ": \"" + finished + "\", not \"" + expected + "\"";
        for (size_t k = 0; k < 4; ++k) {
            const Spelling& row = table[(run + k) % table.size()];
            if (trace_kit::Exists(In(row.first, "brisko canary.txt")) == row.second)
                wrong += "\n  " + row.first + (row.second ? " kept" : " wiped") + " as " + moved[k];
        }
        if (table[run].second && (trace_kit::Exists(other) || trace_kit::Exists(held)))
            wrong += "\n  " + table[run].first + ": the held file's sub-folder kept more than a folder";
        for (size_t k = 0; k < 4; ++k) // two spellings may lead to one folder: its canary goes after both are seen
            trace_kit::RemoveTree(In(table[(run + k) % table.size()].first, "brisko canary.txt"));
        trace_kit::RemoveTree(trace_kit::ParentFolder(held));
    }
    for (int k = 1; k < 4; ++k)
        SHDeleteValueA(HKEY_CURRENT_USER, kShellFolders, moved[k]);
    trace_kit::RemoveTree(trace_kit::ShellFolder(CSIDL_PERSONAL) + "\\Brisko Test");
    EXPECT_EQ("", wrong);
}

INSTANTIATE_TEST_SUITE_P(Steps, Clean, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

} // namespace
