// Drives the real Brisko.exe from another process, the way a user would: start it, find its window,
// click, read the controls, send the tray callback, close it and wait. Only what it started it ends.
#pragma once

#include <windows.h>

#include <array>
#include <string>

namespace brisko {

// Brisko.exe of this build tree, as the sandbox sees it.
std::string ExePath();
// The settings file Brisko reads and writes: the system directory path with "bri.sko" joined on.
std::string SettingsPath();
// The settings record's bytes: twenty flags in file order, the length and the minutes text.
std::string SettingsBytes(const std::array<int, 20>& flags, const std::string& minutes);
// The twenty stored flags with every cleaning step off: a run then deletes nothing.
std::array<int, 20> NoSteps();
bool ReadBytes(const std::string& path, std::string& bytes);
bool WriteBytes(const std::string& path, const std::string& bytes);

// How a user ends the program.
enum class Ending { CloseBox, Escape, EnterOnCheckBox };

class Instance {
public:
    Instance() = default;
    ~Instance(); // ends the process if the test left it running
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    // Starts Brisko with the arguments and waits until its main window is initialised (its tray
    // icon is in) and answers messages. The window may still be about to show itself.
    bool Start(const std::string& args = "", DWORD timeoutMs = 30000);
    HWND Window() const { return m_hWnd; }
    DWORD ProcessId() const { return m_pi.dwProcessId; }
    HWND Item(int id) const { return ::GetDlgItem(m_hWnd, id); }

    // A click as the mouse gives it; returns when the handler has run.
    void Click(int id) const;
    bool IsChecked(int id) const;
    bool IsEnabled(int id) const { return ::IsWindowEnabled(Item(id)) != FALSE; }
    std::string Text(int id) const;
    std::string Status() const;
    // Picks the list item at the index and notifies the dialog, as choosing with the mouse does.
    void ChooseMinutes(int index) const;
    // The window's message, sent and answered (WM_TIMER, the tray callback ...).
    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    // Whether the shell knows the tray icon of this window (NIM_MODIFY on it succeeds).
    bool HasTrayIcon() const;
    // A top-level window of this process with the caption, waited for.
    HWND FindOwnWindow(const char* caption, DWORD timeoutMs) const;
    // Polls until the predicate holds or the time is up.
    template <typename F> bool WaitFor(F predicate, DWORD timeoutMs) const
    {
        for (DWORD waited = 0;; waited += 20) {
            if (predicate())
                return true;
            if (waited >= timeoutMs)
                return false;
            ::Sleep(20);
        }
    }

    // Ends Brisko the way a user does and waits for the process to exit.
    bool End(Ending how, DWORD timeoutMs = 15000);
    bool WaitForExit(DWORD timeoutMs);
    bool Running() const;

private:
    PROCESS_INFORMATION m_pi = {};
    HWND m_hWnd = nullptr;
    void Release();
};

} // namespace brisko
