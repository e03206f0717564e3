// The folder wiper. It defends against a tree that changes under it: another program may rename a
// folder of the tree or swap it for a link while the wipe runs, so that names would lead outside.
// So each folder is opened once, without following links, and judged through its own handle (a
// folder, not a link, the very file its listing named); it is held open without delete sharing, so
// that it cannot be renamed, while it is listed through that handle; each entry is opened relative to
// it and deleted through its own handle. No name is looked up twice. The walk keeps its stack on the
// heap: depth is bounded by memory, not by the thread's stack.
#include "clean/folder_wiper.h"

#include "clean/folder_guard.h"
#include "clean/user_rights.h"
#include "framework/scoped_win.h"

#include <winternl.h>

#include <algorithm>
#include <memory>
#include <new>
#include <set>
#include <string>
#include <utility>
#include <vector>

NTSTATUS(NTAPI* g_pfnNtOpenFile)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, ULONG, ULONG) = NtOpenFile;
BOOL(WINAPI* g_pfnSetFileInformationByHandle)
(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD) = SetFileInformationByHandle;

namespace {

constexpr DWORD kIndexHeaderBytes = 64;
constexpr DWORD kZeroChunkBytes = 10000;
constexpr DWORD kListBytes = 64 * 1024;
// The disposition that takes the name away at once and needs no read-only bit cleared (Windows 10 1809 on).
constexpr auto kFileDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
constexpr DWORD kPosixDelete = 0x1 | 0x2 | 0x10; // delete, POSIX semantics, ignore the read-only attribute

constexpr ACCESS_MASK kFolderAccess = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE;
constexpr ACCESS_MASK kTopAccess = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
constexpr ACCESS_MASK kWalkAccess = FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
constexpr ACCESS_MASK kFileAccess = FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE;
// A folder being wiped shares no deletion, so no one renames it meanwhile; files share everything.
constexpr ULONG kFolderShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr ULONG kFileShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// No backup intent: it would pass by access lists wherever backup rights are enabled. An opportunistic
// lock being broken answers at once rather than holding the open until its holder lets go.
constexpr ULONG kOpenOptions = FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT | FILE_COMPLETE_IF_OPLOCKED;
constexpr NTSTATUS kOplockBreakInProgress = 0x00000108;
constexpr NTSTATUS kSharingViolation = static_cast<NTSTATUS>(0xC0000043);
constexpr NTSTATUS kNameNotFound = static_cast<NTSTATUS>(0xC0000034);
constexpr NTSTATUS kPathNotFound = static_cast<NTSTATUS>(0xC000003A);
constexpr NTSTATUS kAccessDenied = static_cast<NTSTATUS>(0xC0000022);
constexpr DWORD kSettableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                      FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE |
                                      FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

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

// Another program holds the entry: it shares no deletion, or its opportunistic lock is being broken.
bool InUse(NTSTATUS status) { return status == kSharingViolation || status == kOplockBreakInProgress; }

// Opens `name` inside the folder `parent` as it is, not following a link it may be. An open that meets
// an opportunistic lock being broken is closed at once: its entry stays, in use.
ScopedFile OpenEntry(HANDLE parent, const std::wstring& name, ACCESS_MASK access, ULONG share, ULONG options,
                     NTSTATUS* status = nullptr)
{
    const USHORT bytes = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    UNICODE_STRING objectName = {bytes, bytes, const_cast<PWSTR>(name.c_str())};
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &objectName, 0, parent, nullptr);
    IO_STATUS_BLOCK io;
    HANDLE entry = nullptr;
    const NTSTATUS opened = g_pfnNtOpenFile(&entry, access, &attributes, &io, share, options | kOpenOptions);
    ScopedFile held(NT_SUCCESS(opened) ? entry : nullptr);
    if (status)
        *status = opened;
    return opened == kOplockBreakInProgress ? ScopedFile() : std::move(held);
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

struct WipeState {
    BOOL includeDesktopIni;
    BOOL overwriteIndexDat;
    bool posix; // the system has not refused POSIX deletion in this wipe; the tree is on one volume
    unsigned& inUse;
};

// POSIX semantics take the name away at once, even while another program holds the file, so that its
// folder can go too. Where the system refuses them (before Windows 10 1809, FAT, Wine) the classic
// deletion runs, for the rest of the wipe.
bool DeletePosix(HANDLE entry, WipeState& state)
{
    if (!state.posix)
        return false;
    DWORD flags = kPosixDelete;
    if (g_pfnSetFileInformationByHandle(entry, kFileDispositionInfoEx, &flags, sizeof flags))
        return true;
    const DWORD error = GetLastError();
    state.posix = error != ERROR_INVALID_PARAMETER && error != ERROR_INVALID_FUNCTION && error != ERROR_NOT_SUPPORTED;
    return false;
}

// In the classic way read-only blocks deletion, so the bit is cleared for it alone: it is put back where
// the name stays or where other names keep the file.
void DeleteThrough(HANDLE entry, const EntryInfo& info, WipeState& state)
{
    if (DeletePosix(entry, state))
        return;
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

// A folder on the walk's stack: held open while its listing lasts and its sub-folders are wiped.
struct Frame {
    ScopedFile folder;
    EntryInfo info;
    bool deletable;              // opened for deletion: not the top folder, nor one held without delete sharing
    bool listed;                 // its listing has ended
    std::vector<Listed> pending; // sub-folders of the listing's last batch still to wipe
};

// A read-only index file refuses writing: its bit is cleared for the writing and put back after it.
// Whether the file was emptied.
bool ZeroFillThrough(const Frame& folder, const Listed& entry, HANDLE file, const EntryInfo& info)
{
    const bool readOnly = info.attributes & FILE_ATTRIBUTE_READONLY;
    if (readOnly && !SetAttributes(file, info.attributes & ~FILE_ATTRIBUTE_READONLY))
        return false;
    ScopedFile writer = OpenEntry(folder.folder.get(), entry.name, FILE_WRITE_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                  kFileShare, FILE_NON_DIRECTORY_FILE);
    EntryInfo same;
    const bool emptied = writer && Inspect(writer.get(), entry.id, same);
    if (emptied)
        ZeroFillIndex(writer.get());
    if (readOnly)
        SetAttributes(file, info.attributes);
    return emptied;
}

void WipeFile(const Frame& folder, const Listed& entry, WipeState& state)
{
    const bool index = state.overwriteIndexDat && EqualsNoCase(entry.name, L"index.dat");
    // Opened in the held folder without following links, a file deleted through this handle loses only
    // this name, whatever it is.
    if (!index) {
        if (state.posix) {
            ScopedFile file =
                OpenEntry(folder.folder.get(), entry.name, DELETE | SYNCHRONIZE, kFileShare, FILE_NON_DIRECTORY_FILE);
            if (file && DeletePosix(file.get(), state))
                return;
        }
        // Closed at once where an opportunistic lock is being broken, it leaves the deletion pending.
        NTSTATUS status = 0;
        if (OpenEntry(folder.folder.get(), entry.name, DELETE | SYNCHRONIZE, kFileShare,
                      FILE_NON_DIRECTORY_FILE | FILE_DELETE_ON_CLOSE, &status) ||
            status == kOplockBreakInProgress)
            return;
    }
    // Read-only files refuse deletion on close; they and the index files to zero-fill are judged
    // through their handles first. An index file held without delete sharing is still emptied.
    NTSTATUS status = 0;
    ScopedFile file =
        OpenEntry(folder.folder.get(), entry.name, kFileAccess | DELETE, kFileShare, FILE_NON_DIRECTORY_FILE, &status);
    const bool deletable = static_cast<bool>(file), held = InUse(status);
    if (!file && index)
        file = OpenEntry(folder.folder.get(), entry.name, kFileAccess, kFileShare, FILE_NON_DIRECTORY_FILE);
    EntryInfo info;
    bool emptied = false;
    if (file && Inspect(file.get(), entry.id, info)) {
        // Another link to these bytes is a file elsewhere: deleting this name is all that may happen here.
        emptied = index && info.links == 1 && ZeroFillThrough(folder, entry, file.get(), info);
        if (deletable)
            DeleteThrough(file.get(), info, state);
    }
    state.inUse += held && !emptied;
}

bool OpenSubFolder(const Frame& parent, const Listed& entry, Frame& child, WipeState& state)
{
    NTSTATUS status = 0;
    child.folder =
        OpenEntry(parent.folder.get(), entry.name, kFolderAccess | DELETE, kFolderShare, FILE_DIRECTORY_FILE, &status);
    child.deletable = static_cast<bool>(child.folder);
    // Held by another program without delete sharing, it is emptied and stays.
    state.inUse += !child.folder && InUse(status);
    if (!child.folder)
        child.folder = OpenEntry(parent.folder.get(), entry.name, kFolderAccess, kFolderShare, FILE_DIRECTORY_FILE);
    child.listed = false;
    return child.folder && Inspect(child.folder.get(), entry.id, child.info) &&
           (child.info.attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Lists the next batch of `frame`: deletes its files at once, keeps its sub-folders for later.
// Returns the listing's error: ERROR_NO_MORE_FILES at the end.
DWORD ListBatch(Frame& frame, std::vector<LONGLONG>& buffer, WipeState& state)
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
        if (IsOneComponent(listed.name) && (state.includeDesktopIni || !EqualsNoCase(listed.name, L"desktop.ini")) &&
            !((entry->FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsLinkTag(entry->EaSize))) {
            if (entry->FileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                frame.pending.push_back(listed);
            else
                WipeFile(frame, listed, state);
        }
        if (!entry->NextEntryOffset)
            return ERROR_SUCCESS;
        at += entry->NextEntryOffset;
    }
}

bool WipeThrough(ScopedFile top, WipeState& state)
{
    std::vector<Frame> stack(1);
    stack[0].folder = std::move(top);
    stack[0].deletable = stack[0].listed = false;
    std::vector<LONGLONG> buffer(kListBytes / sizeof(LONGLONG));
    const DWORD first = ListBatch(stack[0], buffer, state);
    if (first != ERROR_SUCCESS && first != ERROR_NO_MORE_FILES)
        return false;
    stack[0].listed = first != ERROR_SUCCESS;

    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (!frame.pending.empty()) {
            Frame child;
            const bool opened = OpenSubFolder(frame, frame.pending.back(), child, state);
            frame.pending.pop_back();
            if (opened)
                stack.push_back(std::move(child));
        } else if (!frame.listed) {
            frame.listed = ListBatch(frame, buffer, state) != ERROR_SUCCESS;
        } else {
            if (frame.deletable)
                DeleteThrough(frame.folder.get(), frame.info, state);
            stack.pop_back();
        }
    }
    return true;
}

// The length of the root that starts `path` (\\?\ spelling), its separator included; 0 when it has none.
size_t RootLength(const std::wstring& path)
{
    size_t slash = std::wstring::npos;
    if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) {
        slash = path.find(L'\\', 8);
        slash = slash == std::wstring::npos ? slash : path.find(L'\\', slash + 1);
    } else if (path.rfind(L"\\\\?\\", 0) == 0) {
        slash = path.find(L'\\', 4);
    } else {
        return 0;
    }
    return slash == std::wstring::npos ? path.size() : slash + 1;
}

// Where the system will not refuse redirections for Brisko, its wipes refuse them as RedirectionGuard
// does: the path is walked one name at a time through handles, each opened as itself relative to the
// one before. A link that Administrators, SYSTEM or TrustedInstaller do not own refuses the wipe; any
// other is followed only to the target read from its own handle.
ScopedFile OpenThroughOwnedLinks(std::wstring path, NTSTATUS& status)
{
    std::set<std::wstring> seen;
    status = kAccessDenied;
    while (seen.insert(path).second) {
        size_t at = RootLength(path);
        if (at == 0)
            return ScopedFile();
        ScopedFile folder = OpenFolderPath(path.substr(0, at), kWalkAccess, kFileShare, 0, &status);
        bool followed = false;
        while (folder && at < path.size() && !followed) {
            const size_t end = std::min(path.find(L'\\', at), path.size());
            const bool last = end == path.size();
            ScopedFile next =
                OpenEntry(folder.get(), path.substr(at, end - at), (last ? kTopAccess : kWalkAccess) | READ_CONTROL,
                          last ? kFolderShare : kFileShare, FILE_DIRECTORY_FILE, &status);
            LinkInfo link;
            if (next && g_pfnReadLink(next.get(), link)) {
                const std::wstring target =
                    link.trusted ? LinkTarget(path.substr(0, end), link.target) : std::wstring();
                if (target.empty()) {
                    status = kAccessDenied;
                    return ScopedFile();
                }
                path = target + path.substr(end);
                followed = true;
            }
            folder = std::move(next);
            at = end + 1;
        }
        if (!followed)
            return folder;
    }
    status = kAccessDenied; // the links lead in a circle
    return ScopedFile();
}

// Turns the system's hard-error boxes off for the calling thread while it lives: a drive without its
// disk fails the open instead of asking the user. Per thread, so the programs Brisko starts keep theirs.
class QuietErrors {
public:
    QuietErrors() : m_set(SetThreadErrorMode(SEM_FAILCRITICALERRORS, &m_old)) {}
    ~QuietErrors()
    {
        if (m_set)
            SetThreadErrorMode(m_old, nullptr);
    }
    QuietErrors(const QuietErrors&) = delete;
    QuietErrors& operator=(const QuietErrors&) = delete;

private:
    DWORD m_old = 0;
    BOOL m_set;
};

thread_local WipeRun* g_run = nullptr; // the innermost run of this thread's wipes

// A folder that is not there is clean; one that cannot be reached, listed or may not be wiped is not.
bool Wipe(WipeRun& run, const wchar_t* path, BOOL includeDesktopIni, BOOL overwriteIndexDat)
{
    const bool guarded = TrustOnlyAdministratorsRedirections();
    run.guard.Refresh();
    const UserRights user;
    const std::wstring full = ExtendedPath(path);
    NTSTATUS status = kAccessDenied;
    ScopedFile folder;
    if (user.Worn())
        folder =
            guarded ? OpenFolderPath(full, kTopAccess, kFolderShare, 0, &status) : OpenThroughOwnedLinks(full, status);
    if (!folder) {
        run.skipped = run.skipped || (status != kNameNotFound && status != kPathNotFound);
        return false;
    }
    WipeState state = {includeDesktopIni, overwriteIndexDat, true, run.inUse};
    if (!run.guard.Refuses(folder.get(), full) && WipeThrough(std::move(folder), state))
        return true;
    run.skipped = true;
    return false;
}

} // namespace

WipeRun::WipeRun() : m_outer(g_run) { g_run = this; }

WipeRun::~WipeRun() { g_run = m_outer; }

bool WipeRun::TakeSkipped()
{
    const bool was = skipped;
    skipped = false;
    return was;
}

bool WipeFolder(const wchar_t* path, BOOL includeDesktopIni, BOOL overwriteIndexDat) noexcept
{
    // Memory running out ends this wipe alone; the handles close as the stack unwinds.
    try {
        const QuietErrors quiet;
        const std::unique_ptr<WipeRun> alone(g_run ? nullptr : new WipeRun);
        return Wipe(*g_run, path, includeDesktopIni, overwriteIndexDat);
    } catch (const std::bad_alloc&) {
        if (g_run)
            g_run->skipped = true;
        return false;
    }
}
