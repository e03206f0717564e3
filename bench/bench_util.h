// Small helpers of the benchmark: a timer, a process owner, the test tree and counting what is left.
#pragma once

#include <windows.h>

#include <string>

namespace bench {

// Seconds since construction, from the performance counter.
class Stopwatch {
public:
    Stopwatch() { QueryPerformanceCounter(&m_start); }
    double Seconds() const
    {
        LARGE_INTEGER now, frequency;
        QueryPerformanceCounter(&now);
        QueryPerformanceFrequency(&frequency);
        return static_cast<double>(now.QuadPart - m_start.QuadPart) / static_cast<double>(frequency.QuadPart);
    }

private:
    LARGE_INTEGER m_start;
};

// A started process: ends it if still running, closes both handles.
class ScopedProcess {
public:
    ScopedProcess() = default;
    ~ScopedProcess();
    ScopedProcess(const ScopedProcess&) = delete;
    ScopedProcess& operator=(const ScopedProcess&) = delete;

    bool Start(const std::string& commandLine);
    bool Wait(DWORD timeoutMs) const;
    HANDLE Handle() const { return m_pi.hProcess; }
    DWORD Id() const { return m_pi.dwProcessId; }

private:
    PROCESS_INFORMATION m_pi = {};
};

// The wipe tree: 2 x 10 x 10 leaf folders of 100 files of 1-4 KB (20,000 files), every tenth file
// read-only, a desktop.ini in every tenth leaf folder, a 100 KB index.dat in four of them.
bool MakeWipeTree(const std::string& root);
// A flat folder of `files` files of 1 KB.
bool MakeFlatFolder(const std::string& folder, int files);
// Files and folders below `root` (0 when it is gone).
long CountEntries(const std::string& root);
// Times `wipe`(dir, 1, 0) after one wipe of an empty folder beside it with COM started (as in Brisko,
// whose earlier wipes have read what the guard knows), and prints "seconds=... left=...".
int TimeWipe(const std::string& dir, bool (*wipe)(const wchar_t* path, BOOL includeDesktopIni, BOOL overwriteIndexDat));

// The folder that holds this program.
std::string ProgramFolder();

} // namespace bench
