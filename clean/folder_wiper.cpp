// The folder wiper and its index-file overwrite.
#include "clean/folder_wiper.h"

#include "framework/scoped_win.h"

#include <shlobj.h>

#include <cwchar>
#include <string>

namespace {

constexpr DWORD kIndexHeaderBytes = 64;
constexpr DWORD kZeroChunkBytes = 10000;
constexpr wchar_t kExtended[] = L"\\\\?\\";
constexpr wchar_t kExtendedUnc[] = L"\\\\?\\UNC\\";

bool StartsWith(const std::wstring& text, const wchar_t* prefix) { return text.rfind(prefix, 0) == 0; }

// ASCII equality ignoring case: the names compared against are ASCII.
bool EqualsNoCase(const wchar_t* name, const wchar_t* ascii)
{
    for (; *name && *ascii; ++name, ++ascii) {
        wchar_t c = *name;
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c - L'A' + L'a');
        if (c != *ascii)
            return false;
    }
    return *name == *ascii;
}

// The enumeration gives one path component per entry. Anything else ("." and "..", an empty name, a
// separator or a stream colon) would lead outside the folder when joined on, so it is never used.
bool IsOneComponent(const wchar_t* name)
{
    return name[0] && std::wcscmp(name, L".") != 0 && std::wcscmp(name, L"..") != 0 && !std::wcspbrk(name, L"\\/:");
}

// The absolute form of `path` in the \\?\ spelling, which takes every name as it is and has no length
// limit, without trailing separators; empty when there is none.
std::wstring ExtendedPath(const wchar_t* path)
{
    DWORD size = GetFullPathNameW(path, 0, nullptr, nullptr);
    if (size == 0)
        return std::wstring();
    std::wstring full(size, L'\0');
    DWORD length = GetFullPathNameW(path, size, &full[0], nullptr);
    if (length == 0 || length >= size)
        return std::wstring();
    full.resize(length);
    // A root keeps its separator ("\\?\C:" would be the volume, not its root folder).
    while (full.size() > 3 && (full.back() == L'\\' || full.back() == L'/') && full[full.size() - 2] != L':')
        full.pop_back();
    if (StartsWith(full, kExtended))
        return full;
    if (StartsWith(full, L"\\\\.\\"))
        return kExtended + full.substr(4);
    if (StartsWith(full, L"\\\\"))
        return kExtendedUnc + full.substr(2);
    return kExtended + full;
}

bool OverwriteIndexPath(const wchar_t* fullPath)
{
    ScopedFile file(CreateFileW(fullPath, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    // Another link to these bytes is a file elsewhere: deleting this name is all that may happen here.
    FILE_STANDARD_INFO standard = {};
    if (!GetFileInformationByHandleEx(file.get(), FileStandardInfo, &standard, sizeof standard) ||
        standard.NumberOfLinks != 1)
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
bool WipeTree(std::wstring& path, const WipeOptions& options)
{
    const size_t folderLength = path.size();
    path += L"\\*";
    WIN32_FIND_DATAW entry;
    ScopedFind find(FindFirstFileExW(path.c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch, nullptr,
                                     FIND_FIRST_EX_LARGE_FETCH));
    path.resize(folderLength);
    if (!find)
        return false;

    do {
        const wchar_t* name = entry.cFileName;
        if (!IsOneComponent(name))
            continue;
        if (!options.includeDesktopIni && EqualsNoCase(name, L"desktop.ini"))
            continue;
        // A link is left alone: entering or removing it would reach outside the folder (under Wine,
        // removing a link removes its target; on Windows, profile junctions loop).
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
            continue;

        path.resize(folderLength);
        path += L'\\';
        path += name;

        DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
            SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);

        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            WipeTree(path, options);
            RemoveDirectoryW(path.c_str());
        } else {
            if (options.overwriteIndexDat && EqualsNoCase(name, L"index.dat"))
                OverwriteIndexPath(path.c_str());
            DeleteFileW(path.c_str());
        }
    } while (FindNextFileW(find.get(), &entry));

    path.resize(folderLength);
    return true;
}

// What a folder is, whatever path names it: its volume and its file index there.
struct FolderId {
    DWORD volume = 0, high = 0, low = 0;
    bool operator==(const FolderId& other) const
    {
        return volume == other.volume && high == other.high && low == other.low;
    }
};

// Opens the folder a path leads to, through any link, just to tell what it is.
ScopedFile OpenFolder(const std::wstring& path)
{
    return ScopedFile(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

bool IdentityOf(HANDLE folder, FolderId& id)
{
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(folder, &info) || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    id.volume = info.dwVolumeSerialNumber;
    id.high = info.nFileIndexHigh;
    id.low = info.nFileIndexLow;
    return true;
}

// Where an open folder really is, in the \\?\ spelling; empty when the system cannot say.
std::wstring FinalPath(HANDLE folder)
{
    std::wstring path(MAX_PATH, L'\0');
    DWORD length = GetFinalPathNameByHandleW(folder, &path[0], MAX_PATH, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length >= MAX_PATH) {
        path.assign(length, L'\0');
        length = GetFinalPathNameByHandleW(folder, &path[0], length, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    }
    path.resize(length < path.size() ? length : 0);
    return path;
}

// A root has no folder above it: "\\?\C:\" or "\\?\UNC\server\share".
bool IsRoot(std::wstring path)
{
    while (!path.empty() && path.back() == L'\\')
        path.pop_back();
    if (StartsWith(path, kExtendedUnc))
        return path.find(L'\\', path.find(L'\\', 8) + 1) == std::wstring::npos;
    if (StartsWith(path, kExtended))
        path.erase(0, 4);
    return path.size() <= 2;
}

// The folder above `path` ("C:\" above "C:\x"), or empty at a root.
std::wstring Parent(const std::wstring& path)
{
    size_t slash = path.find_last_of(L'\\');
    if (slash == std::wstring::npos || slash + 1 == path.size())
        return std::wstring();
    std::wstring parent = path.substr(0, slash);
    if (parent.back() == L':')
        parent += L'\\';
    return parent.size() < 3 ? std::wstring() : parent;
}

// True when `id` is the folder `path` leads to or one above it, by the path as given and by where the
// folder really is.
bool IsSelfOrAncestor(const FolderId& id, const std::wstring& path)
{
    if (path.empty())
        return false;
    std::wstring spellings[2] = {path, std::wstring()};
    if (ScopedFile folder = OpenFolder(path))
        spellings[1] = FinalPath(folder.get());
    for (const std::wstring& spelling : spellings) {
        for (std::wstring level = spelling; !level.empty(); level = Parent(level)) {
            FolderId other;
            ScopedFile folder = OpenFolder(level);
            if (folder && IdentityOf(folder.get(), other) && other == id)
                return true;
        }
    }
    return false;
}

std::wstring ShellFolder(int csidl)
{
    wchar_t path[MAX_PATH] = L"";
    return SHGetSpecialFolderPathW(nullptr, path, csidl, FALSE) ? path : L"";
}

template <typename Get> std::wstring SystemPath(Get get)
{
    wchar_t path[MAX_PATH] = L"";
    UINT length = get(path, MAX_PATH);
    return length != 0 && length < MAX_PATH ? path : L"";
}

} // namespace

bool IsProtectedFolder(const wchar_t* path)
{
    FolderId id;
    ScopedFile folder = OpenFolder(ExtendedPath(path));
    if (!folder || !IdentityOf(folder.get(), id))
        return true;
    const std::wstring where = FinalPath(folder.get());
    if (where.empty() || IsRoot(where))
        return true;

    const std::wstring guarded[] = {
        SystemPath([](wchar_t* p, UINT n) { return GetWindowsDirectoryW(p, n); }),
        SystemPath([](wchar_t* p, UINT n) { return GetSystemDirectoryW(p, n); }),
        SystemPath([](wchar_t* p, UINT n) { return UINT(GetEnvironmentVariableW(L"ProgramW6432", p, n)); }),
        ShellFolder(CSIDL_PROFILE),
        ShellFolder(CSIDL_PROGRAM_FILES),
        ShellFolder(CSIDL_PROGRAM_FILESX86),
    };
    for (const std::wstring& other : guarded) {
        if (IsSelfOrAncestor(id, other))
            return true;
    }
    return false;
}

bool WipeFolder(const wchar_t* path, BOOL includeDesktopIni, BOOL overwriteIndexDat)
{
    if (IsProtectedFolder(path))
        return false;
    std::wstring buffer = ExtendedPath(path);
    if (buffer.empty())
        return false;
    buffer.reserve(4 * MAX_PATH);
    return WipeTree(buffer, WipeOptions{includeDesktopIni, overwriteIndexDat});
}

bool OverwriteIndexFile(const wchar_t* folder, const wchar_t* name)
{
    std::wstring path = ExtendedPath(folder);
    if (path.empty() || !IsOneComponent(name))
        return false;
    path += L'\\';
    path += name;
    return OverwriteIndexPath(path.c_str());
}
