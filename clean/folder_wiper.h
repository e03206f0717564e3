// The folder wiper: empties a folder at any depth and keeps the folder itself.
#pragma once

#include "clean/folder_guard.h"

#include <windows.h>
#include <winternl.h>

// Deletes every file and sub-folder inside `path`, by each name exactly as it is on disk and at any
// depth. "desktop.ini" is spared unless includeDesktopIni is nonzero; "index.dat" files are
// zero-filled past 64 bytes before deletion when overwriteIndexDat is nonzero. Links (name-surrogate
// reparse points) are neither entered nor removed; no folder of the tree is reached through a name
// twice, so one swapped for a link or another folder during the wipe is left alone. The guard lives
// here, so every caller gets it (see FolderGuard), and the wipe runs on the user's own rights (see
// UserRights). Returns false when the folder is refused or cannot be enumerated, or memory ran out;
// true otherwise. Inside a WipeRun it tells the run what it left.
bool WipeFolder(const wchar_t* path, BOOL includeDesktopIni, BOOL overwriteIndexDat) noexcept;

// The wipes of one cleaning run, on the run's thread, while it lives: their guard learns the machine
// once for them all (again only when the shell's folder locations change), and they tell the run what
// they left. A wipe outside a run learns afresh.
class WipeRun {
public:
    WipeRun();
    ~WipeRun();
    WipeRun(const WipeRun&) = delete;
    WipeRun& operator=(const WipeRun&) = delete;
    // Whether a wipe since the last call was refused or could not reach or list its folder (one that
    // does not exist is clean); the next call starts afresh.
    bool TakeSkipped();
    // Entries that stayed because another program had them in use.
    unsigned InUse() const { return inUse; }

    FolderGuard guard;
    bool skipped = false;
    unsigned inUse = 0;

private:
    WipeRun* m_outer;
};

// How the wiper and its guard open every folder and file; a test may stand in for it.
extern NTSTATUS(NTAPI* g_pfnNtOpenFile)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, ULONG, ULONG);
// How the wiper asks for POSIX deletion; the benchmark stands in to time the classic way where the
// system offers both.
extern BOOL(WINAPI* g_pfnSetFileInformationByHandle)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD);
