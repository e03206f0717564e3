// The trace kit: every trace of the seventeen steps and the canaries beside them, as one table.
#include "tests/support/trace_kit.h"

#include "framework/scoped_win.h"

#include <windows.h>
#include <sddl.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <wininet.h>

#include <cstdio>
#include <cstring>

namespace trace_kit {

namespace {

enum class Kind {
    File,       // path; present when it exists
    Folder,     // path, seeded with a file inside; present when it exists
    Key,        // root + path, seeded with a value and a subkey; present when it exists
    LockedKey,  // a Key whose DACL then denies everyone everything; only its owner may change that
    KeyDacl,    // the DACL of key root + path, seeded to grant Everyone; present while it still does
    Value,      // root + path + name
    CacheEntry, // URL cache entry `path` of type `flags`, with a file of its own unless `name` is empty
    CacheFile,  // a file whose name begins with `name` anywhere below folder `path` (seeded by its entry)
    RecycleBin, // a deleted file `path` in the recycle bin; present when the bin is not empty
    Link,       // a link the host makes; present when it is still a link
};

struct Trace {
    std::string name;
    int step;
    Kind kind;
    std::string path;
    HKEY root = nullptr;
    std::string value = std::string();
    DWORD flags = 0;
    int alsoStep = 0;
};

const char kLinkName[] = "brisko-link";
const char kOutsideFolder[] = "C:\\brisko-outside";
const char kIe[] = "Software\\Microsoft\\Internet Explorer\\";
const char kExplorer[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\";
const char kBars[] = "Software\\Microsoft\\Internet Explorer\\Explorer Bars\\{C4EE31F3-4768-11D2-BE5C-00A0C9A83DA1}\\";
const char kProvider[] = "Software\\Microsoft\\Protected Storage System Provider\\";
const char kFormType[] = "\\Data\\e161255a-37c3-11d2-bcaa-00c04fd929db";
const char kTelnet[] = "Software\\Microsoft\\Telnet";
const char kNtWinlogon[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const char kWinlogon[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Winlogon";

std::string UserSidText()
{
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw))
        return std::string();
    ScopedFile token(raw);
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    if (!size || !GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size))
        return std::string();
    char* text = nullptr;
    if (!ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text))
        return std::string();
    std::string sid = text;
    LocalFree(text);
    return sid;
}

std::string UserName()
{
    char name[260] = "";
    DWORD size = sizeof name;
    return GetUserNameA(name, &size) ? name : "";
}

struct TargetFolder {
    int step;
    std::string path;
};

std::vector<TargetFolder> TargetFolders()
{
    return {
        {1, ShellFolder(CSIDL_INTERNET_CACHE)}, {2, ShellFolder(CSIDL_COOKIES)},
        {6, ShellFolder(CSIDL_FAVORITES)},      {8, TempFolder()},
        {11, ShellFolder(CSIDL_RECENT)},        {15, ShellFolder(CSIDL_NETHOOD)},
        {17, WindowsFolder() + "\\History"},    {17, ShellFolder(CSIDL_HISTORY)},
    };
}

void AddFolderTraces(std::vector<Trace>& traces, const TargetFolder& target)
{
    const std::string& folder = target.path;
    const int step = target.step;
    traces.push_back({"file in " + folder, step, Kind::File, folder + "\\brisko-trace.txt"});
    traces.push_back({"read-only file in " + folder, step, Kind::File, folder + "\\brisko-readonly.txt", nullptr, "",
                      FILE_ATTRIBUTE_READONLY});
    traces.push_back({"sub-folder of " + folder, step, Kind::Folder, folder + "\\brisko-folder\\deeper"});
    traces.push_back({"sub-folder tree of " + folder, step, Kind::File, folder + "\\brisko-folder\\inner.txt"});
    // Only the system temp folder loses its desktop.ini.
    traces.push_back({"desktop.ini in " + folder, step == 8 ? 8 : 0, Kind::File, folder + "\\desktop.ini"});
    traces.push_back({"sibling folder of " + folder, 0, Kind::Folder, folder + "-brisko-sibling"});
    traces.push_back({"link in " + folder, 0, Kind::Link, folder + "\\" + kLinkName});
}

std::vector<Trace> Traces()
{
    std::vector<Trace> traces;
    for (const TargetFolder& target : TargetFolders())
        AddFolderTraces(traces, target);

    const std::string temp = TempFolder();
    traces.push_back(
        {"hidden file in temp", 8, Kind::File, temp + "\\brisko-hidden.txt", nullptr, "", FILE_ATTRIBUTE_HIDDEN});
    traces.push_back({"desktop.ini deep in temp", 8, Kind::File, temp + "\\brisko-folder\\desktop.ini"});

    // Names a code page turns into a path (full-width dots and reverse solidus become "..\") and
    // names no code page carries: each is one name, it goes, and nothing above the temp folder does.
    const std::string up = "\xEF\xBC\x8E\xEF\xBC\x8E\xEF\xBC\xBC";
    const std::string above = ParentFolder(temp), twoAbove = ParentFolder(above);
    traces.push_back({"look-alike folder one level up", 8, Kind::Folder, temp + "\\" + up + "brisko-keep"});
    traces.push_back({"look-alike file one level up", 8, Kind::File, temp + "\\" + up + "brisko-keep.txt"});
    traces.push_back({"look-alike folder two levels up", 8, Kind::Folder, temp + "\\" + up + up + "brisko-keep"});
    traces.push_back({"folder above temp", 0, Kind::Folder, above + "\\brisko-keep"});
    traces.push_back({"file above temp", 0, Kind::File, above + "\\brisko-keep.txt"});
    traces.push_back({"folder two levels above temp", 0, Kind::Folder, twoAbove + "\\brisko-keep"});
    traces.push_back({"Chinese name in temp", 8, Kind::File, temp + "\\brisko-\xE4\xB8\xAD\xE6\x96\x87.txt"});
    traces.push_back({"Cyrillic name in temp", 8, Kind::File, temp + "\\brisko-\xD0\x96\xD1\x83\xD0\xBA.txt"});
    traces.push_back({"name beyond the BMP in temp", 8, Kind::File, temp + "\\brisko-\xF0\x9F\x98\x80.txt"});
    traces.push_back({"name ending in a dot in temp", 8, Kind::File, temp + "\\brisko-dot."});
    std::string deep = temp + "\\brisko-deep";
    while (deep.size() < 2 * MAX_PATH)
        deep += "\\" + std::string(40, 'd');
    traces.push_back({"tree deeper than MAX_PATH in temp", 8, Kind::File, deep + "\\bottom.txt"});
    traces.push_back({"file in the profile", 0, Kind::File, ShellFolder(CSIDL_PROFILE) + "\\brisko-profile.txt"});

    // Step 1: cache content entries with their files.
    const std::string cache = ShellFolder(CSIDL_INTERNET_CACHE);
    traces.push_back({"cache entry brisko-page", 1, Kind::CacheEntry, "http://brisko.test/brisko-page.html", nullptr,
                      "html", NORMAL_CACHE_ENTRY});
    traces.push_back({"cache file brisko-page", 1, Kind::CacheFile, cache, nullptr, "brisko-page"});
    traces.push_back({"cache entry brisko-style", 1, Kind::CacheEntry, "http://brisko.test/brisko-style.css", nullptr,
                      "css", NORMAL_CACHE_ENTRY | STICKY_CACHE_ENTRY});
    traces.push_back({"cache file brisko-style", 1, Kind::CacheFile, cache, nullptr, "brisko-style"});
    // The history step removes it by zero-filling the history container's index; Wine's cache walk
    // of the temporary-files step reaches the history container as well.
    traces.push_back({"history entry brisko-visited", 17, Kind::CacheEntry,
                      "Visited: " + UserName() + "@http://brisko.test/brisko-visited.html", nullptr, "",
                      NORMAL_CACHE_ENTRY | URLHISTORY_CACHE_ENTRY, 1});

    // Step 2: cookie entries with their files.
    const std::string cookies = ShellFolder(CSIDL_COOKIES);
    traces.push_back({"cookie entry brisko-cookie", 2, Kind::CacheEntry,
                      "Cookie:" + UserName() + "@brisko.test/brisko-cookie", nullptr, "txt", COOKIE_CACHE_ENTRY});
    traces.push_back({"cookie file brisko-cookie", 2, Kind::CacheFile, cookies, nullptr, "brisko-cookie"});

    const auto key = [&](const std::string& name, int step, HKEY root, const std::string& path) {
        traces.push_back({name, step, Kind::Key, path, root});
    };
    const auto value = [&](const std::string& name, int step, HKEY root, const std::string& path, const char* value) {
        traces.push_back({name, step, Kind::Value, path, root, value});
    };

    key("TypedURLs", 3, HKEY_CURRENT_USER, std::string(kIe) + "TypedURLs");
    key("Internet Explorer sibling key", 0, HKEY_CURRENT_USER, std::string(kIe) + "Brisko canary");

    const std::string userRoot = std::string(kProvider) + UserSidText();
    key("form data type key of the user", 4, HKEY_CURRENT_USER, userRoot + kFormType + "\\brisko\\one\\two");
    key("form data sibling type key of the user", 0, HKEY_CURRENT_USER,
        userRoot + "\\Data\\5e7e8100-9138-11d1-945a-00c04fc308ff");
    traces.push_back({"locked form data key of the user", 4, Kind::LockedKey, userRoot + kFormType + "\\brisko-locked",
                      HKEY_CURRENT_USER});
    traces.push_back({"DACL of the user's form data root", 0, Kind::KeyDacl, userRoot, HKEY_CURRENT_USER});
    key("form data type key of the machine", 4, HKEY_LOCAL_MACHINE,
        std::string(kProvider) + UserName() + kFormType + "\\brisko");
    key("form data sibling type key of the machine", 0, HKEY_LOCAL_MACHINE,
        std::string(kProvider) + UserName() + "\\Data\\5e7e8100-9138-11d1-945a-00c04fc308ff");

    key("IntelliForms", 5, HKEY_CURRENT_USER, std::string(kIe) + "IntelliForms");
    key("RAS Autodial Addresses", 7, HKEY_CURRENT_USER, "Software\\Microsoft\\RAS Autodial\\Addresses");
    key("RAS Autodial sibling key", 0, HKEY_CURRENT_USER, "Software\\Microsoft\\RAS Autodial\\Brisko canary");

    traces.push_back({"recycle bin items", 9, Kind::RecycleBin, "C:\\brisko-recycled.txt"});

    key("RunMRU", 10, HKEY_CURRENT_USER, std::string(kExplorer) + "RunMRU");
    key("RecentDocs", 11, HKEY_CURRENT_USER, std::string(kExplorer) + "RecentDocs");
    key("Explorer sibling key", 0, HKEY_CURRENT_USER, std::string(kExplorer) + "Brisko canary");

    value("DefaultUserName of the user", 12, HKEY_CURRENT_USER, kNtWinlogon, "DefaultUserName");
    value("AltDefaultUserName of the user", 12, HKEY_CURRENT_USER, kNtWinlogon, "AltDefaultUserName");
    value("DefaultUserName of the machine", 12, HKEY_LOCAL_MACHINE, kWinlogon, "DefaultUserName");
    value("other Winlogon value of the user", 0, HKEY_CURRENT_USER, kNtWinlogon, "BriskoCanary");
    value("other Winlogon value of the machine", 0, HKEY_LOCAL_MACHINE, kWinlogon, "BriskoCanary");

    key("Doc Find Spec MRU", 13, HKEY_CURRENT_USER, std::string(kExplorer) + "Doc Find Spec MRU");
    key("ContainingTextMRU", 13, HKEY_CURRENT_USER, std::string(kBars) + "ContainingTextMRU");
    key("FilesNamedMRU", 13, HKEY_CURRENT_USER, std::string(kBars) + "FilesNamedMRU");
    key("FindComputerMRU", 14, HKEY_CURRENT_USER, std::string(kExplorer) + "FindComputerMRU");
    key("ComputerNameMRU", 14, HKEY_CURRENT_USER, std::string(kBars) + "ComputerNameMRU");
    key("Explorer Bars sibling key", 0, HKEY_CURRENT_USER, std::string(kBars) + "Brisko canary");

    static const char* const kTelnetValues[] = {
        "Machine1",  "Service1",  "TermType1", "Machine2",    "Service2",    "TermType2",   "Machine3",
        "Service3",  "TermType3", "Machine4",  "Service4",    "TermType4",   "Machine5",    "Service5",
        "TermType5", "Machine6",  "Service6",  "TermType6",   "Machine7",    "Service7",    "TermType7",
        "Machine8",  "Service8",  "TermType8", "LastMachine", "LastService", "LastTermType"};
    for (const char* name : kTelnetValues)
        value(std::string("telnet ") + name, 16, HKEY_CURRENT_USER, kTelnet, name);
    value("other telnet value", 0, HKEY_CURRENT_USER, kTelnet, "Machine9");
    key("Telnet key", 0, HKEY_CURRENT_USER, kTelnet);

    // Step 17: index files in both history folders (not Wine's own History.IE5 index).
    traces.push_back(
        {"index.dat in the Windows history folder", 17, Kind::File, WindowsFolder() + "\\History\\index.dat"});
    traces.push_back({"index.dat in the user history folder", 17, Kind::File,
                      ShellFolder(CSIDL_HISTORY) + "\\MSHist-brisko\\index.dat"});

    traces.push_back({"file beside the settings file", 0, Kind::File, SystemFolder() + "bri.sko.canary"});
    traces.push_back({"folder reached through the links", 0, Kind::File, std::string(kOutsideFolder) + "\\keep.txt"});
    return traces;
}

// An empty DACL (nullptr: none) denies everyone everything; the owner may still replace it.
bool SetDacl(HKEY root, const std::string& path, const char* sddl)
{
    HKEY raw = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, WRITE_DAC, &raw) != ERROR_SUCCESS)
        return false;
    ScopedKey key(raw);
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl ? sddl : "D:P", SDDL_REVISION_1, &sd, nullptr))
        return false;
    const bool set = RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, sd) == ERROR_SUCCESS;
    LocalFree(sd);
    return set;
}

bool GrantsEveryone(HKEY root, const std::string& path)
{
    HKEY raw = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, READ_CONTROL, &raw) != ERROR_SUCCESS)
        return false;
    ScopedKey key(raw);
    char buffer[1024];
    DWORD size = sizeof buffer;
    char* text = nullptr;
    if (RegGetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, buffer, &size) != ERROR_SUCCESS ||
        !ConvertSecurityDescriptorToStringSecurityDescriptorA(buffer, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text,
                                                              nullptr))
        return false;
    const bool grants = std::strstr(text, ";;;WD)") != nullptr;
    LocalFree(text);
    return grants;
}

bool SeedCacheEntry(const Trace& trace)
{
    char file[MAX_PATH] = "";
    if (!trace.value.empty()) {
        if (!CreateUrlCacheEntryA(trace.path.c_str(), 0, trace.value.c_str(), file, 0) || !WriteBytes(file, "cached"))
            return false;
    }
    FILETIME never = {};
    return CommitUrlCacheEntryA(trace.path.c_str(), file[0] ? file : nullptr, never, never, trace.flags, nullptr, 0,
                                trace.value.empty() ? nullptr : trace.value.c_str(), nullptr);
}

bool CacheEntryExists(const std::string& url)
{
    DWORD size = 0;
    return GetUrlCacheEntryInfoA(url.c_str(), nullptr, &size) || GetLastError() == ERROR_INSUFFICIENT_BUFFER;
}

// A file whose name begins with `prefix` below `folder`; links are not followed.
bool FileBelow(const std::string& folder, const std::string& prefix)
{
    WIN32_FIND_DATAA entry;
    ScopedFind find(FindFirstFileA((folder + "\\*").c_str(), &entry));
    if (!find)
        return false;
    do {
        const char* name = entry.cFileName;
        if (!std::strcmp(name, ".") || !std::strcmp(name, "..") ||
            (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (FileBelow(folder + "\\" + name, prefix))
                return true;
        } else if (_strnicmp(name, prefix.c_str(), prefix.size()) == 0) {
            return true;
        }
    } while (FindNextFileA(find.get(), &entry));
    return false;
}

bool SeedRecycled(const std::string& path)
{
    if (!WriteBytes(path, "recycled"))
        return false;
    std::string from = path + '\0';
    SHFILEOPSTRUCTA op = {};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI;
    return SHFileOperationA(&op) == 0;
}

bool RecycleBinHasItems()
{
    SHQUERYRBINFO info = {sizeof info, 0, 0};
    return SHQueryRecycleBinA(nullptr, &info) == S_OK && info.i64NumItems > 0;
}

bool SeedTrace(const Trace& trace)
{
    switch (trace.kind) {
    case Kind::File:
        return WriteBytes(trace.path, "brisko trace", trace.flags ? trace.flags : FILE_ATTRIBUTE_NORMAL);
    case Kind::Folder:
        return WriteBytes(trace.path + "\\keep.txt", "brisko trace");
    case Kind::Key:
        return SetString(trace.root, trace.path, "brisko", "trace") &&
               SetString(trace.root, trace.path + "\\brisko-sub", "brisko", "trace");
    case Kind::LockedKey:
        SetDacl(trace.root, trace.path, "D:P(A;;KA;;;WD)"); // a seed before may have locked them
        SetDacl(trace.root, trace.path + "\\brisko-sub", "D:P(A;;KA;;;WD)");
        return SetString(trace.root, trace.path + "\\brisko-sub", "brisko", "trace") &&
               SetDacl(trace.root, trace.path + "\\brisko-sub", nullptr) && SetDacl(trace.root, trace.path, nullptr);
    case Kind::KeyDacl:
        return SetDacl(trace.root, trace.path, "D:P(A;;KA;;;WD)");
    case Kind::Value:
        return SetString(trace.root, trace.path, trace.value, "brisko trace");
    case Kind::CacheEntry:
        return SeedCacheEntry(trace);
    case Kind::CacheFile:
        return true;
    case Kind::RecycleBin:
        return SeedRecycled(trace.path);
    case Kind::Link:
        return true;
    }
    return false;
}

bool IsPresent(const Trace& trace)
{
    switch (trace.kind) {
    case Kind::File:
    case Kind::Folder:
        return Exists(trace.path);
    case Kind::Key:
    case Kind::LockedKey:
        return KeyExists(trace.root, trace.path);
    case Kind::KeyDacl:
        return GrantsEveryone(trace.root, trace.path);
    case Kind::Value:
        return SHGetValueA(trace.root, trace.path.c_str(), trace.value.c_str(), nullptr, nullptr, nullptr) ==
               ERROR_SUCCESS;
    case Kind::CacheEntry:
        return CacheEntryExists(trace.path);
    case Kind::CacheFile:
        return FileBelow(trace.path, trace.value);
    case Kind::RecycleBin:
        return RecycleBinHasItems();
    case Kind::Link: {
        DWORD attributes = GetFileAttributesA(trace.path.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
    }
    }
    return false;
}

} // namespace

std::vector<std::string> Seed()
{
    std::vector<std::string> failures;
    MakeFolders(kOutsideFolder);
    for (const Trace& trace : Traces()) {
        if (!SeedTrace(trace))
            failures.push_back(trace.name);
    }
    return failures;
}

std::vector<TraceState> Report()
{
    std::vector<TraceState> states;
    for (const Trace& trace : Traces())
        states.push_back({trace.name, trace.step, trace.alsoStep, IsPresent(trace)});
    return states;
}

std::string OutsideFolder() { return kOutsideFolder; }

std::vector<std::string> LinkFolders()
{
    std::vector<std::string> folders;
    for (const TargetFolder& target : TargetFolders())
        folders.push_back(target.path);
    return folders;
}

const char* LinkName() { return kLinkName; }

std::string ProfileLink() { return std::string(kOutsideFolder) + "-links\\profile"; }

} // namespace trace_kit
