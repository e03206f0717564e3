// Small file and registry helpers for tests that build real trees and keys in the sandbox.
#pragma once

#include <windows.h>

#include <string>

namespace trace_kit {

// Paths here are UTF-8, so that any name, of any length, can be made and checked.
std::wstring Wide(const std::string& utf8);
std::string Utf8(const std::wstring& wide);

bool Exists(const std::string& path);
bool IsFolder(const std::string& path);
// Creates the folder and every missing parent.
bool MakeFolders(const std::string& path);
// Creates or replaces a file holding `bytes`, creating its folder first.
bool WriteBytes(const std::string& path, const std::string& bytes, DWORD attributes = FILE_ATTRIBUTE_NORMAL);
// The whole content of a file, or empty.
std::string ReadBytes(const std::string& path);
// Deletes a file or a folder tree (links within it are removed, never followed).
void RemoveTree(const std::string& path);

std::string TempFolder(); // the system temp path without its trailing separator
std::string WindowsFolder();
std::string SystemFolder();
std::string ShellFolder(int csidl); // created when missing; empty when it cannot be located
// The folder above `path`.
std::string ParentFolder(const std::string& path);

bool SetString(HKEY root, const std::string& key, const std::string& name, const std::string& value);
bool KeyExists(HKEY root, const std::string& key);
bool ValueExists(HKEY root, const std::string& key, const std::string& name);
void DeleteKeyTree(HKEY root, const std::string& key);

} // namespace trace_kit
