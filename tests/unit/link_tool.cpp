// Stands in for a browser and for the help program: records the command line it was started with
// in the file named by BRISKO_LINK_LOG, and carries a cursor 106 of its own.
#include <windows.h>

#include <string>

int main()
{
    char log[MAX_PATH];
    DWORD length = ::GetEnvironmentVariableA("BRISKO_LINK_LOG", log, sizeof log);
    if (length == 0 || length >= sizeof log)
        return 1;
    // Written beside the log and renamed, so a reader never sees half a line.
    std::string partial = std::string(log) + ".part";
    HANDLE file =
        ::CreateFileA(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    const char* line = ::GetCommandLineA();
    DWORD written = 0;
    BOOL ok = ::WriteFile(file, line, (DWORD)lstrlenA(line), &written, nullptr);
    ::CloseHandle(file);
    if (!ok || !::MoveFileExA(partial.c_str(), log, MOVEFILE_REPLACE_EXISTING))
        return 1;
    return 0;
}
