// brisko_resident.exe: what a program costs while it waits, for scripts/bench.
//   tray                              time a hidden start of Brisko takes to its tray icon
//   idle brisko|autoclear|minimal S   start Brisko hidden (auto-clear off, or on with "1" minute), or
//                                     the minimal dialog program; over the S seconds after it is
//                                     ready, its processor time; at their end, its memory
#include "bench/bench_util.h"
#include "framework/scoped_win.h"
#include "res/resource.h"
#include "tests/support/brisko_driver.h"
#include "tests/support/trace_kit.h"

#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using bench::Stopwatch;

// The processor time of every thread of the process, in milliseconds: Wine answers a process's own
// times only for the calling process, but any thread's from the system's accounts.
double ProcessorMs(DWORD processId)
{
    ScopedFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    double ms = 0;
    for (BOOL more = Thread32First(snapshot.get(), &entry); more; more = Thread32Next(snapshot.get(), &entry)) {
        if (entry.th32OwnerProcessID != processId)
            continue;
        ScopedFile thread(OpenThread(THREAD_QUERY_INFORMATION, FALSE, entry.th32ThreadID));
        FILETIME created, ended, kernel, user;
        if (thread && GetThreadTimes(thread.get(), &created, &ended, &kernel, &user))
            ms += ((ULONGLONG)kernel.dwHighDateTime << 32 | kernel.dwLowDateTime) / 1e4 +
                  ((ULONGLONG)user.dwHighDateTime << 32 | user.dwLowDateTime) / 1e4;
    }
    return ms;
}

// Committed private memory, as Windows counts a process's private bytes: Wine leaves that counter at 0
// for another process, but lets its address space be walked.
SIZE_T PrivateBytes(HANDLE process)
{
    SIZE_T total = 0;
    MEMORY_BASIC_INFORMATION info;
    for (const char* at = nullptr; VirtualQueryEx(process, at, &info, sizeof info) == sizeof info;
         at = static_cast<const char*>(info.BaseAddress) + info.RegionSize) {
        if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE)
            total += info.RegionSize;
    }
    return total;
}

bool StoreSettings(bool autoClear)
{
    std::array<int, 20> flags = brisko::Ticked({1, 2, 3, 4, 5, 8}); // the defaults
    flags[brisko::kAutoClear] = autoClear;
    return trace_kit::WriteBytes(brisko::SettingsPath(), brisko::SettingsBytes(flags, "1"));
}

int Tray()
{
    if (!StoreSettings(false))
        return 1;
    brisko::Instance brisko;
    Stopwatch clock;
    if (!brisko.Start("hide"))
        return 1;
    const double seconds = clock.Seconds();
    brisko.End(brisko::Ending::CloseBox);
    std::printf("seconds=%.6f\n", seconds);
    return 0;
}

void Measure(HANDLE process, DWORD processId, DWORD seconds)
{
    const double before = ProcessorMs(processId);
    Sleep(seconds * 1000);
    const double after = ProcessorMs(processId);
    PROCESS_MEMORY_COUNTERS memory = {};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(process, &memory, sizeof memory);
    std::printf("cpu_ms=%.0f private_kb=%lu working_set_kb=%lu", after - before,
                static_cast<unsigned long>(PrivateBytes(process) / 1024),
                static_cast<unsigned long>(memory.WorkingSetSize / 1024));
}

int Idle(const std::string& which, DWORD seconds)
{
    if (which == "minimal") {
        bench::ScopedProcess process;
        if (!process.Start("\"" + bench::ProgramFolder() + "\\min_dialog.exe\"") ||
            WaitForInputIdle(process.Handle(), 30000) != 0)
            return 1;
        Measure(process.Handle(), process.Id(), seconds);
        std::printf("\n");
        return 0;
    }
    if (!StoreSettings(which == "autoclear"))
        return 1;
    brisko::Instance brisko;
    if (!brisko.Start("hide"))
        return 1;
    ScopedFile process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, brisko.ProcessId()));
    Measure(process.get(), brisko.ProcessId(), seconds);
    // "Finished!" tells that the auto-clear run came within the time.
    std::printf(" status=%s\n", brisko.Text(IDC_STATUS).c_str());
    brisko.End(brisko::Ending::CloseBox);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "tray")
        return Tray();
    if (mode == "idle" && argc > 3)
        return Idle(argv[2], static_cast<DWORD>(std::atoi(argv[3])));
    std::fprintf(stderr, "usage: brisko_resident tray | idle brisko|autoclear|minimal SECONDS\n");
    return 2;
}
