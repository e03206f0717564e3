// The kit's file and registry helpers: wide calls and \\?\ paths, so that any name can be made.
#include "tests/support/trace_kit.h"

#include "framework/scoped_win.h"

#include <sddl.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cstring>
#include <cwchar>

namespace trace_kit {

namespace {

std::wstring FilePath(const std::string& path)
{
    const std::wstring wide = Wide(path);
    return wide.size() > 2 && wide[1] == L':' && wide[2] == L'\\' ? L"\\\\?\\" + wide : wide;
}

std::string Utf8(const wchar_t* wide)
{
    std::string utf8(WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, &utf8[0], static_cast<int>(utf8.size()), nullptr, nullptr);
    utf8.resize(utf8.empty() ? 0 : utf8.size() - 1); // without the terminator
    return utf8;
}

std::string Folder(UINT(WINAPI* get)(LPSTR, UINT))
{
    char path[MAX_PATH] = "";
    return std::string(path, get(path, MAX_PATH));
}

} // namespace

std::wstring Wide(const std::string& utf8)
{
    std::wstring wide(MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &wide[0], static_cast<int>(wide.size()));
    wide.resize(wide.empty() ? 0 : wide.size() - 1);
    return wide;
}

bool Exists(const std::string& path) { return GetFileAttributesW(FilePath(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

bool MakeFolders(const std::string& path)
{
    const size_t slash = path.find_last_of('\\');
    return path.empty() || Exists(path) ||
           ((slash == std::string::npos || slash <= 2 || MakeFolders(path.substr(0, slash))) &&
            CreateDirectoryW(FilePath(path).c_str(), nullptr));
}

bool WriteBytes(const std::string& path, const std::string& bytes, DWORD attributes)
{
    const std::wstring name = FilePath(path);
    DWORD written = 0;
    SetFileAttributesW(name.c_str(), FILE_ATTRIBUTE_NORMAL);
    {
        ScopedFile file(MakeFolders(ParentFolder(path))
                            ? CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr)
                            : nullptr);
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
    std::string bytes(file ? GetFileSize(file.get(), nullptr) : 0, '\0');
    DWORD read = 0;
    if (!file || !ReadFile(file.get(), &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr))
        return "<missing>";
    return bytes.substr(0, read);
}

void RemoveTree(const std::string& path)
{
    const std::wstring name = FilePath(path);
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return;
    SetFileAttributesW(name.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        WIN32_FIND_DATAW entry;
        ScopedFind find(FindFirstFileW((name + L"\\*").c_str(), &entry));
        for (bool more = static_cast<bool>(find); more; more = FindNextFileW(find.get(), &entry)) {
            if (std::wcscmp(entry.cFileName, L".") && std::wcscmp(entry.cFileName, L".."))
                RemoveTree(path + '\\' + Utf8(entry.cFileName));
        }
    }
    (attributes & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryW(name.c_str()) : DeleteFileW(name.c_str());
}

std::string TempFolder()
{
    char path[MAX_PATH] = "";
    const std::string folder(path, GetTempPathA(MAX_PATH, path));
    return folder.substr(0, folder.find_last_not_of('\\') + 1);
}

std::string WindowsFolder() { return Folder(GetWindowsDirectoryA); }

std::string SystemFolder() { return Folder(GetSystemDirectoryA); }

std::string ShellFolder(int csidl)
{
    char path[MAX_PATH] = "";
    return SHGetSpecialFolderPathA(nullptr, path, csidl, TRUE) ? path : "";
}

std::string ParentFolder(const std::string& path) { return path.substr(0, path.find_last_of('\\')); }

bool SetString(HKEY root, const std::string& key, const std::string& name, const std::string& value)
{
    return !SHSetValueA(root, key.c_str(), name.c_str(), REG_SZ, value.c_str(), static_cast<DWORD>(value.size() + 1));
}

std::string GetString(HKEY root, const std::string& key, const std::string& name)
{
    char data[2 * MAX_PATH] = "";
    DWORD size = sizeof data - 1, type = 0;
    if (SHGetValueA(root, key.c_str(), name.c_str(), &type, data, &size) != ERROR_SUCCESS)
        return "<none>";
    return type == REG_SZ && size == std::strlen(data) + 1 ? data : "<not one REG_SZ string>";
}

bool KeyExists(HKEY root, const std::string& key)
{
    ScopedKey opened;
    const LONG result = opened.Open(RegOpenKeyExA, root, key.c_str(), 0, KEY_READ);
    return result == ERROR_SUCCESS || result == ERROR_ACCESS_DENIED;
}

std::string KeySddl(HKEY root, const std::string& key)
{
    char buffer[1024], *text = nullptr;
    DWORD size = sizeof buffer;
    ScopedKey opened;
    if (opened.Open(RegOpenKeyExA, root, key.c_str(), 0, READ_CONTROL) ||
        RegGetKeySecurity(opened.get(), DACL_SECURITY_INFORMATION, buffer, &size) != ERROR_SUCCESS ||
        !ConvertSecurityDescriptorToStringSecurityDescriptorA(buffer, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text,
                                                              nullptr))
        return std::string();
    const std::string sddl = text;
    LocalFree(text);
    return sddl;
}

bool SetKeySddl(HKEY root, const std::string& key, const char* sddl)
{
    PSECURITY_DESCRIPTOR sd = nullptr;
    ScopedKey opened;
    if (opened.Open(RegOpenKeyExA, root, key.c_str(), 0, WRITE_DAC) ||
        !ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &sd, nullptr))
        return false;
    const bool set = RegSetKeySecurity(opened.get(), DACL_SECURITY_INFORMATION, sd) == ERROR_SUCCESS;
    LocalFree(sd);
    return set;
}

} // namespace trace_kit
