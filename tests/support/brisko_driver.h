// Drives the real Brisko.exe from another process, the way a user would: start it, find its window,
// click, read the controls, send the tray callback, close it and wait. Only what it started it ends.
#pragma once

#include <windows.h>

#include "tests/support/trace_kit.h"

#include <array>
#include <initializer_list>
#include <string>
#include <vector>

namespace brisko {

std::string ExePath(); // Brisko.exe of this build tree, as the sandbox sees it
std::string SettingsPath();
FILETIME SettingsWriteTime();
// Stored flags: steps 1 to 17 at 0 to 16, then start-up entry, auto clear and clear on start.
enum { kAutoStart = 17, kAutoClear = 18, kClearOnStart = 19 };
std::array<int, 20> Ticked(std::initializer_list<int> steps = {});
std::string SettingsBytes(const std::array<int, 20>& flags, const std::string& minutes);
int StoredFlag(const std::string& file, int index);
std::string RunValue(HKEY root);      // the "Brisko" value under the hive's Run key, or "<none>"
std::wstring WideRunValue(HKEY root); // the same, read with the wide calls; L"<none>" when not there
bool SetWideRunValue(HKEY root, const std::wstring& data);
// Where Windows keeps Brisko's start-up entry: the machine's and the user's Run values, the user's
// VirtualStore copy of the machine's, and the shell's start-up marks (in the 64-bit view).
enum : unsigned { kMachineEntry = 1, kUserEntry = 2, kVirtualEntry = 4, kMachineMark = 8, kUserMark = 16 };
extern const char kRunKey[], kVirtualRunKey[];
bool PlantStartup(unsigned places, const std::wstring& entry); // the entry, or a mark switching it off
unsigned StartupPlaces(const std::wstring& entry);             // where the entry, or a mark, is
void DeleteRunValues();                                        // from every place
// For its lifetime, no value of the key may be set or deleted (as a standard user sees HKLM's).
class ValuesDenied {
public:
    ValuesDenied(HKEY root, const char* key, bool deny);
    ~ValuesDenied();
    ValuesDenied(const ValuesDenied&) = delete;
    ValuesDenied& operator=(const ValuesDenied&) = delete;
    bool Held() const { return m_held; }

private:
    HKEY m_root;
    const char* m_key;
    std::string m_saved;
    bool m_held;
};
// The instance mutex with an access list that lets this user only wait on it, as an elevated Brisko's
// does for a standard start.
HANDLE MakeWaitOnlyInstanceMutex();
int MainWindowCount(); // Brisko main windows on the desktop, shown or hidden, of any process
int ProcessCount();    // Brisko.exe processes
// Runs the command line to its end: whether it exited with 0, and what it printed.
bool RunCommand(const std::string& line, std::string* output = nullptr, DWORD timeoutMs = 120000);
std::string InBuild(const char* relative);                 // a file of the build tree, which the sandbox sees as Y:
bool RunKit(const std::string& args, std::string& output); // a fresh trace_kit.exe
// The kit's report from a fresh process (wininet keeps its own view of the cache); empty when it fails.
std::vector<trace_kit::TraceState> KitReport();
// Stores `flags`, starts Brisko (with TMP and TEMP set to `temp` unless empty), clicks "Clear Now" and
// closes it: whether the run reached its last message, which starts with "Finished!" (into `finished`
// when given), and Brisko ended.
bool CleanOnce(const std::array<int, 20>& flags, const std::string& temp = "", std::string* finished = nullptr);
bool IsFinished(const std::string& status); // the run's last message
// Polls `done` until it holds or `timeoutMs` have passed on the clock (not counted sleeps: a slow or
// loaded machine spends longer on each poll than on each sleep).
template <typename F> bool WaitFor(F done, DWORD timeoutMs)
{
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    while (!done()) {
        if (::GetTickCount64() >= deadline)
            return false;
        ::Sleep(20);
    }
    return true;
}

// Brisko instances share the settings file and the Run values: each test starts without them, and
// what was there before comes back at the end.
class SharedStateGuard {
public:
    SharedStateGuard();
    ~SharedStateGuard();
    SharedStateGuard(const SharedStateGuard&) = delete;
    SharedStateGuard& operator=(const SharedStateGuard&) = delete;

private:
    std::string m_settings;
};

// How the program ends: as a user closes it; ended without notice (Task Manager, a crash); or at a
// logoff during a run, as Windows ends a busy program (the query unanswered for 5 s, then the end).
enum class Ending { CloseBox, Escape, EnterOnCheckBox, Killed, LogoffDuringRun };

class Instance {
public:
    Instance() = default;
    ~Instance(); // ends the process if the test left it running
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    // Starts Brisko and waits until its initialisation has ended (its tray icon is in).
    bool Start(const std::string& args = "", const std::string& exe = ExePath());
    bool StartAt(const std::wstring& exe, const std::string& args = ""); // a copy at any path
    HWND Window() const { return m_hWnd; }
    DWORD ProcessId() const { return m_pi.dwProcessId; }
    HWND Item(int id) const { return ::GetDlgItem(m_hWnd, id); }
    void Click(int id) const { ::SendMessageA(Item(id), BM_CLICK, 0, 0); } // returns when handled
    bool IsChecked(int id) const { return ::SendMessageA(Item(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
    bool IsEnabled(int id) const { return ::IsWindowEnabled(Item(id)) != FALSE; }
    std::string Text(int id) const;
    // Picks the list item and notifies the dialog, as choosing with the mouse does.
    void ChooseMinutes(int index) const;
    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::SendMessageA(m_hWnd, message, wParam, lParam);
    }
    bool HasTrayIcon() const;    // the shell knows it (NIM_MODIFY on it succeeds)
    bool ForgetTrayIcon() const; // the shell forgets it, as a restarted Explorer does
    // A visible window of this process other than the main window, of the class and (unless null)
    // with the caption; waited for.
    HWND FindShown(const char* cls, const char* caption, DWORD timeoutMs) const;
    // Ends Brisko that way and waits for the process to exit.
    bool End(Ending how, DWORD timeoutMs = 15000);
    bool Running() const { return m_pi.hProcess && ::WaitForSingleObject(m_pi.hProcess, 0) == WAIT_TIMEOUT; }

private:
    bool WaitUntilReady();
    PROCESS_INFORMATION m_pi = {};
    HWND m_hWnd = nullptr;
};

// Closes Brisko as the close box does and holds it while it takes its icon away, as a busy shell would:
// a window of the task bar's class, made on this thread, is what its shell calls find first, and they
// wait until this thread answers. Release() answers until that Brisko has ended.
class HeldClose {
public:
    explicit HeldClose(Instance& brisko);
    ~HeldClose();
    HeldClose(const HeldClose&) = delete;
    HeldClose& operator=(const HeldClose&) = delete;
    bool Holding() const { return m_holding; }
    bool Release();

private:
    Instance& m_brisko;
    HWND m_tray = nullptr;
    bool m_holding = false;
};

} // namespace brisko
