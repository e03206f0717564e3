// The application shell driven from a second process: what a user sees, keeps and gets back.
#include "framework/scoped_win.h"
#include "res/resource.h"
#include "tests/support/brisko_driver.h"
#include "tests/support/trace_kit.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>

using brisko::Ending;
using brisko::Instance;

namespace {

const std::set<int> kDefaultTicks = {IDC_TEMPFILES,   IDC_COOKIES,         IDC_URLHISTORY,
                                     IDC_FORMHISTORY, IDC_PASSWORDHISTORY, IDC_SYSTEMTEMP};

void ExpectTicked(const Instance& brisko, const std::set<int>& ticked)
{
    for (int id = IDC_TEMPFILES; id <= IDC_CLEARONSTART; ++id)
        EXPECT_TRUE(id == IDC_STATUS || id == IDC_CLEARNOW || id == IDC_MINUTES ||
                    (ticked.count(id) != 0) == brisko.IsChecked(id))
            << "box " << id;
}

void Store(std::array<int, 20> flags, const std::string& minutes, int also = -1)
{
    if (also >= 0)
        flags[also] = 1;
    ASSERT_TRUE(trace_kit::WriteBytes(brisko::SettingsPath(), brisko::SettingsBytes(flags, minutes)));
}

std::string Stored() { return trace_kit::ReadBytes(brisko::SettingsPath()); }

} // namespace

// The defaults, the texts as they stand, and the About box from system menu commands 16 to 31 over a
// disabled main window, whose own loop then goes on; a second start brings the open About box forward.
TEST(App, FirstStartShowsTheDefaultsAndTheAboutBox)
{
    brisko::SharedStateGuard guard;
    Instance brisko;
    ASSERT_TRUE(brisko.Start());
    HWND main = brisko.Window();
    EXPECT_TRUE(IsWindowVisible(main));
    ExpectTicked(brisko, kDefaultTicks);
    // Wine carries only CB_GETLBTEXT's first character across processes: look each item up instead.
    const char* const items[] = {"1", "5", "30", "60", "300", "600", "1200"};
    EXPECT_EQ(7, SendMessageA(brisko.Item(IDC_MINUTES), CB_GETCOUNT, 0, 0));
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(i, SendMessageA(brisko.Item(IDC_MINUTES), CB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)items[i]));
    const std::pair<int, const char*> texts[] = {{IDC_TEMPFILES, "Clear internet temperory files"},
                                                 {IDC_FAVORITES, "Clear my favorite "},
                                                 {IDC_TELNET, "Clear telenet history"}};
    for (const auto& text : texts)
        EXPECT_EQ(text.second, brisko.Text(text.first));
    for (bool enabled : {false, true, false}) { // the list follows "Auto clear every" at once
        EXPECT_EQ(enabled, brisko.IsEnabled(IDC_MINUTES));
        brisko.Click(IDC_AUTOCLEAR);
    }
    for (WPARAM command : {16, 31}) {
        PostMessageA(main, WM_SYSCOMMAND, command, 0);
        HWND about = brisko.FindShown("#32770", "About Brisko", 5000);
        ASSERT_NE(nullptr, about) << command;
        EXPECT_EQ(main, GetWindow(about, GW_OWNER));
        EXPECT_FALSE(IsWindowEnabled(main));
        if (command == 31) { // minimised with the About box open, a second start brings the box forward
            ShowWindow(main, SW_MINIMIZE);
            Instance second;
            EXPECT_FALSE(second.Start());
            EXPECT_FALSE(IsIconic(main));
            EXPECT_EQ(about, GetForegroundWindow());
        }
        SendMessageA(GetDlgItem(about, IDOK), BM_CLICK, 0, 0);
        EXPECT_TRUE(brisko::WaitFor([&] { return !IsWindow(about); }, 5000));
        EXPECT_TRUE(IsWindowEnabled(main));
        EXPECT_EQ(main, GetForegroundWindow());
    }
    PostMessageA(main, WM_SYSCOMMAND, 32, 0);
    EXPECT_EQ(nullptr, brisko.FindShown("#32770", "About Brisko", 1000));
    ASSERT_TRUE(brisko.End(Ending::Escape));
}

// Each choice is kept however Brisko ends: closed, killed, at a logoff during a run; the entry is whole.
TEST(App, ChangesSurviveARestartWhicheverWayItEnds)
{
    brisko::SharedStateGuard guard;
    const struct {
        Ending how;
        int tick, untick, minutes;
        const char* shown;
    } rounds[] = {{Ending::CloseBox, IDC_RECYCLEBIN, IDC_COOKIES, 2, "30"},
                  {Ending::Escape, IDC_FINDFILES, IDC_TEMPFILES, 6, "1200"},
                  {Ending::EnterOnCheckBox, IDC_NETHOOD, IDC_SYSTEMTEMP, 0, "1"},
                  {Ending::Killed, IDC_AUTOSTART, IDC_NETHOOD, 3, "60"},
                  {Ending::LogoffDuringRun, IDC_COOKIES, IDC_FINDFILES, 1, "5"}};
    // The start-up box is ticked in a copy whose path has any letters and is over 150 characters long.
    const std::string folder = trace_kit::TempFolder() + "\\Папка Бриско " + std::string(120, 'x');
    const std::wstring copy = trace_kit::Wide(folder + "\\Brisko.exe");
    ASSERT_TRUE(trace_kit::MakeFolders(folder));
    ASSERT_TRUE(CopyFileW(trace_kit::Wide(brisko::ExePath()).c_str(), copy.c_str(), FALSE));
    std::set<int> ticked = kDefaultTicks;
    std::string shown = "5";
    for (const auto& round : rounds) {
        SCOPED_TRACE(round.shown);
        Instance brisko;
        ASSERT_TRUE(round.tick == IDC_AUTOSTART ? brisko.StartAt(copy) : brisko.Start());
        ExpectTicked(brisko, ticked);
        EXPECT_EQ(shown, brisko.Text(IDC_MINUTES));
        brisko.Send(WM_TIMER, 100); // "Auto clear every" is not ticked
        EXPECT_EQ(BRISKO_URL, brisko.Text(IDC_STATUS));
        brisko.ChooseMinutes(round.minutes);
        brisko.Click(round.tick);
        brisko.Click(round.untick);
        ticked.insert(round.tick);
        ticked.erase(round.untick);
        shown = round.shown;
        ASSERT_TRUE(brisko.End(round.how));
        const std::string file = Stored();
        EXPECT_EQ(shown, file.substr(std::min<size_t>(84, file.size())));
        const std::pair<int, int> boxes[] = {{IDC_TEMPFILES, 0}, {IDC_COOKIES, 1}, {IDC_NETHOOD, 14}}; // id, flag
        for (const auto& box : boxes)
            EXPECT_EQ(static_cast<int>(ticked.count(box.first)), brisko::StoredFlag(file, box.second));
        EXPECT_EQ(ticked.count(IDC_AUTOSTART) ? L'"' + copy + L"\"  hide" : L"<none>",
                  brisko::WideRunValue(HKEY_LOCAL_MACHINE));
    }
    trace_kit::RemoveTree(folder);
}

// A stored flag beyond a box's states shows unticked and is stored as 0; the list shows the first item
// that begins with the stored text, or nothing: that is stored again, before a run and only once. Asked
// to, it cleans at the start, and on the timer while "Auto clear every" is ticked ("Finished!" tells).
TEST(App, StoredValuesShowAsTheControlsAllow)
{
    brisko::SharedStateGuard guard;
    std::array<int, 20> flags = brisko::Ticked({16, 2, 3});
    flags[1] = 5;
    flags[2] = -1;
    flags[brisko::kAutoClear] = 1;
    const std::pair<const char*, const char*> cases[] = {{"3", "30"}, {"1", "1"}, {"12", "1200"}, {"7", ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        const bool atStart = *c.second == '\0';
        Store(flags, c.first, atStart ? brisko::kClearOnStart : -1);
        Instance brisko;
        ASSERT_TRUE(brisko.Start());
        EXPECT_EQ(c.second, brisko.Text(IDC_MINUTES));
        EXPECT_EQ(atStart ? "Finished!" : BRISKO_URL, brisko.Text(IDC_STATUS));
        ExpectTicked(brisko, atStart ? std::set<int>{IDC_TELNET, IDC_AUTOCLEAR, IDC_CLEARONSTART}
                                     : std::set<int>{IDC_TELNET, IDC_AUTOCLEAR});
        EXPECT_TRUE(brisko.IsEnabled(IDC_MINUTES));
        brisko.Send(WM_TIMER, 100);
        EXPECT_EQ("Finished!", brisko.Text(IDC_STATUS));
        EXPECT_EQ(c.second, Stored().substr(84)); // saved before the run
        EXPECT_EQ(0, brisko::StoredFlag(Stored(), 1) | brisko::StoredFlag(Stored(), 2));
        const FILETIME saved = brisko::SettingsWriteTime();
        brisko.Send(WM_TIMER, 100); // nothing changed: nothing written, at the run or at the close
        ASSERT_TRUE(brisko.End(Ending::Escape));
        const FILETIME after = brisko::SettingsWriteTime();
        EXPECT_EQ(0, CompareFileTime(&saved, &after));
    }
}

// Started hidden, Brisko shows only for a left press on its icon, gets it back from a restarted shell,
// and at the session's end (then Windows ends the process) keeps what was ticked, takes the icon away
// and cleans no more.
TEST(App, AHiddenBriskoThroughTheSession)
{
    brisko::SharedStateGuard guard;
    {
        Instance brisko;
        ASSERT_TRUE(brisko.Start("hide"));
        HWND window = brisko.Window();
        ASSERT_TRUE(brisko::WaitFor([&] { return !IsWindowVisible(window); }, 5000));
        const std::pair<WPARAM, LPARAM> ignored[] = {
            {101, WM_RBUTTONDOWN}, {101, WM_LBUTTONUP}, {101, WM_LBUTTONDBLCLK}, {100, WM_LBUTTONDOWN}};
        for (const auto& press : ignored) {
            brisko.Send(WM_USER + 101, press.first, press.second);
            EXPECT_FALSE(IsWindowVisible(window)) << press.first << " " << press.second;
        }
        ASSERT_TRUE(brisko.ForgetTrayIcon());
        PostMessageA(window, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
        EXPECT_TRUE(brisko::WaitFor([&] { return brisko.HasTrayIcon(); }, 5000));
        brisko.Send(WM_USER + 101, 101, WM_LBUTTONDOWN);
        EXPECT_TRUE(IsWindowVisible(window));
        brisko.Click(IDC_COOKIES);
        brisko.Click(IDC_AUTOCLEAR);
        {
            // A save that failed (the file held, by a backup say) is made again at the session's end.
            ScopedFile held(CreateFileA(brisko::SettingsPath().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
            ASSERT_TRUE(held);
            brisko.Click(IDC_AUTOSTART);
        }
        brisko.Click(IDC_HIDE);
        EXPECT_FALSE(IsWindowVisible(window));
        EXPECT_NE(0, brisko.Send(WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF));
        brisko.Send(WM_ENDSESSION, FALSE, ENDSESSION_LOGOFF); // another program held the logoff up
        EXPECT_EQ(0, brisko::StoredFlag(Stored(), brisko::kAutoStart));
        brisko.Send(WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
        EXPECT_FALSE(brisko.HasTrayIcon());
        brisko.Send(WM_TIMER, 100); // the profile is going: neither the timer nor a click cleans
        brisko.Click(IDC_CLEARNOW);
        EXPECT_EQ(BRISKO_URL, brisko.Text(IDC_STATUS));
    }
    EXPECT_EQ(0, brisko::StoredFlag(Stored(), 1));
    EXPECT_EQ(1, brisko::StoredFlag(Stored(), brisko::kAutoStart));
}

// A second start leaves one Brisko: a plain one brings the running one forward (also from the tray), a
// hidden one leaves it as it is, neither touches the settings; one right after a close runs alone.
TEST(App, OneBriskoWhateverTheRightsAndTheMoment)
{
    brisko::SharedStateGuard guard;
    const std::pair<const char*, const char*> cases[] = {{"", ""}, {"hide", "hide"}, {"hide", ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("\"") + c.first + "\" then \"" + c.second + "\"");
        Store(brisko::Ticked({2, 9}), "30");
        const std::string settings = Stored();
        Instance brisko, second;
        ASSERT_TRUE(brisko.Start(c.first));
        if (!*c.first)
            brisko.Click(IDC_HIDE); // to the tray: the second start must bring it back
        ASSERT_TRUE(brisko::WaitFor([&] { return !IsWindowVisible(brisko.Window()); }, 5000));
        EXPECT_FALSE(second.Start(c.second)); // it ends once the running Brisko has answered
        EXPECT_FALSE(second.Running());
        EXPECT_EQ(!*c.second, IsWindowVisible(brisko.Window()) != FALSE);
        EXPECT_EQ(!*c.second, GetForegroundWindow() == brisko.Window());
        EXPECT_EQ(settings, Stored());
        ASSERT_TRUE(brisko.End(Ending::CloseBox));
    }
    Instance closing, next;
    ASSERT_TRUE(closing.Start());
    {
        brisko::HeldClose close(closing);
        ASSERT_TRUE(close.Holding());
        std::thread starting([&] { EXPECT_TRUE(next.Start()); });
        EXPECT_TRUE(brisko::WaitFor([] { return brisko::ProcessCount() == 2; }, 10000));
        // The new start waits, longer than it looks for a window that is not there yet.
        EXPECT_FALSE(brisko::WaitFor([] { return brisko::ProcessCount() < 2; }, 6000));
        EXPECT_TRUE(close.Release());
        starting.join();
    }
    EXPECT_EQ(1, brisko::MainWindowCount());
    EXPECT_TRUE(next.End(Ending::CloseBox));
    // Where another kind of object holds the mutex's name, each start runs as ever; a mutex this user
    // may only wait on (as an elevated Brisko's, to a standard start) is a running Brisko.
    Instance brisko, second, third;
    {
        ScopedFile squatter(CreateEventA(nullptr, TRUE, FALSE, "Local\\Brisko.Instance"));
        ASSERT_TRUE(squatter);
        ASSERT_TRUE(brisko.Start());
        EXPECT_TRUE(second.Start());
        EXPECT_TRUE(second.End(Ending::CloseBox));
    }
    ScopedFile elevated(brisko::MakeWaitOnlyInstanceMutex());
    ASSERT_TRUE(elevated);
    brisko.Click(IDC_HIDE);
    EXPECT_FALSE(third.Start());
    EXPECT_TRUE(IsWindowVisible(brisko.Window()));
    EXPECT_TRUE(brisko.End(Ending::CloseBox));
}

// In real minutes, so it runs apart (e2e_app_timer): the first tick would come 60 s after the start;
// choosing "1" at 15 s moves it to 75 s.
TEST(App, RealTimeChoosingAnItemRestartsTheAutoClearTimer)
{
    brisko::SharedStateGuard guard;
    Store(brisko::Ticked(), "1", brisko::kAutoClear);
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
