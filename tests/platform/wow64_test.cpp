// The 32-bit build runs as users run it: a 32-bit process on 64-bit Windows (WOW64).
#include <gtest/gtest.h>

#include <windows.h>

TEST(Platform, RunsAsThe64BitSystemRunsItsPrograms)
{
    BOOL wow64 = FALSE;
    ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
    EXPECT_EQ(sizeof(void*) == 4, wow64 != FALSE) << "a 32-bit prefix runs the 32-bit build without WOW64";
}
