// The step operations of the cleaning run: registry, shell and COM calls and folder wipes.
#include "clean/steps.h"

#include "clean/folder_wiper.h"
#include "clean/system_paths.h"
#include "clean/url_cache.h"
#include "framework/scoped_win.h"

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <urlhist.h>

#include <cstdio>
#include <string>

namespace {

// Defined here so that nothing depends on which GUIDs the import libraries carry.
const CLSID kClsidUrlHistory = {0x3C374A40, 0xBAE4, 0x11CF, {0xBF, 0x7D, 0x00, 0xAA, 0x00, 0x69, 0x46, 0xEE}};
const IID kIidUrlHistoryStg2 = {0xAFA0DC11, 0xC313, 0x11D0, {0x83, 0x1A, 0x00, 0xC0, 0x4F, 0xD5, 0xAE, 0x38}};

constexpr const char kTelnetKey[] = "Software\\Microsoft\\Telnet";
constexpr const char* kTelnetNumberedValues[] = {"Machine%d", "Service%d", "TermType%d"};
constexpr const char* kTelnetLastValues[] = {"LastMachine", "LastService", "LastTermType"};
constexpr int kTelnetEntries = 8;

struct RegistryValue {
    HKEY root;
    const char* key;
    const char* value;
};

const RegistryValue kLogonValues[] = {
    {HKEY_CURRENT_USER, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", "DefaultUserName"},
    {HKEY_CURRENT_USER, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", "AltDefaultUserName"},
    {HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Winlogon", "DefaultUserName"},
};

constexpr const char* kFindFilesKeys[] = {
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Doc Find Spec MRU",
    "Software\\Microsoft\\Internet Explorer\\Explorer Bars\\{C4EE31F3-4768-11D2-BE5C-00A0C9A83DA1}\\ContainingTextMRU",
    "Software\\Microsoft\\Internet Explorer\\Explorer Bars\\{C4EE31F3-4768-11D2-BE5C-00A0C9A83DA1}\\FilesNamedMRU",
};

constexpr const char* kFindComputerKeys[] = {
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FindComputerMRU",
    "Software\\Microsoft\\Internet Explorer\\Explorer Bars\\{C4EE31F3-4768-11D2-BE5C-00A0C9A83DA1}\\ComputerNameMRU",
};

// A folder that cannot be located leaves its wipe out.
void WipeFound(const std::wstring& path, BOOL includeDesktopIni, BOOL overwriteIndexDat)
{
    if (!path.empty())
        WipeFolder(path.c_str(), includeDesktopIni, overwriteIndexDat);
}

void WipeShellFolder(int csidl, BOOL includeDesktopIni, BOOL overwriteIndexDat)
{
    WipeFound(ShellFolderPath(csidl), includeDesktopIni, overwriteIndexDat);
}

void DeleteUserKey(const char* path) { SHDeleteKeyA(HKEY_CURRENT_USER, path); }

} // namespace

void CleanTempFiles()
{
    PurgeUrlCache(0);
    WipeShellFolder(CSIDL_INTERNET_CACHE, 0, 0);
}

void CleanCookies()
{
    PurgeUrlCache(1);
    WipeShellFolder(CSIDL_COOKIES, 0, 0);
}

void CleanTypedUrls() { DeleteUserKey("Software\\Microsoft\\Internet Explorer\\TypedURLs"); }

void CleanIntelliForms() { DeleteUserKey("Software\\Microsoft\\Internet Explorer\\IntelliForms"); }

void CleanFavorites() { WipeShellFolder(CSIDL_FAVORITES, 0, 0); }

void CleanAutoDial() { DeleteUserKey("Software\\Microsoft\\RAS Autodial\\Addresses"); }

void CleanSystemTemp() { WipeFound(TempFolderPath(), 1, 0); }

void EmptyRecycleBin()
{
    SHEmptyRecycleBinA(nullptr, nullptr, SHERB_NOCONFIRMATION | SHERB_NOPROGRESSUI | SHERB_NOSOUND);
}

void CleanRunMru() { DeleteUserKey("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RunMRU"); }

void CleanRecentDocs()
{
    WipeShellFolder(CSIDL_RECENT, 0, 0);
    DeleteUserKey("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RecentDocs");
}

void CleanLogonNames()
{
    for (const RegistryValue& logon : kLogonValues)
        SHDeleteValueA(logon.root, logon.key, logon.value);
}

void CleanFindFilesMru()
{
    for (const char* key : kFindFilesKeys)
        DeleteUserKey(key);
}

void CleanFindComputerMru()
{
    for (const char* key : kFindComputerKeys)
        DeleteUserKey(key);
}

void CleanNetHood() { WipeShellFolder(CSIDL_NETHOOD, 0, 0); }

void CleanTelnetHistory()
{
    char name[32];
    for (int n = 1; n <= kTelnetEntries; ++n) {
        for (const char* format : kTelnetNumberedValues) {
            std::snprintf(name, sizeof name, format, n);
            SHDeleteValueA(HKEY_CURRENT_USER, kTelnetKey, name);
        }
    }
    for (const char* value : kTelnetLastValues)
        SHDeleteValueA(HKEY_CURRENT_USER, kTelnetKey, value);
}

void CleanHistoryItems()
{
    IUrlHistoryStg2* raw = nullptr;
    if (SUCCEEDED(CoCreateInstance(kClsidUrlHistory, nullptr, CLSCTX_INPROC_SERVER, kIidUrlHistoryStg2,
                                   reinterpret_cast<void**>(&raw)))) {
        ScopedCom<IUrlHistoryStg2> history(raw);
        history->ClearHistory();
    }

    const std::wstring windows = ReadPath(GetWindowsDirectoryW);
    WipeFound(windows.empty() ? windows : windows + L"\\History", 0, 1);
    WipeShellFolder(CSIDL_HISTORY, 0, 1);
}
