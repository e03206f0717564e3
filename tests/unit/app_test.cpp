// What the end-to-end runs cannot pin down about the application: the settings codec on crafted
// files, a save that fails, the start-up entry's rules, and a show asked for during a hidden start.
#include "app/brisko_dlg.h"
#include "app/dialog_rules.h"
#include "app/settings_file.h"
#include "framework/scoped_win.h"
#include "tests/support/brisko_driver.h"
#include "tests/support/trace_kit.h"

#include <gtest/gtest.h>

using namespace trace_kit;

namespace {

std::string Le32(DWORD value) { return std::string(reinterpret_cast<const char*>(&value), 4); }

// Flags 100, 101, ...: each tells where it was read from.
std::string Flags(size_t count = kSettingsFlagCount)
{
    std::string bytes;
    for (size_t i = 0; i < count; ++i)
        bytes += Le32(static_cast<DWORD>(100 + i));
    return bytes;
}

const std::string kFile = TempFolder() + "\\brisko-unit-settings\\system32bri.sko";

} // namespace

// Flags the file holds in full are read, the others keep their value; the text is what the file
// holds of it, at most 199 bytes and up to a zero byte.
TEST(Settings, CraftedFilesLoadWhatTheyHoldAndNoMore)
{
    const std::string x250(250, 'x'), zeroInside("3\0"
                                                 "99",
                                                 4);
    const struct {
        std::string bytes;
        size_t flags;
        std::string minutes;
    } cases[] = {{"", 0, ""},
                 {Flags(10) + std::string("\x6e\x00", 2), 10, ""},
                 {Flags(), 20, ""},
                 {Flags() + std::string("\x04\x00", 2), 20, ""},
                 {Flags() + Le32(0), 20, ""},
                 {Flags() + Le32(4) + "1200", 20, "1200"},
                 {Flags() + Le32(4) + "12", 20, "12"},
                 {Flags() + Le32(4) + zeroInside, 20, "3"},
                 {Flags() + Le32(250) + x250, 20, x250.substr(0, 199)},
                 {Flags() + Le32(0xFFFFFFFFu) + "30", 20, "30"},
                 {Flags() + Le32(0x80000000u), 20, ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes.size());
        ASSERT_TRUE(WriteBytes(kFile, c.bytes));
        SettingsRecord record = {{7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7}, "5"};
        ASSERT_TRUE(ReadSettingsFile(kFile.c_str(), record));
        for (size_t i = 0; i < kSettingsFlagCount; ++i)
            EXPECT_EQ(i < c.flags ? static_cast<BOOL>(100 + i) : 7, record.flags[i]) << "flag " << i;
        EXPECT_EQ(c.minutes, record.minutes);
    }
    RemoveTree(ParentFolder(kFile));
    SettingsRecord record = {{7}, "5"};
    EXPECT_FALSE(ReadSettingsFile(kFile.c_str(), record));
    EXPECT_EQ(7, record.flags[0]);
    EXPECT_EQ("5", record.minutes);
}

// The record goes to a new file that then takes the old one's place: a save that fails, because no
// new file can be made beside it or someone holds it who does not let it be replaced, leaves it whole.
TEST(Settings, FailedSaveLeavesThePreviousFileWhole)
{
    const std::string previous = Flags() + Le32(1) + "5";
    const SettingsRecord record = {{1}, "30"};
    for (bool held : {false, true}) {
        ASSERT_TRUE(WriteBytes(kFile, previous));
        ASSERT_TRUE(held || MakeFolders(kFile + ".new"));
        ScopedFile holder(
            held ? CreateFileA(kFile.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr)
                 : nullptr);
        EXPECT_FALSE(WriteSettingsFile(kFile.c_str(), record)) << held;
        EXPECT_EQ(previous, ReadBytes(kFile)) << held;
        EXPECT_NE(held, Exists(kFile + ".new")); // a new file it made is gone again
        RemoveTree(kFile + ".new");
    }
    EXPECT_TRUE(WriteSettingsFile(kFile.c_str(), record));
    EXPECT_EQ(Le32(1) + std::string(76, '\0') + Le32(2) + "30", ReadBytes(kFile));
    RemoveTree(ParentFolder(kFile));
    char name[kSettingsNameSize];
    EXPECT_TRUE(JoinSettingsName(std::string(kSettingsNameSize - 8, 'd').c_str(), name));
    EXPECT_FALSE(JoinSettingsName(std::string(kSettingsNameSize - 7, 'd').c_str(), name));
    EXPECT_STREQ("", name);
}

TEST(Rules, StartupEntryAndTimerPeriod)
{
    const struct {
        const char* path;
        DWORD length;
        const char* data; // null: no entry
    } entries[] = {{"C:\\Brisko\\Brisko.exe", 20, "C:\\Brisko\\Brisko.exe  hide"},
                   {"C:\\Program Files\\Brisko\\Brisko.exe", 34, "\"C:\\Program Files\\Brisko\\Brisko.exe\"  hide"},
                   {"C:\\Brisko.exe", 0, nullptr},
                   {"C:\\Brisko.exe", kStartupPathLimit, nullptr}}; // the limit reached: a cut path
    for (const auto& e : entries) {
        std::string data = "stale";
        EXPECT_EQ(e.data != nullptr, StartupEntryData(e.path, e.length, kStartupPathLimit, data)) << e.path;
        EXPECT_EQ(e.data ? e.data : "", data);
    }
    const std::pair<const char*, UINT> periods[] = {
        {"1", 60000}, {"1200", 72000000}, {"30x", 1800000}, {"0", 0}, {"-5", 0}, {"", 0}, {"x", 0}}; // 0: none
    for (const auto& p : periods) {
        UINT period = 0;
        EXPECT_EQ(p.second != 0, MinutesToPeriod(p.first, period)) << p.first;
        EXPECT_EQ(p.second, period) << p.first;
    }
}

namespace {

CBriskoDlg* g_dlg = nullptr;

LRESULT CALLBACK PressAtInit(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPSTRUCT* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && sent->message == WM_INITDIALOG)
        PostMessageA(sent->hwnd, WM_TRAYNOTIFY, ID_TRAYICON, WM_LBUTTONDOWN);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

bool g_shown = false;
void CALLBACK SeeAndClose(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(nullptr, timer);
    g_shown = IsWindowVisible(g_dlg->GetSafeHwnd()) != FALSE;
    PostMessageA(g_dlg->GetSafeHwnd(), WM_COMMAND, IDCANCEL, 0);
}

} // namespace

// A press on the icon while a hidden start still initialises, as a second plain start sends it
// then: the hide timer's tick that follows does not undo it.
TEST(Background, APressBeforeTheHiddenStartsTickKeepsTheWindowShown)
{
    brisko::SharedStateGuard guard;
    CWinApp app;
    app.m_hInstance = GetModuleHandleA(nullptr);
    app.m_lpCmdLine = "hide";
    CBriskoDlg dlg;
    g_dlg = &dlg;
    HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, PressAtInit, nullptr, GetCurrentThreadId());
    SetTimer(nullptr, 0, 300, SeeAndClose);
    dlg.DoModal();
    UnhookWindowsHookEx(hook);
    g_dlg = nullptr;
    EXPECT_TRUE(g_shown);
}
