// The main window's rules that need no window: timer period, start-up entry data, icon centring.
#include "app/dialog_rules.h"

#include <gtest/gtest.h>

#include <string>

TEST(MinutesToPeriod, ListItemsGiveWholeMinutes)
{
    struct Case {
        const char* text;
        UINT period;
    } cases[] = {{"1", 60000},      {"5", 300000},     {"30", 1800000},    {"60", 3600000},
                 {"300", 18000000}, {"600", 36000000}, {"1200", 72000000}, {" 12abc", 720000}};
    for (const Case& c : cases) {
        UINT period = 0;
        EXPECT_TRUE(MinutesToPeriod(c.text, period)) << c.text;
        EXPECT_EQ(c.period, period) << c.text;
    }
}

TEST(MinutesToPeriod, NoPositiveNumberGivesNoPeriod)
{
    for (const char* text : {"", "abc", "0", "-5", " "}) {
        UINT period = 7;
        EXPECT_FALSE(MinutesToPeriod(text, period)) << '"' << text << '"';
        EXPECT_EQ(7u, period) << text;
    }
}

TEST(StartupEntry, PathIsFollowedByTwoBlanksAndHide)
{
    std::string data;
    const char plain[] = "C:\\Brisko\\Brisko.exe";
    ASSERT_TRUE(StartupEntryData(plain, sizeof plain - 1, kStartupPathLimit, data));
    EXPECT_EQ("C:\\Brisko\\Brisko.exe  hide", data);

    const char blank[] = "C:\\Program Files\\Brisko\\Brisko.exe";
    ASSERT_TRUE(StartupEntryData(blank, sizeof blank - 1, kStartupPathLimit, data));
    EXPECT_EQ("\"C:\\Program Files\\Brisko\\Brisko.exe\"  hide", data);
}

TEST(StartupEntry, PathAtTheLimitIsNeverUsed)
{
    std::string longest = "C:\\" + std::string(kStartupPathLimit - 1 - 3 - 4, 'p') + ".exe"; // 149 characters
    ASSERT_EQ(kStartupPathLimit - 1, longest.size());
    std::string data;
    ASSERT_TRUE(StartupEntryData(longest.c_str(), (DWORD)longest.size(), kStartupPathLimit, data));
    EXPECT_EQ(longest + "  hide", data);

    // What GetModuleFileNameA returns for a longer path: the limit itself, the path cut.
    std::string cut = longest + "x";
    EXPECT_FALSE(StartupEntryData(cut.c_str(), kStartupPathLimit, kStartupPathLimit, data));
    EXPECT_EQ("", data);
    EXPECT_FALSE(StartupEntryData("", 0, kStartupPathLimit, data));
    EXPECT_EQ("", data);
}

TEST(MinimisedPainting, IconCentringTruncatesTowardZero)
{
    EXPECT_EQ(3, CentredIconOrigin(37, 32));
    EXPECT_EQ(2, CentredIconOrigin(36, 32));
    EXPECT_EQ(-1, CentredIconOrigin(28, 32));
    EXPECT_EQ(0, CentredIconOrigin(32, 32));
}
