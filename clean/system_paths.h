// Where Windows keeps its folders, read with the wide calls; each is empty when the platform cannot say.
#pragma once

#include <windows.h>

#include <string>

// The path that `get` writes into a buffer of MAX_PATH characters and whose length it returns (as
// GetWindowsDirectoryW does); empty when the call fails or the path does not fit.
template <typename Get> std::wstring ReadPath(Get get)
{
    wchar_t path[MAX_PATH] = L"";
    const auto length = get(path, MAX_PATH);
    return length != 0 && length < MAX_PATH ? std::wstring(path, length) : std::wstring();
}

std::wstring ShellFolderPath(int csidl); // a CSIDL folder; a missing one is not created
std::wstring TempFolderPath();
std::wstring NativeProgramFilesPath(); // the 64-bit Program Files, also for the 32-bit program
