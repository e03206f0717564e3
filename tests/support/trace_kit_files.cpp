// Small file and registry helpers for tests that build real trees and keys in the sandbox.
#include "tests/support/trace_kit_files.h"

#include "framework/scoped_win.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <cwchar>

namespace trace_kit {

namespace {

// An absolute path in the \\?\ spelling: names are taken as they are, at any length.
std::wstring FilePath(const std::string& path)
{
    std::wstring wide = Wide(path);
    return wide.size() > 2 && wide[1] == L':' && wide[2] == L'\\' ? L"\\\\?\\" + wide : wide;
}

} // namespace

std::wstring Wide(const std::string& utf8)
{
    int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(length, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], length);
    return wide;
}

std::string Utf8(const std::wstring& wide)
{
    int length =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(length, '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &utf8[0], length, nullptr, nullptr);
    return utf8;
}

bool Exists(const std::string& path) { return GetFileAttributesW(FilePath(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

bool IsFolder(const std::string& path)
{
    DWORD attributes = GetFileAttributesW(FilePath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool MakeFolders(const std::string& path)
{
    if (path.empty() || IsFolder(path))
        return true;
    size_t slash = path.find_last_of('\\');
    if (slash != std::string::npos && slash > 2 && !MakeFolders(path.substr(0, slash)))
        return false;
    return CreateDirectoryW(FilePath(path).c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool WriteBytes(const std::string& path, const std::string& bytes, DWORD attributes)
{
    size_t slash = path.find_last_of('\\');
    if (slash != std::string::npos && !MakeFolders(path.substr(0, slash)))
        return false;
    const std::wstring name = FilePath(path);
    if (Exists(path))
        SetFileAttributesW(name.c_str(), FILE_ATTRIBUTE_NORMAL);
    ScopedFile file(
        CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    DWORD written = 0;
    if (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size())
        return false;
    return attributes == FILE_ATTRIBUTE_NORMAL || SetFileAttributesW(name.c_str(), attributes);
}

std::string ReadBytes(const std::string& path)
{
    ScopedFile file(CreateFileW(FilePath(path).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
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
    const std::wstring name = FilePath(path);
    DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return;
    SetFileAttributesW(name.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteFileW(name.c_str());
        return;
    }
    WIN32_FIND_DATAW entry;
    {
        ScopedFind find(FindFirstFileW((name + L"\\*").c_str(), &entry));
        if (find) {
            do {
                if (std::wcscmp(entry.cFileName, L".") && std::wcscmp(entry.cFileName, L".."))
                    RemoveTree(path + '\\' + Utf8(entry.cFileName));
            } while (FindNextFileW(find.get(), &entry));
        }
    }
    RemoveDirectoryW(name.c_str());
}

std::string TempFolder()
{
    wchar_t path[MAX_PATH] = L"";
    DWORD length = GetTempPathW(MAX_PATH, path);
    if (length == 0 || length > MAX_PATH)
        return std::string();
    std::string folder = Utf8(std::wstring(path, length));
    while (!folder.empty() && folder.back() == '\\')
        folder.pop_back();
    return folder;
}

std::string WindowsFolder()
{
    wchar_t path[MAX_PATH] = L"";
    UINT length = GetWindowsDirectoryW(path, MAX_PATH);
    return length && length < MAX_PATH ? Utf8(std::wstring(path, length)) : std::string();
}

std::string SystemFolder()
{
    wchar_t path[MAX_PATH] = L"";
    UINT length = GetSystemDirectoryW(path, MAX_PATH);
    return length && length < MAX_PATH ? Utf8(std::wstring(path, length)) : std::string();
}

std::string ShellFolder(int csidl)
{
    wchar_t path[MAX_PATH] = L"";
    return SHGetSpecialFolderPathW(nullptr, path, csidl, TRUE) ? Utf8(path) : "";
}

std::string ParentFolder(const std::string& path) { return path.substr(0, path.find_last_of('\\')); }

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
