// The rights a folder wipe runs on. An elevated Brisko wipes folders whose paths any program of the
// user can change; with the administrator's rights it could be steered into deleting what only
// administrators may delete.
#pragma once

#include "framework/scoped_win.h"

#include <windows.h>

// Puts the calling thread on the user's own rights while it lives: a copy of the process's token with
// the Administrators group for deny only and every privilege removed but bypass-traverse (which every
// user holds, as Windows' own "no privileges" copy keeps it). Without elevation the copy grants what
// the token grants.
class UserRights {
public:
    UserRights();
    ~UserRights();
    UserRights(const UserRights&) = delete;
    UserRights& operator=(const UserRights&) = delete;
    bool Worn() const { return m_worn; } // false when the copy could not be made or put on

private:
    bool m_worn = false;
};

// Turns on the process's redirection trust policy (RedirectionGuard, Windows 11 22H2 on), so that no
// junction a standard user made is followed. False where the system refuses it: the wipes then walk
// their paths themselves to the same rule.
bool TrustOnlyAdministratorsRedirections();

// How the policy is set: SetProcessMitigationPolicy where the system has it, else null; a test may stand in.
extern BOOL(WINAPI* g_pfnSetProcessMitigationPolicy)(int policy, PVOID buffer, SIZE_T size);
