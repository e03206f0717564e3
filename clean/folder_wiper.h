// The folder wiper: empties a folder at any depth and keeps the folder itself.
#pragma once

#include <windows.h>
#include <winternl.h>

// Deletes every file and sub-folder inside `path`, by each name exactly as it is on disk and at any
// depth. "desktop.ini" is spared unless includeDesktopIni is nonzero; "index.dat" files are
// zero-filled past 64 bytes before deletion when overwriteIndexDat is nonzero. Links (name-surrogate
// reparse points) are neither entered nor removed; no folder of the tree is reached through a name
// twice, so one swapped for a link or another folder during the wipe is left alone. The guard lives
// here, so every caller gets it: see IsProtectedFolder.
// Returns false when the folder is refused or cannot be enumerated, true otherwise.
bool WipeFolder(const wchar_t* path, BOOL includeDesktopIni, BOOL overwriteIndexDat);

// True when wiping `path` would reach the system, the profile or the programs: a folder that is, by
// file identity, a drive root, the Windows or a system directory (the native one too), the profile,
// Documents, the Desktop or a Program Files, or an ancestor of one of them, whatever spelling or
// link leads there; also when the folder cannot be opened to tell.
bool IsProtectedFolder(const wchar_t* path);

// How the wiper opens every entry, relative to its folder's handle; a test may stand in for it.
extern NTSTATUS(NTAPI* g_pfnNtOpenFile)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, ULONG, ULONG);
