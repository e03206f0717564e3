// The settings file: its name beside the system directory and its 84 + N byte record.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

const size_t kSettingsFlagCount = 20;
const size_t kSettingsNameSize = 200; // the file name buffer
const size_t kMinutesTextSize = 200;  // the reader's text buffer, terminator included

// The stored part of the option record, flags in file order.
struct SettingsRecord {
    BOOL flags[kSettingsFlagCount];
    std::string minutes;
};

// Joins "bri.sko" straight onto the directory path; false (name empty) when it does not fit.
bool JoinSettingsName(const char* systemDir, char (&name)[kSettingsNameSize]);
// The settings file of this system; false when the system directory cannot be had or is too long.
bool SettingsFileName(char (&name)[kSettingsNameSize]);

// The record's bytes: twenty flags, the text length and the text, all integers little-endian.
std::string EncodeSettings(const SettingsRecord& record);
// Reads the file over the record. Flags the file does not hold in full keep their value; the minutes
// text becomes what the file holds of it (at most 199 bytes, up to a zero byte). False when the file
// cannot be opened, leaving the record as it was.
bool ReadSettingsFile(const char* path, SettingsRecord& record);
// Writes the whole record to a new file beside the path, flushes it to the disk, then puts it in the
// path's place, so a save that fails leaves the previous file as it was. Where the old file may not
// be replaced (access denied), the record is written into it instead.
bool WriteSettingsFile(const char* path, const SettingsRecord& record);
// Seams for a flush to the disk that fails and a refused replace, which Wine does not do on demand.
extern BOOL(WINAPI* g_pfnFlushFileBuffers)(HANDLE hFile);
extern BOOL(WINAPI* g_pfnMoveFileExA)(LPCSTR lpExisting, LPCSTR lpNew, DWORD dwFlags);
