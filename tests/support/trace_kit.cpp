// The trace kit: every trace of the seventeen steps and the canaries beside them, as one table.
#include "tests/support/trace_kit.h"

#include "framework/scoped_win.h"

#include <windows.h>
#include <sddl.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <wininet.h>

#include <cstring>

namespace trace_kit {

namespace {

enum class Kind {
    File,       // path; present when it exists
    Folder,     // path, seeded with a file inside; present when it exists
    Key,        // root + path, seeded with a value and a subkey; present when it exists
    LockedKey,  // a Key whose DACL and its subkey's deny everyone everything; only the owner may undo that
    KeyDacl,    // the DACL of key root + path, seeded to grant Everyone; present while it still does
    Value,      // root + path + value
    CacheEntry, // URL cache entry `path` of type `flags`, with a file of extension `value` unless it is empty;
                // present while the entry or its file is there
    RecycleBin, // a deleted file `path` in the recycle bin; present while the bin is not empty
    Link,       // a link the host makes; present while it is still a link
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
const char kGrantEveryone[] = "D:P(A;;KA;;;WD)";

std::string UserSidText()
{
    HANDLE raw = nullptr;
    BYTE buffer[256];
    DWORD size = sizeof buffer;
    char* text = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw))
        return std::string();
    ScopedFile token(raw);
    if (!GetTokenInformation(token.get(), TokenUser, buffer, size, &size) ||
        !ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text))
        return std::string();
    const std::string sid = text;
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
    return {{1, ShellFolder(CSIDL_INTERNET_CACHE)}, {2, ShellFolder(CSIDL_COOKIES)},
            {6, ShellFolder(CSIDL_FAVORITES)},      {8, TempFolder()},
            {11, ShellFolder(CSIDL_RECENT)},        {15, ShellFolder(CSIDL_NETHOOD)},
            {17, WindowsFolder() + "\\History"},    {17, ShellFolder(CSIDL_HISTORY)}};
}

std::vector<Trace> Traces()
{
    std::vector<Trace> t;
    const auto add = [&](Kind kind, int step, const std::string& name, const std::string& path) {
        t.push_back({name, step, kind, path});
        return &t.back();
    };
    const auto hkcu = [&](Kind kind, int step, const std::string& name, const std::string& path) {
        add(kind, step, name, path)->root = HKEY_CURRENT_USER;
        return &t.back();
    };
    for (const TargetFolder& target : TargetFolders()) {
        const std::string& f = target.path;
        add(Kind::File, target.step, "file in " + f, f + "\\brisko-trace.txt");
        add(Kind::File, target.step, "read-only file in " + f, f + "\\brisko-readonly.txt")->flags =
            FILE_ATTRIBUTE_READONLY;
        add(Kind::Folder, target.step, "sub-folder of " + f, f + "\\brisko-folder\\deeper");
        add(Kind::File, target.step, "sub-folder tree of " + f, f + "\\brisko-folder\\inner.txt");
        add(Kind::File, target.step == 8 ? 8 : 0, "desktop.ini in " + f, f + "\\desktop.ini"); // only temp loses it
        add(Kind::Folder, 0, "sibling folder of " + f, f + "-brisko-sibling");
        add(Kind::Link, 0, "link in " + f, f + "\\" + kLinkName);
    }

    const std::string temp = TempFolder(), above = ParentFolder(temp);
    add(Kind::File, 8, "hidden file in temp", temp + "\\brisko-hidden.txt")->flags = FILE_ATTRIBUTE_HIDDEN;
    add(Kind::File, 8, "desktop.ini deep in temp", temp + "\\brisko-folder\\desktop.ini");
    // Names a code page turns into a path (full-width dots and reverse solidus become "..\") and
    // names no code page carries: each is one name, it goes, and nothing above the temp folder does.
    const std::string up = "\xEF\xBC\x8E\xEF\xBC\x8E\xEF\xBC\xBC";
    add(Kind::Folder, 8, "look-alike folder one level up", temp + "\\" + up + "brisko-keep");
    add(Kind::File, 8, "look-alike file one level up", temp + "\\" + up + "brisko-keep.txt");
    add(Kind::Folder, 8, "look-alike folder two levels up", temp + "\\" + up + up + "brisko-keep");
    add(Kind::Folder, 0, "folder above temp", above + "\\brisko-keep");
    add(Kind::File, 0, "file above temp", above + "\\brisko-keep.txt");
    add(Kind::Folder, 0, "folder two levels above temp", ParentFolder(above) + "\\brisko-keep");
    add(Kind::File, 8, "Chinese name in temp", temp + "\\brisko-\xE4\xB8\xAD\xE6\x96\x87.txt");
    add(Kind::File, 8, "Cyrillic name in temp", temp + "\\brisko-\xD0\x96\xD1\x83\xD0\xBA.txt");
    add(Kind::File, 8, "name beyond the BMP in temp", temp + "\\brisko-\xF0\x9F\x98\x80.txt");
    add(Kind::File, 8, "name ending in a dot in temp", temp + "\\brisko-dot.");
    std::string deep = temp + "\\brisko-deep";
    while (deep.size() < 2 * MAX_PATH)
        deep += "\\" + std::string(40, 'd');
    add(Kind::File, 8, "tree deeper than MAX_PATH in temp", deep + "\\bottom.txt");
    add(Kind::File, 0, "file in the profile", ShellFolder(CSIDL_PROFILE) + "\\brisko-profile.txt");

    const auto entry = [&](int step, const std::string& name, const std::string& url, const char* ext, DWORD flags) {
        t.push_back({name, step, Kind::CacheEntry, url, nullptr, ext, flags});
    };
    entry(1, "cache entry brisko-page", "http://brisko.test/brisko-page.html", "html", NORMAL_CACHE_ENTRY);
    entry(1, "cache entry brisko-style", "http://brisko.test/brisko-style.css", "css",
          NORMAL_CACHE_ENTRY | STICKY_CACHE_ENTRY);
    entry(2, "cookie entry brisko-cookie", "Cookie:" + UserName() + "@brisko.test/brisko-cookie", "txt",
          COOKIE_CACHE_ENTRY);
    // The history step zero-fills the history container's index; Wine's cache walk of the
    // temporary-files step reaches that container as well.
    entry(17, "history entry brisko-visited", "Visited: " + UserName() + "@http://brisko.test/brisko-visited.html", "",
          NORMAL_CACHE_ENTRY | URLHISTORY_CACHE_ENTRY);
    t.back().alsoStep = 1;

    const std::string ie = "Software\\Microsoft\\Internet Explorer\\";
    const std::string explorer = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\";
    const std::string bars = ie + "Explorer Bars\\{C4EE31F3-4768-11D2-BE5C-00A0C9A83DA1}\\";
    const std::string provider = "Software\\Microsoft\\Protected Storage System Provider\\";
    const std::string user = provider + UserSidText(), machine = provider + UserName();
    const char formType[] = "\\Data\\e161255a-37c3-11d2-bcaa-00c04fd929db", other[] = "\\Data\\5e7e8100-9138-11d1";
    hkcu(Kind::Key, 3, "TypedURLs", ie + "TypedURLs");
    hkcu(Kind::Key, 0, "Internet Explorer sibling key", ie + "Brisko canary");
    hkcu(Kind::Key, 4, "form data type key of the user", user + formType + "\\brisko\\one\\two");
    hkcu(Kind::Key, 0, "form data sibling type key of the user", user + other);
    hkcu(Kind::LockedKey, 4, "locked form data key of the user", user + formType + "\\brisko-locked");
    hkcu(Kind::KeyDacl, 0, "DACL of the user's form data root", user);
    hkcu(Kind::KeyDacl, 4, "DACL of the user's form data key", user + "\\Data");
    add(Kind::Key, 4, "form data type key of the machine", machine + formType + "\\brisko")->root = HKEY_LOCAL_MACHINE;
    add(Kind::Key, 0, "form data sibling type key of the machine", machine + other)->root = HKEY_LOCAL_MACHINE;
    hkcu(Kind::Key, 5, "IntelliForms", ie + "IntelliForms");
    hkcu(Kind::Key, 7, "RAS Autodial Addresses", "Software\\Microsoft\\RAS Autodial\\Addresses");
    hkcu(Kind::Key, 0, "RAS Autodial sibling key", "Software\\Microsoft\\RAS Autodial\\Brisko canary");
    add(Kind::RecycleBin, 9, "recycle bin items", "C:\\brisko-recycled.txt");
    hkcu(Kind::Key, 10, "RunMRU", explorer + "RunMRU");
    hkcu(Kind::Key, 11, "RecentDocs", explorer + "RecentDocs");
    hkcu(Kind::Key, 0, "Explorer sibling key", explorer + "Brisko canary");
    const std::string ntLogon = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
    const std::string logon = "Software\\Microsoft\\Windows\\CurrentVersion\\Winlogon";
    hkcu(Kind::Value, 12, "DefaultUserName of the user", ntLogon)->value = "DefaultUserName";
    hkcu(Kind::Value, 12, "AltDefaultUserName of the user", ntLogon)->value = "AltDefaultUserName";
    hkcu(Kind::Value, 0, "other Winlogon value of the user", ntLogon)->value = "Brisko";
    t.push_back({"DefaultUserName of the machine", 12, Kind::Value, logon, HKEY_LOCAL_MACHINE, "DefaultUserName"});
    t.push_back({"other Winlogon value of the machine", 0, Kind::Value, logon, HKEY_LOCAL_MACHINE, "Brisko"});
    hkcu(Kind::Value, 0, "other telnet value", "Software\\Microsoft\\Telnet")->value = "Machine9";
    for (const char* part : {"Machine", "Service", "TermType"}) {
        for (const char* entry : {"1", "2", "3", "4", "5", "6", "7", "8", "Last"}) {
            const std::string name = *entry == 'L' ? entry + std::string(part) : part + std::string(entry);
            hkcu(Kind::Value, 16, "telnet " + name, "Software\\Microsoft\\Telnet")->value = name;
        }
    }
    hkcu(Kind::Key, 0, "Telnet key", "Software\\Microsoft\\Telnet");
    hkcu(Kind::Key, 13, "Doc Find Spec MRU", explorer + "Doc Find Spec MRU");
    hkcu(Kind::Key, 13, "ContainingTextMRU", bars + "ContainingTextMRU");
    hkcu(Kind::Key, 13, "FilesNamedMRU", bars + "FilesNamedMRU");
    hkcu(Kind::Key, 14, "FindComputerMRU", explorer + "FindComputerMRU");
    hkcu(Kind::Key, 14, "ComputerNameMRU", bars + "ComputerNameMRU");
    hkcu(Kind::Key, 0, "Explorer Bars sibling key", bars + "Brisko canary");

    // Index files in both history folders (not Wine's own History.IE5 index).
    add(Kind::File, 17, "index.dat in the Windows history folder", WindowsFolder() + "\\History\\index.dat");
    add(Kind::File, 17, "index.dat in the user history folder", ShellFolder(CSIDL_HISTORY) + "\\MSHist-b\\index.dat");
    add(Kind::File, 0, "file beside the settings file", SystemFolder() + "bri.sko.canary");
    add(Kind::File, 0, "folder reached through the links", std::string(kOutsideFolder) + "\\keep.txt");
    return t;
}

// A file whose name begins with `prefix` below `folder`; links are not followed.
bool FileBelow(const std::string& folder, const std::string& prefix)
{
    WIN32_FIND_DATAA entry;
    ScopedFind find(FindFirstFileA((folder + "\\*").c_str(), &entry));
    for (bool more = static_cast<bool>(find); more; more = FindNextFileA(find.get(), &entry)) {
        const char* name = entry.cFileName;
        if (!std::strcmp(name, ".") || !std::strcmp(name, "..") ||
            (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            continue;
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? FileBelow(folder + "\\" + name, prefix)
                                                                : !_strnicmp(name, prefix.c_str(), prefix.size()))
            return true;
    }
    return false;
}

bool SeedTrace(const Trace& trace)
{
    char file[MAX_PATH] = "";
    const std::string from = trace.path + '\0', sub = trace.path + "\\brisko-sub";
    SHFILEOPSTRUCTA recycle = {
        nullptr, FO_DELETE, from.c_str(), nullptr, FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI,
        FALSE,   nullptr,   nullptr};
    FILETIME never = {};
    switch (trace.kind) {
    case Kind::File:
        return WriteBytes(trace.path, "brisko trace", trace.flags ? trace.flags : FILE_ATTRIBUTE_NORMAL);
    case Kind::Folder:
        return WriteBytes(trace.path + "\\keep.txt", "brisko trace");
    case Kind::Key:
        return SetString(trace.root, trace.path, "brisko", "trace") && SetString(trace.root, sub, "brisko", "trace");
    case Kind::LockedKey: // a seed before may have locked them; "D:P", an empty DACL, denies everything
        SetKeySddl(trace.root, trace.path, kGrantEveryone);
        SetKeySddl(trace.root, sub, kGrantEveryone);
        return SetString(trace.root, sub, "brisko", "trace") && SetKeySddl(trace.root, sub, "D:P") &&
               SetKeySddl(trace.root, trace.path, "D:P");
    case Kind::KeyDacl:
        return SetKeySddl(trace.root, trace.path, kGrantEveryone);
    case Kind::Value:
        return SetString(trace.root, trace.path, trace.value, "brisko trace");
    case Kind::CacheEntry:
        if (!trace.value.empty() &&
            (!CreateUrlCacheEntryA(trace.path.c_str(), 0, trace.value.c_str(), file, 0) || !WriteBytes(file, "cached")))
            return false;
        return CommitUrlCacheEntryA(trace.path.c_str(), file[0] ? file : nullptr, never, never, trace.flags, nullptr, 0,
                                    trace.value.empty() ? nullptr : trace.value.c_str(), nullptr);
    case Kind::RecycleBin:
        return WriteBytes(trace.path, "recycled") && SHFileOperationA(&recycle) == 0;
    case Kind::Link:
        return true;
    }
    return false;
}

bool IsPresent(const Trace& trace)
{
    DWORD size = 0;
    SHQUERYRBINFO bin = {sizeof bin, 0, 0};
    const std::string prefix = trace.path.substr(trace.path.find_last_of('/') + 1);
    switch (trace.kind) {
    case Kind::File:
    case Kind::Folder:
        return Exists(trace.path);
    case Kind::Key:
    case Kind::LockedKey:
        return KeyExists(trace.root, trace.path);
    case Kind::KeyDacl:
        return KeySddl(trace.root, trace.path).find(";;;WD)") != std::string::npos;
    case Kind::Value:
        return !SHGetValueA(trace.root, trace.path.c_str(), trace.value.c_str(), nullptr, nullptr, nullptr);
    case Kind::CacheEntry:
        return GetUrlCacheEntryInfoA(trace.path.c_str(), nullptr, &size) ||
               GetLastError() == ERROR_INSUFFICIENT_BUFFER ||
               (!trace.value.empty() &&
                FileBelow(ShellFolder((trace.flags & COOKIE_CACHE_ENTRY) ? CSIDL_COOKIES : CSIDL_INTERNET_CACHE),
                          prefix.substr(0, prefix.find('.'))));
    case Kind::RecycleBin:
        return SHQueryRecycleBinA(nullptr, &bin) == S_OK && bin.i64NumItems > 0;
    case Kind::Link:
        size = GetFileAttributesA(trace.path.c_str());
        return size != INVALID_FILE_ATTRIBUTES && (size & FILE_ATTRIBUTE_REPARSE_POINT);
    }
    return false;
}

} // namespace

std::vector<std::string> Seed()
{
    std::vector<std::string> failures;
    MakeFolders(kOutsideFolder);
    // A run removes the cache's folders, but not its index while another process holds it mapped
    // (the benchmark's wininet); wininet makes the folders again only with a new index.
    const std::string content = ShellFolder(CSIDL_INTERNET_CACHE) + "\\Content.IE5";
    WIN32_FIND_DATAA entry;
    ScopedFind find(FindFirstFileA((content + "\\*.").c_str(), &entry));
    bool folders = false;
    for (bool more = static_cast<bool>(find); more; more = FindNextFileA(find.get(), &entry))
        folders = folders || (entry.cFileName[0] != '.' && (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY));
    if (!folders)
        RemoveTree(content);
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

bool IsPresent(const std::string& name)
{
    for (const Trace& trace : Traces()) {
        if (trace.name == name)
            return IsPresent(trace);
    }
    return false;
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

std::string NativeSystemLink() { return std::string(kOutsideFolder) + "-links\\native-system"; }

} // namespace trace_kit
