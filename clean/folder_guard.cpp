// The guard of the folder steps. Folders are compared by identity (volume and file index), so that
// case, short names, links, drive letters and \\?\ spellings all lead to the same answer; one that
// cannot be opened, by its name and by where a link there leads.
#include "clean/folder_guard.h"

#include "clean/folder_wiper.h"
#include "clean/system_paths.h"

#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <winioctl.h>
#include <winnetwk.h>

#include <algorithm>
#include <cwchar>
#include <map>
#include <new>
#include <set>
#include <vector>

namespace {

constexpr wchar_t kExtended[] = L"\\\\?\\";
constexpr wchar_t kExtendedUnc[] = L"\\\\?\\UNC\\";
constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kDontVerify = 0x4000; // KF_FLAG_DONT_VERIFY: a folder not made yet still has its place
constexpr DWORD kProbeMs = 2000;      // a probe that takes longer is cancelled
constexpr wchar_t kTrustedInstaller[] = L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

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

// Names compare ignoring case, as the file systems compare them.
std::wstring Folded(std::wstring path)
{
    if (!path.empty())
        CharUpperBuffW(&path[0], static_cast<DWORD>(path.size()));
    return path;
}

// True when the folded `path` is `folder` or inside it.
bool IsUnder(const std::wstring& path, const std::wstring& folder)
{
    return StartsWith(path, folder.c_str()) &&
           (path.size() == folder.size() || folder.back() == L'\\' || path[folder.size()] == L'\\');
}

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

// `path` without its \\?\ prefix, as the path calls that normalise take it.
std::wstring Plain(const std::wstring& path)
{
    return StartsWith(path, kExtendedUnc) ? L"\\\\" + path.substr(8)
           : StartsWith(path, kExtended)  ? path.substr(4)
                                          : path;
}

// What a guard's open found: a folder and what it is, or what a link there stores.
struct Probed {
    bool reachable = false;
    FolderId id;
    std::wstring final;  // where the folder really is
    std::wstring target; // when none opened: the target stored in a link there
};

// The guard's opens ask for the attributes alone: a user may hold no more on a folder of the list.
Probed ProbeNow(const std::wstring& path)
{
    Probed probed;
    if (ScopedFile folder = OpenFolderPath(path, FILE_READ_ATTRIBUTES, kShareAll)) {
        probed.reachable = IdentityOf(folder.get(), probed.id);
        if (probed.reachable)
            probed.final = FinalPath(folder.get());
        return probed;
    }
    LinkInfo link;
    ScopedFile itself = OpenFolderPath(path, FILE_READ_ATTRIBUTES, kShareAll, FILE_OPEN_REPARSE_POINT);
    if (itself && g_pfnReadLink(itself.get(), link))
        probed.target = link.target;
    return probed;
}

// The guard's opens run on a helper thread that wears the caller's token, so that one that stalls (a
// server that is away, a drive that does not answer) is cancelled after 2 s; that path and everything
// under it count as out of reach for as long as the prober lives. The caller waits: one open at a time.
// What a path is, is read once until Forget: a run's wipes share their folders' parents.
class Prober {
public:
    Prober() = default;
    Prober(const Prober&) = delete;
    Prober& operator=(const Prober&) = delete;
    ~Prober() { Retire(); }

    Probed Probe(const std::wstring& path)
    {
        const std::wstring folded = Folded(path);
        for (const std::wstring& stalled : m_stalled) {
            if (IsUnder(folded, stalled))
                return Probed();
        }
        const auto known = m_known.find(folded);
        if (known != m_known.end())
            return known->second;
        HANDLE token = nullptr;
        if (!OpenThreadToken(GetCurrentThread(), TOKEN_IMPERSONATE, TRUE, &token) && GetLastError() != ERROR_NO_TOKEN)
            return Probed();
        ScopedFile worn(token);
        if (!m_shared && !Start())
            return Probed();
        m_shared->token = std::move(worn);
        m_shared->path = path;
        SetEvent(m_shared->ask.get());
        if (WaitForSingleObject(m_shared->answered.get(), kProbeMs) == WAIT_OBJECT_0)
            return m_known[folded] = std::move(m_shared->probed);
        CancelSynchronousIo(m_thread.get());
        m_stalled.push_back(folded);
        Retire();
        return Probed();
    }

    void Forget() { m_known.clear(); }

private:
    // What the caller and the helper share; the helper keeps it after the caller has let it go.
    struct Shared {
        ScopedFile ask{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
        ScopedFile answered{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
        ScopedFile token;
        std::wstring path;
        Probed probed;
        volatile LONG quit = 0;
    };

    static DWORD WINAPI Serve(LPVOID parameter)
    {
        const std::unique_ptr<std::shared_ptr<Shared>> owned(static_cast<std::shared_ptr<Shared>*>(parameter));
        Shared& shared = **owned;
        SetThreadErrorMode(SEM_FAILCRITICALERRORS, nullptr); // its own thread: no drive asks the user
        while (WaitForSingleObject(shared.ask.get(), INFINITE) == WAIT_OBJECT_0 && !shared.quit) {
            SetThreadToken(nullptr, shared.token.get());
            try {
                shared.probed = ProbeNow(shared.path);
            } catch (const std::bad_alloc&) {
                shared.probed = Probed();
            }
            SetThreadToken(nullptr, nullptr);
            SetEvent(shared.answered.get());
        }
        return 0;
    }

    bool Start()
    {
        auto shared = std::make_shared<Shared>();
        auto parameter = std::make_unique<std::shared_ptr<Shared>>(shared);
        if (!shared->ask || !shared->answered)
            return false;
        m_thread = ScopedFile(CreateThread(nullptr, 0, Serve, parameter.get(), 0, nullptr));
        if (!m_thread)
            return false;
        parameter.release(); // the helper owns it now
        m_shared = std::move(shared);
        return true;
    }

    // The helper ends once its open returns; nothing waits for that.
    void Retire()
    {
        if (m_shared) {
            m_shared->quit = 1;
            SetEvent(m_shared->ask.get());
        }
        m_shared.reset();
        m_thread = ScopedFile();
    }

    std::shared_ptr<Shared> m_shared;
    ScopedFile m_thread;
    std::vector<std::wstring> m_stalled;    // folded
    std::map<std::wstring, Probed> m_known; // folded
};

// What a drive letter names, told from its device string without opening it: a volume (its root is a
// root like any other), a folder (a subst drive, a mapped network folder), or nothing that can be told.
struct Letter {
    std::wstring drive;  // folded, "\\?\X:"
    std::wstring folder; // folded \\?\ spelling of the folder it names
    bool told = false;
};

Letter ReadLetter(wchar_t letter)
{
    wchar_t name[] = L"A:";
    name[0] = letter;
    Letter read = {Folded(kExtended + std::wstring(name)), std::wstring(), false};
    std::wstring device(1024, L'\0');
    if (!QueryDosDeviceW(name, &device[0], static_cast<DWORD>(device.size())))
        return read;
    device.resize(std::wcslen(device.c_str()));
    if (StartsWith(device, L"\\??\\")) {
        read.folder = Folded(ExtendedPath(device.substr(4).c_str()));
    } else if (StartsWith(device, L"\\Device\\") && device.find(L'\\', 8) == std::wstring::npos) {
        read.told = true;
    } else if (StartsWith(device, L"\\Device\\")) {
        wchar_t remote[MAX_PATH + 1] = L"";
        DWORD size = MAX_PATH;
        if (WNetGetConnectionW(name, remote, &size) == NO_ERROR && remote[0] == L'\\' && remote[1] == L'\\')
            read.folder = Folded(ExtendedPath(remote));
    }
    read.told = read.told || !read.folder.empty();
    return read;
}

// True when the folded `spelling` is the folder a letter names, or under a letter that cannot be told.
bool LetterRefuses(const std::vector<Letter>& letters, const std::wstring& spelling)
{
    for (const Letter& letter : letters) {
        if (letter.told ? spelling == letter.folder : IsUnder(spelling, letter.drive))
            return true;
    }
    return false;
}

// The folders the guard judges by, in the \\?\ spelling.
struct GuardedFolders {
    bool known = false;               // the shell's list of known folders was read
    std::vector<std::wstring> inside; // refused with everything inside them
    std::vector<std::wstring> spared; // inside one of those, but wiped: the Windows Temp and History folders
    std::vector<std::wstring> above;  // refused with every folder above them
};

// True when `id` is the folder its volume is mounted at (a root, or a volume mounted in a folder), as
// the volume's mount point tells; also when that cannot be told.
bool IsMountPoint(Prober& prober, const FolderId& id, const std::wstring& path)
{
    std::wstring mount(path.size() + 2, L'\0');
    if (!GetVolumePathNameW(path.c_str(), &mount[0], static_cast<DWORD>(mount.size())))
        return true;
    mount.resize(std::wcslen(mount.c_str()));
    const Probed probed = prober.Probe(ExtendedPath(mount.c_str()));
    return !probed.reachable || probed.id == id;
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

ScopedFile OpenFolderPath(const std::wstring& path, ACCESS_MASK access, ULONG share, ULONG options, NTSTATUS* status)
{
    NTSTATUS opened = static_cast<NTSTATUS>(0xC000003A); // path not found
    if (status)
        *status = opened;
    if (!StartsWith(path, kExtended) || path.size() >= 32767)
        return ScopedFile();
    std::wstring native = L"\\??\\" + path.substr(4);
    const USHORT bytes = static_cast<USHORT>(native.size() * sizeof(wchar_t));
    UNICODE_STRING name = {bytes, bytes, &native[0]};
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE, nullptr, nullptr);
    IO_STATUS_BLOCK io;
    HANDLE folder = nullptr;
    if (access & SYNCHRONIZE)
        options |= FILE_SYNCHRONOUS_IO_NONALERT;
    opened = g_pfnNtOpenFile(&folder, access, &attributes, &io, share, options | FILE_DIRECTORY_FILE);
    if (status)
        *status = opened;
    return ScopedFile(NT_SUCCESS(opened) ? folder : nullptr);
}

std::wstring Parent(const std::wstring& path)
{
    std::wstring parent = path;
    while (!parent.empty() && parent.back() == L'\\')
        parent.pop_back();
    const size_t slash = parent.find_last_of(L'\\');
    if (IsRoot(path) || slash == std::wstring::npos)
        return std::wstring();
    parent.resize(slash);
    if (!parent.empty() && parent.back() == L':')
        parent += L'\\';
    return parent == path ? std::wstring() : parent;
}

bool ReadLink(HANDLE link, LinkInfo& info)
{
    FILE_ATTRIBUTE_TAG_INFO tag = {};
    if (!GetFileInformationByHandleEx(link, FileAttributeTagInfo, &tag, sizeof tag) ||
        !(tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || !IsReparseTagNameSurrogate(tag.ReparseTag))
        return false;
    info = LinkInfo();
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    PSID installer = nullptr;
    if (GetSecurityInfo(link, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                        &descriptor) == ERROR_SUCCESS) {
        const std::unique_ptr<void, decltype(&LocalFree)> owned(descriptor, LocalFree);
        const bool known = ConvertStringSidToSidW(kTrustedInstaller, &installer);
        const std::unique_ptr<void, decltype(&LocalFree)> ownedInstaller(installer, LocalFree);
        info.trusted = IsWellKnownSid(owner, WinBuiltinAdministratorsSid) || IsWellKnownSid(owner, WinLocalSystemSid) ||
                       (known && EqualSid(owner, installer));
    }
    // The reparse data: a mount point's names follow its header; a symbolic link's follow its flags too.
    struct Header {
        ULONG tag;
        USHORT length, reserved, substituteOffset, substituteLength, printOffset, printLength;
    };
    std::vector<BYTE> data(MAXIMUM_REPARSE_DATA_BUFFER_SIZE);
    ScopedFile event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    OVERLAPPED overlapped = {};
    overlapped.hEvent = event.get();
    DWORD bytes = 0;
    if (!event || (!DeviceIoControl(link, FSCTL_GET_REPARSE_POINT, nullptr, 0, data.data(),
                                    static_cast<DWORD>(data.size()), &bytes, &overlapped) &&
                   (GetLastError() != ERROR_IO_PENDING || !GetOverlappedResult(link, &overlapped, &bytes, TRUE))))
        return true;
    const auto* header = reinterpret_cast<const Header*>(data.data());
    const size_t names = sizeof(Header) + (header->tag == IO_REPARSE_TAG_SYMLINK ? sizeof(ULONG) : 0);
    if (bytes >= names && (header->tag == IO_REPARSE_TAG_MOUNT_POINT || header->tag == IO_REPARSE_TAG_SYMLINK) &&
        names + header->substituteOffset + header->substituteLength <= bytes)
        info.target.assign(reinterpret_cast<const wchar_t*>(data.data() + names + header->substituteOffset),
                           header->substituteLength / sizeof(wchar_t));
    return true;
}

bool (*g_pfnReadLink)(HANDLE link, LinkInfo& info) = ReadLink;

std::wstring LinkTarget(const std::wstring& link, const std::wstring& stored)
{
    if (StartsWith(stored, L"\\??\\"))
        return ExtendedPath((kExtended + stored.substr(4)).c_str());
    // A relative target starts from the folder that holds the link.
    const std::wstring parent = Parent(link);
    const bool absolute = stored.rfind(L"\\", 0) == 0 || (stored.size() > 1 && stored[1] == L':');
    if (stored.empty() || (!absolute && parent.empty()))
        return std::wstring();
    return ExtendedPath(absolute ? stored.c_str() : (Plain(parent) + L"\\" + stored).c_str());
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

// The guarded folders' paths, read again only when the watch says their locations may have changed;
// `generation` counts the reads. On the wipes' thread.
const GuardedFolders& CurrentFolders(unsigned& generation)
{
    static LocationWatch watch;
    static GuardedFolders read;
    static unsigned reads = 0;
    if (watch.Changed() || !read.known) {
        read = ReadGuardedFolders();
        ++reads;
    }
    generation = reads;
    return read;
}

} // namespace

struct FolderGuard::Learnt {
    unsigned generation = 0; // of the paths learnt
    Prober prober;
    bool known = false; // the guarded folders were read, the shell's list of known folders with them
    std::vector<FolderId> inside, spared, above;
    std::set<std::wstring> insideNames, sparedNames; // folded, for the levels of a wipe that do not open
    std::set<std::wstring> aboveNames;               // folded: the levels above a guarded folder that did not open
    std::vector<Letter> letters;

    // A guarded folder and every folder above it: by identity where it opens, else by name and by where
    // a link stored there leads. Each spelling is walked once, so every walk ends.
    void LearnAbove(const std::wstring& path, std::set<std::wstring>& seen)
    {
        for (std::wstring level = path; !level.empty() && seen.insert(Folded(level)).second; level = Parent(level)) {
            const Probed probed = prober.Probe(level);
            if (probed.reachable) {
                above.push_back(probed.id);
                LearnAbove(probed.final, seen);
                continue;
            }
            aboveNames.insert(Folded(level));
            if (!probed.target.empty())
                LearnAbove(LinkTarget(level, probed.target) + path.substr(level.size()), seen);
        }
    }
};

FolderGuard::FolderGuard() = default;

FolderGuard::~FolderGuard() = default;

void FolderGuard::Refresh()
{
    if (!m_learnt)
        m_learnt.reset(new Learnt);
    Learnt& learnt = *m_learnt;
    unsigned generation = 0;
    const GuardedFolders& folders = CurrentFolders(generation);
    if (learnt.known && learnt.generation == generation)
        return;
    learnt.generation = generation;
    learnt.known = folders.known;
    learnt.prober.Forget();
    learnt.inside.clear();
    learnt.spared.clear();
    learnt.above.clear();
    learnt.aboveNames.clear();
    learnt.insideNames.clear();
    learnt.sparedNames.clear();
    learnt.letters.clear();
    for (const std::wstring& path : folders.inside) {
        learnt.insideNames.insert(Folded(path));
        const Probed probed = learnt.prober.Probe(path);
        if (probed.reachable)
            learnt.inside.push_back(probed.id);
    }
    for (const std::wstring& path : folders.spared) {
        learnt.sparedNames.insert(Folded(path));
        const Probed probed = learnt.prober.Probe(path);
        if (probed.reachable)
            learnt.spared.push_back(probed.id);
    }
    std::set<std::wstring> seen;
    for (const std::wstring& path : folders.above)
        learnt.LearnAbove(path, seen);
    const DWORD drives = GetLogicalDrives();
    for (int letter = 0; letter < 26; ++letter) {
        if (drives & (1u << letter))
            learnt.letters.push_back(ReadLetter(static_cast<wchar_t>(L'A' + letter)));
    }
}

bool FolderGuard::Refuses(HANDLE folder, const std::wstring& path)
{
    Learnt& learnt = *m_learnt;
    FolderId id;
    if (!learnt.known || !IdentityOf(folder, id) || IsRoot(path))
        return true;
    // Volumes outside the mount manager (RAM disks) give no final path; their mount point tells.
    const std::wstring where = FinalPath(folder);
    if (where.empty() ? IsMountPoint(learnt.prober, id, path) : IsRoot(where) || IsMountPoint(learnt.prober, id, where))
        return true;
    if (Contains(learnt.above, id))
        return true;
    for (const std::wstring& spelling : {Folded(path), Folded(where)}) {
        if (!spelling.empty() && (learnt.aboveNames.count(spelling) || LetterRefuses(learnt.letters, spelling)))
            return true;
    }
    // Inside the Windows, program or program data folders, unless inside the Windows Temp or History first.
    std::set<std::wstring> seen;
    for (const std::wstring& spelling : {path, where}) {
        for (std::wstring level = spelling; !level.empty() && seen.insert(Folded(level)).second;
             level = Parent(level)) {
            // A level that does not open is judged by its name.
            const Probed probed = learnt.prober.Probe(level);
            const std::wstring name = Folded(level);
            if ((probed.reachable && Contains(learnt.spared, probed.id)) || learnt.sparedNames.count(name))
                break;
            if ((probed.reachable && Contains(learnt.inside, probed.id)) || learnt.insideNames.count(name))
                return true;
        }
    }
    return false;
}
