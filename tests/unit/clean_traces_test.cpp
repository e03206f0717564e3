// Each step alone, on every seeded trace: it removes its own traces and nothing else.
// The step comes from BRISKO_STEP, one process per step: once a step has wiped the cache folder,
// WinINet cannot add entries in that process.
#include "app/brisko_dlg.h"
#include "clean/steps.h"
#include "tests/support/trace_kit.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include <cstdlib>
#include <string>

namespace {

// The catalogue's steps by number.
void (*const kSteps[])() = {
    nullptr,         CleanTempFiles,    CleanCookies,      CleanTypedUrls,       CBriskoDlg::RemoveFormData,
    CleanIntelliForms, CleanFavorites,  CleanAutoDial,     CleanSystemTemp,      EmptyRecycleBin,
    CleanRunMru,     CleanRecentDocs,   CleanLogonNames,   CleanFindFilesMru,    CleanFindComputerMru,
    CleanNetHood,    CleanTelnetHistory, CleanHistoryItems,
};

int StepUnderTest()
{
    const char* text = std::getenv("BRISKO_STEP");
    return text ? std::atoi(text) : 0;
}

} // namespace

TEST(StepAlone, RemovesItsTracesAndNothingElse)
{
    const int step = StepUnderTest();
    ASSERT_TRUE(step >= 1 && step <= 17) << "BRISKO_STEP must name a step";
    const std::vector<std::string> failures = trace_kit::Seed();
    for (const std::string& name : failures)
        ADD_FAILURE() << "not seeded: " << name;
    for (const trace_kit::TraceState& trace : trace_kit::Report())
        ASSERT_TRUE(trace.present) << "seeded but absent: " << trace.name;

    ASSERT_EQ(S_OK, CoInitialize(nullptr));
    kSteps[step]();
    CoUninitialize();

    for (const trace_kit::TraceState& trace : trace_kit::Report())
        EXPECT_EQ(trace.step != step && trace.alsoStep != step, trace.present) << trace.name << " (step " << trace.step << ")";
}
