// Stored form data removal on real keys and DACLs; wineserver enforces key DACLs within its lifetime.
#include "app/brisko_dlg.h"

#include <windows.h>
#include <sddl.h>
#include <shellapi.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

const std::string kProvider = "Software\\Microsoft\\Protected Storage System Provider";
const std::string kType = "e161255a-37c3-11d2-bcaa-00c04fd929db";
const char kConsumerChild[] = "brisko_form_data_win98.exe";
const char kConsumerChildTest[] = "FormDataChild.DISABLED_RemoveFormDataAsConsumerFamily";

using Bytes = std::vector<BYTE>;

Bytes TokenUserSid()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return {};
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    Bytes info(size);
    Bytes sid;
    if (size && GetTokenInformation(token, TokenUser, info.data(), size, &size)) {
        PSID user = reinterpret_cast<TOKEN_USER*>(info.data())->User.Sid;
        auto* first = static_cast<BYTE*>(user);
        sid.assign(first, first + GetLengthSid(user));
    }
    CloseHandle(token);
    return sid;
}

Bytes LocalSystemSid()
{
    Bytes sid(SECURITY_MAX_SID_SIZE);
    DWORD size = static_cast<DWORD>(sid.size());
    CreateWellKnownSid(WinLocalSystemSid, nullptr, sid.data(), &size);
    sid.resize(size);
    return sid;
}

std::string SidString(const Bytes& sid)
{
    char* text = nullptr;
    if (!ConvertSidToStringSidA(const_cast<BYTE*>(sid.data()), &text))
        return {};
    std::string result = text;
    LocalFree(text);
    return result;
}

std::string UserName()
{
    char name[260] = "";
    DWORD size = sizeof name;
    return GetUserNameA(name, &size) ? name : "";
}

bool KeyExists(HKEY hive, const std::string& path)
{
    HKEY key = nullptr;
    // READ_CONTROL is granted to the owner whatever the DACL says.
    if (RegOpenKeyExA(hive, path.c_str(), 0, READ_CONTROL, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

void CreateKey(HKEY hive, const std::string& path)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(hive, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr))
        << path;
    const char value[] = "form entry";
    RegSetValueExA(key, "entry", 0, REG_SZ, reinterpret_cast<const BYTE*>(value), sizeof value);
    RegCloseKey(key);
}

Bytes ReadDacl(HKEY hive, const std::string& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(hive, path.c_str(), 0, READ_CONTROL, &key) != ERROR_SUCCESS)
        return {};
    DWORD size = 0;
    RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, nullptr, &size);
    Bytes descriptor(size);
    if (size == 0 || RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor.data(), &size) != ERROR_SUCCESS)
        descriptor.clear();
    RegCloseKey(key);
    return descriptor;
}

bool WriteDacl(HKEY hive, const std::string& path, PSECURITY_DESCRIPTOR sd)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(hive, path.c_str(), 0, WRITE_DAC, &key) != ERROR_SUCCESS)
        return false;
    const bool ok = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, sd) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
}

// A DACL allowing only the given SIDs, each with its mask; built here, apart from the code under test.
bool WriteAllowOnly(HKEY hive, const std::string& path, const std::vector<std::pair<Bytes, DWORD>>& entries)
{
    Bytes acl(1024);
    PACL pAcl = reinterpret_cast<PACL>(acl.data());
    if (!InitializeAcl(pAcl, static_cast<DWORD>(acl.size()), ACL_REVISION))
        return false;
    for (const auto& entry : entries)
        if (!AddAccessAllowedAce(pAcl, ACL_REVISION, entry.second, const_cast<BYTE*>(entry.first.data())))
            return false;
    SECURITY_DESCRIPTOR sd;
    return InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION) && SetSecurityDescriptorDacl(&sd, TRUE, pAcl, FALSE) &&
           WriteDacl(hive, path, &sd);
}

// Owners may always rewrite a DACL, so a subtree left denied by a failed test can still go.
void ForceDelete(HKEY hive, const std::string& path)
{
    SECURITY_DESCRIPTOR open;
    InitializeSecurityDescriptor(&open, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&open, TRUE, nullptr, FALSE);
    if (!WriteDacl(hive, path, &open))
        return;
    std::vector<std::string> children;
    HKEY key = nullptr;
    if (RegOpenKeyExA(hive, path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
        char name[300];
        for (DWORD i = 0; RegEnumKeyA(key, i, name, sizeof name) == ERROR_SUCCESS; ++i)
            children.push_back(name);
        RegCloseKey(key);
    }
    for (const auto& child : children)
        ForceDelete(hive, path + "\\" + child);
    RegDeleteKeyA(hive, path.c_str());
}

// The full-access DACL: the user, then LocalSystem, KEY_ALL_ACCESS, inherited by objects and containers.
testing::AssertionResult IsFullAccessDacl(const Bytes& descriptor, const Bytes& userSid)
{
    if (descriptor.empty())
        return testing::AssertionFailure() << "no descriptor";
    BOOL present = FALSE, defaulted = FALSE;
    PACL acl = nullptr;
    auto* sd = const_cast<BYTE*>(descriptor.data());
    if (!GetSecurityDescriptorDacl(sd, &present, &acl, &defaulted) || !present || !acl)
        return testing::AssertionFailure() << "no DACL";
    if (acl->AceCount != 2)
        return testing::AssertionFailure() << acl->AceCount << " entries";
    const Bytes expected[] = {userSid, LocalSystemSid()};
    for (DWORD i = 0; i < 2; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        if (!GetAce(acl, i, reinterpret_cast<void**>(&ace)))
            return testing::AssertionFailure() << "entry " << i << " unreadable";
        if (ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE || ace->Header.AceFlags != (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE) ||
            ace->Mask != KEY_ALL_ACCESS || !EqualSid(&ace->SidStart, const_cast<BYTE*>(expected[i].data())))
            return testing::AssertionFailure() << "entry " << i << ": type " << int(ace->Header.AceType) << " flags "
                                               << int(ace->Header.AceFlags) << " mask " << std::hex << ace->Mask;
    }
    return testing::AssertionSuccess();
}

class FormData : public testing::Test {
protected:
    void SetUp() override
    {
        m_userSid = TokenUserSid();
        ASSERT_FALSE(m_userSid.empty());
        m_userName = UserName();
        ASSERT_FALSE(m_userName.empty());
        m_root = kProvider + "\\" + SidString(m_userSid);
        m_data = m_root + "\\Data";
        m_type = m_data + "\\" + kType;
        m_machineUser = kProvider + "\\" + m_userName;
        m_machineType = m_machineUser + "\\Data\\" + kType;
        CleanUp();
    }

    void TearDown() override
    {
        CBriskoDlg::s_pfnRegEnumKeyA = RegEnumKeyA;
        CBriskoDlg::s_pfnGetUserNameA = GetUserNameA;
        CleanUp();
    }

    void CleanUp()
    {
        ForceDelete(HKEY_CURRENT_USER, m_root);
        ForceDelete(HKEY_LOCAL_MACHINE, m_machineUser);
        ForceDelete(HKEY_LOCAL_MACHINE, kProvider + "\\Data");
    }

    // Both copies with three levels below the type key, and keys beside each that must stay.
    void Seed()
    {
        for (const char* sub : {"\\a\\a1\\a2", "\\b\\b1", "\\c"})
            CreateKey(HKEY_CURRENT_USER, m_type + sub);
        CreateKey(HKEY_CURRENT_USER, m_data + "\\5e7e8100-9138-11d1-945a-00c04fc308ff");
        CreateKey(HKEY_CURRENT_USER, m_root + "\\Other");
        CreateKey(HKEY_LOCAL_MACHINE, m_machineType + "\\x\\x1");
        CreateKey(HKEY_LOCAL_MACHINE, m_machineUser + "\\Data\\5e7e8100-9138-11d1-945a-00c04fc308ff");
    }

    void ExpectNeighboursStay()
    {
        EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, m_data + "\\5e7e8100-9138-11d1-945a-00c04fc308ff"));
        EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, m_root + "\\Other"));
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, m_machineUser + "\\Data\\5e7e8100-9138-11d1-945a-00c04fc308ff"));
    }

    // The root key's own DACL, distinct from the full-access one, so that its return is visible.
    void GiveRootOwnDacl()
    {
        ASSERT_TRUE(WriteAllowOnly(HKEY_CURRENT_USER, m_root,
                                   {{m_userSid, KEY_ALL_ACCESS}, {SidBytes(WinWorldSid), KEY_READ}}));
    }

    static Bytes SidBytes(WELL_KNOWN_SID_TYPE type)
    {
        Bytes sid(SECURITY_MAX_SID_SIZE);
        DWORD size = static_cast<DWORD>(sid.size());
        EXPECT_TRUE(CreateWellKnownSid(type, nullptr, sid.data(), &size));
        sid.resize(size);
        return sid;
    }

    Bytes m_userSid;
    std::string m_userName, m_root, m_data, m_type, m_machineUser, m_machineType;
};

Bytes MakeSid(BYTE authority[6], std::initializer_list<DWORD> subAuthorities)
{
    Bytes sid(GetSidLengthRequired(static_cast<UCHAR>(subAuthorities.size())));
    SID_IDENTIFIER_AUTHORITY id;
    memcpy(id.Value, authority, 6);
    InitializeSid(sid.data(), &id, static_cast<BYTE>(subAuthorities.size()));
    DWORD i = 0;
    for (DWORD sub : subAuthorities)
        *GetSidSubAuthority(sid.data(), i++) = sub;
    return sid;
}

TEST(FormDataSidText, WritesLastAuthorityByteAndUnsignedSubAuthorities)
{
    BYTE nt[6] = {0, 0, 0, 0, 0, 5};
    Bytes account = MakeSid(nt, {21, 3000000000u, 4294967295u, 7, 1000});
    char text[256];
    ASSERT_TRUE(CBriskoDlg::FormatSidText(account.data(), text, sizeof text));
    EXPECT_STREQ("S-1-5-21-3000000000-4294967295-7-1000", text);
    EXPECT_EQ(SidString(account), text);

    // The standard form would show the whole authority in hex; only its last byte is written.
    BYTE wide[6] = {0x12, 0x34, 0, 0, 0, 7};
    Bytes odd = MakeSid(wide, {18});
    ASSERT_TRUE(CBriskoDlg::FormatSidText(odd.data(), text, sizeof text));
    EXPECT_STREQ("S-1-7-18", text);

    Bytes bare = MakeSid(nt, {});
    ASSERT_TRUE(CBriskoDlg::FormatSidText(bare.data(), text, sizeof text));
    EXPECT_STREQ("S-1-5", text);
}

TEST(FormDataSidText, FailsWithEmptyTextWhenTheBufferIsShort)
{
    BYTE nt[6] = {0, 0, 0, 0, 0, 5};
    Bytes account = MakeSid(nt, {21, 1, 2, 3, 1000});
    const std::string full = "S-1-5-21-1-2-3-1000";
    char text[64];
    EXPECT_TRUE(CBriskoDlg::FormatSidText(account.data(), text, full.size() + 1));
    EXPECT_EQ(full, text);
    for (size_t size : {full.size(), size_t(6), size_t(4)}) {
        SCOPED_TRACE(size);
        memset(text, 'x', sizeof text);
        EXPECT_FALSE(CBriskoDlg::FormatSidText(account.data(), text, size));
        EXPECT_STREQ("", text);
        EXPECT_EQ('x', text[size]) << "written past the buffer";
    }
}

TEST_F(FormData, BuildsExactlySizedAclUserFirstInAbsoluteDescriptor)
{
    SECURITY_DESCRIPTOR sd;
    PACL acl = nullptr;
    ASSERT_TRUE(CBriskoDlg::BuildFullAccessDacl(m_userSid.data(), &sd, &acl));
    ASSERT_NE(nullptr, acl);
    EXPECT_TRUE(HeapValidate(GetProcessHeap(), 0, acl)) << "the ACL belongs to the process heap";

    ACL_SIZE_INFORMATION size = {};
    ASSERT_TRUE(GetAclInformation(acl, &size, sizeof size, AclSizeInformation));
    EXPECT_EQ(m_userSid.size() + LocalSystemSid().size() + 24, acl->AclSize);
    EXPECT_EQ(0u, size.AclBytesFree);
    EXPECT_EQ(ACL_REVISION, acl->AclRevision);

    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(&sd, &control, &revision));
    EXPECT_EQ(1u, revision);
    EXPECT_EQ(SE_DACL_PRESENT, control & (SE_DACL_PRESENT | SE_DACL_DEFAULTED | SE_SELF_RELATIVE));
    PSID owner = nullptr;
    BOOL ownerDefaulted = FALSE;
    ASSERT_TRUE(GetSecurityDescriptorOwner(&sd, &owner, &ownerDefaulted));
    EXPECT_EQ(nullptr, owner);

    DWORD length = 0;
    MakeSelfRelativeSD(&sd, nullptr, &length);
    Bytes relative(length);
    ASSERT_TRUE(MakeSelfRelativeSD(&sd, relative.data(), &length));
    EXPECT_TRUE(IsFullAccessDacl(relative, m_userSid));
    HeapFree(GetProcessHeap(), 0, acl);
}

TEST_F(FormData, OnNtDeletesBothTypeKeysAndGivesTheRootItsDaclBack)
{
    ASSERT_TRUE(CBriskoDlg::IsWinNT5OrLater());
    ASSERT_FALSE(CBriskoDlg::IsWinNT4OrEarlier());
    Seed();
    GiveRootOwnDacl();
    const Bytes rootBefore = ReadDacl(HKEY_CURRENT_USER, m_root);
    ASSERT_FALSE(rootBefore.empty());
    ASSERT_FALSE(IsFullAccessDacl(rootBefore, m_userSid));

    CBriskoDlg::RemoveFormData();

    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, m_type));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, m_machineType));
    EXPECT_EQ(rootBefore, ReadDacl(HKEY_CURRENT_USER, m_root));
    EXPECT_TRUE(IsFullAccessDacl(ReadDacl(HKEY_CURRENT_USER, m_data), m_userSid));
    ExpectNeighboursStay();
}

TEST_F(FormData, DeletesATypeSubtreeThatDeniesTheUser)
{
    Seed();
    // Only LocalSystem may use these; the user, as owner, can still rewrite their DACLs.
    const std::vector<std::pair<Bytes, DWORD>> systemOnly = {{LocalSystemSid(), KEY_ALL_ACCESS}};
    for (const char* sub : {"", "\\a", "\\a\\a1", "\\a\\a1\\a2", "\\b"})
        ASSERT_TRUE(WriteAllowOnly(HKEY_CURRENT_USER, m_type + sub, systemOnly)) << sub;
    HKEY probe = nullptr;
    ASSERT_EQ(ERROR_ACCESS_DENIED, RegOpenKeyExA(HKEY_CURRENT_USER, (m_type + "\\a\\a1").c_str(), 0, KEY_READ, &probe));
    ASSERT_NE(ERROR_SUCCESS, SHDeleteKeyA(HKEY_CURRENT_USER, m_type.c_str()));
    ASSERT_TRUE(KeyExists(HKEY_CURRENT_USER, m_type + "\\a\\a1\\a2"));

    CBriskoDlg::RemoveFormData();

    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, m_type));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, m_machineType));
    ExpectNeighboursStay();
}

TEST_F(FormData, WithoutRootKeyStillDeletesTheMachineWideCopy)
{
    CreateKey(HKEY_LOCAL_MACHINE, m_machineType + "\\x");
    CreateKey(HKEY_LOCAL_MACHINE, m_machineUser + "\\Data\\5e7e8100-9138-11d1-945a-00c04fc308ff");
    ASSERT_FALSE(KeyExists(HKEY_CURRENT_USER, m_root));

    CBriskoDlg::RemoveFormData();

    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, m_root)) << "nothing is made where nothing was";
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, m_machineType));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, m_machineUser + "\\Data\\5e7e8100-9138-11d1-945a-00c04fc308ff"));
}

// What an empty name would address once Windows folds the doubled backslash.
const std::string kNamelessMachineType = kProvider + "\\Data\\" + kType;

BOOL WINAPI UserNameFailsAfterWritingOne(LPSTR buffer, LPDWORD size)
{
    lstrcpynA(buffer, UserName().c_str(), static_cast<int>(*size));
    SetLastError(ERROR_NO_SUCH_LOGON_SESSION);
    return FALSE;
}

BOOL WINAPI UserNameEmpty(LPSTR buffer, LPDWORD size)
{
    buffer[0] = '\0';
    *size = 1;
    return TRUE;
}

TEST_F(FormData, SkipsTheMachineWideCopyWithoutAUserName)
{
    for (auto fake : {UserNameFailsAfterWritingOne, UserNameEmpty}) {
        Seed();
        CreateKey(HKEY_LOCAL_MACHINE, kNamelessMachineType);
        CBriskoDlg::s_pfnGetUserNameA = fake;

        CBriskoDlg::RemoveFormData();

        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, m_machineType + "\\x\\x1"));
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kNamelessMachineType));
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, m_type)) << "the per-user part does not depend on the name";
        CleanUp();
    }
}

// Deletes the key being walked between its reopen and its listing, so Wine answers 1018 for real.
std::string g_doomedKey;
std::vector<LONG> g_doomedCodes;

LONG WINAPI EnumDeletingDoomedKey(HKEY key, DWORD index, LPSTR name, DWORD size)
{
    HKEY marker = nullptr;
    const bool doomed = RegOpenKeyExA(key, "doomed-marker", 0, KEY_READ, &marker) == ERROR_SUCCESS;
    if (marker)
        RegCloseKey(marker);
    if (doomed)
        ForceDelete(HKEY_CURRENT_USER, g_doomedKey);
    const LONG result = RegEnumKeyA(key, index, name, size);
    if (doomed || g_doomedCodes.size() > 0)
        g_doomedCodes.push_back(result);
    return result;
}

TEST_F(FormData, WalkSkipsASubkeyThatFailsToEnumerateAndGoesOn)
{
    // The doomed key is the last of its siblings, so its deletion shifts no index the walk still needs.
    const std::vector<std::pair<Bytes, DWORD>> systemOnly = {{LocalSystemSid(), KEY_ALL_ACCESS}};
    for (const char* sub : {"\\a\\a1", "\\a\\z\\d1", "\\a\\z\\d2", "\\a\\z\\doomed-marker", "\\b\\b1", "\\c"})
        CreateKey(HKEY_CURRENT_USER, m_type + sub);
    for (const char* sub : {"\\a\\a1", "\\b", "\\b\\b1", "\\c"})
        ASSERT_TRUE(WriteAllowOnly(HKEY_CURRENT_USER, m_type + sub, systemOnly));
    g_doomedKey = m_type + "\\a\\z";
    g_doomedCodes.clear();
    CBriskoDlg::s_pfnRegEnumKeyA = EnumDeletingDoomedKey;

    SECURITY_DESCRIPTOR sd;
    PACL acl = nullptr;
    ASSERT_TRUE(CBriskoDlg::BuildFullAccessDacl(m_userSid.data(), &sd, &acl));
    EXPECT_TRUE(CBriskoDlg::SetKeyDacl(HKEY_CURRENT_USER, m_type.c_str(), &sd, TRUE));
    HeapFree(GetProcessHeap(), 0, acl);

    // All three indices of the deleted key fail with 1018 and are skipped, not taken for the end.
    ASSERT_GE(g_doomedCodes.size(), 4u);
    EXPECT_EQ(ERROR_KEY_DELETED, g_doomedCodes[0]);
    EXPECT_EQ(ERROR_KEY_DELETED, g_doomedCodes[1]);
    EXPECT_EQ(ERROR_KEY_DELETED, g_doomedCodes[2]);
    EXPECT_EQ(ERROR_SUCCESS, g_doomedCodes[3]) << "the walk goes on with the next sibling above";
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, g_doomedKey));
    for (const char* sub : {"", "\\a", "\\a\\a1", "\\b", "\\b\\b1", "\\c"})
        EXPECT_TRUE(IsFullAccessDacl(ReadDacl(HKEY_CURRENT_USER, m_type + sub), m_userSid)) << sub;
}

// The consumer family is a copy of this program that Wine presents Windows 98 to.
class ConsumerChild {
public:
    ConsumerChild()
    {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        m_path = std::string(temp) + kConsumerChild;
        m_appDefaults = std::string("Software\\Wine\\AppDefaults\\") + kConsumerChild;
    }
    ~ConsumerChild()
    {
        RegDeleteKeyA(HKEY_CURRENT_USER, m_appDefaults.c_str());
        DeleteFileA(m_path.c_str());
    }

    // The exit code of the child's own test run, or a negative value when it could not run.
    long Run()
    {
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, m_appDefaults.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr))
            return -1;
        const char version[] = "win98";
        RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version), sizeof version);
        RegCloseKey(key);

        // Under Wine the module file name may lack its \\?\ prefix; the command line keeps a usable path.
        int count = 0;
        LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
        const bool copied = argv && CopyFileW(argv[0], std::wstring(m_path.begin(), m_path.end()).c_str(), FALSE);
        LocalFree(argv);
        if (!copied)
            return -2;

        std::string command = std::string("\"") + m_path + "\" --gtest_also_run_disabled_tests --gtest_filter=" + kConsumerChildTest;
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi = {};
        if (!CreateProcessA(m_path.c_str(), &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi))
            return -3;
        DWORD code = STILL_ACTIVE;
        if (WaitForSingleObject(pi.hProcess, 120000) == WAIT_OBJECT_0)
            GetExitCodeProcess(pi.hProcess, &code);
        else
            TerminateProcess(pi.hProcess, 1);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        return static_cast<long>(code);
    }

private:
    std::string m_path, m_appDefaults;
};

TEST_F(FormData, OnConsumerFamilyDeletesOnlyTheMachineWideCopy)
{
    Seed();
    GiveRootOwnDacl();
    const Bytes rootBefore = ReadDacl(HKEY_CURRENT_USER, m_root);
    const Bytes dataBefore = ReadDacl(HKEY_CURRENT_USER, m_data);
    const Bytes typeBefore = ReadDacl(HKEY_CURRENT_USER, m_type);

    ASSERT_EQ(0, ConsumerChild().Run()) << "the child's own checks of its platform failed";

    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, m_machineType));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, m_type + "\\a\\a1\\a2"));
    EXPECT_EQ(rootBefore, ReadDacl(HKEY_CURRENT_USER, m_root));
    EXPECT_EQ(dataBefore, ReadDacl(HKEY_CURRENT_USER, m_data));
    EXPECT_EQ(typeBefore, ReadDacl(HKEY_CURRENT_USER, m_type));
    ExpectNeighboursStay();
}

} // namespace

// Runs only inside the copy started above.
TEST(FormDataChild, DISABLED_RemoveFormDataAsConsumerFamily)
{
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;
    ASSERT_TRUE(GetVersionExA(&info));
    ASSERT_EQ(static_cast<DWORD>(VER_PLATFORM_WIN32_WINDOWS), info.dwPlatformId);
    ASSERT_FALSE(CBriskoDlg::IsWinNT5OrLater());
    ASSERT_FALSE(CBriskoDlg::IsWinNT4OrEarlier());
    CBriskoDlg::RemoveFormData();
}
