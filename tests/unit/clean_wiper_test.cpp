// What the end-to-end runs cannot pin down about the cleaning engine: the bytes an index file keeps,
// the files whose bytes or attributes it must not touch, a tree that changes during the wipe, depth,
// the guard's judgement by identity, and a DACL walk past a subkey that fails to enumerate.
#include "app/brisko_dlg.h"
#include "clean/folder_wiper.h"
#include "clean/steps.h"
#include "clean/user_rights.h"
#include "framework/scoped_win.h"
#include "tests/support/trace_kit.h"

#include <gtest/gtest.h>

#include <shlobj.h>
#include <shlwapi.h>

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
    void SetUp() override { RemoveAll(); }
    void TearDown() override { RemoveAll(); }
    static void RemoveAll()
    {
        for (const char* tree : {"", "-canary", "-away", "-renamed", "-elsewhere.txt"})
            RemoveTree(kRoot + tree);
    }
};

} // namespace

// Index files are zero-filled past their 64-byte header, keep their length, and are then deleted;
// without the switch they are deleted like any file. So are those of the user's history folder.
TEST_F(WipeFolderTest, IndexFileBytes)
{
    static BOOL overwrite;
    const struct {
        size_t size;
        BOOL overwrite;
        DWORD attributes;
    } cases[] = {{10, 1, 0},
                 {64, 1, 0},
                 {65, 1, 0},
                 {10064, 1, 0},
                 {10065, 1, 0},
                 {25064, 1, 0},
                 {300, 1, FILE_ATTRIBUTE_READONLY},
                 {200, 0, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.size << " bytes, overwrite " << c.overwrite << ", " << c.attributes);
        const std::string original = Pattern(c.size), index = kRoot + "\\INDEX.DAT";
        ASSERT_TRUE(WriteBytes(index, original, c.attributes ? c.attributes : FILE_ATTRIBUTE_NORMAL));
        overwrite = c.overwrite;
        const size_t kept = c.overwrite ? std::min<size_t>(c.size, 64) : c.size;
        EXPECT_EQ(original.substr(0, kept) + std::string(c.size - kept, '\0'),
                  BytesAfter(index, c.size, [] { EXPECT_TRUE(WipeFolder(Wide(kRoot).c_str(), 0, overwrite)); }));
        EXPECT_FALSE(Exists(index));
    }
    const std::string history = ShellFolder(CSIDL_HISTORY) + "\\brisko-unit\\index.dat";
    ASSERT_TRUE(WriteBytes(history, Pattern(300)));
    EXPECT_EQ(Pattern(64) + std::string(236, '\0'), BytesAfter(history, 300, CleanHistoryItems));
    EXPECT_FALSE(Exists(history));
}

// An index file that is a hard link shares its bytes with a file elsewhere: only its name goes. One
// that another program holds without write sharing stays whole, and the wipe goes on. A read-only one
// held without delete sharing is emptied and keeps its read-only bit.
TEST_F(WipeFolderTest, IndexFilesWhoseBytesAreNotItsOwn)
{
    const std::string original = Pattern(500), elsewhere = kRoot + "-elsewhere.txt";
    ASSERT_TRUE(WriteBytes(elsewhere, original));
    ASSERT_TRUE(MakeFolders(kRoot + "\\linked"));
    ASSERT_TRUE(CreateHardLinkW(Wide(kRoot + "\\linked\\index.dat").c_str(), Wide(elsewhere).c_str(), nullptr));
    ASSERT_TRUE(WriteBytes(kRoot + "\\held\\index.dat", original));
    ASSERT_TRUE(WriteBytes(kRoot + "\\held\\other.txt", "trace"));
    ASSERT_TRUE(WriteBytes(kRoot + "\\kept\\index.dat", original, FILE_ATTRIBUTE_READONLY));
    {
        ScopedFile holder = Open(kRoot + "\\held\\index.dat", FILE_SHARE_READ);
        ScopedFile keeper = Open(kRoot + "\\kept\\index.dat", FILE_SHARE_READ | FILE_SHARE_WRITE);
        ASSERT_TRUE(holder && keeper);
        EXPECT_TRUE(WipeFolder(Wide(kRoot).c_str(), 0, TRUE));
    }
    EXPECT_EQ(Pattern(64) + std::string(436, '\0'), ReadBytes(kRoot + "\\kept\\index.dat"));
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_READONLY), GetFileAttributesW(Wide(kRoot + "\\kept\\index.dat").c_str()) & 1);
    EXPECT_FALSE(Exists(kRoot + "\\linked"));
    EXPECT_EQ(original, ReadBytes(elsewhere));
    EXPECT_EQ(original, ReadBytes(kRoot + "\\held\\index.dat"));
    EXPECT_FALSE(Exists(kRoot + "\\held\\other.txt"));
}

// Between being listed and being entered, a folder of the tree is swapped for one outside it (where
// a link leads: Wine follows links whatever the open asks). The folders being wiped are held, so that
// neither the top folder nor the one above the swap can be renamed meanwhile.
static bool g_renamed;
static int g_swaps;
static NTSTATUS NTAPI SwapBeforeOpen(PHANDLE handle, ACCESS_MASK access, POBJECT_ATTRIBUTES object, PIO_STATUS_BLOCK io,
                                     ULONG share, ULONG options)
{
    if (std::wstring(object->ObjectName->Buffer, object->ObjectName->Length / 2) == L"swapped" && !g_swaps++) {
        g_renamed = MoveFileW(Wide(kRoot).c_str(), Wide(kRoot + "-renamed").c_str()) ||
                    MoveFileW(Wide(kRoot + "\\outer").c_str(), Wide(kRoot + "\\renamed").c_str());
        EXPECT_TRUE(MoveFileW(Wide(kRoot + "\\outer\\swapped").c_str(), Wide(kRoot + "-away").c_str()));
        EXPECT_TRUE(MoveFileW(Wide(kRoot + "-canary").c_str(), Wide(kRoot + "\\outer\\swapped").c_str()));
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
    g_pfnNtOpenFile = SwapBeforeOpen;
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

// The wipe runs on the user's own rights, also when Brisko is elevated (as Wine runs it): the
// Administrators group for deny only, no privilege but bypass-traverse; the thread wears its own
// token again afterwards. RedirectionGuard is asked for, and its refusal changes nothing. Memory
// running out deep in the walk ends that one wipe; the next goes on, and sees a folder moved meanwhile.
static std::string g_worn;
static bool g_throw;
static int g_policy;
static DWORD g_enforce;

static std::string TokenOfThread()
{
    HANDLE raw = nullptr;
    if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &raw))
        return "the process's own";
    ScopedFile token(raw);
    BYTE admins[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof admins;
    std::vector<BYTE> info(16384);
    std::string worn;
    CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, admins, &size);
    if (GetTokenInformation(token.get(), TokenGroups, info.data(), static_cast<DWORD>(info.size()), &size)) {
        const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(info.data());
        for (DWORD i = 0; i < groups->GroupCount; ++i) {
            if (EqualSid(groups->Groups[i].Sid, admins))
                worn += groups->Groups[i].Attributes & SE_GROUP_USE_FOR_DENY_ONLY ? "Administrators deny-only"
                                                                                  : "Administrators";
        }
    }
    if (GetTokenInformation(token.get(), TokenPrivileges, info.data(), static_cast<DWORD>(info.size()), &size)) {
        const auto* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(info.data());
        for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
            char name[64];
            DWORD length = sizeof name;
            if (LookupPrivilegeNameA(nullptr, const_cast<PLUID>(&privileges->Privileges[i].Luid), name, &length))
                worn += std::string(", ") + name;
        }
    }
    return worn;
}

static NTSTATUS NTAPI WatchOpen(PHANDLE handle, ACCESS_MASK access, POBJECT_ATTRIBUTES object, PIO_STATUS_BLOCK io,
                                ULONG share, ULONG options)
{
    if (std::wstring(object->ObjectName->Buffer, object->ObjectName->Length / 2) == L"deep") {
        g_worn = TokenOfThread();
        if (g_throw)
            throw std::bad_alloc();
    }
    return NtOpenFile(handle, access, object, io, share, options);
}

static BOOL WINAPI RefusePolicy(int policy, PVOID buffer, SIZE_T size)
{
    g_policy = policy;
    g_enforce = size == sizeof g_enforce ? *static_cast<DWORD*>(buffer) : 0;
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

TEST_F(WipeFolderTest, RunsOnTheUsersOwnRights)
{
    BYTE admins[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof admins;
    BOOL elevated = FALSE;
    ASSERT_TRUE(CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, admins, &size) &&
                CheckTokenMembership(nullptr, admins, &elevated) && elevated)
        << "not an elevated run";
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
    EXPECT_EQ("Administrators deny-only, SeChangeNotifyPrivilege", g_worn);
    EXPECT_EQ("16 1", std::to_string(g_policy) + " " + std::to_string(g_enforce));
    EXPECT_FALSE(Exists(kRoot + "\\a"));
    // Documents moved here while Brisko runs: the next wipe knows.
    const char key[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
    ASSERT_TRUE(WriteBytes(kRoot + "\\mine.txt", "mine") && SetString(HKEY_CURRENT_USER, key, "Personal", kRoot));
    EXPECT_FALSE(WipeFolder(Wide(kRoot).c_str(), 0, 0));
    SHDeleteValueA(HKEY_CURRENT_USER, key, "Personal");
    EXPECT_EQ("mine", ReadBytes(kRoot + "\\mine.txt"));
}

// Deeper than a recursion could go on the stack the wipe is left. Wine gives every thread at least
// 1 MiB, so most of it is used up first: 64 KiB remain, where one level of recursion took 670 bytes.
static DWORD WINAPI WipeOnLittleStack(void*)
{
    MEMORY_BASIC_INFORMATION stack = {};
    VirtualQuery(&stack, &stack, sizeof stack);
    const size_t left = reinterpret_cast<char*>(&stack) - static_cast<char*>(stack.AllocationBase);
    // cppcheck-suppress allocaCalled ; the stack itself is what is being used up
    volatile char* used = static_cast<char*>(alloca(left - 64 * 1024));
    used[0] = 0;
    return WipeFolder(Wide(kRoot).c_str(), 0, 0);
}

TEST_F(WipeFolderTest, TreeDeeperThanTheStack)
{
    std::string deep = kRoot;
    for (int level = 0; level < 300; ++level)
        deep += "\\d";
    ASSERT_TRUE(WriteBytes(deep + "\\bottom.txt", "trace"));
    ScopedFile thread(CreateThread(nullptr, 0, WipeOnLittleStack, nullptr, 0, nullptr));
    ASSERT_TRUE(thread);
    DWORD wiped = 0;
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread.get(), 60000));
    EXPECT_TRUE(GetExitCodeThread(thread.get(), &wiped) && wiped);
    EXPECT_FALSE(Exists(kRoot + "\\d"));
}

// Attributes change only on what is deleted: a hard link's other name keeps its read-only bit, and
// so do the files that stay: one held without delete sharing (it cannot be opened to delete) and one
// mapped into memory (it is opened, but its deletion is refused). Read-only files and folders alone go.
TEST_F(WipeFolderTest, ReadOnlyBitChangesOnlyWithTheDeletion)
{
    const std::string elsewhere = kRoot + "-elsewhere.txt";
    ASSERT_TRUE(WriteBytes(elsewhere, "elsewhere", FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(MakeFolders(kRoot + "\\folder"));
    ASSERT_TRUE(CreateHardLinkW(Wide(kRoot + "\\linked.txt").c_str(), Wide(elsewhere).c_str(), nullptr));
    const std::string stay[] = {kRoot + "\\held.txt", kRoot + "\\mapped.txt"};
    for (const std::string& file : stay)
        ASSERT_TRUE(WriteBytes(file, "stays", FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(WriteBytes(kRoot + "\\folder\\alone.txt", "alone", FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(SetFileAttributesW(Wide(kRoot + "\\folder").c_str(), FILE_ATTRIBUTE_READONLY));
    {
        ScopedFile holder = Open(stay[0], FILE_SHARE_READ | FILE_SHARE_WRITE);
        ScopedFile mapped = Open(stay[1], FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
        ScopedFile mapping(mapped ? CreateFileMappingW(mapped.get(), nullptr, PAGE_READONLY, 0, 0, nullptr) : nullptr);
        const void* view = mapping ? MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0) : nullptr;
        ASSERT_TRUE(holder && view);
        EXPECT_TRUE(WipeFolder(Wide(kRoot).c_str(), 0, 0));
        UnmapViewOfFile(view);
    }
    EXPECT_FALSE(Exists(kRoot + "\\linked.txt"));
    EXPECT_FALSE(Exists(kRoot + "\\folder"));
    EXPECT_EQ("elsewhere", ReadBytes(elsewhere));
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_READONLY), GetFileAttributesW(Wide(elsewhere).c_str()) & FILE_ATTRIBUTE_READONLY);
    for (const std::string& file : stay) {
        EXPECT_EQ("stays", ReadBytes(file));
        EXPECT_EQ(DWORD(FILE_ATTRIBUTE_READONLY), GetFileAttributesW(Wide(file).c_str()) & FILE_ATTRIBUTE_READONLY)
            << file;
    }
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
