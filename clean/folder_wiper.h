// The folder wiper: empties a folder at any depth and keeps the folder itself.
#pragma once

#include <windows.h>

// Deletes every file and sub-folder inside `path`. "desktop.ini" is spared unless includeDesktopIni
// is nonzero; "index.dat" files are zero-filled past 64 bytes before deletion when overwriteIndexDat
// is nonzero. Links (reparse points) are neither entered nor removed. The guard lives here, so every
// caller gets it: a folder that is a drive root, the Windows or system directory or an ancestor of
// either, the profile folder or an ancestor of it, or Program Files is refused like a missing one.
// Returns false when the folder is refused or cannot be enumerated, true otherwise.
bool WipeFolder(const char* path, BOOL includeDesktopIni, BOOL overwriteIndexDat);

// Zero-fills folder\name from offset 64 to its end, keeping its length. False when it cannot be
// opened for writing.
bool OverwriteIndexFile(const char* folder, const char* name);

// True when wiping `path` would reach the system, the profile or the programs (see WipeFolder).
bool IsProtectedFolder(const char* path);
