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

BOOL WINAPI RefuseReplace(LPCSTR, LPCSTR, DWORD)
{
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

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
// fails (no new file can be made, the old one is held, the flush fails) leaves the old one whole.
// A replace refused as access denied falls back to writing the old file in place.
TEST(Settings, FailedSaveLeavesThePreviousFileWhole)
{
    const std::string previous = Flags() + Le32(1) + "5";
    const SettingsRecord record = {{1}, "30"};
    for (int why : {0, 1, 2}) {
        ASSERT_TRUE(WriteBytes(kFile, previous));
        ASSERT_TRUE(why != 0 || MakeFolders(kFile + ".new"));
        ScopedFile holder(
            why == 1 ? CreateFileA(kFile.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr)
                     : nullptr);
        g_pfnFlushFileBuffers = why == 2 ? RefuseFlush : FlushFileBuffers;
        EXPECT_FALSE(WriteSettingsFile(kFile.c_str(), record)) << why;
        EXPECT_EQ(previous, ReadBytes(kFile)) << why;
        EXPECT_EQ(why == 0, Exists(kFile + ".new")) << why; // a new file it made is gone again
        RemoveTree(kFile + ".new");
    }
    g_pfnFlushFileBuffers = FlushFileBuffers;
    // Where the old file may not be replaced, the record goes into it and its longer old end is cut.
    for (bool refused : {false, true}) {
        ASSERT_TRUE(WriteBytes(kFile, previous + "junk"));
        g_pfnMoveFileExA = refused ? RefuseReplace : MoveFileExA;
        EXPECT_TRUE(WriteSettingsFile(kFile.c_str(), record));
        EXPECT_EQ(Le32(1) + std::string(76, '\0') + Le32(2) + "30", ReadBytes(kFile));
        EXPECT_FALSE(Exists(kFile + ".new"));
    }
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
int g_offers = 0, g_finished = 0, g_refusals = 2;
bool g_shownForGood = false, g_stillOffering = true;

// The shell refuses the first offers of the icon (add, then update) and takes the next; then it closes.
BOOL WINAPI RefuseFirstOffer(DWORD message, PNOTIFYICONDATAA nid)
{
    if (message != NIM_DELETE && ++g_offers <= g_refusals)
        return FALSE;
    if (message == NIM_ADD)
        PostMessageA(nid->hWnd, WM_COMMAND, IDCANCEL, 0);
    return Shell_NotifyIconA(message, nid);
}

// At WM_INITDIALOG a press on the icon and a click on "Clear Now" are posted: both are handled before
// any timer tick. At the run's "Finished!" the window must be shown with no hide pending, and a tick
// of the auto-clear timer comes in, as a COM or shell wait inside a step would dispatch it.
LRESULT CALLBACK Watch(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPSTRUCT* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && sent->message == WM_INITDIALOG) {
        g_dialog = sent->hwnd;
        PostMessageA(g_dialog, WM_TRAYNOTIFY, ID_TRAYICON, WM_LBUTTONDOWN);
        PostMessageA(GetDlgItem(g_dialog, IDC_CLEARNOW), BM_CLICK, 0, 0);
    } else if (code == HC_ACTION && sent->message == WM_SETTEXT && GetDlgCtrlID(sent->hwnd) == IDC_STATUS &&
               std::strcmp(reinterpret_cast<const char*>(sent->lParam), "Finished!") == 0 && g_finished++ == 0) {
        g_shownForGood = IsWindowVisible(g_dialog) && !KillTimer(g_dialog, ID_TIMER_HIDE);
        SendMessageA(g_dialog, WM_TIMER, ID_TIMER_AUTOCLEAR, 0);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void CALLBACK GiveUp(HWND, UINT, UINT_PTR, DWORD) { PostMessageA(g_dialog, WM_COMMAND, IDCANCEL, 0); }

// After two minutes of the retry's ticks (posted, so handled before any timer): whether it still runs.
void CALLBACK CheckTheRetry(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    g_stillOffering = KillTimer(g_dialog, ID_TIMER_TRAYRETRY) != FALSE;
    PostMessageA(g_dialog, WM_COMMAND, IDCANCEL, 0);
}

LRESULT CALLBACK TickTheRetry(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPSTRUCT* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && sent->message == WM_INITDIALOG) {
        g_dialog = sent->hwnd;
        for (int tick = 0; tick < 60; ++tick)
            PostMessageA(g_dialog, WM_TIMER, ID_TIMER_TRAYRETRY, 0);
        SetTimer(nullptr, 0, 1, CheckTheRetry);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

} // namespace

// Started hidden: a press during the initialisation (a second start's) is not undone by the hide tick;
// a tick during a run starts no run inside it; an icon the shell refused is offered again, for two
// minutes and no longer.
TEST(Background, PressDuringTheHiddenStartTickDuringARunAndARefusedIcon)
{
    brisko::SharedStateGuard guard;
    ASSERT_TRUE(WriteBytes(brisko::SettingsPath(), brisko::SettingsBytes(brisko::Ticked(), "5"))); // no step
    CWinApp app;
    app.m_hInstance = GetModuleHandleA(nullptr);
    app.m_lpCmdLine = "hide";
    CBriskoDlg dlg;
    dlg.m_bAutoClear = TRUE;
    CBriskoDlg::s_pfnShellNotifyIconA = RefuseFirstOffer;
    HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, Watch, nullptr, GetCurrentThreadId());
    const UINT_PTR deadline = SetTimer(nullptr, 0, 30000, GiveUp);
    dlg.DoModal();
    KillTimer(nullptr, deadline);
    UnhookWindowsHookEx(hook);
    CBriskoDlg::s_pfnShellNotifyIconA = Shell_NotifyIconA;
    EXPECT_TRUE(g_shownForGood);
    EXPECT_EQ(1, g_finished);
    EXPECT_EQ(3, g_offers); // refused twice, then taken
    g_offers = 0;
    g_refusals = 1000;
    app.m_lpCmdLine = "";
    CBriskoDlg refused;
    CBriskoDlg::s_pfnShellNotifyIconA = RefuseFirstOffer;
    hook = SetWindowsHookExA(WH_CALLWNDPROC, TickTheRetry, nullptr, GetCurrentThreadId());
    refused.DoModal();
    UnhookWindowsHookEx(hook);
    CBriskoDlg::s_pfnShellNotifyIconA = Shell_NotifyIconA;
    EXPECT_FALSE(g_stillOffering);
    EXPECT_EQ(2 * 61, g_offers); // at the start, then at each of the 60 ticks
}

namespace {

const char kRun[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kVirtualRunKey[] =
    "Software\\Classes\\VirtualStore\\MACHINE\\SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::wstring kVirtualRunW = Wide(kVirtualRunKey);
const wchar_t* const kVirtualRun = kVirtualRunW.c_str();
const wchar_t kUserMarks[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";
const wchar_t kMachineMarks[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run32";
const BYTE kDisabled[12] = {3};
int g_virtualisation = 0; // the token's answer: 1 on, 0 off, -1 it cannot be asked

BOOL WINAPI AnswerVirtualisation(HANDLE, TOKEN_INFORMATION_CLASS, LPVOID info, DWORD, PDWORD size)
{
    *size = sizeof(DWORD);
    *static_cast<DWORD*>(info) = static_cast<DWORD>(g_virtualisation);
    return g_virtualisation >= 0;
}

// The "Brisko" value of a key in the 64-bit view, where the shell keeps its marks.
bool SetValue64(HKEY root, const wchar_t* key, DWORD type, const void* data, DWORD size)
{
    ScopedKey opened;
    const auto create = [](HKEY parent, const wchar_t* path, HKEY* made) {
        return RegCreateKeyExW(parent, path, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, made, nullptr);
    };
    return opened.Open(create, root, key) == 0 &&
           RegSetValueExW(opened.get(), L"Brisko", 0, type, static_cast<const BYTE*>(data), size) == 0;
}

void DeleteValue64(HKEY root, const wchar_t* key)
{
    ScopedKey opened;
    if (opened.Open(RegOpenKeyExW, root, key, 0, KEY_SET_VALUE | KEY_WOW64_64KEY) == 0)
        RegDeleteValueW(opened.get(), L"Brisko");
}

bool HasValue64(HKEY root, const wchar_t* key)
{
    ScopedKey opened;
    return opened.Open(RegOpenKeyExW, root, key, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY) == 0 &&
           RegQueryValueExW(opened.get(), L"Brisko", nullptr, nullptr, nullptr, nullptr) == 0;
}

LRESULT CALLBACK ClickStartupBox(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPSTRUCT* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && sent->message == WM_INITDIALOG) {
        PostMessageA(GetDlgItem(sent->hwnd, IDC_AUTOSTART), BM_CLICK, 0, 0);
        PostMessageA(sent->hwnd, WM_COMMAND, IDCANCEL, 0);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

} // namespace

// Where the token may virtualise the machine's entry, the user's own is written, and a machine value
// counts only when no virtual one can hide it; a stale virtual value goes. An entry the shell switched
// off does not start: a tick clears the mark it relies on, and the box says what the logon will do.
TEST(Startup, VirtualisationAndTheShellsSwitchDecideTheEntryAndTheBox)
{
    brisko::SharedStateGuard guard;
    wchar_t own[MAX_PATH] = L"";
    GetModuleFileNameW(nullptr, own, MAX_PATH);
    const std::wstring entry = L'"' + std::wstring(own) + L"\"  hide", none = L"<none>";
    const std::string savedRun = KeySddl(HKEY_LOCAL_MACHINE, kRun);
    const struct {
        const char* name;
        int virtualisation;
        bool tick, machineBefore, machineDenied, virtualBefore, virtualHeld, machineMarked, userMarked;
        bool machineAfter, userAfter, virtualAfter, machineMarkAfter, userMarkAfter, box;
    } cases[] = {
        {"virtualised: the user's, a stale virtual value goes", 1, true, false, false, true, false, false, false, false,
         true, false, false, false, true},
        {"unknown, a virtual value left: the machine's not trusted", -1, true, true, false, true, true, false, false,
         true, true, true, false, false, true},
        {"virtualised, a real machine entry", 1, true, true, false, false, false, false, false, true, false, false,
         false, false, true},
        {"virtualised untick: the machine's is left", 1, false, true, false, false, false, false, false, true, false,
         false, false, false, true},
        {"not virtualised, both switched off", 0, true, false, false, false, false, true, true, true, false, false,
         false, true, true},
        {"machine denied, the user's switched off", 0, true, false, true, false, false, false, true, false, true, false,
         false, false, true},
        {"untick, a held machine entry switched off", 0, false, true, true, false, false, true, false, true, false,
         false, true, false, false},
    };
    CWinApp app;
    app.m_hInstance = GetModuleHandleA(nullptr);
    app.m_lpCmdLine = "";
    CBriskoDlg::s_pfnGetTokenInformation = AnswerVirtualisation;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        g_virtualisation = c.virtualisation;
        const DWORD dataSize = static_cast<DWORD>((entry.size() + 1) * sizeof(wchar_t));
        ASSERT_TRUE(!c.machineBefore || brisko::SetWideRunValue(HKEY_LOCAL_MACHINE, entry));
        ASSERT_TRUE(!c.virtualBefore || SetValue64(HKEY_CURRENT_USER, kVirtualRun, REG_SZ, entry.c_str(), dataSize));
        ASSERT_TRUE(!c.machineMarked || SetValue64(HKEY_LOCAL_MACHINE, kMachineMarks, REG_BINARY, kDisabled, 12));
        ASSERT_TRUE(!c.userMarked || SetValue64(HKEY_CURRENT_USER, kUserMarks, REG_BINARY, kDisabled, 12));
        const std::string virtualKey = kVirtualRunKey, savedVirtual = KeySddl(HKEY_CURRENT_USER, virtualKey);
        ASSERT_TRUE(!c.machineDenied || SetKeySddl(HKEY_LOCAL_MACHINE, kRun, "D:(D;;0x2;;;WD)(A;;KA;;;WD)"));
        ASSERT_TRUE(!c.virtualHeld || SetKeySddl(HKEY_CURRENT_USER, virtualKey, "D:(D;;0x2;;;WD)(A;;KA;;;WD)"));
        {
            CBriskoDlg dlg;
            dlg.m_bAutoStart = !c.tick;
            HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, ClickStartupBox, nullptr, GetCurrentThreadId());
            dlg.DoModal();
            UnhookWindowsHookEx(hook);
            EXPECT_EQ(c.box, dlg.m_bAutoStart != FALSE);
        }
        SetKeySddl(HKEY_LOCAL_MACHINE, kRun, savedRun.c_str());
        if (!savedVirtual.empty())
            SetKeySddl(HKEY_CURRENT_USER, virtualKey, savedVirtual.c_str());
        EXPECT_EQ(c.machineAfter ? entry : none, brisko::WideRunValue(HKEY_LOCAL_MACHINE));
        EXPECT_EQ(c.userAfter ? entry : none, brisko::WideRunValue(HKEY_CURRENT_USER));
        EXPECT_EQ(c.virtualAfter, HasValue64(HKEY_CURRENT_USER, kVirtualRun));
        EXPECT_EQ(c.machineMarkAfter, HasValue64(HKEY_LOCAL_MACHINE, kMachineMarks));
        EXPECT_EQ(c.userMarkAfter, HasValue64(HKEY_CURRENT_USER, kUserMarks));
        brisko::DeleteRunValues();
        for (const auto& value :
             {std::make_pair(HKEY_CURRENT_USER, kVirtualRun), std::make_pair(HKEY_LOCAL_MACHINE, kMachineMarks),
              std::make_pair(HKEY_CURRENT_USER, kUserMarks)})
            DeleteValue64(value.first, value.second);
    }
    CBriskoDlg::s_pfnGetTokenInformation = GetTokenInformation;
}
