// Rules of the main window that need no window.
#include "app/dialog_rules.h"

#include <cstdio>
#include <cstring>

namespace {

const UINT kMillisecondsPerMinute = 60000;
const char kHideSuffix[] = "  hide";

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

bool StartupEntryData(const char* path, DWORD length, DWORD limit, std::string& data)
{
    data.clear();
    // A result that reaches the limit is a cut path: it would start some other program at logon.
    if (length == 0 || length >= limit)
        return false;
    std::string module(path, length);
    // Unquoted, "C:\Program Files\..." could run C:\Program.exe instead.
    if (module.find(' ') != std::string::npos)
        data = '"' + module + '"';
    else
        data = module;
    data += kHideSuffix;
    return true;
}

int CentredIconOrigin(int clientExtent, int iconExtent) { return (clientExtent - iconExtent + 1) / 2; }
