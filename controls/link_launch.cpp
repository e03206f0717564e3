// Opening the link: the shell first, then the ".htm" association's open command; failures explained.
#include "controls/link_static.h"
#include "framework/scoped_win.h"

#include <shellapi.h>

#include <mbstring.h>

#include <cstdio>
#include <cstring>

namespace {

struct LaunchErrorText {
    int code;
    const char* text;
};

const LaunchErrorText kLaunchErrors[] = {
    {0, "The operating system is out\nof memory or resources."},
    {SE_ERR_FNF, "The specified file was not found."},
    {SE_ERR_PNF, "The specified path was not found."},
    {SE_ERR_ACCESSDENIED, "The operating system denied\naccess to the specified file."},
    {SE_ERR_OOM, "There was not enough memory to complete the operation."},
    {ERROR_BAD_FORMAT, "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image)."},
    {SE_ERR_SHARE, "A sharing violation occurred. "},
    {SE_ERR_ASSOCINCOMPLETE, "The filename association is\nincomplete or invalid."},
    {SE_ERR_DDETIMEOUT, "The DDE transaction could not\nbe completed because the request timed out."},
    {SE_ERR_DDEFAIL, "The DDE transaction failed."},
    {SE_ERR_DDEBUSY,
     "The DDE transaction could not\nbe completed because other DDE transactions\nwere being processed."},
    {SE_ERR_NOASSOC, "There is no application associated\nwith the given filename extension."},
    {SE_ERR_DLLNOTFOUND, "The specified dynamic-link library was not found."},
};

const char kLaunchErrorPrefix[] = "Unable to open hyperlink:\n\n";
const char kOpenCommandKey[] = "\\shell\\open\\command";

} // namespace

bool ComposeLinkCommand(char* command, size_t size, const char* address)
{
    size_t length = strnlen(command, size);
    if (length == size)
        return false;
    // The quoted marker wins even where a bare one comes earlier.
    const unsigned char* start = reinterpret_cast<const unsigned char*>(command);
    const unsigned char* quoted = _mbsstr(start, reinterpret_cast<const unsigned char*>("\"%1\""));
    const char* cut = quoted != nullptr ? command + (quoted - start) : std::strstr(command, "%1");
    size_t kept = cut != nullptr ? (size_t)(cut - command) : length;
    size_t addressLength = std::strlen(address);
    if (kept + 1 + addressLength >= size)
        return false;
    command[kept] = ' ';
    std::memcpy(command + kept + 1, address, addressLength + 1);
    return true;
}

void CLinkStatic::OnClicked()
{
    int result = OpenUrl(m_strUrl.c_str(), SW_SHOW);
    m_bVisited = result > 32;
    if (m_bVisited) {
        SetVisited(TRUE);
    } else {
        ::MessageBeep(MB_ICONEXCLAMATION);
        ShowLaunchError(result);
    }
}

int CLinkStatic::OpenUrl(const char* url, int nShowCmd)
{
    // The shell's answer is an instance handle only in name: its value is the result code.
    INT_PTR shellResult = reinterpret_cast<INT_PTR>(::ShellExecuteA(nullptr, "open", url, nullptr, nullptr, nShowCmd));
    if ((UINT_PTR)shellResult > 32)
        return (int)shellResult;

    char command[kLinkCommandSize];
    if (ReadKeyDefault(HKEY_CLASSES_ROOT, ".htm", command) != ERROR_SUCCESS)
        return (int)shellResult;
    size_t length = std::strlen(command);
    if (length + sizeof kOpenCommandKey > sizeof command)
        return (int)shellResult;
    std::memcpy(command + length, kOpenCommandKey, sizeof kOpenCommandKey);
    if (ReadKeyDefault(HKEY_CLASSES_ROOT, command, command) != ERROR_SUCCESS)
        return (int)shellResult;
    if (!ComposeLinkCommand(command, sizeof command, url))
        return (int)shellResult;
    return (int)::WinExec(command, (UINT)nShowCmd);
}

LONG CLinkStatic::ReadKeyDefault(HKEY hRoot, const char* path, char* out)
{
    ScopedKey key;
    LONG error = key.Open(::RegOpenKeyExA, hRoot, path, 0, KEY_QUERY_VALUE);
    if (error != ERROR_SUCCESS)
        return error;

    // Read through a local buffer: `out` may be the buffer that holds `path`.
    char value[MAX_PATH] = {};
    LONG size = sizeof value;
    error = ::RegQueryValueA(key.get(), nullptr, value, &size);
    // A value that fills the buffer without its terminator is cut short: no usable association.
    if (error == ERROR_SUCCESS && std::memchr(value, '\0', sizeof value) == nullptr)
        error = ERROR_MORE_DATA;
    if (error != ERROR_SUCCESS)
        value[0] = '\0';
    std::memcpy(out, value, std::strlen(value) + 1);
    return error;
}

void CLinkStatic::ShowLaunchError(int nError)
{
    CString message = kLaunchErrorPrefix;
    const LaunchErrorText* known = nullptr;
    for (const LaunchErrorText& entry : kLaunchErrors) {
        if (entry.code == nError)
            known = &entry;
    }
    if (known != nullptr) {
        message += known->text;
    } else {
        char unknown[48];
        std::snprintf(unknown, sizeof unknown, "Unknown Error (%d) occurred.", nError);
        message += unknown;
    }
    AfxMessageBox(message.c_str(), MB_ICONEXCLAMATION, 0);
}
