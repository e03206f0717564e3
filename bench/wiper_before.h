// The folder wiper as it was, for the benchmark to time beside today's.
#pragma once

#include <windows.h>

namespace before {
bool WipeFolder(const wchar_t* path, BOOL includeDesktopIni, BOOL overwriteIndexDat);
}
