// The application shell driven from a second process: what a user sees, keeps and gets back.
#include "app_e2e.h"

#include "framework/scoped_win.h"
#include "res/resource.h"

#include <memory>
#include <set>
#include <vector>

using namespace app_e2e;
using brisko::Ending;
using brisko::Instance;

namespace {

const int kBoxes[] = {1017, 1020, 1021, 1022, 1023, 1024, 1025, 1026, 1027, 1028,
                      1029, 1030, 1031, 1032, 1033, 1034, 1035, 1036, 1037, 1039};

void ExpectTicked(const Instance& brisko, const std::set<int>& ticked)
{
    for (int id : kBoxes)
        EXPECT_EQ(ticked.count(id) != 0, brisko.IsChecked(id)) << "box " << id;
}

// The list's items in order. Wine does not carry CB_GETLBTEXT's text back across processes, so each
// expected item is looked up by its exact text instead.
void ExpectListItems(HWND combo, const std::vector<std::string>& items)
{
    EXPECT_EQ((LRESULT)items.size(), SendMessageA(combo, CB_GETCOUNT, 0, 0));
    for (size_t i = 0; i < items.size(); ++i)
        EXPECT_EQ((LRESULT)i, SendMessageA(combo, CB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)items[i].c_str()))
            << items[i];
}

// While it lives, this user may not set values under the machine's Run key, as for a standard user
// on Windows; the owner can always put the DACL back.
class RunKeyDenied {
public:
    RunKeyDenied()
    {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, READ_CONTROL | WRITE_DAC, &key) != ERROR_SUCCESS)
            return;
        m_key.reset(key);
        DWORD size = 0;
        RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, nullptr, &size);
        m_saved.resize(size);
        HANDLE token = nullptr;
        BYTE user[256], acl[256];
        DWORD userSize = sizeof user;
        SECURITY_DESCRIPTOR sd;
        if (size == 0 || RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, m_saved.data(), &size) != ERROR_SUCCESS ||
            !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
            return;
        BOOL gotUser = GetTokenInformation(token, TokenUser, user, userSize, &userSize);
        CloseHandle(token);
        PSID sid = reinterpret_cast<TOKEN_USER*>(user)->User.Sid;
        m_held = gotUser && InitializeAcl((PACL)acl, sizeof acl, ACL_REVISION) &&
                 AddAccessDeniedAce((PACL)acl, ACL_REVISION, KEY_SET_VALUE, sid) &&
                 AddAccessAllowedAce((PACL)acl, ACL_REVISION, KEY_ALL_ACCESS, sid) &&
                 InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION) &&
                 SetSecurityDescriptorDacl(&sd, TRUE, (PACL)acl, FALSE) &&
                 RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &sd) == ERROR_SUCCESS;
    }
    ~RunKeyDenied()
    {
        if (m_held)
            RegSetKeySecurity(m_key.get(), DACL_SECURITY_INFORMATION, m_saved.data());
    }
    RunKeyDenied(const RunKeyDenied&) = delete;
    RunKeyDenied& operator=(const RunKeyDenied&) = delete;
    bool Held() const { return m_held; }

private:
    ScopedKey m_key;
    std::vector<BYTE> m_saved;
    bool m_held = false;
};

int FlagIn(const std::string& file, int index)
{
    return (int)((unsigned char)file[4 * index] | (unsigned char)file[4 * index + 1] << 8 |
                 (unsigned char)file[4 * index + 2] << 16 | (unsigned)(unsigned char)file[4 * index + 3] << 24);
}

} // namespace

TEST_F(BriskoTest, FirstStartShowsTheDefaults)
{
    Instance brisko;
    ASSERT_TRUE(brisko.Start());
    char caption[32] = "";
    GetWindowTextA(brisko.Window(), caption, sizeof caption);
    EXPECT_STREQ("Brisko", caption);
    ExpectTicked(brisko, {1017, 1020, 1021, 1022, 1023, 1026});
    ExpectListItems(brisko.Item(IDC_MINUTES), {"1", "5", "30", "60", "300", "600", "1200"});
    EXPECT_EQ("5", brisko.Text(IDC_MINUTES));
    EXPECT_EQ(BRISKO_URL, brisko.Status());
    EXPECT_EQ(BRISKO_URL, brisko.Text(IDC_LINK));
    EXPECT_EQ("Clear internet temperory files", brisko.Text(IDC_TEMPFILES));
    EXPECT_EQ("Clear my favorite ", brisko.Text(IDC_FAVORITES));
    EXPECT_EQ("Clear telenet history", brisko.Text(IDC_TELNET));

    // The minutes list follows "Auto clear every" at once.
    EXPECT_FALSE(brisko.IsEnabled(IDC_MINUTES));
    brisko.Click(IDC_AUTOCLEAR);
    EXPECT_TRUE(brisko.IsEnabled(IDC_MINUTES));
    brisko.Click(IDC_AUTOCLEAR);
    EXPECT_FALSE(brisko.IsEnabled(IDC_MINUTES));
    ASSERT_TRUE(brisko.End(Ending::CloseBox));
}

TEST_F(BriskoTest, ChangesSurviveARestartWhicheverWayItEnds)
{
    struct Round {
        Ending how;
        int tick;
        int untick;
    } rounds[] = {{Ending::CloseBox, IDC_RECYCLEBIN, IDC_COOKIES},
                  {Ending::Escape, IDC_FINDFILES, IDC_TEMPFILES},
                  {Ending::EnterOnCheckBox, IDC_NETHOOD, IDC_SYSTEMTEMP}};
    std::set<int> ticked = {1017, 1020, 1021, 1022, 1023, 1026};
    for (const Round& round : rounds) {
        SCOPED_TRACE((int)round.how);
        Instance brisko;
        ASSERT_TRUE(brisko.Start());
        ExpectTicked(brisko, ticked);
        brisko.Click(round.tick);
        brisko.Click(round.untick);
        ticked.insert(round.tick);
        ticked.erase(round.untick);
        ASSERT_TRUE(brisko.HasTrayIcon());
        ASSERT_TRUE(brisko.End(round.how));
        std::string file = Settings();
        ASSERT_EQ(84u + 1u, file.size());
        EXPECT_EQ(std::string("\x01\x00\x00\x00"
                              "5",
                              5),
                  file.substr(80));
        EXPECT_EQ(ticked.count(1017) ? 1 : 0, FlagIn(file, kTempFiles));
        EXPECT_EQ(ticked.count(1020) ? 1 : 0, FlagIn(file, kCookies));
    }
    Instance brisko;
    ASSERT_TRUE(brisko.Start());
    ExpectTicked(brisko, ticked);
    EXPECT_EQ("5", brisko.Text(IDC_MINUTES));
    ASSERT_TRUE(brisko.End(Ending::CloseBox));
}

TEST_F(BriskoTest, StoredValuesShowAsTheControlsAllow)
{
    std::array<int, 20> flags = brisko::NoSteps();
    flags[kCookies] = 5;
    flags[kTempFiles] = 1;
    flags[kAutoClear] = 1;
    Store(flags, "3");
    {
        Instance brisko;
        ASSERT_TRUE(brisko.Start());
        EXPECT_EQ("30", brisko.Text(IDC_MINUTES));
        EXPECT_FALSE(brisko.IsChecked(IDC_COOKIES));
        EXPECT_TRUE(brisko.IsChecked(IDC_TEMPFILES));
        EXPECT_TRUE(brisko.IsEnabled(IDC_MINUTES));
        ASSERT_TRUE(brisko.End(Ending::Escape));
    }
    std::string file = Settings();
    ASSERT_EQ(84u + 2u, file.size());
    EXPECT_EQ(0, FlagIn(file, kCookies));
    EXPECT_EQ("30", file.substr(84));

    // A text that begins no item leaves the list without a choice, and an empty text is stored.
    Store(flags, "7");
    {
        Instance brisko;
        ASSERT_TRUE(brisko.Start());
        EXPECT_EQ("", brisko.Text(IDC_MINUTES));
        ASSERT_TRUE(brisko.End(Ending::Escape));
    }
    EXPECT_EQ(84u, Settings().size());
}

TEST_F(BriskoTest, HiddenStartComesBackOnlyByALeftPressOnTheIcon)
{
    Instance brisko;
    ASSERT_TRUE(brisko.Start("hide"));
    HWND window = brisko.Window();
    // Not yet shown and already hidden look alike: the hide must also last.
    ASSERT_TRUE(brisko.WaitFor([&] { return !IsWindowVisible(window); }, 5000));
    Sleep(300);
    ASSERT_FALSE(IsWindowVisible(window));
    EXPECT_TRUE(brisko.HasTrayIcon());

    const struct {
        WPARAM id;
        LPARAM mouse;
    } ignored[] = {{101, WM_RBUTTONDOWN},
                   {101, WM_LBUTTONUP},
                   {101, WM_LBUTTONDBLCLK},
                   {101, WM_MOUSEMOVE},
                   {100, WM_LBUTTONDOWN}};
    for (const auto& press : ignored) {
        brisko.Send(WM_USER + 101, press.id, press.mouse);
        EXPECT_FALSE(IsWindowVisible(window)) << press.id << " " << press.mouse;
    }
    brisko.Send(WM_USER + 101, 101, WM_LBUTTONDOWN);
    EXPECT_TRUE(IsWindowVisible(window));

    // "Hide to task bar" hides it again; the process and its icon live on.
    brisko.Click(IDC_HIDE);
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_TRUE(brisko.Running());
    EXPECT_TRUE(brisko.HasTrayIcon());
    brisko.Send(WM_USER + 101, 101, WM_LBUTTONDOWN);
    EXPECT_TRUE(IsWindowVisible(window));

    ASSERT_TRUE(brisko.End(Ending::CloseBox));
    EXPECT_FALSE(brisko.HasTrayIcon());
}

TEST_F(BriskoTest, OnlyALowerCaseHStartsHidden)
{
    Instance brisko;
    ASSERT_TRUE(brisko.Start("Hide"));
    Sleep(500);
    EXPECT_TRUE(IsWindowVisible(brisko.Window()));
    ASSERT_TRUE(brisko.End(Ending::CloseBox));
}

TEST_F(BriskoTest, StartupBoxWritesTheMachineEntryOrElseTheUsers)
{
    for (bool machineDenied : {false, true}) {
        SCOPED_TRACE(machineDenied ? "HKLM denied" : "HKLM writable");
        std::unique_ptr<RunKeyDenied> denied(machineDenied ? new RunKeyDenied : nullptr);
        if (denied) {
            ASSERT_TRUE(denied->Held());
        }
        HKEY written = machineDenied ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
        HKEY spared = machineDenied ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
        Instance brisko;
        ASSERT_TRUE(brisko.Start());
        brisko.Click(IDC_AUTOSTART);
        std::string value = RunValue(written);
        EXPECT_EQ(0, lstrcmpiA((brisko::ExePath() + "  hide").c_str(), value.c_str())) << value;
        EXPECT_EQ("<none>", RunValue(spared));
        brisko.Click(IDC_AUTOSTART);
        EXPECT_EQ("<none>", RunValue(written));
        brisko.Click(IDC_AUTOSTART);
        EXPECT_NE("<none>", RunValue(written));
        ASSERT_TRUE(brisko.End(Ending::CloseBox));
        EXPECT_EQ(1, FlagIn(Settings(), kAutoStart));
        DeleteRunValue();
        DeleteFileA(brisko::SettingsPath().c_str());
    }
}

TEST_F(BriskoTest, TimerCleansOnlyWhileAutoClearIsTicked)
{
    Store(brisko::NoSteps(), "5");
    Instance brisko;
    ASSERT_TRUE(brisko.Start());
    brisko.Send(WM_TIMER, 100);
    EXPECT_EQ(BRISKO_URL, brisko.Status());
    brisko.Click(IDC_AUTOCLEAR);
    brisko.Send(WM_TIMER, 100);
    EXPECT_EQ("Finished!", brisko.Status());
    ASSERT_TRUE(brisko.End(Ending::CloseBox));
}

TEST_F(BriskoTest, ClearOnStartShowsFinishedAtTheFirstLook)
{
    std::array<int, 20> flags = brisko::NoSteps();
    flags[kClearOnStart] = 1;
    Store(flags, "5");
    Instance brisko;
    ASSERT_TRUE(brisko.Start());
    EXPECT_EQ("Finished!", brisko.Status());
    EXPECT_TRUE(brisko.IsChecked(IDC_CLEARONSTART));
    ASSERT_TRUE(brisko.End(Ending::CloseBox));
}

TEST_F(BriskoTest, SystemMenuCommands16To31ShowTheAboutBoxOverADisabledMainWindow)
{
    Instance brisko;
    ASSERT_TRUE(brisko.Start());
    HWND main = brisko.Window();
    brisko.Click(IDC_COOKIES);
    for (WPARAM command : {16, 31}) {
        SCOPED_TRACE(command);
        PostMessageA(main, WM_SYSCOMMAND, command, 0);
        HWND about = brisko.FindOwnWindow("About Brisko", 5000);
        ASSERT_NE(nullptr, about);
        EXPECT_TRUE(brisko.WaitFor([&] { return IsWindowVisible(about) != FALSE; }, 5000));
        EXPECT_EQ(main, GetWindow(about, GW_OWNER));
        EXPECT_FALSE(IsWindowEnabled(main));
        SendMessageA(GetDlgItem(about, IDOK), BM_CLICK, 0, 0);
        EXPECT_TRUE(brisko.WaitFor([&] { return !IsWindow(about); }, 5000));
        EXPECT_TRUE(IsWindowEnabled(main));
        EXPECT_EQ(main, GetForegroundWindow());
    }
    PostMessageA(main, WM_SYSCOMMAND, 32, 0);
    EXPECT_EQ(nullptr, brisko.FindOwnWindow("About Brisko", 1000));
    EXPECT_TRUE(IsWindowEnabled(main));
    // The main dialog's own loop goes on: Escape ends it and the settings are saved.
    ASSERT_TRUE(brisko.End(Ending::Escape));
    EXPECT_EQ(0, FlagIn(Settings(), kCookies));
}
