// jail_probe.exe PATH...: tries to create each file, as a faulty wipe would reach it, and prints
// "created" or "refused" and the error, a line each. The host checks where the files appear.
#include <windows.h>

#include <shellapi.h>

#include <cstdio>

int main()
{
    int count = 0;
    wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (args == nullptr)
        return 2;
    for (int i = 1; i < count; ++i) {
        HANDLE file = CreateFileW(args[i], GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            std::printf("refused %lu\t%ls\n", GetLastError(), args[i]);
            continue;
        }
        DWORD written = 0;
        WriteFile(file, "probe", 5, &written, nullptr);
        CloseHandle(file);
        std::printf("created\t%ls\n", args[i]);
    }
    LocalFree(args);
    return 0;
}
