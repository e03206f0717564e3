// The kit's file and registry helpers: wide calls and \\?\ paths, so that any name can be made.
#include "tests/support/trace_kit.h"

#include "framework/scoped_win.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <cwchar>

namespace trace_kit {

namespace {

std::wstring FilePath(const std::string& path)
{
    std::wstring wide = Wide(path);
    return wide.size() > 2 && wide[1] == L':' && wide[2] == L'\\' ? L"\\\\?\\" + wide : wide;
}

std::string Utf8(const wchar_t* wide, int length)
{
    std::string utf8(WideCharToMultiByte(CP_UTF8, 0, wide, length, nullptr, 0, nullptr, nullptr), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, length, &utf8[0], static_cast<int>(utf8.size()), nullptr, nullptr);
    return utf8;
}

} // namespace

std::wstring Wide(const std::string& utf8)
{
    std::wstring wide(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0],
                        static_cast<int>(wide.size()));
    return wide;
}

bool Exists(const std::string& path) { return GetFileAttributesW(FilePath(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

bool MakeFolders(const std::string& path)
{
    const size_t slash = path.find_last_of('\\');
    if (path.empty() || Exists(path))
        return true;
    return (slash == std::string::npos || slash <= 2 || MakeFolders(path.substr(0, slash))) &&
           CreateDirectoryW(FilePath(path).c_str(), nullptr);
}

bool WriteBytes(const std::string& path, const std::string& bytes, DWORD attributes)
{
    const std::wstring name = FilePath(path);
    if (!MakeFolders(ParentFolder(path)))
        return false;
    SetFileAttributesW(name.c_str(), FILE_ATTRIBUTE_NORMAL);
    DWORD written = 0;
    {
        ScopedFile file(CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        if (!file || !WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr))
            return false;
    }
    return written == bytes.size() && SetFileAttributesW(name.c_str(), attributes);
}

std::string ReadBytes(const std::string& path)
{
    ScopedFile file(CreateFileW(FilePath(path).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                                nullptr));
    if (!file)
        return "<missing>";
    std::string bytes(GetFileSize(file.get(), nullptr), '\0');
    DWORD read = 0;
    ReadFile(file.get(), &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr);
    return bytes.substr(0, read);
}

void RemoveTree(const std::string& path)
{
    const std::wstring name = FilePath(path);
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return;
    SetFileAttributesW(name.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteFileW(name.c_str());
        return;
    }
    {
        WIN32_FIND_DATAW entry;
        ScopedFind find(FindFirstFileW((name + L"\\*").c_str(), &entry));
        for (bool more = static_cast<bool>(find); more; more = FindNextFileW(find.get(), &entry)) {
            if (std::wcscmp(entry.cFileName, L".") && std::wcscmp(entry.cFileName, L".."))
                RemoveTree(path + '\\' + Utf8(entry.cFileName, -1).c_str());
        }
    }
    RemoveDirectoryW(name.c_str());
}

std::string TempFolder()
{
    wchar_t path[MAX_PATH] = L"";
    std::string folder = Utf8(path, static_cast<int>(GetTempPathW(MAX_PATH, path)));
    while (!folder.empty() && folder.back() == '\\')
        folder.pop_back();
    return folder;
}

std::string WindowsFolder()
{
    wchar_t path[MAX_PATH] = L"";
    return Utf8(path, static_cast<int>(GetWindowsDirectoryW(path, MAX_PATH)));
}

std::string SystemFolder()
{
    wchar_t path[MAX_PATH] = L"";
    return Utf8(path, static_cast<int>(GetSystemDirectoryW(path, MAX_PATH)));
}

std::string ShellFolder(int csidl)
{
    wchar_t path[MAX_PATH] = L"";
    return SHGetSpecialFolderPathW(nullptr, path, csidl, TRUE) ? Utf8(path, -1).c_str() : "";
}

std::string ParentFolder(const std::string& path) { return path.substr(0, path.find_last_of('\\')); }

bool SetString(HKEY root, const std::string& key, const std::string& name, const std::string& value)
{
    return SHSetValueA(root, key.c_str(), name.c_str(), REG_SZ, value.c_str(), static_cast<DWORD>(value.size() + 1)) ==
           ERROR_SUCCESS;
}

bool KeyExists(HKEY root, const std::string& key)
{
    HKEY raw = nullptr;
    const LONG result = RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &raw);
    ScopedKey opened(result == ERROR_SUCCESS ? raw : nullptr);
    return result == ERROR_SUCCESS || result == ERROR_ACCESS_DENIED;
}

} // namespace trace_kit
