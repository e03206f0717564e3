// The application shell driven from a second process: what a user sees, keeps and gets back.
#include "res/resource.h"
#include "tests/support/brisko_driver.h"
#include "tests/support/trace_kit.h"

#include <gtest/gtest.h>

#include <set>

using brisko::Ending;
using brisko::Instance;
using trace_kit::ReadBytes;

namespace {

const std::set<int> kDefaultTicks = {IDC_TEMPFILES,   IDC_COOKIES,         IDC_URLHISTORY,
                                     IDC_FORMHISTORY, IDC_PASSWORDHISTORY, IDC_SYSTEMTEMP};

void ExpectTicked(const Instance& brisko, const std::set<int>& ticked)
{
    for (int id = IDC_TEMPFILES; id <= IDC_CLEARONSTART; ++id) {
        if (id != IDC_STATUS && id != IDC_CLEARNOW && id != IDC_MINUTES)
            EXPECT_EQ(ticked.count(id) != 0, brisko.IsChecked(id)) << "box " << id;
    }
}

void Store(const std::array<int, 20>& flags, const std::string& minutes)
{
    ASSERT_TRUE(trace_kit::WriteBytes(brisko::SettingsPath(), brisko::SettingsBytes(flags, minutes)));
}

std::string Stored() { return ReadBytes(brisko::SettingsPath()); }

std::array<int, 20> With(int flag)
{
    std::array<int, 20> flags = brisko::Ticked();
    flags[flag] = 1;
    return flags;
}

} // namespace

TEST(App, FirstStartShowsTheDefaults)
{
    brisko::SharedStateGuard guard;
    Instance brisko;
    ASSERT_TRUE(brisko.Start());
    EXPECT_TRUE(IsWindowVisible(brisko.Window()));
    char caption[32] = "";
    GetWindowTextA(brisko.Window(), caption, sizeof caption);
    EXPECT_STREQ("Brisko", caption);
    ExpectTicked(brisko, kDefaultTicks);
    // Wine carries only CB_GETLBTEXT's first character across processes: look each item up instead.
    const char* const items[] = {"1", "5", "30", "60", "300", "600", "1200"};
    EXPECT_EQ(7, SendMessageA(brisko.Item(IDC_MINUTES), CB_GETCOUNT, 0, 0));
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(i, SendMessageA(brisko.Item(IDC_MINUTES), CB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)items[i]));
    EXPECT_EQ("5", brisko.Text(IDC_MINUTES));
    EXPECT_EQ(BRISKO_URL, brisko.Text(IDC_STATUS));
    EXPECT_EQ(BRISKO_URL, brisko.Text(IDC_LINK));
    EXPECT_EQ("Clear internet temperory files", brisko.Text(IDC_TEMPFILES));
    EXPECT_EQ("Clear my favorite ", brisko.Text(IDC_FAVORITES));
    EXPECT_EQ("Clear telenet history", brisko.Text(IDC_TELNET));
    for (bool enabled : {false, true, false}) { // the list follows "Auto clear every" at once
        EXPECT_EQ(enabled, brisko.IsEnabled(IDC_MINUTES));
        brisko.Click(IDC_AUTOCLEAR);
    }
    ASSERT_TRUE(brisko.End(Ending::CloseBox));
}

TEST(App, ChangesSurviveARestartWhicheverWayItEnds)
{
    brisko::SharedStateGuard guard;
    const struct {
        Ending how;
        int tick, untick, minutes;
        const char* shown;
    } rounds[] = {{Ending::CloseBox, IDC_RECYCLEBIN, IDC_COOKIES, 2, "30"},
                  {Ending::Escape, IDC_FINDFILES, IDC_TEMPFILES, 6, "1200"},
                  {Ending::EnterOnCheckBox, IDC_NETHOOD, IDC_SYSTEMTEMP, 0, "1"}};
    std::set<int> ticked = kDefaultTicks;
    std::string shown = "5";
    for (const auto& round : rounds) {
        SCOPED_TRACE(round.shown);
        Instance brisko;
        ASSERT_TRUE(brisko.Start());
        ExpectTicked(brisko, ticked);
        EXPECT_EQ(shown, brisko.Text(IDC_MINUTES));
        brisko.Click(round.tick);
        brisko.Click(round.untick);
        brisko.ChooseMinutes(round.minutes);
        ticked.insert(round.tick);
        ticked.erase(round.untick);
        shown = round.shown;
        ASSERT_TRUE(brisko.End(round.how));
        const std::string file = Stored();
        EXPECT_EQ(shown, file.substr(std::min<size_t>(84, file.size())));
        EXPECT_EQ(static_cast<int>(shown.size()), brisko::StoredFlag(file, 20));
        const std::pair<int, int> boxes[] = {{IDC_TEMPFILES, 0}, {IDC_COOKIES, 1}, {IDC_NETHOOD, 14}}; // id, flag
        for (const auto& box : boxes)
            EXPECT_EQ(static_cast<int>(ticked.count(box.first)), brisko::StoredFlag(file, box.second));
    }
}

// A stored flag beyond a box's states shows unticked and is stored as 0; the list shows the first
// item that begins with the stored text, or nothing, and that is what is stored again.
TEST(App, StoredValuesShowAsTheControlsAllow)
{
    brisko::SharedStateGuard guard;
    std::array<int, 20> flags = brisko::Ticked({1, 2, 3});
    flags[1] = 5;
    flags[2] = -1;
    flags[brisko::kAutoClear] = 1;
    const std::pair<const char*, const char*> cases[] = {{"3", "30"}, {"1", "1"}, {"12", "1200"}, {"7", ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        Store(flags, c.first);
        Instance brisko;
        ASSERT_TRUE(brisko.Start());
        EXPECT_EQ(c.second, brisko.Text(IDC_MINUTES));
        ExpectTicked(brisko, {IDC_TEMPFILES, IDC_AUTOCLEAR});
        EXPECT_TRUE(brisko.IsEnabled(IDC_MINUTES));
        ASSERT_TRUE(brisko.End(Ending::Escape));
        EXPECT_EQ(c.second, Stored().substr(84));
        EXPECT_EQ(0, brisko::StoredFlag(Stored(), 1));
        EXPECT_EQ(0, brisko::StoredFlag(Stored(), 2));
    }
}

TEST(App, HiddenStartComesBackOnlyByALeftPressOnTheIcon)
{
    brisko::SharedStateGuard guard;
    for (const char* args : {"Hide", "hide"}) { // only a lower-case "h" hides
        Instance brisko;
        ASSERT_TRUE(brisko.Start(args));
        HWND window = brisko.Window();
        Sleep(500); // not yet shown and already hidden look alike: the hide must also last
        ASSERT_EQ(*args == 'H', IsWindowVisible(window) != FALSE) << args;
        const struct {
            WPARAM id;
            LPARAM mouse;
        } ignored[] = {{101, WM_RBUTTONDOWN}, {101, WM_LBUTTONUP}, {101, WM_LBUTTONDBLCLK}, {100, WM_LBUTTONDOWN}};
        for (const auto& press : ignored) {
            brisko.Send(WM_USER + 101, press.id, press.mouse);
            EXPECT_EQ(*args == 'H', IsWindowVisible(window) != FALSE) << press.id << " " << press.mouse;
        }
        // A left press shows it; "Hide to task bar" hides it again, and the process and its icon live on.
        for (int round = 0; round < 2; ++round) {
            brisko.Send(WM_USER + 101, 101, WM_LBUTTONDOWN);
            EXPECT_TRUE(IsWindowVisible(window));
            brisko.Click(IDC_HIDE);
            EXPECT_FALSE(IsWindowVisible(window));
            EXPECT_TRUE(brisko.HasTrayIcon());
        }
        ASSERT_TRUE(brisko.End(Ending::CloseBox));
        EXPECT_FALSE(brisko.HasTrayIcon());
    }
}

TEST(App, StartupBoxWritesTheMachineEntryOrElseTheUsers)
{
    brisko::SharedStateGuard guard;
    const char run[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    const std::string saved = trace_kit::KeySddl(HKEY_LOCAL_MACHINE, run);
    for (bool machineDenied : {false, true}) {
        SCOPED_TRACE(machineDenied ? "HKLM denied" : "HKLM writable");
        // Nobody may set values under the machine's Run key, as for a standard user on Windows.
        if (machineDenied)
            ASSERT_TRUE(trace_kit::SetKeySddl(HKEY_LOCAL_MACHINE, run, "D:(D;;0x2;;;WD)(A;;KA;;;WD)"));
        const HKEY written = machineDenied ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
        const HKEY spared = machineDenied ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
        Instance brisko;
        EXPECT_TRUE(brisko.Start());
        brisko.Click(IDC_AUTOSTART);
        EXPECT_EQ(0, lstrcmpiA((brisko::ExePath() + "  hide").c_str(), brisko::RunValue(written).c_str()))
            << brisko::RunValue(written);
        EXPECT_EQ("<none>", brisko::RunValue(spared));
        brisko.Click(IDC_AUTOSTART);
        EXPECT_EQ("<none>", brisko::RunValue(written));
        brisko.Click(IDC_AUTOSTART);
        EXPECT_TRUE(brisko.End(Ending::CloseBox));
        EXPECT_NE("<none>", brisko::RunValue(written));
        EXPECT_EQ(1, brisko::StoredFlag(Stored(), brisko::kAutoStart));
        trace_kit::SetKeySddl(HKEY_LOCAL_MACHINE, run, saved.c_str());
        brisko::DeleteRunValues();
        DeleteFileA(brisko::SettingsPath().c_str());
    }
}

// The timer and the start cleaning with no step ticked: "Finished!" tells that a run happened.
TEST(App, CleansOnTheTimerWhileAutoClearIsTickedAndAtStartWhenAsked)
{
    brisko::SharedStateGuard guard;
    {
        Store(brisko::Ticked(), "5");
        Instance brisko;
        ASSERT_TRUE(brisko.Start());
        brisko.Send(WM_TIMER, 100);
        EXPECT_EQ(BRISKO_URL, brisko.Text(IDC_STATUS));
        brisko.Click(IDC_AUTOCLEAR);
        brisko.Send(WM_TIMER, 100);
        EXPECT_EQ("Finished!", brisko.Text(IDC_STATUS));
        ASSERT_TRUE(brisko.End(Ending::CloseBox));
    }
    Store(With(brisko::kClearOnStart), "5");
    Instance brisko;
    ASSERT_TRUE(brisko.Start());
    EXPECT_EQ("Finished!", brisko.Text(IDC_STATUS));
    EXPECT_TRUE(brisko.IsChecked(IDC_CLEARONSTART));
    ASSERT_TRUE(brisko.End(Ending::CloseBox));
}

TEST(App, SystemMenuCommands16To31ShowTheAboutBoxOverADisabledMainWindow)
{
    brisko::SharedStateGuard guard;
    Instance brisko;
    ASSERT_TRUE(brisko.Start());
    HWND main = brisko.Window();
    brisko.Click(IDC_COOKIES);
    for (WPARAM command : {16, 31}) {
        SCOPED_TRACE(command);
        PostMessageA(main, WM_SYSCOMMAND, command, 0);
        HWND about = brisko.FindDialog("About Brisko", 5000);
        ASSERT_NE(nullptr, about);
        EXPECT_EQ(main, GetWindow(about, GW_OWNER));
        EXPECT_FALSE(IsWindowEnabled(main));
        SendMessageA(GetDlgItem(about, IDOK), BM_CLICK, 0, 0);
        EXPECT_TRUE(brisko::WaitFor([&] { return !IsWindow(about); }, 5000));
        EXPECT_TRUE(IsWindowEnabled(main));
        EXPECT_EQ(main, GetForegroundWindow());
    }
    PostMessageA(main, WM_SYSCOMMAND, 32, 0);
    EXPECT_EQ(nullptr, brisko.FindDialog("About Brisko", 1000));
    // The main dialog's own loop goes on: Escape ends it and the settings are saved.
    ASSERT_TRUE(brisko.End(Ending::Escape));
    EXPECT_EQ(0, brisko::StoredFlag(Stored(), 1));
}

// In real minutes, so it runs apart (e2e_app_timer): the first tick would come 60 s after the start;
// choosing "1" at 15 s moves it to 75 s.
TEST(App, RealTimeChoosingAnItemRestartsTheAutoClearTimer)
{
    brisko::SharedStateGuard guard;
    Store(With(brisko::kAutoClear), "1");
    Instance brisko;
    ASSERT_TRUE(brisko.Start());
    const DWORD started = GetTickCount();
    Sleep(15000);
    brisko.ChooseMinutes(0);
    Sleep(66000 - (GetTickCount() - started));
    EXPECT_EQ(BRISKO_URL, brisko.Text(IDC_STATUS));
    EXPECT_TRUE(brisko::WaitFor([&] { return brisko.Text(IDC_STATUS) == "Finished!"; }, 25000));
    EXPECT_TRUE(brisko.End(Ending::CloseBox));
}
