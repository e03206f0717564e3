// The wide readers of the shell's and the system's folders.
#include "clean/system_paths.h"

#include "framework/scoped_win.h"

#include <shlobj.h>

std::wstring ShellFolderPath(int csidl)
{
    wchar_t path[MAX_PATH] = L"";
    return SHGetSpecialFolderPathW(nullptr, path, csidl, FALSE) ? path : L"";
}

std::wstring TempFolderPath()
{
    return ReadPath([](wchar_t* path, UINT size) { return GetTempPathW(size, path); });
}

std::wstring NativeProgramFilesPath()
{
    // The registry's 64-bit view names the native folder; 32-bit Windows has only the one view.
    ScopedKey key;
    if (key.Open(RegOpenKeyExW, HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion", 0,
                 KEY_QUERY_VALUE | KEY_WOW64_64KEY) != ERROR_SUCCESS)
        return std::wstring();
    wchar_t path[MAX_PATH] = L""; // the last character stays the terminator
    DWORD type = 0, size = sizeof path - sizeof path[0];
    const LONG read =
        RegQueryValueExW(key.get(), L"ProgramFilesDir", nullptr, &type, reinterpret_cast<BYTE*>(path), &size);
    return read == ERROR_SUCCESS && type == REG_SZ ? path : L"";
}
