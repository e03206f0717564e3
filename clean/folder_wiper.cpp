// The folder wiper and its index-file overwrite.
#include "clean/folder_wiper.h"

#include "framework/scoped_win.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <cstring>
#include <string>

namespace {

constexpr DWORD kIndexHeaderBytes = 64;
constexpr DWORD kZeroChunkBytes = 10000;

// Plain ASCII equality ignoring case. The names compared against are ASCII, so a multibyte name can
// only match byte for byte: a lead byte never equals an ASCII letter.
bool EqualsNoCase(const char* name, const char* ascii)
{
    for (; *name && *ascii; ++name, ++ascii) {
        char a = *name, b = *ascii;
        if (a >= 'A' && a <= 'Z')
            a = static_cast<char>(a - 'A' + 'a');
        if (a != b)
            return false;
    }
    return *name == *ascii;
}

bool IsDotOrDotDot(const char* name) { return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0; }

bool OverwriteIndexPath(const char* fullPath)
{
    ScopedFile file(CreateFileA(fullPath, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    DWORD size = GetFileSize(file.get(), nullptr);
    SetFilePointer(file.get(), kIndexHeaderBytes, nullptr, FILE_BEGIN);
    if (size == INVALID_FILE_SIZE || size <= kIndexHeaderBytes)
        return true;

    static_assert(kZeroChunkBytes <= 16 * 1024, "the zero buffer lives on the stack");
    char zeros[kZeroChunkBytes] = {};
    DWORD remaining = size - kIndexHeaderBytes;
    DWORD written = 0;
    // Write results are not consulted: the chunk count follows from the size alone.
    for (; remaining > kZeroChunkBytes; remaining -= kZeroChunkBytes)
        WriteFile(file.get(), zeros, kZeroChunkBytes, &written, nullptr);
    WriteFile(file.get(), zeros, remaining, &written, nullptr);
    return true;
}

struct WipeOptions {
    BOOL includeDesktopIni;
    BOOL overwriteIndexDat;
};

// Wipes the folder named by `path`, using `path` as the one buffer for every entry path below it;
// on return `path` holds the folder again.
bool WipeTree(std::string& path, const WipeOptions& options)
{
    const size_t folderLength = path.size();
    path += "\\*.*";
    WIN32_FIND_DATAA entry;
    ScopedFind find(FindFirstFileA(path.c_str(), &entry));
    path.resize(folderLength);
    if (!find)
        return false;

    do {
        const char* name = entry.cFileName;
        if (IsDotOrDotDot(name))
            continue;
        if (!options.includeDesktopIni && EqualsNoCase(name, "desktop.ini"))
            continue;
        // A link is left alone: entering or removing it would reach outside the folder (under Wine,
        // removing a link removes its target; on Windows, profile junctions loop).
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
            continue;

        path.resize(folderLength);
        path += '\\';
        path += name;

        DWORD attributes = GetFileAttributesA(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
            SetFileAttributesA(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);

        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            WipeTree(path, options);
            RemoveDirectoryA(path.c_str());
        } else {
            if (options.overwriteIndexDat && EqualsNoCase(name, "index.dat"))
                OverwriteIndexPath(path.c_str());
            DeleteFileA(path.c_str());
        }
    } while (FindNextFileA(find.get(), &entry));

    path.resize(folderLength);
    return true;
}

// The absolute long form of a folder without trailing separators (a root keeps its own), or empty.
std::string CanonicalFolder(const char* path)
{
    char full[MAX_PATH];
    DWORD length = GetFullPathNameA(path, MAX_PATH, full, nullptr);
    if (length == 0 || length >= MAX_PATH)
        return std::string();
    char longForm[MAX_PATH];
    length = GetLongPathNameA(full, longForm, MAX_PATH);
    std::string folder = (length > 0 && length < MAX_PATH) ? longForm : full;
    while (!folder.empty() && (folder.back() == '\\' || folder.back() == '/') && !PathIsRootA(folder.c_str()))
        folder.pop_back();
    return folder;
}

bool SamePath(const std::string& a, const char* b, size_t length)
{
    return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.c_str(), static_cast<int>(a.size()), b,
                          static_cast<int>(length)) == CSTR_EQUAL;
}

// True when `folder` is `other` or one of its ancestors.
bool IsSelfOrAncestor(const std::string& folder, const char* other)
{
    if (!other[0])
        return false;
    std::string target = CanonicalFolder(other);
    if (target.empty())
        return false;
    if (target.size() == folder.size())
        return SamePath(folder, target.c_str(), target.size());
    return target.size() > folder.size() && target[folder.size()] == '\\' &&
           SamePath(folder, target.c_str(), folder.size());
}

std::string ShellFolder(int csidl)
{
    char path[MAX_PATH] = "";
    return SHGetSpecialFolderPathA(nullptr, path, csidl, FALSE) ? path : "";
}

} // namespace

bool IsProtectedFolder(const char* path)
{
    std::string folder = CanonicalFolder(path);
    if (folder.empty() || PathIsRootA(folder.c_str()))
        return true;

    char windows[MAX_PATH] = "";
    UINT length = GetWindowsDirectoryA(windows, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        windows[0] = '\0';
    char system[MAX_PATH] = "";
    length = GetSystemDirectoryA(system, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        system[0] = '\0';
    char nativeProgramFiles[MAX_PATH] = "";
    length = GetEnvironmentVariableA("ProgramW6432", nativeProgramFiles, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        nativeProgramFiles[0] = '\0';

    const std::string guarded[] = {windows,
                                   system,
                                   ShellFolder(CSIDL_PROFILE),
                                   ShellFolder(CSIDL_PROGRAM_FILES),
                                   ShellFolder(CSIDL_PROGRAM_FILESX86),
                                   nativeProgramFiles};
    for (const std::string& other : guarded) {
        if (IsSelfOrAncestor(folder, other.c_str()))
            return true;
    }
    return false;
}

bool WipeFolder(const char* path, BOOL includeDesktopIni, BOOL overwriteIndexDat)
{
    if (IsProtectedFolder(path))
        return false;
    char full[MAX_PATH];
    DWORD length = GetFullPathNameA(path, MAX_PATH, full, nullptr);
    if (length == 0 || length >= MAX_PATH)
        return false;

    std::string buffer;
    buffer.reserve(2 * MAX_PATH);
    buffer = full;
    return WipeTree(buffer, WipeOptions{includeDesktopIni, overwriteIndexDat});
}

bool OverwriteIndexFile(const char* folder, const char* name)
{
    std::string path = folder;
    path += '\\';
    path += name;
    return OverwriteIndexPath(path.c_str());
}
