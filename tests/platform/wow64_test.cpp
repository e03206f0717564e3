// The 32-bit build runs as users run it: a 32-bit process on 64-bit Windows (WOW64).
#include <gtest/gtest.h>

#include <windows.h>

TEST(Platform, RunsAsThe64BitSystemRunsItsPrograms)
{
    BOOL wow64 = FALSE;
    ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
#ifdef _WIN64
    EXPECT_FALSE(wow64);
    EXPECT_EQ(8u, sizeof(void*));
#else
    EXPECT_TRUE(wow64) << "a 32-bit prefix runs the 32-bit build without WOW64";
    EXPECT_EQ(4u, sizeof(void*));
#endif
}
