// The auto-clear timer in real time: a choice restarts it, and no number means no timer until a choice.
#include "app_e2e.h"

#include "res/resource.h"

using namespace app_e2e;
using brisko::Ending;
using brisko::Instance;

TEST_F(BriskoTest, ChoosingAnItemRestartsOrStartsTheAutoClearTimer)
{
    std::array<int, 20> flags = brisko::NoSteps();
    flags[kAutoClear] = 1;
    // Two instances side by side: each reads the file only while it starts.
    Store(flags, "1");
    Instance restarted;
    ASSERT_TRUE(restarted.Start());
    DWORD t0 = GetTickCount();
    Store(flags, "7");
    Instance unstarted;
    ASSERT_TRUE(unstarted.Start());
    EXPECT_EQ("", unstarted.Text(IDC_MINUTES));

    auto at = [&](DWORD seconds) {
        DWORD elapsed = GetTickCount() - t0;
        if (elapsed < seconds * 1000)
            Sleep(seconds * 1000 - elapsed);
    };
    // The first timer would fire 60 s after the start; choosing "1" at 15 s moves that to 75 s.
    at(15);
    restarted.ChooseMinutes(0);
    at(66);
    EXPECT_EQ(BRISKO_URL, restarted.Status());
    EXPECT_EQ(BRISKO_URL, unstarted.Status());
    unstarted.ChooseMinutes(0);
    DWORD chosen = GetTickCount();
    EXPECT_TRUE(restarted.WaitFor([&] { return restarted.Status() == "Finished!"; }, 25000));
    EXPECT_TRUE(unstarted.WaitFor([&] { return unstarted.Status() == "Finished!"; }, 75000));
    EXPECT_GE(GetTickCount() - chosen, 59000u);
    EXPECT_TRUE(restarted.End(Ending::CloseBox));
    EXPECT_TRUE(unstarted.End(Ending::CloseBox));
}
