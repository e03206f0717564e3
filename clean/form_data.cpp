// Stored form data removal: the protected-storage provider's form-data keys, per user and machine-wide.
#include "app/brisko_dlg.h"
#include "framework/scoped_win.h"

#include <shlwapi.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

LONG(WINAPI* CBriskoDlg::s_pfnRegEnumKeyA)(HKEY, DWORD, LPSTR, DWORD) = RegEnumKeyA;
BOOL(WINAPI* CBriskoDlg::s_pfnGetUserNameA)(LPSTR, LPDWORD) = GetUserNameA;

namespace {

const char kProviderPrefix[] = "Software\\Microsoft\\Protected Storage System Provider\\";
const char kDataKey[] = "\\Data";
const char kTypeKey[] = "\\e161255a-37c3-11d2-bcaa-00c04fd929db";

const size_t kSidTextChars = 256;
const DWORD kUserNameBytes = 260;
const DWORD kSubkeyNameBytes = 261;
// Two entry headers and the ACL header.
const DWORD kAclOverheadBytes = 24;
// An ACCESS_ALLOWED_ACE without its SidStart placeholder.
const DWORD kAceHeaderBytes = offsetof(ACCESS_ALLOWED_ACE, SidStart);

static_assert(sizeof(OSVERSIONINFOEXA) == 156, "extended version record");
static_assert(sizeof(OSVERSIONINFOA) == 148, "plain version record");
static_assert(kAceHeaderBytes == 8, "entry header");

struct ProcessHeapFree {
    void operator()(void* p) const { HeapFree(GetProcessHeap(), 0, p); }
};
using ProcessHeapBlock = std::unique_ptr<void, ProcessHeapFree>;

ProcessHeapBlock ProcessHeapAlloc(DWORD flags, SIZE_T size)
{
    return ProcessHeapBlock(HeapAlloc(GetProcessHeap(), flags, size));
}

using CrtBlock = ScopedMalloc<void>;

struct SidFree {
    void operator()(void* p) const { FreeSid(p); }
};
using AllocatedSid = std::unique_ptr<void, SidFree>;

// Some systems refuse the extended record; the plain one still tells the family and version.
BOOL ReadVersion(OSVERSIONINFOEXA* info)
{
    ZeroMemory(info, sizeof *info);
    info->dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXA);
    if (GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(info)))
        return TRUE;
    info->dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    return GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(info));
}

BOOL AddFullAccessAce(PACL pAcl, PSID pSid)
{
    const DWORD sidLength = GetLengthSid(pSid);
    const DWORD aceSize = kAceHeaderBytes + sidLength;
    ProcessHeapBlock block = ProcessHeapAlloc(HEAP_ZERO_MEMORY, aceSize);
    if (!block)
        return FALSE;
    auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(block.get());
    ace->Header.AceType = ACCESS_ALLOWED_ACE_TYPE;
    ace->Header.AceFlags = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
    ace->Header.AceSize = static_cast<WORD>(aceSize);
    ace->Mask = KEY_ALL_ACCESS;
    std::memcpy(&ace->SidStart, pSid, sidLength);
    return AddAce(pAcl, ACL_REVISION, MAXDWORD, ace, aceSize);
}

void RemoveUserFormData()
{
    PSID pSid = nullptr;
    if (!CBriskoDlg::GetCurrentUserSid(&pSid))
        return;
    ProcessHeapBlock userSid(pSid);

    char sidText[kSidTextChars];
    if (!CBriskoDlg::FormatSidText(userSid.get(), sidText, sizeof sidText))
        return;
    std::string path = std::string(kProviderPrefix) + sidText;
    const std::string rootPath = path;

    // The removal goes on without a saved DACL; the root key then keeps the full-access one.
    PSECURITY_DESCRIPTOR pSaved = nullptr;
    CBriskoDlg::SaveKeyDacl(HKEY_CURRENT_USER, rootPath.c_str(), &pSaved);
    CrtBlock saved(pSaved);

    SECURITY_DESCRIPTOR fullAccess;
    PACL pAcl = nullptr;
    const BOOL built = CBriskoDlg::BuildFullAccessDacl(userSid.get(), &fullAccess, &pAcl);
    ProcessHeapBlock acl(pAcl);
    if (built) {
        CBriskoDlg::SetKeyDacl(HKEY_CURRENT_USER, path.c_str(), &fullAccess, FALSE);
        path += kDataKey;
        CBriskoDlg::SetKeyDacl(HKEY_CURRENT_USER, path.c_str(), &fullAccess, FALSE);
        path += kTypeKey;
        CBriskoDlg::SetKeyDacl(HKEY_CURRENT_USER, path.c_str(), &fullAccess, TRUE);
        SHDeleteKeyA(HKEY_CURRENT_USER, path.c_str());
    }
    acl.reset();

    if (saved)
        CBriskoDlg::SetKeyDacl(HKEY_CURRENT_USER, rootPath.c_str(), saved.get(), FALSE);
}

void RemoveMachineFormData()
{
    // Zero-filled so that nothing undefined is ever there to read.
    char userName[kUserNameBytes] = {};
    DWORD size = kUserNameBytes;
    if (!CBriskoDlg::s_pfnGetUserNameA(userName, &size) || userName[0] == '\0')
        return;
    const std::string path =
        std::string(kProviderPrefix) + std::string(userName, strnlen(userName, sizeof userName)) + kDataKey + kTypeKey;
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, path.c_str());
}

} // namespace

void CBriskoDlg::RemoveFormData()
{
    // The per-user copy exists only on the NT family; the machine-wide copy is deleted whatever became of it.
    if (IsWinNT5OrLater() || IsWinNT4OrEarlier())
        RemoveUserFormData();
    RemoveMachineFormData();
}

BOOL CBriskoDlg::IsWinNT5OrLater()
{
    OSVERSIONINFOEXA info;
    return ReadVersion(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT && info.dwMajorVersion >= 5;
}

BOOL CBriskoDlg::IsWinNT4OrEarlier()
{
    OSVERSIONINFOEXA info;
    return ReadVersion(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT && info.dwMajorVersion <= 4;
}

BOOL CBriskoDlg::GetCurrentUserSid(PSID* ppSid)
{
    *ppSid = nullptr;
    HANDLE hToken = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &hToken))
        return FALSE;
    ScopedFile token(hToken);

    DWORD size = 0;
    GetTokenInformation(hToken, TokenUser, nullptr, 0, &size);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return FALSE;
    ProcessHeapBlock info = ProcessHeapAlloc(0, size);
    if (!info || !GetTokenInformation(hToken, TokenUser, info.get(), size, &size))
        return FALSE;

    PSID pTokenSid = static_cast<TOKEN_USER*>(info.get())->User.Sid;
    const DWORD length = GetLengthSid(pTokenSid);
    ProcessHeapBlock copy = ProcessHeapAlloc(0, length);
    if (!copy || !CopySid(length, copy.get(), pTokenSid))
        return FALSE;
    *ppSid = copy.release();
    return TRUE;
}

// Only the authority's last byte is written: the usual authorities are small numbers.
BOOL CBriskoDlg::FormatSidText(PSID pSid, char* text, size_t cchText)
{
    if (cchText == 0)
        return FALSE;
    const int written =
        std::snprintf(text, cchText, "S-1-%lu", static_cast<unsigned long>(GetSidIdentifierAuthority(pSid)->Value[5]));
    size_t length = written < 0 ? cchText : static_cast<size_t>(written);
    const DWORD count = *GetSidSubAuthorityCount(pSid);
    for (DWORD i = 0; i < count && length < cchText; ++i) {
        char number[32];
        std::snprintf(number, sizeof number, "%lu", static_cast<unsigned long>(*GetSidSubAuthority(pSid, i)));
        const size_t numberLength = std::strlen(number);
        if (length + 1 + numberLength >= cchText) {
            length = cchText;
            break;
        }
        text[length] = '-';
        std::memcpy(text + length + 1, number, numberLength + 1);
        length += 1 + numberLength;
    }
    if (length >= cchText) {
        text[0] = '\0';
        return FALSE;
    }
    return TRUE;
}

BOOL CBriskoDlg::SaveKeyDacl(HKEY hRoot, const char* path, PSECURITY_DESCRIPTOR* ppSd)
{
    *ppSd = nullptr;
    ScopedKey key;
    if (key.Open(RegOpenKeyExA, hRoot, path, 0, READ_CONTROL) != ERROR_SUCCESS)
        return FALSE;

    DWORD size = 0;
    const LONG probe = RegGetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, nullptr, &size);
    if (probe == ERROR_SUCCESS)
        return TRUE;
    if (probe != ERROR_INSUFFICIENT_BUFFER)
        return FALSE;
    CrtBlock descriptor(std::malloc(size));
    if (!descriptor ||
        RegGetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, descriptor.get(), &size) != ERROR_SUCCESS)
        return FALSE;
    *ppSd = descriptor.release();
    return TRUE;
}

// The ACL goes to the caller as soon as it exists, also when a later step fails.
BOOL CBriskoDlg::BuildFullAccessDacl(PSID pUserSid, PSECURITY_DESCRIPTOR pSd, PACL* ppAcl)
{
    *ppAcl = nullptr;
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    PSID pSystemSid = nullptr;
    if (!AllocateAndInitializeSid(&ntAuthority, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, &pSystemSid))
        return FALSE;
    AllocatedSid systemSid(pSystemSid);

    const DWORD aclSize = GetLengthSid(pUserSid) + GetLengthSid(pSystemSid) + kAclOverheadBytes;
    *ppAcl = static_cast<PACL>(HeapAlloc(GetProcessHeap(), 0, aclSize));
    if (!*ppAcl || !InitializeAcl(*ppAcl, aclSize, ACL_REVISION))
        return FALSE;
    if (!AddFullAccessAce(*ppAcl, pUserSid) || !AddFullAccessAce(*ppAcl, pSystemSid))
        return FALSE;
    return InitializeSecurityDescriptor(pSd, SECURITY_DESCRIPTOR_REVISION) &&
           SetSecurityDescriptorDacl(pSd, TRUE, *ppAcl, FALSE);
}

// Parents before children: a key is listed only after its new DACL lets us list it.
BOOL CBriskoDlg::SetKeyDacl(HKEY hParent, const char* path, PSECURITY_DESCRIPTOR pSd, BOOL bRecurse)
{
    if (!path || !*path)
        return FALSE;
    ScopedKey key;
    // An owner may always open for WRITE_DAC, whatever the DACL says.
    if (key.Open(RegOpenKeyExA, hParent, path, 0, WRITE_DAC) != ERROR_SUCCESS)
        return FALSE;
    if (RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, pSd) != ERROR_SUCCESS)
        return FALSE;
    if (!bRecurse)
        return TRUE;

    if (key.Open(RegOpenKeyExA, hParent, path, 0, KEY_READ) != ERROR_SUCCESS)
        return FALSE;
    // Only the subkey count is used; the rest comes along with the call.
    DWORD subkeys = 0, maxSubkeyLength = 0, values = 0, maxValueNameLength = 0, maxValueLength = 0;
    if (RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, &subkeys, &maxSubkeyLength, nullptr, &values,
                         &maxValueNameLength, &maxValueLength, nullptr, nullptr) != ERROR_SUCCESS)
        return FALSE;

    CrtBlock nameBlock(std::malloc(kSubkeyNameBytes));
    if (!nameBlock)
        return FALSE;
    char* name = static_cast<char*>(nameBlock.get());
    for (DWORD index = 0; index < subkeys; ++index) {
        const LONG result = s_pfnRegEnumKeyA(key.get(), index, name, kSubkeyNameBytes);
        if (result == ERROR_NO_MORE_ITEMS)
            break;
        // Any other failure leaves that subkey and its subtree as they are.
        if (result == ERROR_SUCCESS)
            SetKeyDacl(key.get(), name, pSd, TRUE);
    }
    return TRUE;
}
