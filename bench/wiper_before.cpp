// The folder wiper as it was before the guard knew every known folder and the wipe ran on the user's
// own rights (POSIX deletion, no backup intent): the benchmark's yardstick, timed side by side.
#include "bench/wiper_before.h"

#include "clean/system_paths.h"
#include "framework/scoped_win.h"

#include <shlobj.h>
#include <winternl.h>

#include <cwchar>
#include <string>
#include <utility>
#include <vector>

namespace before {
namespace {

constexpr DWORD kIndexHeaderBytes = 64;
constexpr DWORD kZeroChunkBytes = 10000;
constexpr DWORD kListBytes = 64 * 1024;
constexpr wchar_t kExtended[] = L"\\\\?\\";
constexpr wchar_t kExtendedUnc[] = L"\\\\?\\UNC\\";

constexpr ACCESS_MASK kFolderAccess = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE;
constexpr ACCESS_MASK kFileAccess = FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE;
// A folder being wiped shares no deletion, so no one renames it meanwhile; files share everything.
constexpr ULONG kFolderShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr ULONG kFileShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr ULONG kOpenOptions = FILE_OPEN_REPARSE_POINT | FILE_OPEN_FOR_BACKUP_INTENT | FILE_SYNCHRONOUS_IO_NONALERT;
constexpr DWORD kSettableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                      FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE |
                                      FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

bool StartsWith(const std::wstring& text, const wchar_t* prefix) { return text.rfind(prefix, 0) == 0; }

// ASCII equality ignoring case: the names compared against are ASCII.
bool EqualsNoCase(const std::wstring& name, const wchar_t* ascii)
{
    size_t i = 0;
    for (; i < name.size() && ascii[i]; ++i) {
        wchar_t c = name[i];
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c - L'A' + L'a');
        if (c != ascii[i])
            return false;
    }
    return i == name.size() && !ascii[i];
}

// A listing gives one path component per entry. Anything else ("." and "..", an empty name, a
// separator or a stream colon) would lead outside the folder when opened relative to it.
bool IsOneComponent(const std::wstring& name)
{
    return !name.empty() && name != L"." && name != L".." && name.find_first_of(L"\\/:") == std::wstring::npos;
}

// Junctions, symbolic links and mount points lead elsewhere. A reparse point whose tag is not given
// (Wine lists host links so) is taken for one of them.
bool IsLinkTag(DWORD tag) { return tag == 0 || IsReparseTagNameSurrogate(tag); }

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

// Opens `name` inside the folder `parent` as it is, not following a link it may be.
ScopedFile OpenEntry(HANDLE parent, const std::wstring& name, ACCESS_MASK access, ULONG share, ULONG options)
{
    const USHORT bytes = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    UNICODE_STRING objectName = {bytes, bytes, const_cast<PWSTR>(name.c_str())};
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &objectName, 0, parent, nullptr);
    IO_STATUS_BLOCK io;
    HANDLE entry = nullptr;
    return ScopedFile(
        NT_SUCCESS(NtOpenFile(&entry, access, &attributes, &io, share, options | kOpenOptions)) ? entry : nullptr);
}

struct Listed {
    std::wstring name;
    LONGLONG id;
};

// What an entry opened through its handle is.
struct EntryInfo {
    DWORD attributes;
    DWORD links;
};

// False when the entry is not the file the listing named (swapped meanwhile) or is a link after all.
// Each query is one the platform answers from the handle alone (a full information query also works
// out the name, which costs as much as the path is deep).
bool Inspect(HANDLE entry, LONGLONG id, EntryInfo& info)
{
    FILE_INTERNAL_INFORMATION internal = {};
    IO_STATUS_BLOCK io;
    FILE_ATTRIBUTE_TAG_INFO tag = {};
    FILE_STANDARD_INFO standard = {};
    if (!NT_SUCCESS(NtQueryInformationFile(entry, &io, &internal, sizeof internal, FileInternalInformation)) ||
        internal.IndexNumber.QuadPart != id ||
        !GetFileInformationByHandleEx(entry, FileAttributeTagInfo, &tag, sizeof tag) ||
        ((tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsLinkTag(tag.ReparseTag)) ||
        !GetFileInformationByHandleEx(entry, FileStandardInfo, &standard, sizeof standard))
        return false;
    info = {tag.FileAttributes, standard.NumberOfLinks};
    return true;
}

bool SetAttributes(HANDLE entry, DWORD attributes)
{
    FILE_BASIC_INFO basic = {}; // zero times stay as they are
    basic.FileAttributes =
        (attributes & kSettableAttributes) ? attributes & kSettableAttributes : FILE_ATTRIBUTE_NORMAL;
    return SetFileInformationByHandle(entry, FileBasicInfo, &basic, sizeof basic);
}

// Read-only blocks deletion, so the bit is cleared for it alone: it is put back where the name stays
// or where other names keep the file.
void DeleteThrough(HANDLE entry, const EntryInfo& info)
{
    const bool readOnly = info.attributes & FILE_ATTRIBUTE_READONLY;
    if (readOnly && !SetAttributes(entry, info.attributes & ~FILE_ATTRIBUTE_READONLY))
        return;
    FILE_DISPOSITION_INFO disposition = {TRUE};
    const bool deleted = SetFileInformationByHandle(entry, FileDispositionInfo, &disposition, sizeof disposition);
    if (readOnly && (!deleted || info.links > 1))
        SetAttributes(entry, info.attributes);
}

void ZeroFillIndex(HANDLE file)
{
    DWORD size = GetFileSize(file, nullptr);
    SetFilePointer(file, kIndexHeaderBytes, nullptr, FILE_BEGIN);
    if (size == INVALID_FILE_SIZE || size <= kIndexHeaderBytes)
        return;
    static_assert(kZeroChunkBytes <= 16 * 1024, "the zero buffer lives on the stack");
    char zeros[kZeroChunkBytes] = {};
    DWORD remaining = size - kIndexHeaderBytes;
    DWORD written = 0;
    // Write results are not consulted: the chunk count follows from the size alone.
    for (; remaining > kZeroChunkBytes; remaining -= kZeroChunkBytes)
        WriteFile(file, zeros, kZeroChunkBytes, &written, nullptr);
    WriteFile(file, zeros, remaining, &written, nullptr);
}

struct WipeOptions {
    BOOL includeDesktopIni;
    BOOL overwriteIndexDat;
};

// A folder on the walk's stack: held open while its listing lasts and its sub-folders are wiped.
struct Frame {
    ScopedFile folder;
    EntryInfo info;
    bool deletable;              // opened for deletion: not the top folder, nor one held without delete sharing
    bool listed;                 // its listing has ended
    std::vector<Listed> pending; // sub-folders of the listing's last batch still to wipe
};

void WipeFile(const Frame& folder, const Listed& entry, const WipeOptions& options)
{
    const bool index = options.overwriteIndexDat && EqualsNoCase(entry.name, L"index.dat");
    // Opened in the held folder without following links, a file deleted on close loses only this
    // name, whatever it is. Read-only files refuse that open; they and the index files to zero-fill
    // are read through their handles first.
    if (!index && OpenEntry(folder.folder.get(), entry.name, DELETE | SYNCHRONIZE, kFileShare,
                            FILE_NON_DIRECTORY_FILE | FILE_DELETE_ON_CLOSE))
        return;
    // An index file held without delete sharing is still emptied; one that cannot be written still goes.
    static const ACCESS_MASK kTries[] = {DELETE, DELETE | FILE_WRITE_DATA, FILE_WRITE_DATA, DELETE};
    for (size_t i = index ? 1 : 0; i < (index ? 4 : 1); ++i) {
        const ACCESS_MASK access = kTries[i];
        ScopedFile file =
            OpenEntry(folder.folder.get(), entry.name, kFileAccess | access, kFileShare, FILE_NON_DIRECTORY_FILE);
        if (!file)
            continue;
        EntryInfo info;
        if (!Inspect(file.get(), entry.id, info))
            return;
        // Another link to these bytes is a file elsewhere: deleting this name is all that may happen here.
        if (index && (access & FILE_WRITE_DATA) && info.links == 1)
            ZeroFillIndex(file.get());
        DeleteThrough(file.get(), info);
        return;
    }
}

bool OpenSubFolder(const Frame& parent, const Listed& entry, Frame& child)
{
    child.folder =
        OpenEntry(parent.folder.get(), entry.name, kFolderAccess | DELETE, kFolderShare, FILE_DIRECTORY_FILE);
    child.deletable = static_cast<bool>(child.folder);
    // Held by another program without delete sharing, it is emptied and stays.
    if (!child.folder)
        child.folder = OpenEntry(parent.folder.get(), entry.name, kFolderAccess, kFolderShare, FILE_DIRECTORY_FILE);
    child.listed = false;
    return child.folder && Inspect(child.folder.get(), entry.id, child.info) &&
           (child.info.attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Lists the next batch of `frame`: deletes its files at once, keeps its sub-folders for later.
// Returns the listing's error: ERROR_NO_MORE_FILES at the end.
DWORD ListBatch(Frame& frame, std::vector<LONGLONG>& buffer, const WipeOptions& options)
{
    if (!GetFileInformationByHandleEx(frame.folder.get(), FileIdBothDirectoryInfo, buffer.data(),
                                      static_cast<DWORD>(buffer.size() * sizeof buffer[0])))
        return GetLastError();
    const BYTE* at = reinterpret_cast<const BYTE*>(buffer.data());
    for (;;) {
        const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(at);
        const Listed listed = {std::wstring(entry->FileName, entry->FileNameLength / sizeof(wchar_t)),
                               entry->FileId.QuadPart};
        // A link's tag stands in the EA size field of a listing.
        if (IsOneComponent(listed.name) && (options.includeDesktopIni || !EqualsNoCase(listed.name, L"desktop.ini")) &&
            !((entry->FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsLinkTag(entry->EaSize))) {
            if (entry->FileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                frame.pending.push_back(listed);
            else
                WipeFile(frame, listed, options);
        }
        if (!entry->NextEntryOffset)
            return ERROR_SUCCESS;
        at += entry->NextEntryOffset;
    }
}

bool WipeThrough(ScopedFile top, const WipeOptions& options)
{
    std::vector<Frame> stack(1);
    stack[0].folder = std::move(top);
    stack[0].deletable = stack[0].listed = false;
    std::vector<LONGLONG> buffer(kListBytes / sizeof(LONGLONG));
    const DWORD first = ListBatch(stack[0], buffer, options);
    if (first != ERROR_SUCCESS && first != ERROR_NO_MORE_FILES)
        return false;
    stack[0].listed = first != ERROR_SUCCESS;

    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (!frame.pending.empty()) {
            Frame child;
            const bool opened = OpenSubFolder(frame, frame.pending.back(), child);
            frame.pending.pop_back();
            if (opened)
                stack.push_back(std::move(child));
        } else if (!frame.listed) {
            frame.listed = ListBatch(frame, buffer, options) != ERROR_SUCCESS;
        } else {
            if (frame.deletable)
                DeleteThrough(frame.folder.get(), frame.info);
            stack.pop_back();
        }
    }
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
ScopedFile OpenToTell(const std::wstring& path)
{
    return ScopedFile(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

// Opens the folder to wipe, through any link in its path: the caller chose that path.
ScopedFile OpenTop(const std::wstring& path)
{
    return ScopedFile(CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE, kFolderShare,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
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

// True when `id` is the folder its volume is mounted at, as the volume's mount point tells; also
// when that cannot be told.
bool IsMountPoint(const FolderId& id, const std::wstring& path)
{
    std::wstring mount(path.size() + 2, L'\0');
    if (!GetVolumePathNameW(path.c_str(), &mount[0], static_cast<DWORD>(mount.size())))
        return true;
    mount.resize(std::wcslen(mount.c_str()));
    FolderId other;
    ScopedFile folder = OpenToTell(mount);
    return !folder || !IdentityOf(folder.get(), other) || other == id;
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
    if (ScopedFile folder = OpenToTell(path))
        spellings[1] = FinalPath(folder.get());
    for (const std::wstring& spelling : spellings) {
        for (std::wstring level = spelling; !level.empty(); level = Parent(level)) {
            FolderId other;
            ScopedFile folder = OpenToTell(level);
            if (folder && IdentityOf(folder.get(), other) && other == id)
                return true;
        }
    }
    return false;
}

// The guard, judged through the handle that the wipe then uses.
bool IsProtected(HANDLE folder, const std::wstring& path)
{
    FolderId id;
    if (!IdentityOf(folder, id))
        return true;
    // Volumes outside the mount manager (RAM disks) give no final path; their mount point tells.
    const std::wstring where = FinalPath(folder);
    if (where.empty() ? IsMountPoint(id, path) : IsRoot(where))
        return true;

    const std::wstring windows = ReadPath(GetWindowsDirectoryW);
    const std::wstring systemWindows = ReadPath(GetSystemWindowsDirectoryW);
    const std::wstring guarded[] = {
        windows,
        ReadPath(GetSystemDirectoryW),
        // The 32-bit program on 64-bit Windows is given SysWOW64 as its system directory; the native
        // one is reached as Sysnative.
        systemWindows.empty() ? systemWindows : systemWindows + L"\\Sysnative",
        ShellFolderPath(CSIDL_PROFILE),
        ShellFolderPath(CSIDL_PERSONAL),
        ShellFolderPath(CSIDL_DESKTOPDIRECTORY),
        ShellFolderPath(CSIDL_PROGRAM_FILES),
        ShellFolderPath(CSIDL_PROGRAM_FILESX86),
        NativeProgramFilesPath(),
    };
    for (const std::wstring& other : guarded) {
        if (IsSelfOrAncestor(id, other))
            return true;
    }
    return false;
}

} // namespace

bool WipeFolder(const wchar_t* path, BOOL includeDesktopIni, BOOL overwriteIndexDat)
{
    const std::wstring full = ExtendedPath(path);
    ScopedFile folder = OpenTop(full);
    if (!folder || IsProtected(folder.get(), full))
        return false;
    return WipeThrough(std::move(folder), WipeOptions{includeDesktopIni, overwriteIndexDat});
}

} // namespace before
