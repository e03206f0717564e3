// What the end-to-end runs cannot pin down about the cleaning engine: index bytes, what the wipe must not
// touch, a tree that changes under it, its rights, and a DACL walk past a subkey that fails to enumerate.
#include "app/brisko_dlg.h"
#include "clean/folder_guard.h"
#include "clean/folder_wiper.h"
#include "clean/steps.h"
#include "clean/user_rights.h"
#include "framework/scoped_win.h"
#include "tests/support/trace_kit.h"

#include <gtest/gtest.h>

#include <shlobj.h>
#include <shlwapi.h>

#include <cwchar>
#include <new>
#include <string>
#include <vector>

using namespace trace_kit;

namespace {

const std::string kRoot = "C:\\brisko-unit-wiper";

std::string Pattern(size_t size)
{
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>('a' + i % 26);
    return bytes;
}

ScopedFile Open(const std::string& path, DWORD share)
{
    return ScopedFile(CreateFileW(Wide(path).c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr));
}

// The bytes a reader sharing everything sees in `path` after `wipe`.
std::string BytesAfter(const std::string& path, size_t size, void (*wipe)())
{
    std::string after(size, '\0');
    ScopedFile reader = Open(path, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    DWORD read = 0;
    wipe();
    return reader && ReadFile(reader.get(), &after[0], static_cast<DWORD>(size), &read, nullptr) ? after.substr(0, read)
                                                                                                 : "<unreadable>";
}

// The wiper's tests work in kRoot and beside it; each starts and ends with none of that there.
class WipeFolderTest : public testing::Test {
protected:
    void SetUp() override
    {
        for (const char* tree : {"", "-canary", "-away", "-renamed", "-elsewhere.txt", "-docs"})
            RemoveTree(kRoot + tree);
    }
    void TearDown() override { SetUp(); }
};

} // namespace

// Index files (300 bytes: read-only) are zero-filled past their 64-byte header, keep their length and are
// deleted; without the switch (200 bytes) only deleted. So are those of the user's history folder.
TEST_F(WipeFolderTest, IndexFileBytes)
{
    static BOOL overwrite;
    for (size_t size : {10, 64, 65, 10064, 10065, 25064, 300, 200}) {
        SCOPED_TRACE(testing::Message() << size << " bytes");
        const std::string original = Pattern(size), index = kRoot + "\\INDEX.DAT";
        ASSERT_TRUE(WriteBytes(index, original, size == 300 ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL));
        overwrite = size != 200;
        const size_t kept = overwrite ? std::min<size_t>(size, 64) : size;
        EXPECT_EQ(original.substr(0, kept) + std::string(size - kept, '\0'),
                  BytesAfter(index, size, [] { EXPECT_TRUE(WipeFolder(Wide(kRoot).c_str(), 0, overwrite)); }));
        EXPECT_FALSE(Exists(index));
    }
    const std::string history = ShellFolder(CSIDL_HISTORY) + "\\brisko-unit\\index.dat";
    ASSERT_TRUE(WriteBytes(history, Pattern(300)));
    EXPECT_EQ(Pattern(64) + std::string(236, '\0'), BytesAfter(history, 300, CleanHistoryItems));
    EXPECT_FALSE(Exists(history));
}

static std::string g_worn; // the token the wipe wore when it opened "deep"
static bool g_throw;
static std::string g_asked; // the mitigation policy and its value

// Whether the thread's token lets Administrators count for access, and how many privileges it holds.
static std::string TokenOfThread()
{
    HANDLE raw = nullptr;
    if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &raw))
        return "the process's own";
    ScopedFile token(raw);
    BYTE admins[SECURITY_MAX_SID_SIZE];
    DWORD info[1024], size = sizeof admins;
    BOOL admin = TRUE;
    if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, admins, &size) ||
        !CheckTokenMembership(token.get(), admins, &admin) ||
        !GetTokenInformation(token.get(), TokenPrivileges, info, sizeof info, &size))
        return "unreadable";
    return (admin ? "Administrators, " : "no Administrators, ") + std::to_string(info[0]) + " privilege(s)";
}

struct Unreachable { // a value in User Shell Folders, and what opening it for its attributes answers
    const char* value;
    std::string path;
    NTSTATUS status;
};
static std::vector<Unreachable> g_unreachable;
static ScopedFile g_release; // lets the stalled probe go
static int g_stalls;
constexpr NTSTATUS kStall = 1, kNoSynchronize = 2, kPathNotFound = static_cast<NTSTATUS>(0xC000003A);

// Between being listed and entered, a folder is swapped for one outside (where a link leads: Wine follows
// links whatever the open asks). The folders being wiped are held: neither can be renamed meanwhile.
static bool g_renamed;
static int g_swaps;
static NTSTATUS NTAPI WatchOpen(PHANDLE handle, ACCESS_MASK access, POBJECT_ATTRIBUTES object, PIO_STATUS_BLOCK io,
                                ULONG share, ULONG options)
{
    const std::wstring name(object->ObjectName->Buffer, object->ObjectName->Length / 2);
    const bool probe = access == FILE_READ_ATTRIBUTES && !(options & FILE_OPEN_REPARSE_POINT);
    for (const Unreachable& row : g_unreachable) {
        if (name.compare(0, row.path.size() + 4, L"\\??\\" + Wide(row.path)) != 0)
            continue;
        if (row.status == kNoSynchronize && (access & SYNCHRONIZE))
            return static_cast<NTSTATUS>(0xC0000022); // access denied
        if (row.status == kStall && probe && ++g_stalls)
            WaitForSingleObject(g_release.get(), 10000);
        else if (row.status < 0 && probe)
            return row.status;
    }
    if (name == L"swapped" && !g_swaps++) {
        g_renamed = MoveFileW(Wide(kRoot).c_str(), Wide(kRoot + "-renamed").c_str()) ||
                    MoveFileW(Wide(kRoot + "\\outer").c_str(), Wide(kRoot + "\\renamed").c_str());
        EXPECT_TRUE(MoveFileW(Wide(kRoot + "\\outer\\swapped").c_str(), Wide(kRoot + "-away").c_str()));
        EXPECT_TRUE(MoveFileW(Wide(kRoot + "-canary").c_str(), Wide(kRoot + "\\outer\\swapped").c_str()));
    }
    if (name == L"index.dat") { // its opportunistic lock is being broken: the open answers at once
        const NTSTATUS opened = NtOpenFile(handle, access, object, io, share, options);
        return NT_SUCCESS(opened) ? 0x108 : opened;
    }
    if (name == L"deep") {
        g_worn = TokenOfThread();
        if (g_throw)
            throw std::bad_alloc();
    }
    return NtOpenFile(handle, access, object, io, share, options);
}

TEST_F(WipeFolderTest, FolderSwappedDuringTheWipeIsLeftAlone)
{
    const std::string canary[] = {"\\keep.txt", "\\inner\\keep.txt"};
    for (const std::string& file : canary) {
        ASSERT_TRUE(WriteBytes(kRoot + "-canary" + file, "canary"));
        ASSERT_TRUE(WriteBytes(kRoot + "\\outer\\swapped" + file, "trace"));
    }
    ASSERT_TRUE(WriteBytes(kRoot + "\\outer\\trace.txt", "trace"));
    g_swaps = 0;
    g_pfnNtOpenFile = WatchOpen;
    EXPECT_TRUE(WipeFolder(Wide(kRoot).c_str(), 0, 0));
    g_pfnNtOpenFile = NtOpenFile;
    EXPECT_EQ(1, g_swaps);
    EXPECT_FALSE(g_renamed) << "a folder being wiped was renamed";
    EXPECT_FALSE(Exists(kRoot + "\\outer\\trace.txt"));
    ASSERT_TRUE(MoveFileW(Wide(kRoot + "\\outer\\swapped").c_str(), Wide(kRoot + "-canary").c_str()));
    for (const std::string& file : canary) {
        EXPECT_EQ("canary", ReadBytes(kRoot + "-canary" + file)) << file;
        EXPECT_EQ("trace", ReadBytes(kRoot + "-away" + file)) << file;
    }
}

static BOOL WINAPI RefusePolicy(int policy, PVOID buffer, SIZE_T size)
{
    g_asked = std::to_string(policy) + " " + std::to_string(size == sizeof(DWORD) ? *static_cast<DWORD*>(buffer) : 0);
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

// Links stood in for (Wine makes none): "theirs" another user's; "ours", the system owners', leads to
// kRoot-away; c0\u leads to its sibling c0\w, c6\u into itself.
static bool StubLink(HANDLE link, LinkInfo& info)
{
    std::wstring path(MAX_PATH, L'\0');
    path.resize(GetFinalPathNameByHandleW(link, &path[0], MAX_PATH, 0));
    for (const auto& stored : {std::make_pair(L"\\theirs", L"-away"), std::make_pair(L"\\ours", L"-away"),
                               std::make_pair(L"\\c0\\u", L"\\c0\\w"), std::make_pair(L"\\c6\\u", L"\\c6\\u\\w")}) {
        if (path.size() > std::wcslen(stored.first) &&
            path.rfind(stored.first) == path.size() - std::wcslen(stored.first)) {
            info = {L"\\??\\C:\\brisko-unit-wiper" + std::wstring(stored.second), stored.first[1] != L't'};
            return true;
        }
    }
    return ReadLink(link, info);
}

// An elevated wipe (Wine runs elevated) wears the user's own rights: Administrators deny-only, no privilege
// but bypass-traverse; then the thread's own token again. RedirectionGuard is asked for; refused, the wipe
// walks its path to the same rule. Memory running out deep in the walk ends that wipe; the next goes on.
TEST_F(WipeFolderTest, RunsOnTheUsersOwnRights)
{
    ASSERT_TRUE(IsUserAnAdmin()) << "not an elevated run";
    ASSERT_TRUE(WriteBytes(kRoot + "\\a\\deep\\file.txt", "trace"));
    const auto realPolicy = g_pfnSetProcessMitigationPolicy;
    g_pfnNtOpenFile = WatchOpen;
    g_pfnSetProcessMitigationPolicy = RefusePolicy;
    g_throw = true;
    EXPECT_FALSE(WipeFolder(Wide(kRoot).c_str(), 0, 0));
    EXPECT_EQ("the process's own", TokenOfThread());
    g_throw = false;
    EXPECT_TRUE(WipeFolder(Wide(kRoot).c_str(), 0, 0));
    g_pfnNtOpenFile = NtOpenFile;
    g_pfnSetProcessMitigationPolicy = realPolicy;
    EXPECT_EQ("no Administrators, 1 privilege(s)", g_worn); // bypass-traverse, which every user holds
    EXPECT_EQ("16 1", g_asked);                             // RedirectionGuard, enforced
    EXPECT_FALSE(Exists(kRoot + "\\a"));
    // Where the policy is refused, a link in the path that another user owns refuses the wipe; the
    // system owners' is followed to the target it holds alone. Documents moved here while a run goes on:
    // its next wipe knows. An entry whose opportunistic lock is being broken stays, in use.
    const char key[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
    for (const char* file :
         {"\\mine.txt", "\\oplocked\\index.dat", "\\theirs\\sub\\x.txt", "\\ours\\own.txt", "-away\\x.txt"})
        ASSERT_TRUE(WriteBytes(kRoot + file, file));
    g_pfnNtOpenFile = WatchOpen;
    g_pfnSetProcessMitigationPolicy = RefusePolicy;
    g_pfnReadLink = StubLink;
    {
        WipeRun run;
        EXPECT_FALSE(WipeFolder(Wide(kRoot + "\\theirs\\sub").c_str(), 0, 0));
        EXPECT_TRUE(run.TakeSkipped());
        EXPECT_TRUE(WipeFolder(Wide(kRoot + "\\ours").c_str(), 0, 0));
        EXPECT_FALSE(WipeFolder(Wide(kRoot + "\\a").c_str(), 0, 0)); // gone: nothing to do
        EXPECT_FALSE(run.TakeSkipped());
        ASSERT_TRUE(SetString(HKEY_CURRENT_USER, key, "Personal", kRoot));
        EXPECT_FALSE(WipeFolder(Wide(kRoot).c_str(), 0, 0));
        EXPECT_TRUE(run.TakeSkipped());
        SHDeleteValueA(HKEY_CURRENT_USER, key, "Personal");
        for (const char* file : {"\\mine.txt", "\\theirs\\sub\\x.txt", "\\ours\\own.txt"})
            EXPECT_EQ(file, ReadBytes(kRoot + file));
        EXPECT_FALSE(Exists(kRoot + "-away\\x.txt"));
        EXPECT_TRUE(WipeFolder(Wide(kRoot).c_str(), 0, TRUE));
        EXPECT_EQ(1u, run.InUse());
    }
    g_pfnNtOpenFile = NtOpenFile;
    g_pfnSetProcessMitigationPolicy = realPolicy;
    g_pfnReadLink = ReadLink;
    EXPECT_EQ("\\oplocked\\index.dat", ReadBytes(kRoot + "\\oplocked\\index.dat"));
    EXPECT_TRUE(ScopedFile(
        CreateFileW(Wide(kRoot + "\\oplocked\\index.dat").c_str(), DELETE, 0, nullptr, OPEN_EXISTING, 0, nullptr)))
        << "its handle was left open";
}

// Known folders out of reach, all at once, as ordinary machines have them. Each is refused with the folders
// above it, by name where it does not open; its siblings are wiped, and so is the steps' folder. A probe
// that stalls is cancelled after 2 s, and tried once in a run.
TEST_F(WipeFolderTest, UnreachableKnownFoldersRefuseOnlyThemselvesAndWhatHoldsThem)
{
    g_unreachable = {{"Personal", kRoot + "\\c0\\u", kPathNotFound},                        // a link left dangling
                     {"My Music", kRoot + "\\c1\\u", static_cast<NTSTATUS>(0xC00000BE)},    // its server away
                     {"My Pictures", kRoot + "\\c2\\u", static_cast<NTSTATUS>(0xC0000013)}, // no card in the reader
                     {"{374DE290-123F-4565-9164-39C4925E467B}", kRoot + "\\c3\\u",          // Downloads
                      static_cast<NTSTATUS>(0xC0210000)},                                   // a locked BitLocker drive
                     {"Templates", kRoot + "\\c4\\u", kNoSynchronize},                      // access list
                     {"SendTo", kRoot + "\\c5\\u", kStall},           // a drive that does not answer
                     {"Programs", kRoot + "\\c6\\u", kPathNotFound}}; // a link into itself
    const char key[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
    for (size_t i = 0; i < g_unreachable.size(); ++i) {
        ASSERT_TRUE(SetString(HKEY_CURRENT_USER, key, g_unreachable[i].value, g_unreachable[i].path));
        for (const char* file : {"\\u\\f", "\\f", "\\s\\f", "\\w\\f"})
            ASSERT_TRUE(WriteBytes(kRoot + "\\c" + std::to_string(i) + file, "f"));
    }
    const std::string favorite = ShellFolder(CSIDL_FAVORITES) + "\\brisko-unit.url";
    ASSERT_TRUE(WriteBytes(favorite, "f"));
    g_release = ScopedFile(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    g_stalls = 0;
    g_pfnNtOpenFile = WatchOpen;
    g_pfnReadLink = StubLink;
    const ULONGLONG start = GetTickCount64();
    std::string wrong;
    {
        WipeRun run;
        CleanFavorites();
        for (int i = 0; i < 7; ++i) {
            for (const char* folder : {"\\u", "", "\\s", "\\w"}) {
                const std::string path = kRoot + "\\c" + std::to_string(i) + folder;
                const bool wiped =
                    *folder == '\\' && folder[1] != 'u' && (folder[1] != 'w' || i != 0); // c0\u leads to w
                WipeFolder(Wide(path).c_str(), 0, 0);
                if (Exists(path + "\\f") == wiped)
                    wrong += "\n  " + path + (wiped ? " kept" : " wiped");
            }
        }
        EXPECT_FALSE(WipeFolder(Wide(kRoot).c_str(), 0, 0));
    }
    const ULONGLONG elapsed = GetTickCount64() - start;
    SetEvent(g_release.get());
    g_pfnNtOpenFile = NtOpenFile;
    g_pfnReadLink = ReadLink;
    for (const Unreachable& row : g_unreachable)
        SHDeleteValueA(HKEY_CURRENT_USER, key, row.value);
    g_unreachable.clear();
    EXPECT_EQ("", wrong);
    EXPECT_FALSE(Exists(favorite));
    EXPECT_EQ(1, g_stalls);
    EXPECT_LT(elapsed, 6000u);
    // Settings Wine's shell will not hand out (it drops folders that are not there): nothing is above them.
    for (const wchar_t* root : {L"\\\\?\\X:\\", L"\\\\?\\UNC\\server\\share\\"})
        EXPECT_EQ(L"", Parent(root));
    EXPECT_EQ(L"\\\\?\\C:\\x", Parent(L"\\\\?\\C:\\x\\Temp:\\"));
}

// Bytes and read-only bits change only with the deletion of what is the wipe's own: a hard link's name
// elsewhere keeps both (also named index.dat here); an index held without write sharing stays whole; a
// read-only one held without delete sharing is emptied and keeps its bit, as does a mapped file.
TEST_F(WipeFolderTest, WhatStaysKeepsItsBytesAndBits)
{
    const std::string original = Pattern(500), elsewhere = kRoot + "-elsewhere.txt", held = kRoot + "\\held\\index.dat",
                      kept = kRoot + "\\kept\\index.dat", mapped = kRoot + "\\mapped.txt";
    for (const std::string& file : {elsewhere, kept, mapped, kRoot + "\\folder\\alone.txt"})
        ASSERT_TRUE(WriteBytes(file, original, FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(WriteBytes(held, original) && MakeFolders(kRoot + "\\linked"));
    ASSERT_TRUE(SetFileAttributesW(Wide(kRoot + "\\folder").c_str(), FILE_ATTRIBUTE_READONLY));
    for (const char* link : {"\\linked\\index.dat", "\\linked.txt"})
        ASSERT_TRUE(CreateHardLinkW(Wide(kRoot + link).c_str(), Wide(elsewhere).c_str(), nullptr));
    {
        ScopedFile holder = Open(held, FILE_SHARE_READ), keeper = Open(kept, FILE_SHARE_READ | FILE_SHARE_WRITE);
        ScopedFile file = Open(mapped, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
        ScopedFile mapping(file ? CreateFileMappingW(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr) : nullptr);
        const void* view = mapping ? MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0) : nullptr;
        ASSERT_TRUE(holder && keeper && view);
        EXPECT_TRUE(WipeFolder(Wide(kRoot).c_str(), 0, TRUE));
        UnmapViewOfFile(view);
    }
    EXPECT_FALSE(Exists(kRoot + "\\linked") || Exists(kRoot + "\\linked.txt") || Exists(kRoot + "\\folder"));
    EXPECT_EQ(Pattern(64) + std::string(436, '\0'), ReadBytes(kept));
    for (const std::string& file : {elsewhere, held, mapped})
        EXPECT_EQ(original, ReadBytes(file)) << file;
    for (const std::string& file : {elsewhere, kept, mapped})
        EXPECT_EQ(1u, GetFileAttributesW(Wide(file).c_str()) & FILE_ATTRIBUTE_READONLY) << file;
}

// The first subkey of the walk fails to enumerate, as a key deleted under an open handle does; the
// walk goes on past it, so the form data still goes.
static LONG g_calls;
static LONG WINAPI FailFirstEnum(HKEY key, DWORD index, LPSTR name, DWORD size)
{
    return g_calls++ == 0 ? ERROR_KEY_DELETED : RegEnumKeyA(key, index, name, size);
}

TEST(RemoveFormData, WalkGoesOnPastASubkeyThatFailsToEnumerate)
{
    ASSERT_TRUE(Seed().empty());
    ASSERT_TRUE(IsPresent("locked form data key of the user"));
    g_calls = 0;
    CBriskoDlg::s_pfnRegEnumKeyA = FailFirstEnum;
    CBriskoDlg::RemoveFormData();
    CBriskoDlg::s_pfnRegEnumKeyA = RegEnumKeyA;
    EXPECT_LT(1, g_calls);
    EXPECT_FALSE(IsPresent("locked form data key of the user"));
    EXPECT_TRUE(IsPresent("DACL of the user's form data root"));
}
