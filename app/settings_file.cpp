// The settings file's name and record, apart from the dialog so they can be tried on crafted files.
#include "app/settings_file.h"

#include "framework/scoped_win.h"

#include <io.h>

#include <cstdint>
#include <cstring>

namespace {

const char kSettingsLeaf[] = "bri.sko";
const char kNewFileSuffix[] = ".new";

void StoreLe32(std::string& out, std::uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back((char)((value >> shift) & 0xFF));
}

std::uint32_t LoadLe32(const unsigned char* bytes)
{
    return (std::uint32_t)bytes[0] | (std::uint32_t)bytes[1] << 8 | (std::uint32_t)bytes[2] << 16 |
           (std::uint32_t)bytes[3] << 24;
}

// Four whole bytes from the file, or false when the file ends first.
bool ReadLe32(std::FILE* file, std::uint32_t& value)
{
    unsigned char bytes[4];
    if (std::fread(bytes, 1, sizeof bytes, file) != sizeof bytes)
        return false;
    value = LoadLe32(bytes);
    return true;
}

} // namespace

BOOL(WINAPI* g_pfnFlushFileBuffers)(HANDLE hFile) = ::FlushFileBuffers;
BOOL(WINAPI* g_pfnMoveFileExA)(LPCSTR lpExisting, LPCSTR lpNew, DWORD dwFlags) = ::MoveFileExA;

namespace {

// Where the old file may not be replaced (an elevated Brisko's real file, seen by a standard user's
// VirtualStore), the record goes into it: not truncated first, the whole record in one write, then
// its end, then to the disk. Only a power cut inside this write can leave a mixed file.
bool WriteInPlace(const char* path, const std::string& bytes)
{
    ScopedFile file(::CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    DWORD written = 0;
    return file && ::WriteFile(file.get(), bytes.data(), (DWORD)bytes.size(), &written, nullptr) &&
           written == bytes.size() && ::SetEndOfFile(file.get()) && g_pfnFlushFileBuffers(file.get());
}

} // namespace

bool JoinSettingsName(const char* systemDir, char (&name)[kSettingsNameSize])
{
    name[0] = '\0';
    size_t dirLength = std::strlen(systemDir);
    if (dirLength + sizeof kSettingsLeaf > kSettingsNameSize)
        return false;
    std::memcpy(name, systemDir, dirLength);
    std::memcpy(name + dirLength, kSettingsLeaf, sizeof kSettingsLeaf);
    return true;
}

bool SettingsFileName(char (&name)[kSettingsNameSize])
{
    char systemDir[kSettingsNameSize];
    UINT length = ::GetSystemDirectoryA(systemDir, sizeof systemDir);
    // A result as large as the buffer is the size it would have needed: nothing was copied.
    if (length == 0 || length >= sizeof systemDir) {
        name[0] = '\0';
        return false;
    }
    return JoinSettingsName(systemDir, name);
}

std::string EncodeSettings(const SettingsRecord& record)
{
    std::string bytes;
    bytes.reserve(4 * (kSettingsFlagCount + 1) + record.minutes.size());
    for (BOOL flag : record.flags)
        StoreLe32(bytes, (std::uint32_t)flag);
    StoreLe32(bytes, (std::uint32_t)record.minutes.size());
    bytes += record.minutes;
    return bytes;
}

bool ReadSettingsFile(const char* path, SettingsRecord& record)
{
    ScopedStdFile file(std::fopen(path, "rb"));
    if (!file)
        return false;
    for (BOOL& flag : record.flags) {
        std::uint32_t value;
        if (ReadLe32(file.get(), value))
            flag = (BOOL)value;
    }
    // The length is unsigned: a negative one is a huge one, and the buffer bounds both.
    std::uint32_t length = 0;
    if (!ReadLe32(file.get(), length))
        length = 0;
    char text[kMinutesTextSize];
    size_t wanted = length < kMinutesTextSize - 1 ? (size_t)length : kMinutesTextSize - 1;
    size_t got = std::fread(text, 1, wanted, file.get());
    text[got] = '\0';
    record.minutes = text;
    return true;
}

bool WriteSettingsFile(const char* path, const SettingsRecord& record)
{
    const std::string bytes = EncodeSettings(record);
    const std::string newPath = std::string(path) + kNewFileSuffix;
    ScopedStdFile file(std::fopen(newPath.c_str(), "wb"));
    if (!file)
        return false;
    // On the disk before it takes the old file's place: a logoff or a power cut right after the
    // replace must find the new record whole, not an empty file.
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size() &&
                   std::fflush(file.get()) == 0 &&
                   g_pfnFlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file.get()))));
    written = std::fclose(file.release()) == 0 && written;
    if (written && g_pfnMoveFileExA(newPath.c_str(), path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    const DWORD error = ::GetLastError();
    ::DeleteFileA(newPath.c_str());
    return written && error == ERROR_ACCESS_DENIED && WriteInPlace(path, bytes);
}
