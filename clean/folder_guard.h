// Which folders a cleaning step may wipe. Their paths come from settings that any program of the user
// can change (TEMP, the shell's folder locations), so each folder is judged by what it is, whatever
// spelling, link or drive letter leads there.
#pragma once

#include "framework/scoped_win.h"

#include <windows.h>

#include <string>
#include <vector>

// `path` in the \\?\ spelling, absolute and without trailing separators (a root keeps its own); empty
// when there is none.
std::wstring ExtendedPath(const wchar_t* path);

// Opens the folder that `path` (\\?\ spelling) leads to, through any link in it, without the
// backup intent that would pass by access lists.
ScopedFile OpenFolderPath(const std::wstring& path, ACCESS_MASK access, ULONG share);

// The folders the guard judges by, in the \\?\\ spelling.
struct GuardedFolders {
    bool known = false;               // the shell's list of known folders was read
    std::vector<std::wstring> inside; // refused with everything inside them
    std::vector<std::wstring> spared; // inside one of those, but wiped: the Windows Temp and History folders
    std::vector<std::wstring> above;  // refused with every folder above them
};

class FolderGuard {
public:
    // Learns where the system's, the programs' and the user's folders are (with the process's own rights).
    FolderGuard();
    // True when `folder`, opened by `path` (\\?\ spelling), may not be wiped: a drive, share or volume
    // root (also the root of a letter that names a folder); the Windows folder or anything inside it
    // but its Temp and History folders; a Program Files or ProgramData folder or anything inside; a
    // known folder of the user or the machine that no step names, or a folder above one of these. By
    // the path as given and by where the folder really is; also when that cannot be told.
    bool Refuses(HANDLE folder, const std::wstring& path) const;

private:
    GuardedFolders m_folders;
};
