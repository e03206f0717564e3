// The application shell driven from a second process: what a user sees, keeps and gets back.
#include "framework/scoped_win.h"
#include "res/resource.h"
#include "tests/support/brisko_driver.h"
#include "tests/support/trace_kit.h"

#include <gtest/gtest.h>
#include <sddl.h>

#include <set>
#include <vector>

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

// While it lives, nobody may set values under the machine's Run key, as for a standard user on
// Windows; the owner can always put the DACL back.
class MachineRunKeyDenied {
public:
    explicit MachineRunKeyDenied(bool denied)
    {
        HKEY raw = nullptr;
        PSECURITY_DESCRIPTOR deny = nullptr;
        DWORD size = sizeof m_saved;
        m_held = denied &&
                 !RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", 0,
                                READ_CONTROL | WRITE_DAC, &raw) &&
                 (m_key.reset(raw), !RegGetKeySecurity(raw, DACL_SECURITY_INFORMATION, m_saved, &size)) &&
                 ConvertStringSecurityDescriptorToSecurityDescriptorA("D:(D;;0x2;;;WD)(A;;KA;;;WD)", SDDL_REVISION_1,
                                                                      &deny, nullptr) &&
                 !RegSetKeySecurity(raw, DACL_SECURITY_INFORMATION, deny);
        LocalFree(deny);
    }
    ~MachineRunKeyDenied()
    {
        if (m_held)
            RegSetKeySecurity(m_key.get(), DACL_SECURITY_INFORMATION, m_saved);
    }
    MachineRunKeyDenied(const MachineRunKeyDenied&) = delete;
    MachineRunKeyDenied& operator=(const MachineRunKeyDenied&) = delete;
    bool m_held;

private:
    ScopedKey m_key;
    BYTE m_saved[1024];
};

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
    // The minutes list follows "Auto clear every" at once.
    for (bool enabled : {false, true, false}) {
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
        SCOPED_TRACE(static_cast<int>(round.how));
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
        const std::string file = ReadBytes(brisko::SettingsPath());
        ASSERT_EQ(84 + shown.size(), file.size());
        EXPECT_EQ(shown, file.substr(84));
        EXPECT_EQ(static_cast<int>(shown.size()), brisko::StoredFlag(file, 20));
        EXPECT_EQ(ticked.count(IDC_TEMPFILES), static_cast<size_t>(brisko::StoredFlag(file, 0)));
        EXPECT_EQ(ticked.count(IDC_COOKIES), static_cast<size_t>(brisko::StoredFlag(file, 1)));
        EXPECT_EQ(ticked.count(IDC_NETHOOD), static_cast<size_t>(brisko::StoredFlag(file, 14)));
    }
}

// A stored flag beyond a box's states shows unticked and is stored as 0; the list shows the first
// item that begins with the stored text, or nothing, and that is what is stored again.
TEST(App, StoredValuesShowAsTheControlsAllow)
{
    brisko::SharedStateGuard guard;
    const struct {
        const char* stored;
        const char* shown;
    } cases[] = {{"3", "30"}, {"1", "1"}, {"12", "1200"}, {"7", ""}};
    std::array<int, 20> flags = brisko::Ticked({1, 2, 3});
    flags[1] = 5;
    flags[2] = -1;
    flags[brisko::kAutoClear] = 1;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        Store(flags, c.stored);
        Instance brisko;
        ASSERT_TRUE(brisko.Start());
        EXPECT_EQ(c.shown, brisko.Text(IDC_MINUTES));
        ExpectTicked(brisko, {IDC_TEMPFILES, IDC_AUTOCLEAR});
        EXPECT_TRUE(brisko.IsEnabled(IDC_MINUTES));
        ASSERT_TRUE(brisko.End(Ending::Escape));
        const std::string file = ReadBytes(brisko::SettingsPath());
        EXPECT_EQ(c.shown, file.substr(84));
        EXPECT_EQ(0, brisko::StoredFlag(file, 1));
        EXPECT_EQ(0, brisko::StoredFlag(file, 2));
    }
}

TEST(App, HiddenStartComesBackOnlyByALeftPressOnTheIcon)
{
    brisko::SharedStateGuard guard;
    {
        Instance brisko;
        ASSERT_TRUE(brisko.Start("Hide")); // only a lower-case "h" hides
        Sleep(500);
        EXPECT_TRUE(IsWindowVisible(brisko.Window()));
        ASSERT_TRUE(brisko.End(Ending::CloseBox));
    }
    Instance brisko;
    ASSERT_TRUE(brisko.Start("hide"));
    HWND window = brisko.Window();
    // Not yet shown and already hidden look alike: the hide must also last.
    Sleep(500);
    ASSERT_FALSE(IsWindowVisible(window));
    const struct {
        WPARAM id;
        LPARAM mouse;
    } ignored[] = {{101, WM_RBUTTONDOWN}, {101, WM_LBUTTONUP}, {101, WM_LBUTTONDBLCLK}, {100, WM_LBUTTONDOWN}};
    for (const auto& press : ignored) {
        brisko.Send(WM_USER + 101, press.id, press.mouse);
        EXPECT_FALSE(IsWindowVisible(window)) << press.id << " " << press.mouse;
    }
    brisko.Send(WM_USER + 101, 101, WM_LBUTTONDOWN);
    EXPECT_TRUE(IsWindowVisible(window));
    // "Hide to task bar" hides it again; the process and its icon live on.
    brisko.Click(IDC_HIDE);
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_TRUE(brisko.HasTrayIcon());
    brisko.Send(WM_USER + 101, 101, WM_LBUTTONDOWN);
    EXPECT_TRUE(IsWindowVisible(window));
    ASSERT_TRUE(brisko.End(Ending::CloseBox));
    EXPECT_FALSE(brisko.HasTrayIcon());
}

TEST(App, StartupBoxWritesTheMachineEntryOrElseTheUsers)
{
    brisko::SharedStateGuard guard;
    for (bool machineDenied : {false, true}) {
        SCOPED_TRACE(machineDenied ? "HKLM denied" : "HKLM writable");
        MachineRunKeyDenied denied(machineDenied);
        ASSERT_EQ(machineDenied, denied.m_held);
        const HKEY written = machineDenied ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
        const HKEY spared = machineDenied ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
        Instance brisko;
        ASSERT_TRUE(brisko.Start());
        brisko.Click(IDC_AUTOSTART);
        EXPECT_EQ(0, lstrcmpiA((brisko::ExePath() + "  hide").c_str(), brisko::RunValue(written).c_str()))
            << brisko::RunValue(written);
        EXPECT_EQ("<none>", brisko::RunValue(spared));
        brisko.Click(IDC_AUTOSTART);
        EXPECT_EQ("<none>", brisko::RunValue(written));
        brisko.Click(IDC_AUTOSTART);
        ASSERT_TRUE(brisko.End(Ending::CloseBox));
        EXPECT_NE("<none>", brisko::RunValue(written));
        EXPECT_EQ(1, brisko::StoredFlag(ReadBytes(brisko::SettingsPath()), brisko::kAutoStart));
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
    std::array<int, 20> flags = brisko::Ticked();
    flags[brisko::kClearOnStart] = 1;
    Store(flags, "5");
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
        EXPECT_TRUE(brisko.WaitFor([&] { return !IsWindow(about); }, 5000));
        EXPECT_TRUE(IsWindowEnabled(main));
        EXPECT_EQ(main, GetForegroundWindow());
    }
    PostMessageA(main, WM_SYSCOMMAND, 32, 0);
    EXPECT_EQ(nullptr, brisko.FindDialog("About Brisko", 1000));
    // The main dialog's own loop goes on: Escape ends it and the settings are saved.
    ASSERT_TRUE(brisko.End(Ending::Escape));
    EXPECT_EQ(0, brisko::StoredFlag(ReadBytes(brisko::SettingsPath()), 1));
}

// In real minutes, so it runs apart (e2e_app_timer): a choice restarts the timer, and a stored text
// that gives no number starts none until a choice is made.
TEST(App, RealTimeChoosingAnItemRestartsOrStartsTheAutoClearTimer)
{
    brisko::SharedStateGuard guard;
    std::array<int, 20> flags = brisko::Ticked();
    flags[brisko::kAutoClear] = 1;
    // Two instances side by side: each reads the file only while it starts.
    Store(flags, "1");
    Instance restarted;
    ASSERT_TRUE(restarted.Start());
    const DWORD t0 = GetTickCount();
    Store(flags, "7");
    Instance unstarted;
    ASSERT_TRUE(unstarted.Start());
    const auto at = [&](DWORD seconds) {
        const DWORD elapsed = GetTickCount() - t0;
        Sleep(elapsed < seconds * 1000 ? seconds * 1000 - elapsed : 0);
    };
    // The first timer would fire 60 s after the start; choosing "1" at 15 s moves that to 75 s.
    at(15);
    restarted.ChooseMinutes(0);
    at(66);
    EXPECT_EQ(BRISKO_URL, restarted.Text(IDC_STATUS));
    EXPECT_EQ(BRISKO_URL, unstarted.Text(IDC_STATUS));
    unstarted.ChooseMinutes(0);
    const DWORD chosen = GetTickCount();
    EXPECT_TRUE(restarted.WaitFor([&] { return restarted.Text(IDC_STATUS) == "Finished!"; }, 25000));
    EXPECT_TRUE(unstarted.WaitFor([&] { return unstarted.Text(IDC_STATUS) == "Finished!"; }, 75000));
    EXPECT_GE(GetTickCount() - chosen, 59000u);
    EXPECT_TRUE(restarted.End(Ending::CloseBox));
    EXPECT_TRUE(unstarted.End(Ending::CloseBox));
}
