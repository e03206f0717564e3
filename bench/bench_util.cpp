// Small helpers of the benchmark.
#include "bench/bench_util.h"

#include "framework/scoped_win.h"

#include <cstdio>
#include <cstring>

namespace bench {

namespace {

const DWORD kKb = 1024;

bool WriteFileOfSize(const std::string& path, DWORD size, DWORD attributes)
{
    static const std::string filler(100 * kKb, 'x');
    ScopedFile file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, attributes, nullptr));
    DWORD written = 0;
    return file && WriteFile(file.get(), filler.data(), size, &written, nullptr) && written == size;
}

// A wipe that spares desktop.ini leaves its folders behind: a tree is remade over them.
bool MakeFolder(const std::string& folder)
{
    return CreateDirectoryA(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

// One leaf folder of the wipe tree; `leaf` numbers it from 0 to 199.
bool MakeLeaf(const std::string& folder, int leaf)
{
    if (!MakeFolder(folder))
        return false;
    for (int i = 0; i < 100; ++i) {
        char name[32];
        DWORD size = kKb + static_cast<DWORD>((leaf * 131 + i * 37) % (3 * kKb + 1));
        std::snprintf(name, sizeof name, "file%03d.tmp", i);
        if (i == 99 && leaf % 10 == 3) {
            std::strcpy(name, "desktop.ini");
        } else if (i == 98 && leaf % 50 == 7) {
            std::strcpy(name, "index.dat");
            size = 100 * kKb;
        }
        DWORD attributes = i % 10 == 5 ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL;
        if (!WriteFileOfSize(folder + "\\" + name, size, attributes))
            return false;
    }
    return true;
}

} // namespace

ScopedProcess::~ScopedProcess()
{
    if (m_pi.hProcess) {
        if (WaitForSingleObject(m_pi.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(m_pi.hProcess, 1);
            WaitForSingleObject(m_pi.hProcess, 5000);
        }
        CloseHandle(m_pi.hProcess);
        CloseHandle(m_pi.hThread);
    }
}

bool ScopedProcess::Start(const std::string& commandLine)
{
    if (m_pi.hProcess)
        return false;
    std::string command = commandLine;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    return CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &m_pi) != FALSE;
}

bool ScopedProcess::Wait(DWORD timeoutMs) const
{
    return m_pi.hProcess && WaitForSingleObject(m_pi.hProcess, timeoutMs) == WAIT_OBJECT_0;
}

bool MakeWipeTree(const std::string& root)
{
    if (!MakeFolder(root))
        return false;
    int leaf = 0;
    for (int a = 0; a < 2; ++a) {
        const std::string first = root + "\\level" + std::to_string(a);
        if (!MakeFolder(first))
            return false;
        for (int b = 0; b < 10; ++b) {
            const std::string second = first + "\\folder" + std::to_string(b);
            if (!MakeFolder(second))
                return false;
            for (int c = 0; c < 10; ++c, ++leaf) {
                if (!MakeLeaf(second + "\\leaf" + std::to_string(c), leaf))
                    return false;
            }
        }
    }
    return true;
}

bool MakeFlatFolder(const std::string& folder, int files)
{
    if (!MakeFolder(folder))
        return false;
    for (int i = 0; i < files; ++i) {
        if (!WriteFileOfSize(folder + "\\file" + std::to_string(i) + ".tmp", kKb, FILE_ATTRIBUTE_NORMAL))
            return false;
    }
    return true;
}

long CountEntries(const std::string& root)
{
    WIN32_FIND_DATAA entry;
    ScopedFind find(FindFirstFileA((root + "\\*").c_str(), &entry));
    if (!find)
        return 0;
    long count = 0;
    do {
        if (!std::strcmp(entry.cFileName, ".") || !std::strcmp(entry.cFileName, ".."))
            continue;
        ++count;
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            !(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            count += CountEntries(root + "\\" + entry.cFileName);
    } while (FindNextFileA(find.get(), &entry));
    return count;
}

std::string ProgramFolder()
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return std::string();
    std::string folder(path, length);
    return folder.substr(0, folder.find_last_of('\\'));
}

int TimeWipe(const std::string& dir, bool (*wipe)(const wchar_t* path, BOOL includeDesktopIni, BOOL overwriteIndexDat))
{
    ScopedComInit com;
    const std::string warm = dir + "-warm";
    CreateDirectoryA(warm.c_str(), nullptr);
    const auto wide = [](const std::string& path) { return std::wstring(path.begin(), path.end()); };
    wipe(wide(warm).c_str(), TRUE, FALSE);
    RemoveDirectoryA(warm.c_str());
    Stopwatch clock;
    wipe(wide(dir).c_str(), TRUE, FALSE);
    const double seconds = clock.Seconds();
    std::printf("seconds=%.6f left=%ld\n", seconds, CountEntries(dir));
    return 0;
}

} // namespace bench
