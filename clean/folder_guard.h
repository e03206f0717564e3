// Which folders a cleaning step may wipe. Their paths come from settings that any program of the user
// can change (TEMP, the shell's folder locations), so each folder is judged by what it is, whatever
// spelling, link or drive letter leads there.
#pragma once

#include "framework/scoped_win.h"

#include <windows.h>
#include <winternl.h>

#include <memory>
#include <string>

// `path` in the \\?\ spelling, absolute and without trailing separators (a root keeps its own); empty
// when there is none.
std::wstring ExtendedPath(const wchar_t* path);

// Opens the folder that `path` (\\?\ spelling) leads to, through any link in it unless `options` holds
// FILE_OPEN_REPARSE_POINT, without the backup intent that would pass by access lists. Synchronous
// unless `access` leaves out SYNCHRONIZE. The open's status goes to `status` when given.
ScopedFile OpenFolderPath(const std::wstring& path, ACCESS_MASK access, ULONG share, ULONG options = 0,
                          NTSTATUS* status = nullptr);

// The folder above `path` (\\?\ spelling): "\\?\C:\" above "\\?\C:\x"; empty at a root or where
// nothing is above.
std::wstring Parent(const std::wstring& path);

// What a link opened as itself holds: where it leads (its stored target, as stored) and whether
// Administrators, SYSTEM or TrustedInstaller own it.
struct LinkInfo {
    std::wstring target;
    bool trusted = false;
};
// False when `link` is no link or its target cannot be read; `link` needs READ_CONTROL for the owner.
bool ReadLink(HANDLE link, LinkInfo& info);
// How the guard and the wiper read a link; a test may stand in for it.
extern bool (*g_pfnReadLink)(HANDLE link, LinkInfo& info);
// Where `stored`, read from the link at `link` (\\?\ spelling), leads, in the \\?\ spelling.
std::wstring LinkTarget(const std::wstring& link, const std::wstring& stored);

class FolderGuard {
public:
    FolderGuard();
    ~FolderGuard();
    FolderGuard(const FolderGuard&) = delete;
    FolderGuard& operator=(const FolderGuard&) = delete;
    // Learns where the system's, the programs' and the user's folders are and what they are (with the
    // calling thread's rights): at first, and again whenever the shell's folder locations may have changed.
    void Refresh();
    // After Refresh: true when `folder`, opened by `path` (\\?\ spelling), may not be wiped: a drive, share or volume
    // root (also a folder that a drive letter names, and anything under a letter that cannot be told);
    // the Windows folder or anything inside it but its Temp and History folders; a Program Files or
    // ProgramData folder or anything inside; a known folder of the user or the machine that no step
    // names, or a folder above one of these. By the path as given and by where the folder really is;
    // also when that cannot be told. A known folder that cannot be opened is judged by name, and by
    // where a link there leads.
    bool Refuses(HANDLE folder, const std::wstring& path);

private:
    struct Learnt;
    std::unique_ptr<Learnt> m_learnt;
};
