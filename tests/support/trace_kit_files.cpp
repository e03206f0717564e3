// Small file and registry helpers for tests that build real trees and keys in the sandbox.
#include "tests/support/trace_kit_files.h"

#include "framework/scoped_win.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <cstring>

namespace trace_kit {

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool IsFolder(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool MakeFolders(const std::string& path)
{
    if (path.empty() || IsFolder(path))
        return true;
    size_t slash = path.find_last_of('\\');
    if (slash != std::string::npos && slash > 2 && !MakeFolders(path.substr(0, slash)))
        return false;
    return CreateDirectoryA(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool WriteBytes(const std::string& path, const std::string& bytes, DWORD attributes)
{
    size_t slash = path.find_last_of('\\');
    if (slash != std::string::npos && !MakeFolders(path.substr(0, slash)))
        return false;
    if (Exists(path))
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    ScopedFile file(
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    DWORD written = 0;
    if (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size())
        return false;
    return attributes == FILE_ATTRIBUTE_NORMAL || SetFileAttributesA(path.c_str(), attributes);
}

std::string ReadBytes(const std::string& path)
{
    ScopedFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return std::string();
    DWORD size = GetFileSize(file.get(), nullptr);
    if (size == INVALID_FILE_SIZE)
        return std::string();
    std::string bytes(size, '\0');
    DWORD read = 0;
    if (size && !ReadFile(file.get(), &bytes[0], size, &read, nullptr))
        return std::string();
    bytes.resize(read);
    return bytes;
}

void RemoveTree(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return;
    SetFileAttributesA(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteFileA(path.c_str());
        return;
    }
    WIN32_FIND_DATAA entry;
    {
        ScopedFind find(FindFirstFileA((path + "\\*").c_str(), &entry));
        if (find) {
            do {
                if (std::strcmp(entry.cFileName, ".") && std::strcmp(entry.cFileName, ".."))
                    RemoveTree(path + '\\' + entry.cFileName);
            } while (FindNextFileA(find.get(), &entry));
        }
    }
    RemoveDirectoryA(path.c_str());
}

std::string TempFolder()
{
    char path[MAX_PATH] = "";
    DWORD length = GetTempPathA(MAX_PATH, path);
    if (length == 0 || length > MAX_PATH)
        return std::string();
    std::string folder(path, length);
    while (!folder.empty() && folder.back() == '\\')
        folder.pop_back();
    return folder;
}

std::string WindowsFolder()
{
    char path[MAX_PATH] = "";
    UINT length = GetWindowsDirectoryA(path, MAX_PATH);
    return length && length < MAX_PATH ? std::string(path, length) : std::string();
}

std::string SystemFolder()
{
    char path[MAX_PATH] = "";
    UINT length = GetSystemDirectoryA(path, MAX_PATH);
    return length && length < MAX_PATH ? std::string(path, length) : std::string();
}

std::string ShellFolder(int csidl)
{
    char path[MAX_PATH] = "";
    return SHGetSpecialFolderPathA(nullptr, path, csidl, TRUE) ? path : "";
}

bool SetString(HKEY root, const std::string& key, const std::string& name, const std::string& value)
{
    HKEY raw = nullptr;
    if (RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &raw, nullptr) != ERROR_SUCCESS)
        return false;
    ScopedKey opened(raw);
    return RegSetValueExA(raw, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

bool KeyExists(HKEY root, const std::string& key)
{
    HKEY raw = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &raw) != ERROR_SUCCESS)
        return false;
    ScopedKey opened(raw);
    return true;
}

bool ValueExists(HKEY root, const std::string& key, const std::string& name)
{
    return SHGetValueA(root, key.c_str(), name.c_str(), nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

void DeleteKeyTree(HKEY root, const std::string& key) { SHDeleteKeyA(root, key.c_str()); }

} // namespace trace_kit
