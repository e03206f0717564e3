// The guard of the folder steps. Folders are compared by identity (volume and file index), so that
// case, short names, links, drive letters and \\?\ spellings all lead to the same answer.
#include "clean/folder_guard.h"

#include "clean/folder_wiper.h"
#include "clean/system_paths.h"

#include <shlobj.h>
#include <shobjidl.h>
#include <winternl.h>

#include <algorithm>
#include <cwchar>
#include <set>

namespace {

constexpr wchar_t kExtended[] = L"\\\\?\\";
constexpr wchar_t kExtendedUnc[] = L"\\\\?\\UNC\\";
constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kDontVerify = 0x4000; // KF_FLAG_DONT_VERIFY: a folder not made yet still has its place

// Defined here so that nothing depends on which GUIDs the import libraries carry.
const CLSID kClsidKnownFolderManager = {0x4DF0C730, 0xDF9D, 0x4AE3, {0x91, 0x53, 0xAA, 0x6B, 0x82, 0xE9, 0x79, 0x5A}};
const IID kIidKnownFolderManager = {0x8BE2D872, 0x86AA, 0x4D47, {0xB7, 0x76, 0x32, 0xCC, 0xA4, 0x0C, 0x70, 0x18}};
// The known folders that the steps wipe: the cache, cookies, favourites, recent, network shortcuts, history.
const GUID kStepFolders[] = {
    {0x352481E8, 0x33BE, 0x4251, {0xBA, 0x85, 0x60, 0x07, 0xCA, 0xED, 0xCF, 0x9D}},
    {0x2B0F765D, 0xC0E9, 0x4171, {0x90, 0x8E, 0x08, 0xA6, 0x11, 0xB8, 0x4F, 0xF6}},
    {0x1777F761, 0x68AD, 0x4D8A, {0x87, 0xBD, 0x30, 0xB7, 0x59, 0xFA, 0x33, 0xDD}},
    {0xAE50C081, 0xEBD2, 0x438A, {0x86, 0x55, 0x8A, 0x09, 0x2E, 0x34, 0x98, 0x7A}},
    {0xC5ABBF53, 0xE17F, 0x4121, {0x89, 0x00, 0x86, 0x62, 0x6F, 0xC2, 0xC9, 0x73}},
    {0xD9DC8A3B, 0xB784, 0x432E, {0xA7, 0x81, 0x5A, 0x11, 0x30, 0xA7, 0x59, 0x63}},
};

bool StartsWith(const std::wstring& text, const wchar_t* prefix) { return text.rfind(prefix, 0) == 0; }

// What a folder is, whatever path names it: its volume and its file index there.
struct FolderId {
    DWORD volume = 0, high = 0, low = 0;
    bool operator==(const FolderId& other) const
    {
        return volume == other.volume && high == other.high && low == other.low;
    }
};

bool IdentityOf(HANDLE folder, FolderId& id)
{
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(folder, &info) || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    id = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
    return true;
}

bool IdentityOf(const std::wstring& path, FolderId& id)
{
    ScopedFile folder = OpenFolderPath(path, FILE_READ_ATTRIBUTES, kShareAll);
    return folder && IdentityOf(folder.get(), id);
}

bool Contains(const std::vector<FolderId>& ids, const FolderId& id)
{
    return std::find(ids.begin(), ids.end(), id) != ids.end();
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

// A root has no folder above it: "\\?\C:\", "\\?\UNC\server\share", "\\?\Volume{...}\".
bool IsRoot(std::wstring path)
{
    while (!path.empty() && path.back() == L'\\')
        path.pop_back();
    const size_t rest = StartsWith(path, kExtendedUnc) ? 8 : StartsWith(path, kExtended) ? 4 : 0;
    const size_t slash = path.find(L'\\', rest);
    return slash == std::wstring::npos || (rest == 8 && path.find(L'\\', slash + 1) == std::wstring::npos);
}

// The folder above `path` (\\?\ spelling): "\\?\C:\" above "\\?\C:\x"; empty at a root.
std::wstring Parent(const std::wstring& path)
{
    if (IsRoot(path))
        return std::wstring();
    std::wstring parent = path.substr(0, path.find_last_of(L'\\'));
    if (!parent.empty() && parent.back() == L':')
        parent += L'\\';
    return parent;
}

// True when `id` is the folder its volume is mounted at (a root, or a volume mounted in a folder), as
// the volume's mount point tells; also when that cannot be told.
bool IsMountPoint(const FolderId& id, const std::wstring& path)
{
    std::wstring mount(path.size() + 2, L'\0');
    if (!GetVolumePathNameW(path.c_str(), &mount[0], static_cast<DWORD>(mount.size())))
        return true;
    mount.resize(std::wcslen(mount.c_str()));
    FolderId other;
    return !IdentityOf(ExtendedPath(mount.c_str()), other) || other == id;
}

// The root of each drive letter, which may name a folder (subst, a mapped share's sub-folder).
// Removable and optical drives are left out: opening an empty one can stop for the user.
bool IsDriveLetterRoot(const FolderId& id)
{
    wchar_t root[] = L"A:\\";
    const DWORD drives = GetLogicalDrives();
    for (int letter = 0; letter < 26; ++letter) {
        root[0] = static_cast<wchar_t>(L'A' + letter);
        const UINT type = GetDriveTypeW(root);
        FolderId other;
        if ((drives & (1u << letter)) && type != DRIVE_REMOVABLE && type != DRIVE_CDROM &&
            IdentityOf(ExtendedPath(root), other) && other == id)
            return true;
    }
    return false;
}

// The path as given and, when it leads somewhere, where that really is. False when a folder is there
// that cannot be opened (a link the redirection policy will not follow, say): where it leads is unknown.
bool Spellings(const std::wstring& path, std::vector<std::wstring>& spellings)
{
    spellings = {path};
    if (ScopedFile folder = OpenFolderPath(path, FILE_READ_ATTRIBUTES, kShareAll)) {
        spellings.push_back(FinalPath(folder.get()));
        return true;
    }
    const DWORD attributes = GetFileAttributesW(path.c_str());
    const DWORD error = GetLastError();
    return attributes == INVALID_FILE_ATTRIBUTES ? error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                                                 : !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The known folders of the user and the machine that no step names; false when the shell cannot list them.
bool ReadKnownFolders(std::vector<std::wstring>& paths)
{
    ScopedComInit com;
    IKnownFolderManager* raw = nullptr;
    if (FAILED(CoCreateInstance(kClsidKnownFolderManager, nullptr, CLSCTX_INPROC_SERVER, kIidKnownFolderManager,
                                reinterpret_cast<void**>(&raw))))
        return false;
    ScopedCom<IKnownFolderManager> manager(raw);
    KNOWNFOLDERID* ids = nullptr;
    UINT count = 0;
    if (FAILED(manager->GetFolderIds(&ids, &count)))
        return false;
    std::unique_ptr<KNOWNFOLDERID, decltype(&CoTaskMemFree)> owned(ids, CoTaskMemFree);
    for (UINT i = 0; i < count; ++i) {
        if (std::find(std::begin(kStepFolders), std::end(kStepFolders), ids[i]) != std::end(kStepFolders))
            continue;
        IKnownFolder* folder = nullptr;
        PWSTR path = nullptr;
        if (FAILED(manager->GetFolder(ids[i], &folder)))
            continue;
        ScopedCom<IKnownFolder> known(folder);
        // Virtual folders (the Control Panel, the network) have no path.
        if (SUCCEEDED(known->GetPath(kDontVerify, &path)) && path && *path)
            paths.push_back(path);
        CoTaskMemFree(path);
    }
    return true;
}

// Read afresh: the system's, the programs' and the user's folders.
GuardedFolders ReadGuardedFolders()
{
    GuardedFolders folders;
    const std::wstring windows = ReadPath(GetWindowsDirectoryW);
    for (const std::wstring& path :
         {windows, ReadPath(GetSystemWindowsDirectoryW), ShellFolderPath(CSIDL_PROGRAM_FILES),
          ShellFolderPath(CSIDL_PROGRAM_FILESX86), NativeProgramFilesPath(), ShellFolderPath(CSIDL_COMMON_APPDATA)})
        folders.inside.push_back(ExtendedPath(path.c_str()));
    if (!windows.empty()) {
        for (const wchar_t* spared : {L"\\Temp", L"\\History"})
            folders.spared.push_back(ExtendedPath((windows + spared).c_str()));
    }
    std::vector<std::wstring> known = {ShellFolderPath(CSIDL_PROFILE)};
    folders.known = ReadKnownFolders(known);
    for (const std::wstring& path : known)
        folders.above.push_back(ExtendedPath(path.c_str()));
    folders.above.insert(folders.above.end(), folders.inside.begin(), folders.inside.end());
    return folders;
}

} // namespace

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

ScopedFile OpenFolderPath(const std::wstring& path, ACCESS_MASK access, ULONG share)
{
    if (!StartsWith(path, kExtended) || path.size() >= 32767)
        return ScopedFile();
    std::wstring native = L"\\??\\" + path.substr(4);
    const USHORT bytes = static_cast<USHORT>(native.size() * sizeof(wchar_t));
    UNICODE_STRING name = {bytes, bytes, &native[0]};
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE, nullptr, nullptr);
    IO_STATUS_BLOCK io;
    HANDLE folder = nullptr;
    return ScopedFile(NT_SUCCESS(g_pfnNtOpenFile(&folder, access | SYNCHRONIZE, &attributes, &io, share,
                                                 FILE_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT))
                          ? folder
                          : nullptr);
}

namespace {

// Where the user's and the machine's folders are kept. Reading the known folders takes the shell a
// tenth of a second, so their paths are read again only when one of these keys has changed.
const wchar_t* const kLocationKeys[] = {L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
                                        L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"};

class LocationWatch {
public:
    // True at first and whenever a watched key may have changed since the last call. The wipes run on
    // one thread at a time.
    bool Changed()
    {
        if (m_armed && WaitForSingleObject(m_event.get(), 0) == WAIT_TIMEOUT)
            return false;
        m_armed = Arm();
        return true;
    }

private:
    // Reopening the keys drops the notifications still pending on the old handles.
    bool Arm()
    {
        if (!m_event)
            m_event = ScopedFile(CreateEventW(nullptr, FALSE, FALSE, nullptr));
        bool armed = static_cast<bool>(m_event);
        size_t i = 0;
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
            for (const wchar_t* key : kLocationKeys) {
                ScopedKey& watched = m_keys[i++];
                armed =
                    armed && watched.Open(RegOpenKeyExW, root, key, 0, KEY_NOTIFY) == ERROR_SUCCESS &&
                    RegNotifyChangeKeyValue(watched.get(), FALSE, REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET,
                                            m_event.get(), TRUE) == ERROR_SUCCESS;
            }
        }
        return armed;
    }

    ScopedFile m_event;
    ScopedKey m_keys[4];
    bool m_armed = false;
};

} // namespace

FolderGuard::FolderGuard()
{
    static LocationWatch watch;
    static GuardedFolders read;
    if (watch.Changed() || !read.known)
        read = ReadGuardedFolders();
    m_folders = read;
}

bool FolderGuard::Refuses(HANDLE folder, const std::wstring& path) const
{
    FolderId id;
    if (!m_folders.known || !IdentityOf(folder, id) || IsRoot(path) || IsDriveLetterRoot(id))
        return true;
    // Volumes outside the mount manager (RAM disks) give no final path; their mount point tells.
    const std::wstring where = FinalPath(folder);
    if (where.empty() ? IsMountPoint(id, path) : IsRoot(where) || IsMountPoint(id, where))
        return true;

    // Inside the Windows, program or program data folders, unless inside the Windows Temp or History first.
    std::vector<FolderId> inside, spared;
    for (const std::wstring& guarded : m_folders.inside) {
        FolderId other;
        if (IdentityOf(guarded, other))
            inside.push_back(other);
    }
    for (const std::wstring& allowed : m_folders.spared) {
        FolderId other;
        if (IdentityOf(allowed, other))
            spared.push_back(other);
    }
    for (const std::wstring& spelling : {path, where}) {
        for (std::wstring level = spelling; !level.empty(); level = Parent(level)) {
            FolderId other;
            if (!IdentityOf(level, other))
                continue;
            if (Contains(spared, other))
                break;
            if (Contains(inside, other))
                return true;
        }
    }
    // A guarded folder or one above it, by the guarded folder's path and by where it really is.
    std::set<std::wstring> seen;
    std::vector<std::wstring> spellings;
    for (const std::wstring& guarded : m_folders.above) {
        if (!Spellings(guarded, spellings))
            return true;
        for (const std::wstring& spelling : spellings) {
            for (std::wstring level = spelling; !level.empty() && seen.insert(level).second; level = Parent(level)) {
                FolderId other;
                if (IdentityOf(level, other) && other == id)
                    return true;
            }
        }
    }
    return false;
}
