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

using Bytes = std::vector<BYTE>;
using Entries = std::vector<std::pair<Bytes, DWORD>>;

const std::string kProvider = "Software\\Microsoft\\Protected Storage System Provider";
const std::string kType = "e161255a-37c3-11d2-bcaa-00c04fd929db";
const std::string kBeside = "5e7e8100-9138-11d1-945a-00c04fc308ff";
// What an empty user name would address once the doubled backslash is folded.
const std::string kNamelessMachineType = kProvider + "\\Data\\" + kType;

Bytes Sid(PSID sid) { return Bytes(static_cast<BYTE*>(sid), static_cast<BYTE*>(sid) + GetLengthSid(sid)); }

Bytes TokenUserSid()
{
    HANDLE token = nullptr;
    BYTE info[256];
    DWORD size = sizeof info;
    Bytes sid;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) &&
        GetTokenInformation(token, TokenUser, info, size, &size))
        sid = Sid(reinterpret_cast<TOKEN_USER*>(info)->User.Sid);
    CloseHandle(token);
    return sid;
}

Bytes WellKnownSid(WELL_KNOWN_SID_TYPE type)
{
    Bytes sid(SECURITY_MAX_SID_SIZE);
    DWORD size = static_cast<DWORD>(sid.size());
    CreateWellKnownSid(type, nullptr, sid.data(), &size);
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

// READ_CONTROL: the owner has it whatever the DACL says.
bool KeyExists(HKEY hive, const std::string& path)
{
    HKEY key = nullptr;
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
    RegSetValueExA(key, "entry", 0, REG_SZ, reinterpret_cast<const BYTE*>("form entry"), 11);
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

bool WriteDacl(HKEY hive, const std::string& path, PACL acl)
{
    SECURITY_DESCRIPTOR sd;
    HKEY key = nullptr;
    if (!InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE) ||
        RegOpenKeyExA(hive, path.c_str(), 0, WRITE_DAC, &key) != ERROR_SUCCESS)
        return false;
    const bool ok = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &sd) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
}

// A DACL that allows only these SIDs, built apart from the code under test.
bool WriteAllowOnly(HKEY hive, const std::string& path, const Entries& entries)
{
    BYTE buffer[512];
    PACL acl = reinterpret_cast<PACL>(buffer);
    if (!InitializeAcl(acl, sizeof buffer, ACL_REVISION))
        return false;
    for (const auto& entry : entries)
        if (!AddAccessAllowedAce(acl, ACL_REVISION, entry.second, const_cast<BYTE*>(entry.first.data())))
            return false;
    return WriteDacl(hive, path, acl);
}

// Owners may always rewrite a DACL, so a subtree a failed test left denied can still go.
void ForceDelete(HKEY hive, const std::string& path)
{
    if (!WriteDacl(hive, path, nullptr))
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

// The user, then LocalSystem, KEY_ALL_ACCESS, inherited by objects and containers.
testing::AssertionResult IsFullAccessDacl(const Bytes& descriptor, const Bytes& userSid)
{
    BOOL present = FALSE, defaulted = FALSE;
    PACL acl = nullptr;
    if (descriptor.empty() ||
        !GetSecurityDescriptorDacl(const_cast<BYTE*>(descriptor.data()), &present, &acl, &defaulted) || !acl)
        return testing::AssertionFailure() << "no DACL";
    if (acl->AceCount != 2)
        return testing::AssertionFailure() << acl->AceCount << " entries";
    const Bytes expected[] = {userSid, WellKnownSid(WinLocalSystemSid)};
    for (DWORD i = 0; i < 2; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        GetAce(acl, i, reinterpret_cast<void**>(&ace));
        if (ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE ||
            ace->Header.AceFlags != (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE) || ace->Mask != KEY_ALL_ACCESS ||
            !EqualSid(&ace->SidStart, const_cast<BYTE*>(expected[i].data())))
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
        ASSERT_FALSE(UserName().empty());
        m_root = kProvider + "\\" + SidString(m_userSid);
        m_data = m_root + "\\Data";
        m_type = m_data + "\\" + kType;
        m_machineUser = kProvider + "\\" + UserName();
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

    // Both copies with three levels below the type key, keys beside them, and a root DACL of its own.
    void Seed()
    {
        for (const char* sub : {"\\a\\a1\\a2", "\\b\\b1", "\\c"})
            CreateKey(HKEY_CURRENT_USER, m_type + sub);
        CreateKey(HKEY_CURRENT_USER, m_data + "\\" + kBeside);
        CreateKey(HKEY_CURRENT_USER, m_root + "\\Other");
        CreateKey(HKEY_LOCAL_MACHINE, m_machineType + "\\x\\x1");
        CreateKey(HKEY_LOCAL_MACHINE, m_machineUser + "\\Data\\" + kBeside);
        ASSERT_TRUE(WriteAllowOnly(HKEY_CURRENT_USER, m_root,
                                   {{m_userSid, KEY_ALL_ACCESS}, {WellKnownSid(WinWorldSid), KEY_READ}}));
    }

    void ExpectBesideStays()
    {
        EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, m_data + "\\" + kBeside));
        EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, m_root + "\\Other"));
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, m_machineUser + "\\Data\\" + kBeside));
    }

    Bytes m_userSid;
    std::string m_root, m_data, m_type, m_machineUser, m_machineType;
};

Bytes MakeSid(const BYTE (&authority)[6], std::initializer_list<DWORD> subAuthorities)
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

const BYTE kNtAuthority[6] = {0, 0, 0, 0, 0, 5};

TEST(FormDataSidText, WritesLastAuthorityByteAndUnsignedSubAuthorities)
{
    char text[256];
    Bytes account = MakeSid(kNtAuthority, {21, 3000000000u, 4294967295u, 7, 1000});
    ASSERT_TRUE(CBriskoDlg::FormatSidText(account.data(), text, sizeof text));
    EXPECT_STREQ("S-1-5-21-3000000000-4294967295-7-1000", text);
    EXPECT_EQ(SidString(account), text);

    // The standard form would show the whole authority in hex.
    Bytes odd = MakeSid({0x12, 0x34, 0, 0, 0, 7}, {18});
    ASSERT_TRUE(CBriskoDlg::FormatSidText(odd.data(), text, sizeof text));
    EXPECT_STREQ("S-1-7-18", text);
}

TEST(FormDataSidText, FailsWithEmptyTextWhenTheBufferIsShort)
{
    Bytes account = MakeSid(kNtAuthority, {21, 1, 2, 3, 1000});
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

TEST_F(FormData, BuildsAnExactlySizedAclInAnAbsoluteDescriptor)
{
    SECURITY_DESCRIPTOR sd;
    PACL acl = nullptr;
    ASSERT_TRUE(CBriskoDlg::BuildFullAccessDacl(m_userSid.data(), &sd, &acl));
    EXPECT_TRUE(HeapValidate(GetProcessHeap(), 0, acl)) << "the ACL belongs to the process heap";
    ACL_SIZE_INFORMATION size = {};
    ASSERT_TRUE(GetAclInformation(acl, &size, sizeof size, AclSizeInformation));
    EXPECT_EQ(m_userSid.size() + WellKnownSid(WinLocalSystemSid).size() + 24, acl->AclSize);
    EXPECT_EQ(0u, size.AclBytesFree);

    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(&sd, &control, &revision));
    EXPECT_EQ(1u, revision);
    EXPECT_EQ(SE_DACL_PRESENT, control & (SE_DACL_PRESENT | SE_DACL_DEFAULTED | SE_SELF_RELATIVE));
    HeapFree(GetProcessHeap(), 0, acl);
}

TEST_F(FormData, OnNtDeletesBothTypeKeysAndGivesTheRootItsDaclBack)
{
    ASSERT_TRUE(CBriskoDlg::IsWinNT5OrLater());
    ASSERT_FALSE(CBriskoDlg::IsWinNT4OrEarlier());
    Seed();
    const Bytes rootBefore = ReadDacl(HKEY_CURRENT_USER, m_root);
    ASSERT_FALSE(IsFullAccessDacl(rootBefore, m_userSid));

    CBriskoDlg::RemoveFormData();

    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, m_type));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, m_machineType));
    EXPECT_EQ(rootBefore, ReadDacl(HKEY_CURRENT_USER, m_root));
    EXPECT_TRUE(IsFullAccessDacl(ReadDacl(HKEY_CURRENT_USER, m_data), m_userSid));
    ExpectBesideStays();
}

TEST_F(FormData, DeletesATypeSubtreeThatDeniesTheUser)
{
    Seed();
    for (const char* sub : {"", "\\a", "\\a\\a1", "\\a\\a1\\a2", "\\b"})
        ASSERT_TRUE(
            WriteAllowOnly(HKEY_CURRENT_USER, m_type + sub, {{WellKnownSid(WinLocalSystemSid), KEY_ALL_ACCESS}}))
            << sub;
    HKEY probe = nullptr;
    ASSERT_EQ(ERROR_ACCESS_DENIED, RegOpenKeyExA(HKEY_CURRENT_USER, (m_type + "\\a\\a1").c_str(), 0, KEY_READ, &probe));
    ASSERT_NE(DWORD(ERROR_SUCCESS), SHDeleteKeyA(HKEY_CURRENT_USER, m_type.c_str()));

    CBriskoDlg::RemoveFormData();

    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, m_type));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, m_machineType));
    ExpectBesideStays();
}

TEST_F(FormData, WithoutRootKeyStillDeletesTheMachineWideCopy)
{
    CreateKey(HKEY_LOCAL_MACHINE, m_machineType + "\\x");
    CreateKey(HKEY_LOCAL_MACHINE, m_machineUser + "\\Data\\" + kBeside);

    CBriskoDlg::RemoveFormData();

    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, m_root)) << "nothing is made where nothing was";
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, m_machineType));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, m_machineUser + "\\Data\\" + kBeside));
}

// Wine takes the name from the host account, so these two answers need the seam.
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
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, m_type)) << "the per-user part does not need the name";
        CleanUp();
    }
}

// Deletes the key being walked between its reopen and its listing, so Wine answers 1018 for real.
std::string g_doomedKey;
std::vector<LONG> g_codesFromDoomed;

LONG WINAPI EnumDeletingDoomedKey(HKEY key, DWORD index, LPSTR name, DWORD size)
{
    HKEY marker = nullptr;
    const bool doomed = RegOpenKeyExA(key, "doomed-marker", 0, KEY_READ, &marker) == ERROR_SUCCESS;
    if (doomed) {
        RegCloseKey(marker);
        ForceDelete(HKEY_CURRENT_USER, g_doomedKey);
    }
    const LONG result = RegEnumKeyA(key, index, name, size);
    if (doomed || !g_codesFromDoomed.empty())
        g_codesFromDoomed.push_back(result);
    return result;
}

TEST_F(FormData, WalkSkipsASubkeyThatFailsToEnumerateAndGoesOn)
{
    // The doomed key is the last of its siblings, so its deletion shifts no index the walk still needs.
    for (const char* sub : {"\\a\\a1", "\\a\\z\\d1", "\\a\\z\\d2", "\\a\\z\\doomed-marker", "\\b\\b1", "\\c"})
        CreateKey(HKEY_CURRENT_USER, m_type + sub);
    for (const char* sub : {"\\a\\a1", "\\b", "\\b\\b1", "\\c"})
        ASSERT_TRUE(
            WriteAllowOnly(HKEY_CURRENT_USER, m_type + sub, {{WellKnownSid(WinLocalSystemSid), KEY_ALL_ACCESS}}));
    g_doomedKey = m_type + "\\a\\z";
    g_codesFromDoomed.clear();
    CBriskoDlg::s_pfnRegEnumKeyA = EnumDeletingDoomedKey;

    SECURITY_DESCRIPTOR sd;
    PACL acl = nullptr;
    ASSERT_TRUE(CBriskoDlg::BuildFullAccessDacl(m_userSid.data(), &sd, &acl));
    EXPECT_TRUE(CBriskoDlg::SetKeyDacl(HKEY_CURRENT_USER, m_type.c_str(), &sd, TRUE));
    HeapFree(GetProcessHeap(), 0, acl);

    // All three indices of the deleted key fail with 1018 and are skipped, not taken for the end.
    const std::vector<LONG> expected = {ERROR_KEY_DELETED, ERROR_KEY_DELETED, ERROR_KEY_DELETED, ERROR_SUCCESS};
    ASSERT_GE(g_codesFromDoomed.size(), expected.size());
    EXPECT_EQ(expected, std::vector<LONG>(g_codesFromDoomed.begin(), g_codesFromDoomed.begin() + 4));
    for (const char* sub : {"", "\\a", "\\a\\a1", "\\b", "\\b\\b1", "\\c"})
        EXPECT_TRUE(IsFullAccessDacl(ReadDacl(HKEY_CURRENT_USER, m_type + sub), m_userSid)) << sub;
}

const char kConsumerChild[] = "brisko_form_data_win98.exe";

// Runs a copy of this program that Wine presents Windows 98 to; its exit code, or -1 when it could not run.
long RunAsConsumerFamily(const char* testName)
{
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string copy = std::string(temp) + kConsumerChild;
    const std::string appDefaults = std::string("Software\\Wine\\AppDefaults\\") + kConsumerChild;
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, appDefaults.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr))
        return -1;
    RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>("win98"), 6);
    RegCloseKey(key);

    // Wine may drop the \\?\ prefix from the module file name; the command line keeps a usable path.
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    const bool copied = argv && CopyFileW(argv[0], std::wstring(copy.begin(), copy.end()).c_str(), FALSE);
    LocalFree(argv);

    long code = -1;
    std::string command = "\"" + copy + "\" --gtest_also_run_disabled_tests --gtest_filter=" + testName;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (copied && CreateProcessA(copy.c_str(), &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                                 &si, &pi)) {
        DWORD exitCode = 0;
        if (WaitForSingleObject(pi.hProcess, 120000) == WAIT_OBJECT_0 && GetExitCodeProcess(pi.hProcess, &exitCode))
            code = static_cast<long>(exitCode);
        else
            TerminateProcess(pi.hProcess, 1);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    RegDeleteKeyA(HKEY_CURRENT_USER, appDefaults.c_str());
    DeleteFileA(copy.c_str());
    return code;
}

TEST_F(FormData, OnConsumerFamilyDeletesOnlyTheMachineWideCopy)
{
    Seed();
    const Bytes rootBefore = ReadDacl(HKEY_CURRENT_USER, m_root);
    const Bytes dataBefore = ReadDacl(HKEY_CURRENT_USER, m_data);

    ASSERT_EQ(0, RunAsConsumerFamily("FormDataChild.DISABLED_RemoveFormDataAsConsumerFamily"))
        << "the copy did not run or did not see the consumer family";

    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, m_machineType));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, m_type + "\\a\\a1\\a2"));
    EXPECT_EQ(rootBefore, ReadDacl(HKEY_CURRENT_USER, m_root));
    EXPECT_EQ(dataBefore, ReadDacl(HKEY_CURRENT_USER, m_data));
    ExpectBesideStays();
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
