// brisko_bench.exe: one timing per call, printed as "name=value" pairs for scripts/bench.
//   tree DIR | flat DIR N        make the wipe tree / a flat folder of N files
//   wipe DIR [classic]           time WipeFolder(DIR, 1, 0), POSIX deletion where offered / the classic
//                                deletion alone; count what is left (the wiper as it was: wiper_yardstick)
//   rd DIR                       time cmd /c rd /s /q DIR; count what is left
//   deletes DIR                  time DeleteFileA / RemoveDirectoryA alone on every entry of DIR
//   guard DIR                    time a run's eight wipes of the empty DIR, and with a known folder stalled
//   purge N                      seed N cache entries (half cookies); time a bare walk,
//                                PurgeUrlCache(2) (walks, deletes nothing), (0) and (1)
//   startup minimal|brisko       time process start to the main window shown and answering
//   fullrun N                    seed a large profile; time Brisko's "Clear Now" to "Finished!"
//   memory walk|wipe DIR         peak memory of enumerating / wiping DIR
#include "clean/folder_wiper.h"
#include "framework/scoped_win.h"
#include "clean/url_cache.h"
#include "res/resource.h"
#include "bench/bench_util.h"
#include "tests/support/brisko_driver.h"
#include "tests/support/trace_kit.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <psapi.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <wininet.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <thread>
#include <vector>

// Every allocation of this process's C++ code is counted, so the peak that our code holds is exact.
namespace {
std::atomic<size_t> g_liveBytes{0};
std::atomic<size_t> g_peakBytes{0};
constexpr size_t kHeader = 16; // keeps the block aligned as the allocator's own
} // namespace

void* operator new(size_t size)
{
    char* block = static_cast<char*>(std::malloc(size + kHeader));
    if (!block)
        throw std::bad_alloc();
    *reinterpret_cast<size_t*>(block) = size;
    size_t live = g_liveBytes += size;
    for (size_t peak = g_peakBytes; live > peak && !g_peakBytes.compare_exchange_weak(peak, live);) {
    }
    return block + kHeader;
}

void operator delete(void* p) noexcept
{
    if (!p)
        return;
    char* block = static_cast<char*>(p) - kHeader;
    g_liveBytes -= *reinterpret_cast<size_t*>(block);
    std::free(block);
}

void operator delete(void* p, size_t) noexcept { operator delete(p); }

namespace {

using bench::Stopwatch;

// --- the wipe ---------------------------------------------------------------------------------

BOOL WINAPI RefusePosixDeletion(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD)
{
    SetLastError(ERROR_INVALID_PARAMETER); // as systems before Windows 10 1809 answer
    return FALSE;
}

int Wipe(const std::string& dir, const std::string& way)
{
    if (way == "classic")
        g_pfnSetFileInformationByHandle = RefusePosixDeletion;
    return bench::TimeWipe(dir, [](const wchar_t* path, BOOL desktopIni, BOOL indexDat) {
        return WipeFolder(path, desktopIni, indexDat);
    });
}

// Known folders whose probe stalls: their opens for attributes wait until the benchmark lets them go.
ScopedFile g_release(CreateEventW(nullptr, TRUE, FALSE, nullptr));
NTSTATUS NTAPI StallingOpen(PHANDLE handle, ACCESS_MASK access, POBJECT_ATTRIBUTES object, PIO_STATUS_BLOCK io,
                            ULONG share, ULONG options)
{
    const std::wstring name(object->ObjectName->Buffer, object->ObjectName->Length / sizeof(wchar_t));
    if (access == FILE_READ_ATTRIBUTES && name.size() > 8 && name.compare(name.size() - 8, 8, L"-stalled") == 0)
        WaitForSingleObject(g_release.get(), 30000);
    return NtOpenFile(handle, access, object, io, share, options);
}

// The guard's cost per run: the eight wipes of a run with every folder step ticked, of empty folders,
// as the run makes them (one WipeRun); the fastest of five runs after a first, as in a Brisko that has
// run before.
// Then the same run with Documents on a drive whose probe stalls.
int GuardCost(const std::string& dir)
{
    ScopedComInit com;
    const char key[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
    if (!trace_kit::MakeFolders(dir) || !trace_kit::MakeFolders(dir + "-stalled"))
        return 1;
    const std::wstring path = trace_kit::Wide(dir);
    const auto run = [&path] {
        Stopwatch clock;
        WipeRun wipes;
        for (int i = 0; i < 8; ++i)
            WipeFolder(path.c_str(), TRUE, FALSE);
        return clock.Seconds();
    };
    Stopwatch alone;
    WipeFolder(path.c_str(), TRUE, FALSE);
    const double single = alone.Seconds();
    double warm = run();
    for (int i = 0; i < 5; ++i)
        warm = std::min(warm, run());
    if (!trace_kit::SetString(HKEY_CURRENT_USER, key, "Personal", dir + "-stalled"))
        return 1;
    g_pfnNtOpenFile = StallingOpen;
    const double stalled = run();
    SetEvent(g_release.get());
    g_pfnNtOpenFile = NtOpenFile;
    SHDeleteValueA(HKEY_CURRENT_USER, key, "Personal");
    std::printf("first_wipe=%.6f run=%.6f stalled_run=%.6f\n", single, warm, stalled);
    return 0;
}

int RemoveDirectoryTree(const std::string& dir)
{
    bench::ScopedProcess cmd;
    Stopwatch clock;
    if (!cmd.Start("cmd.exe /c rd /s /q \"" + dir + "\"") || !cmd.Wait(600000))
        return 1;
    double seconds = clock.Seconds();
    std::printf("seconds=%.6f left=%ld\n", seconds, bench::CountEntries(dir));
    return 0;
}

// The platform's floor for the wipe's own calls: DeleteFileA and RemoveDirectoryA alone on every
// entry, the paths listed and the read-only bits cleared beforehand.
void ListTree(const std::string& dir, std::vector<std::string>& files, std::vector<std::string>& folders)
{
    WIN32_FIND_DATAA entry;
    ScopedFind find(FindFirstFileA((dir + "\\*").c_str(), &entry));
    if (!find)
        return;
    do {
        if (!std::strcmp(entry.cFileName, ".") || !std::strcmp(entry.cFileName, ".."))
            continue;
        const std::string path = dir + "\\" + entry.cFileName;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
            SetFileAttributesA(path.c_str(), entry.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY);
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            ListTree(path, files, folders);
            folders.push_back(path); // after its contents
        } else {
            files.push_back(path);
        }
    } while (FindNextFileA(find.get(), &entry));
}

int DeletesAlone(const std::string& dir)
{
    std::vector<std::string> files, folders;
    ListTree(dir, files, folders);
    Stopwatch clock;
    for (const std::string& file : files)
        DeleteFileA(file.c_str());
    for (const std::string& folder : folders)
        RemoveDirectoryA(folder.c_str());
    double seconds = clock.Seconds();
    std::printf("seconds=%.6f left=%ld\n", seconds, bench::CountEntries(dir));
    return 0;
}

// --- the URL cache ----------------------------------------------------------------------------

struct CacheCount {
    long cookies = 0;
    long others = 0;
};

// A walk with one buffer that grows only when an entry needs more: the least a walk can cost.
// Every entry is deleted when `deleteAll` is set.
CacheCount WalkCache(bool deleteAll)
{
    CacheCount count;
    std::vector<char> buffer(4096);
    auto* entry = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(buffer.data());
    DWORD size = static_cast<DWORD>(buffer.size());
    ScopedUrlCacheFind find(FindFirstUrlCacheEntryA(nullptr, entry, &size));
    if (!find && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        buffer.resize(size);
        entry = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(buffer.data());
        find.reset(FindFirstUrlCacheEntryA(nullptr, entry, &size));
    }
    while (find) {
        ++((entry->CacheEntryType & COOKIE_CACHE_ENTRY) ? count.cookies : count.others);
        if (deleteAll)
            DeleteUrlCacheEntryA(entry->lpszSourceUrlName);
        size = static_cast<DWORD>(buffer.size());
        if (FindNextUrlCacheEntryA(find.get(), entry, &size))
            continue;
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            break;
        buffer.resize(size);
        entry = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(buffer.data());
        if (!FindNextUrlCacheEntryA(find.get(), entry, &size))
            break;
    }
    return count;
}

bool SeedEntry(const std::string& url, DWORD type, const char* extension)
{
    char file[MAX_PATH] = "";
    if (!CreateUrlCacheEntryA(url.c_str(), 0, extension, file, 0) ||
        !trace_kit::WriteBytes(file, std::string(1024, 'c')))
        return false;
    FILETIME never = {};
    return CommitUrlCacheEntryA(url.c_str(), file, never, never, type, nullptr, 0, extension, nullptr) != FALSE;
}

// `entries` entries with a file each, every other one a cookie. Returns how many were made.
long SeedCache(long entries)
{
    long made = 0;
    char url[128];
    for (long i = 0; i < entries; ++i) {
        bool cookie = i % 2 == 1;
        if (cookie)
            std::snprintf(url, sizeof url, "Cookie:bench@bench%ld.test/", i);
        else
            std::snprintf(url, sizeof url, "http://bench.test/page%05ld.html", i);
        made += SeedEntry(url, cookie ? COOKIE_CACHE_ENTRY : NORMAL_CACHE_ENTRY, cookie ? "txt" : "html");
    }
    return made;
}

int Purge(long entries)
{
    WalkCache(true); // every round starts from an empty cache
    long seeded = SeedCache(entries);

    Stopwatch walkClock;
    CacheCount before = WalkCache(false);
    double walk = walkClock.Seconds();

    // The purge's own walk with nothing to delete: a size probe and a fetch per entry.
    Stopwatch probedClock;
    PurgeUrlCache(2);
    double probed = probedClock.Seconds();

    Stopwatch purge0Clock;
    PurgeUrlCache(0);
    double purge0 = purge0Clock.Seconds();
    CacheCount afterMode0 = WalkCache(false);

    Stopwatch purge1Clock;
    PurgeUrlCache(1);
    double purge1 = purge1Clock.Seconds();
    CacheCount afterMode1 = WalkCache(false);

    std::printf("seeded=%ld entries=%ld cookies=%ld walk=%.6f probed_walk=%.6f purge0=%.6f purge1=%.6f "
                "left0_others=%ld left0_cookies=%ld left1=%ld\n",
                seeded, before.others + before.cookies, before.cookies, walk, probed, purge0, purge1, afterMode0.others,
                afterMode0.cookies, afterMode1.others + afterMode1.cookies);
    return 0;
}

// --- start-up ---------------------------------------------------------------------------------

struct WindowSearch {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK FindShownMainWindow(HWND hWnd, LPARAM lParam)
{
    auto* search = reinterpret_cast<WindowSearch*>(lParam);
    DWORD processId = 0;
    GetWindowThreadProcessId(hWnd, &processId);
    char className[16] = "", caption[16] = "";
    GetClassNameA(hWnd, className, sizeof className);
    GetWindowTextA(hWnd, caption, sizeof caption);
    if (processId == search->processId && !std::strcmp(className, "#32770") && !std::strcmp(caption, "Brisko") &&
        IsWindowVisible(hWnd)) {
        search->found = hWnd;
        return FALSE;
    }
    return TRUE;
}

int Startup(const std::string& which)
{
    std::string exe;
    if (which == "brisko") {
        // No step flags: nothing runs at start.
        if (!trace_kit::WriteBytes(brisko::SettingsPath(), brisko::SettingsBytes(brisko::Ticked(), "")))
            return 1;
        exe = brisko::ExePath();
    } else {
        exe = bench::ProgramFolder() + "\\min_dialog.exe";
    }

    bench::ScopedProcess process;
    Stopwatch clock;
    if (!process.Start("\"" + exe + "\""))
        return 1;
    WaitForInputIdle(process.Handle(), 30000);
    WindowSearch search = {process.Id(), nullptr};
    while (EnumWindows(FindShownMainWindow, reinterpret_cast<LPARAM>(&search)) && !search.found) {
        if (process.Wait(1) || clock.Seconds() > 30)
            return 1;
    }
    // Answered once the window's thread is back in its message loop, initialisation done.
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(search.found, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &result))
        return 1;
    double seconds = clock.Seconds();
    PostMessageA(search.found, WM_CLOSE, 0, 0);
    process.Wait(15000);
    std::printf("seconds=%.6f\n", seconds);
    return 0;
}

// --- the full run -----------------------------------------------------------------------------

struct StatusChange {
    double at;
    std::string text;
};

// Reads the status line from outside while the run holds Brisko's thread: another process's window
// text comes from the window server, so no message has to be answered.
class StatusRecorder {
public:
    explicit StatusRecorder(HWND status) : m_status(status), m_thread([this] { Record(); })
    {
        while (!m_ready)
            Sleep(1);
    }
    ~StatusRecorder() { Stop(); }
    StatusRecorder(const StatusRecorder&) = delete;
    StatusRecorder& operator=(const StatusRecorder&) = delete;

    const std::vector<StatusChange>& Stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        return m_changes;
    }

private:
    void Record()
    {
        // Short steps last a few milliseconds; on a busy machine a normal thread may sleep through them.
        SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
        std::string last;
        while (!m_stop) {
            char text[128] = "";
            GetWindowTextA(m_status, text, sizeof text);
            if (last != text) {
                last = text;
                m_changes.push_back({m_clock.Seconds(), last});
            }
            m_ready = true;
            Sleep(1);
        }
    }

    HWND m_status;
    Stopwatch m_clock;
    std::atomic<bool> m_ready{false};
    std::atomic<bool> m_stop{false};
    std::vector<StatusChange> m_changes;
    std::thread m_thread;
};

int FullRun(long entries)
{
    std::array<int, 20> flags = brisko::Ticked();
    for (int step = 0; step < 17; ++step)
        flags[step] = 1;
    if (!trace_kit::WriteBytes(brisko::SettingsPath(), brisko::SettingsBytes(flags, "")))
        return 1;

    for (const std::string& name : trace_kit::Seed())
        std::fprintf(stderr, "not seeded: %s\n", name.c_str());
    const std::string tree = trace_kit::ShellFolder(CSIDL_INTERNET_CACHE) + "\\bench-tree";
    long seeded = SeedCache(entries);
    if (!bench::MakeWipeTree(tree))
        return 1;
    long treeEntries = bench::CountEntries(tree);

    brisko::Instance brisko;
    if (!brisko.Start())
        return 1;
    double seconds = 0;
    std::vector<StatusChange> changes;
    {
        StatusRecorder recorder(brisko.Item(IDC_STATUS));
        Stopwatch clock;
        brisko.Click(IDC_CLEARNOW); // returns when the run's handler has returned
        seconds = clock.Seconds();
        Sleep(20);
        changes = recorder.Stop();
    }
    const bool finished = brisko.Text(IDC_STATUS).rfind("Finished!", 0) == 0;
    brisko.End(brisko::Ending::CloseBox);

    int tracesLeft = 0, traces = 0;
    for (const trace_kit::TraceState& trace : trace_kit::Report()) {
        if (trace.step) {
            ++traces;
            tracesLeft += trace.present;
        }
    }
    CacheCount cacheLeft = WalkCache(false);
    std::printf("seconds=%.6f finished=%d messages=%zu cache_seeded=%ld cache_left=%ld tree=%ld tree_left=%ld "
                "traces=%d traces_left=%d\n",
                seconds, finished ? 1 : 0, changes.size() > 0 ? changes.size() - 1 : 0, seeded,
                cacheLeft.others + cacheLeft.cookies, treeEntries, bench::CountEntries(tree), traces, tracesLeft);
    // Each message from its first sight to the next: what the user watched, and for how long.
    for (size_t i = 1; i < changes.size(); ++i) {
        double until = i + 1 < changes.size() ? changes[i + 1].at : changes[i].at;
        std::printf("step %.3f %s\n", until - changes[i].at, changes[i].text.c_str());
    }
    return finished ? 0 : 1;
}

// --- memory -----------------------------------------------------------------------------------

SIZE_T PeakWorkingSet()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    return GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters) ? counters.PeakWorkingSetSize : 0;
}

int Memory(const std::string& what, const std::string& dir)
{
    const SIZE_T peakBefore = PeakWorkingSet();
    g_peakBytes = g_liveBytes.load();
    const size_t liveBefore = g_liveBytes;
    long entries = 0;
    if (what == "wipe") {
        entries = bench::CountEntries(dir);
        g_peakBytes = g_liveBytes.load();
        WipeFolder(trace_kit::Wide(dir).c_str(), TRUE, FALSE);
    } else {
        WIN32_FIND_DATAA entry;
        ScopedFind find(FindFirstFileA((dir + "\\*.*").c_str(), &entry));
        if (find) {
            while (FindNextFileA(find.get(), &entry))
                ++entries;
        }
    }
    const SIZE_T peakAfter = PeakWorkingSet();
    std::printf("entries=%ld heap_peak=%zu working_set_growth_kb=%lu\n", entries, g_peakBytes - liveBefore,
                static_cast<unsigned long>((peakAfter - peakBefore) / 1024));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    _setmode(_fileno(stdout), _O_BINARY);
    const std::string command = argc > 1 ? argv[1] : "";
    const std::string arg = argc > 2 ? argv[2] : "";
    if (command == "tree" && argc == 3)
        return bench::MakeWipeTree(arg) ? 0 : 1;
    if (command == "flat" && argc == 4)
        return bench::MakeFlatFolder(arg, std::atoi(argv[3])) ? 0 : 1;
    if (command == "wipe" && (argc == 3 || argc == 4))
        return Wipe(arg, argc == 4 ? argv[3] : "");
    if (command == "guard" && argc == 3)
        return GuardCost(arg);
    if (command == "deletes" && argc == 3)
        return DeletesAlone(arg);
    if (command == "rd" && argc == 3)
        return RemoveDirectoryTree(arg);
    if (command == "purge" && argc == 3)
        return Purge(std::atol(arg.c_str()));
    if (command == "startup" && argc == 3)
        return Startup(arg);
    if (command == "fullrun" && argc == 3)
        return FullRun(std::atol(arg.c_str()));
    if (command == "memory" && argc == 4)
        return Memory(arg, argv[3]);
    std::fprintf(stderr, "usage: brisko_bench tree|flat|wipe|guard|deletes|rd|purge|startup|fullrun|memory ...\n");
    return 2;
}
