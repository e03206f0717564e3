// Rules of the main window that need no window.
#include "app/dialog_rules.h"

#include <cstdio>
#include <cstring>
#include <cwchar>

namespace {

const UINT kMillisecondsPerMinute = 60000;
const wchar_t kHideSuffix[] = L"  hide";

// Paths compare as the file system does: letter case aside, nothing else.
bool SamePath(const wchar_t* a, const std::wstring& b)
{
    return ::CompareStringOrdinal(a, (int)b.size(), b.c_str(), (int)b.size(), TRUE) == CSTR_EQUAL;
}

} // namespace

bool IsHiddenStart(const char* cmdLine) { return cmdLine != nullptr && cmdLine[0] == 'h'; }

bool MinutesToPeriod(const char* minutes, UINT& period)
{
    int n = 0;
    if (std::sscanf(minutes, "%d", &n) != 1 || n <= 0)
        return false;
    // 32-bit arithmetic as stored; unsigned so that no text can make it undefined.
    period = (UINT)n * kMillisecondsPerMinute;
    return true;
}

// Quoted, or Windows would try "C:\Program.exe" first for "C:\Program Files\...".
std::wstring StartupEntryData(const std::wstring& path) { return L'"' + path + L'"' + kHideSuffix; }

bool EntryStartsProgram(const wchar_t* data, const std::wstring& path)
{
    const bool quoted = data[0] == L'"';
    const wchar_t* rest = data + quoted;
    if (std::wcslen(rest) < path.size() || !SamePath(rest, path))
        return false;
    rest += path.size();
    if (quoted && *rest++ != L'"')
        return false;
    return *rest == L'\0' || *rest == L' ' || *rest == L'\t';
}

int CentredIconOrigin(int clientExtent, int iconExtent) { return (clientExtent - iconExtent + 1) / 2; }
