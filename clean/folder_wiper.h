// The folder wiper: empties a folder at any depth and keeps the folder itself.
#pragma once

#include <windows.h>
#include <winternl.h>

// Deletes every file and sub-folder inside `path`, by each name exactly as it is on disk and at any
// depth. "desktop.ini" is spared unless includeDesktopIni is nonzero; "index.dat" files are
// zero-filled past 64 bytes before deletion when overwriteIndexDat is nonzero. Links (name-surrogate
// reparse points) are neither entered nor removed; no folder of the tree is reached through a name
// twice, so one swapped for a link or another folder during the wipe is left alone. The guard lives
// here, so every caller gets it (see FolderGuard), and the wipe runs on the user's own rights (see
// UserRights). Returns false when the folder is refused or cannot be enumerated, or memory ran out;
// true otherwise.
bool WipeFolder(const wchar_t* path, BOOL includeDesktopIni, BOOL overwriteIndexDat) noexcept;

// How the wiper and its guard open every folder and file; a test may stand in for it.
extern NTSTATUS(NTAPI* g_pfnNtOpenFile)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, ULONG, ULONG);
// How the wiper asks for POSIX deletion; the benchmark stands in to time the classic way where the
// system offers both.
extern BOOL(WINAPI* g_pfnSetFileInformationByHandle)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD);
