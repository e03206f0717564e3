// The folder wiper: empties a folder at any depth and keeps the folder itself.
#pragma once

#include <windows.h>

// Deletes every file and sub-folder inside `path`, by each name exactly as it is on disk and at any
// depth. "desktop.ini" is spared unless includeDesktopIni is nonzero; "index.dat" files are
// zero-filled past 64 bytes before deletion when overwriteIndexDat is nonzero. Links (reparse
// points) are neither entered nor removed. The guard lives here, so every caller gets it: a folder
// that is, by file identity, a drive root, the Windows or system directory, the profile folder or
// Program Files, or an ancestor of one of them, is refused like a missing one.
// Returns false when the folder is refused or cannot be enumerated, true otherwise.
bool WipeFolder(const wchar_t* path, BOOL includeDesktopIni, BOOL overwriteIndexDat);

// Zero-fills folder\name from offset 64 to its end, keeping its length. A file with more than one
// hard link shares its bytes with another name and is left as it is. False when it cannot be
// opened for writing or is such a shared file.
bool OverwriteIndexFile(const wchar_t* folder, const wchar_t* name);

// True when wiping `path` would reach the system, the profile or the programs (see WipeFolder),
// whatever spelling or link leads there; also when the folder cannot be opened to tell.
bool IsProtectedFolder(const wchar_t* path);
