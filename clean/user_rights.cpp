// The user's own rights for the folder wipes, and the redirection trust policy.
#include "clean/user_rights.h"

#include <vector>

namespace {

constexpr int kProcessRedirectionTrustPolicy = 16;
constexpr DWORD kEnforceRedirectionTrust = 1;

// The impersonation copy of the process token that the wipes run on; none when it cannot be made.
ScopedFile RestrictedCopy()
{
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY, &raw))
        return ScopedFile();
    ScopedFile process(raw);
    DWORD size = 0;
    GetTokenInformation(process.get(), TokenPrivileges, nullptr, 0, &size);
    std::vector<BYTE> held(size + sizeof(TOKEN_PRIVILEGES));
    LUID traverse;
    BYTE admins[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof admins;
    if (!GetTokenInformation(process.get(), TokenPrivileges, held.data(), static_cast<DWORD>(held.size()), &size) ||
        !LookupPrivilegeValueW(nullptr, L"SeChangeNotifyPrivilege", &traverse) ||
        !CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, admins, &sidSize))
        return ScopedFile();
    // Named one by one as well: Wine ignores DISABLE_MAX_PRIVILEGE.
    const auto* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(held.data());
    std::vector<LUID_AND_ATTRIBUTES> removed;
    for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
        const LUID& luid = privileges->Privileges[i].Luid;
        if (luid.LowPart != traverse.LowPart || luid.HighPart != traverse.HighPart)
            removed.push_back(privileges->Privileges[i]);
    }
    SID_AND_ATTRIBUTES denyOnly = {admins, 0};
    HANDLE restricted = nullptr;
    if (!CreateRestrictedToken(process.get(), DISABLE_MAX_PRIVILEGE, 1, &denyOnly, static_cast<DWORD>(removed.size()),
                               removed.data(), 0, nullptr, &restricted))
        return ScopedFile();
    ScopedFile primary(restricted);
    HANDLE impersonation = nullptr;
    return ScopedFile(DuplicateTokenEx(primary.get(), TOKEN_IMPERSONATE | TOKEN_QUERY, nullptr, SecurityImpersonation,
                                       TokenImpersonation, &impersonation)
                          ? impersonation
                          : nullptr);
}

} // namespace

BOOL(WINAPI* g_pfnSetProcessMitigationPolicy)
(int, PVOID, SIZE_T) = reinterpret_cast<BOOL(WINAPI*)(int, PVOID, SIZE_T)>(
    reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetProcessMitigationPolicy")));

UserRights::UserRights()
{
    ScopedFile copy = RestrictedCopy();
    m_worn = copy && SetThreadToken(nullptr, copy.get());
}

UserRights::~UserRights()
{
    if (m_worn)
        RevertToSelf();
}

bool TrustOnlyAdministratorsRedirections()
{
    DWORD policy = kEnforceRedirectionTrust;
    return g_pfnSetProcessMitigationPolicy &&
           g_pfnSetProcessMitigationPolicy(kProcessRedirectionTrustPolicy, &policy, sizeof policy);
}
