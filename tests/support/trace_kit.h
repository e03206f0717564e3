// The trace kit: seeds every trace the seventeen cleaning steps remove and the canaries that must
// survive them, reports which remain, and gives the tests their file and registry helpers.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace trace_kit {

struct TraceState {
    std::string name;
    int step;     // the catalogue step that removes it; 0 for a canary
    int alsoStep; // another step that removes it too on this platform; 0 for none
    bool present;
};

// Seeds every trace and canary (idempotent); returns the names of those that could not be seeded.
std::vector<std::string> Seed();
std::vector<TraceState> Report();
bool IsPresent(const std::string& name);

// Wine cannot make links, so the host does: a link named LinkName() in each of LinkFolders() to
// OutsideFolder(), ProfileLink() to the profile folder and NativeSystemLink() to the native system
// directory (Sysnative).
std::string OutsideFolder();
std::vector<std::string> LinkFolders();
const char* LinkName();
std::string ProfileLink();
std::string NativeSystemLink();

// Paths are UTF-8 and taken in the \\?\ spelling, so that any name of any length can be made.
std::wstring Wide(const std::string& utf8);
bool Exists(const std::string& path);
bool MakeFolders(const std::string& path);
bool WriteBytes(const std::string& path, const std::string& bytes, DWORD attributes = FILE_ATTRIBUTE_NORMAL);
std::string ReadBytes(const std::string& path); // "<missing>" when it cannot be read
void RemoveTree(const std::string& path);       // links are neither followed nor removed
std::string TempFolder();                       // without its trailing separator
std::string WindowsFolder();
std::string SystemFolder();
std::string ShellFolder(int csidl); // created when missing
std::string ParentFolder(const std::string& path);
bool SetString(HKEY root, const std::string& key, const std::string& name, const std::string& value);
// The value as one REG_SZ string; "<none>" when it is not there, "<not one REG_SZ string>" when it is other data.
std::string GetString(HKEY root, const std::string& key, const std::string& name);
bool KeyExists(HKEY root, const std::string& key);      // also when it denies us reading it
std::string KeySddl(HKEY root, const std::string& key); // its DACL as SDDL; empty when unreadable
bool SetKeySddl(HKEY root, const std::string& key, const char* sddl);

} // namespace trace_kit
