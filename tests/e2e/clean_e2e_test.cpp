// The real Brisko.exe, started with chosen step boxes ticked, cleans the trace kit's traces on
// "Clear Now": what each step removes, and that nothing else goes.
#include "tests/support/brisko_driver.h"

#include "framework/scoped_win.h"
#include "res/resource.h"
#include "tests/support/trace_kit.h"
#include "tests/support/trace_kit_files.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <array>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

using brisko::Ending;
using brisko::Instance;

namespace {

struct Trace {
    std::string name;
    int step;     // 0 for a canary
    int alsoStep; // another step that removes it on this platform; 0 for none
    bool present;
};

std::string KitPath()
{
    std::string path = "Y:\\" TRACE_KIT_IN_BUILD;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

// A fresh trace_kit.exe per call: a process that has seen the cache folder wiped under it cannot
// rely on its URL cache state.
bool RunKit(const char* command, std::string& output)
{
    output.clear();
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &inherit, 0))
        return false;
    ScopedFile reader(readEnd), writer(writeEnd);
    ::SetHandleInformation(reader.get(), HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = writer.get();
    si.hStdError = writer.get();
    PROCESS_INFORMATION pi = {};
    std::string line = "\"" + KitPath() + "\" " + command;
    if (!::CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi))
        return false;
    ScopedFile process(pi.hProcess), thread(pi.hThread);
    writer = ScopedFile(nullptr); // only the child holds the write end: its exit ends the reading

    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(reader.get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
        output.append(buffer, got);
    DWORD code = 1;
    return ::WaitForSingleObject(process.get(), 60000) == WAIT_OBJECT_0 && ::GetExitCodeProcess(process.get(), &code) &&
           code == 0;
}

// "present|absent <tab> step <tab> alsoStep <tab> name" per line.
std::vector<Trace> Report()
{
    std::string output;
    EXPECT_TRUE(RunKit("report", output)) << output;
    std::vector<Trace> traces;
    std::istringstream lines(output);
    std::string state, step, also, name;
    while (std::getline(lines, state, '\t') && std::getline(lines, step, '\t') && std::getline(lines, also, '\t') &&
           std::getline(lines, name))
        traces.push_back({name, std::stoi(step), std::stoi(also), state == "present"});
    EXPECT_LT(100u, traces.size()) << output;
    return traces;
}

// The stored flags with only these steps ticked (catalogue numbers 1..17: the file holds the steps first,
// in run order).
std::array<int, 20> Ticked(std::initializer_list<int> steps)
{
    std::array<int, 20> flags = brisko::NoSteps();
    for (int step : steps)
        flags[step - 1] = 1;
    return flags;
}

class CleanTest : public ::testing::Test {
protected:
    void SetUp() override { m_hadSettings = brisko::ReadBytes(brisko::SettingsPath(), m_savedSettings); }
    void TearDown() override
    {
        if (m_hadSettings)
            brisko::WriteBytes(brisko::SettingsPath(), m_savedSettings);
        else
            ::DeleteFileA(brisko::SettingsPath().c_str());
    }

    // Seeds every trace, starts Brisko with the stored flags (and a temp folder of its own when
    // `temp` is given), presses "Clear Now", waits for "Finished!", closes it and reports what remains.
    void SeedAndClear(const std::array<int, 20>& flags, const std::string& temp = std::string())
    {
        std::string failures;
        ASSERT_TRUE(RunKit("seed", failures)) << failures;
        for (const Trace& trace : Report())
            ASSERT_TRUE(trace.present) << "seeded but absent: " << trace.name;
        ASSERT_TRUE(brisko::WriteBytes(brisko::SettingsPath(), brisko::SettingsBytes(flags, "5")));

        Instance brisko;
        const std::wstring ownTemp = trace_kit::Wide(temp);
        if (!temp.empty()) {
            ::SetEnvironmentVariableW(L"TMP", ownTemp.c_str());
            ::SetEnvironmentVariableW(L"TEMP", ownTemp.c_str());
        }
        const bool started = brisko.Start();
        if (!temp.empty()) {
            const std::wstring mine = trace_kit::Wide(m_temp);
            ::SetEnvironmentVariableW(L"TMP", mine.c_str());
            ::SetEnvironmentVariableW(L"TEMP", mine.c_str());
        }
        ASSERT_TRUE(started);
        brisko.Click(IDC_CLEARNOW);
        ASSERT_TRUE(brisko.WaitFor([&] { return brisko.Status() == "Finished!"; }, 60000)) << brisko.Status();
        ASSERT_TRUE(brisko.End(Ending::CloseBox));
        m_after = Report();
    }

    // Every trace that went though it should stay, or stayed though it should go, named; none expected.
    template <typename ShouldGo> void ExpectGone(ShouldGo shouldGo) const
    {
        std::string wronglyGone, wronglyKept;
        for (const Trace& trace : m_after) {
            if (shouldGo(trace) == trace.present)
                (trace.present ? wronglyKept : wronglyGone) +=
                    "\n  " + trace.name + " (step " + std::to_string(trace.step) + ")";
        }
        EXPECT_TRUE(wronglyGone.empty()) << "removed, though it should stay:" << wronglyGone;
        EXPECT_TRUE(wronglyKept.empty()) << "still there, though it should go:" << wronglyKept;
    }

    std::vector<Trace> m_after;
    const std::string m_temp = trace_kit::TempFolder();

private:
    bool m_hadSettings = false;
    std::string m_savedSettings;
};

TEST_F(CleanTest, EveryStepTickedRemovesEveryTraceAndSparesEveryCanary)
{
    ASSERT_NO_FATAL_FAILURE(SeedAndClear(Ticked({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17})));
    ExpectGone([](const Trace& trace) { return trace.step != 0; });
}

TEST_F(CleanTest, NoStepTickedDeletesNothing)
{
    ASSERT_NO_FATAL_FAILURE(SeedAndClear(brisko::NoSteps()));
    ExpectGone([](const Trace&) { return false; });
}

// A temp folder that is the profile, through a link or by another spelling, is refused: nothing goes.
TEST_F(CleanTest, TempFolderThatIsTheProfileIsRefused)
{
    for (const std::string& temp : {trace_kit::ProfileLink(), "\\\\?\\" + trace_kit::ShellFolder(CSIDL_PROFILE)}) {
        SCOPED_TRACE(temp);
        ASSERT_NO_FATAL_FAILURE(SeedAndClear(Ticked({8}), temp));
        ExpectGone([](const Trace&) { return false; });
    }
}

// Each box alone: its step's traces go and every other step's stay. Neighbours that are easily
// exchanged (form history and password history, typed URLs and internet history items) are told apart here.
class StepAloneTest : public CleanTest, public ::testing::WithParamInterface<int> {};

TEST_P(StepAloneTest, RemovesItsOwnTracesOnly)
{
    const int step = GetParam();
    ASSERT_NO_FATAL_FAILURE(SeedAndClear(Ticked({step})));
    ExpectGone([&](const Trace& trace) { return trace.step == step || trace.alsoStep == step; });
}

const char* const kStepNames[] = {"",
                                  "TempFiles",
                                  "Cookies",
                                  "UrlHistory",
                                  "FormHistory",
                                  "PasswordHistory",
                                  "Favorites",
                                  "AutoDial",
                                  "SystemTemp",
                                  "RecycleBin",
                                  "RunHistory",
                                  "RecentDocs",
                                  "LogonHistory",
                                  "FindFiles",
                                  "FindComputers",
                                  "NetHood",
                                  "Telnet",
                                  "HistoryItems"};

INSTANTIATE_TEST_SUITE_P(Steps, StepAloneTest, ::testing::Range(1, 18), [](const ::testing::TestParamInfo<int>& info) {
    return std::to_string(info.param) + "_" + kStepNames[info.param];
});

} // namespace
