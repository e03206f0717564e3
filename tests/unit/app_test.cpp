// What the end-to-end runs cannot pin down: the settings codec, failed saves, entry rules, the dialog's timers.
#include "app/brisko_dlg.h"
#include "app/dialog_rules.h"
#include "app/settings_file.h"
#include "framework/scoped_win.h"
#include "tests/support/brisko_driver.h"
#include "tests/support/trace_kit.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace trace_kit;

namespace {

std::string Le32(DWORD value) { return std::string(reinterpret_cast<const char*>(&value), 4); }

std::string Flags(size_t count = kSettingsFlagCount)
{
    std::string bytes;
    for (size_t i = 0; i < count; ++i)
        bytes += Le32(static_cast<DWORD>(100 + i));
    return bytes;
}

const std::string kFile = TempFolder() + "\\brisko-unit-settings\\system32bri.sko";

BOOL WINAPI RefuseFlush(HANDLE) { return FALSE; }

BOOL WINAPI RefuseReplace(LPCSTR, LPCSTR, DWORD) { return SetLastError(ERROR_ACCESS_DENIED), FALSE; }

} // namespace

// Flags the file holds in full are read, the others keep their value; the text is what the file
// holds of it, at most 199 bytes and up to a zero byte.
TEST(Settings, CraftedFilesLoadWhatTheyHoldAndNoMore)
{
    const std::string x250(250, 'x'), zeroInside("3\00099", 4);
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
}

// The record goes to a new file, flushed to the disk, that then takes the old one's place: a save that
// fails (0: no new file can be made, 1: the old one is held, 2: the flush fails) leaves the old one
// whole. Where the replace is refused as access denied (3), the record goes into the old file, its
// longer end cut off.
TEST(Settings, ASaveReplacesTheFileWriteItInPlaceOrLeavesItWhole)
{
    const std::string previous = Flags() + Le32(1) + "5" + "junk";
    const SettingsRecord record = {{1}, "30"};
    for (int why : {0, 1, 2, 3, 4}) {
        ASSERT_TRUE(WriteBytes(kFile, previous));
        ASSERT_TRUE(why != 0 || MakeFolders(kFile + ".new"));
        ScopedFile holder(
            why == 1 ? CreateFileA(kFile.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr)
                     : nullptr);
        g_pfnFlushFileBuffers = why == 2 ? RefuseFlush : FlushFileBuffers;
        g_pfnMoveFileExA = why == 3 ? RefuseReplace : MoveFileExA;
        EXPECT_EQ(why >= 3, WriteSettingsFile(kFile.c_str(), record)) << why;
        EXPECT_EQ(why >= 3 ? Le32(1) + std::string(76, '\0') + Le32(2) + "30" : previous, ReadBytes(kFile)) << why;
        EXPECT_EQ(why == 0, Exists(kFile + ".new")) << why; // a new file it made is gone again
        RemoveTree(kFile + ".new");
    }
    g_pfnFlushFileBuffers = FlushFileBuffers;
    g_pfnMoveFileExA = MoveFileExA;
    RemoveTree(ParentFolder(kFile));
    char name[kSettingsNameSize];
    EXPECT_TRUE(JoinSettingsName(std::string(kSettingsNameSize - 8, 'd').c_str(), name));
    EXPECT_FALSE(JoinSettingsName(std::string(kSettingsNameSize - 7, 'd').c_str(), name));
    EXPECT_STREQ("", name);
}

// The program's entry, in the old unquoted form or other letters' case too; only "h" starts hidden.
TEST(Rules, StartupEntryHiddenStartAndTimerPeriod)
{
    const std::wstring path = L"C:\\Program Files (x86)\\Brisko\\Brisko.exe";
    const std::pair<const wchar_t*, bool> entries[] = {
        {L"\"c:\\program files (x86)\\BRISKO\\brisko.EXE\"  hide", true},
        {L"C:\\Program Files (x86)\\Brisko\\Brisko.exe  hide", true},
        {L"\"C:\\Program Files (x86)\\Brisko\\Brisko.exe", false},
        {L"C:\\Program Files (x86)\\Brisko\\Brisko.exe.old  hide", false},
        {L"\"C:\\Brisko\\Brisko.exe\"  hide", false}};
    for (const auto& e : entries)
        EXPECT_EQ(e.second, EntryStartsProgram(e.first, path)) << e.first;
    EXPECT_FALSE(IsHiddenStart("Hide"));
    const std::pair<const char*, UINT> periods[] = {
        {"1", 60000}, {"1200", 72000000}, {"30x", 1800000}, {"0", 0}, {"-5", 0}, {"", 0}, {"x", 0}}; // 0: none
    for (const auto& p : periods) {
        UINT period = 0;
        EXPECT_EQ(p.second != 0, MinutesToPeriod(p.first, period)) << p.first;
        EXPECT_EQ(p.second, period) << p.first;
    }
}

namespace {

HWND g_dialog = nullptr;
int g_offers = 0, g_finished = 0;
bool g_shownForGood = false;

// The shell refuses every offer of the icon (add, then update).
BOOL WINAPI RefuseOffers(DWORD message, PNOTIFYICONDATAA nid)
{
    return message == NIM_DELETE ? Shell_NotifyIconA(message, nid) : (++g_offers, FALSE);
}

// At WM_INITDIALOG a press on the icon, a click on "Clear Now" and 59 ticks of the icon's retry are
// posted: handled before any timer's tick. At the run's "Finished!" the window must be shown with no hide
// pending, and an auto-clear tick comes in, as a COM or shell wait inside a step would dispatch it.
LRESULT CALLBACK Watch(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPSTRUCT* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && sent->message == WM_INITDIALOG) {
        g_dialog = sent->hwnd;
        PostMessageA(g_dialog, WM_TRAYNOTIFY, ID_TRAYICON, WM_LBUTTONDOWN);
        PostMessageA(GetDlgItem(g_dialog, IDC_CLEARNOW), BM_CLICK, 0, 0);
        for (int tick = 0; tick < 59; ++tick)
            PostMessageA(g_dialog, WM_TIMER, ID_TIMER_TRAYRETRY, 0);
    } else if (code == HC_ACTION && sent->message == WM_SETTEXT && GetDlgCtrlID(sent->hwnd) == IDC_STATUS &&
               std::strcmp(reinterpret_cast<const char*>(sent->lParam), "Finished!") == 0 && g_finished++ == 0) {
        g_shownForGood = IsWindowVisible(g_dialog) && !KillTimer(g_dialog, ID_TIMER_HIDE);
        SendMessageA(g_dialog, WM_TIMER, ID_TIMER_AUTOCLEAR, 0);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void CALLBACK GiveUp(HWND, UINT, UINT_PTR, DWORD) { PostMessageA(g_dialog, WM_COMMAND, IDCANCEL, 0); }

} // namespace

// Started hidden: a press during the initialisation (a second start's) is not undone by the hide tick;
// a tick during a run starts no run inside it; an icon the shell refuses is offered again every 2 s for
// two minutes (60 offers), and no more.
TEST(Background, PressDuringTheHiddenStartTickDuringARunAndARefusedIcon)
{
    brisko::SharedStateGuard guard;
    ASSERT_TRUE(WriteBytes(brisko::SettingsPath(), brisko::SettingsBytes(brisko::Ticked(), "5"))); // no step
    CWinApp app;
    app.m_hInstance = GetModuleHandleA(nullptr);
    app.m_lpCmdLine = "hide";
    CBriskoDlg dlg;
    dlg.m_bAutoClear = TRUE;
    CBriskoDlg::s_pfnShellNotifyIconA = RefuseOffers;
    HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, Watch, nullptr, GetCurrentThreadId());
    // The 60th offer comes from the timer 2 s after the start; a 61st would come at 4 s.
    const UINT_PTR deadline = SetTimer(nullptr, 0, 5000, GiveUp);
    dlg.DoModal();
    KillTimer(nullptr, deadline);
    UnhookWindowsHookEx(hook);
    CBriskoDlg::s_pfnShellNotifyIconA = Shell_NotifyIconA;
    EXPECT_TRUE(g_shownForGood);
    EXPECT_EQ(1, g_finished);
    EXPECT_EQ(2 * 61, g_offers); // at the start, then 60 retries
}

namespace {

int g_virtualisation = 0; // the token's answer: 1 on, 0 off, -1 none
const unsigned kTicked = 32, kMachineDenied = 64, kVirtualHeld = 128;

BOOL WINAPI AnswerVirtualisation(HANDLE, TOKEN_INFORMATION_CLASS, LPVOID info, DWORD, PDWORD size)
{
    *static_cast<DWORD*>(info) = static_cast<DWORD>(g_virtualisation), *size = sizeof(DWORD);
    return g_virtualisation >= 0;
}

// Once the dialog runs: the start-up box clicked, then the dialog closed.
void CALLBACK ClickStartupBox(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    const HWND dialog = FindWindowA("#32770", "Brisko");
    SendDlgItemMessageA(dialog, IDC_AUTOSTART, BM_CLICK, 0, 0);
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
}

} // namespace

// Where the token may virtualise the machine's entry (or cannot say), the user's own is written, and a
// machine value counts only when no virtual one can hide it; a stale virtual value goes. An entry the
// shell switched off does not start: a tick clears the mark it relies on; the box tells the logon's.
TEST(Startup, VirtualisationAndTheShellsSwitchDecideTheEntryAndTheBox)
{
    using namespace brisko;
    SharedStateGuard guard;
    wchar_t own[MAX_PATH] = L"";
    GetModuleFileNameW(nullptr, own, MAX_PATH);
    const std::wstring entry = L'"' + std::wstring(own) + L"\"  hide";
    const struct {
        const char* name;
        int virtualisation;
        bool tick;
        unsigned before, after;
    } cases[] = {
        {"virtualised: the user's; a stale virtual value goes", 1, true, kVirtualEntry, kUserEntry | kTicked},
        {"unknown; virtual left", -1, true, kMachineEntry | kVirtualEntry | kVirtualHeld,
         kMachineEntry | kUserEntry | kVirtualEntry | kTicked},
        {"virtualised, a real machine entry", 1, true, kMachineEntry, kMachineEntry | kTicked},
        {"machine denied, holding an entry", 0, true, kMachineEntry | kMachineDenied, kMachineEntry | kTicked},
        {"virtualised untick: the machine's is left", 1, false, kMachineEntry | kUserEntry, kMachineEntry | kTicked},
        {"untick: both go", 0, false, kMachineEntry | kUserEntry, 0},
        {"machine's, on", 0, true, kUserEntry | kMachineMark | kUserMark, kMachineEntry | kUserMark | kTicked},
        {"machine denied: user's, on", 0, true, kMachineDenied | kUserMark, kUserEntry | kTicked},
        {"untick: held, off", 0, false, kMachineEntry | kMachineDenied | kMachineMark, kMachineEntry | kMachineMark},
    };
    CBriskoDlg::s_pfnGetTokenInformation = AnswerVirtualisation;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        g_virtualisation = c.virtualisation;
        ASSERT_TRUE(PlantStartup(c.before, entry));
        CBriskoDlg dlg;
        dlg.m_bAutoStart = !c.tick;
        {
            ValuesDenied machine(HKEY_LOCAL_MACHINE, kRunKey, c.before & kMachineDenied),
                virtualStore(HKEY_CURRENT_USER, kVirtualRunKey, c.before & kVirtualHeld);
            ASSERT_TRUE(machine.Held() && virtualStore.Held());
            SetTimer(nullptr, 0, 1, ClickStartupBox);
            dlg.DoModal();
        }
        EXPECT_EQ(c.after, StartupPlaces(entry) | (dlg.m_bAutoStart ? kTicked : 0));
        DeleteRunValues();
    }
    CBriskoDlg::s_pfnGetTokenInformation = GetTokenInformation;
}
