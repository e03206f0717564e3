// The step operations on real keys, folders, cache entries and the recycle bin of the sandbox.
#include "clean/steps.h"
#include "framework/scoped_win.h"
#include "tests/support/trace_kit_files.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <wininet.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace trace_kit;

namespace {

const char kExplorer[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\";
const char kBars[] = "Software\\Microsoft\\Internet Explorer\\Explorer Bars\\{C4EE31F3-4768-11D2-BE5C-00A0C9A83DA1}\\";

struct KeyStep {
    const char* name;
    void (*step)();
    std::vector<std::string> keys; // under HKEY_CURRENT_USER, in no particular order
};

const std::vector<KeyStep>& KeySteps()
{
    static const std::vector<KeyStep> steps = {
        {"CleanTypedUrls", CleanTypedUrls, {"Software\\Microsoft\\Internet Explorer\\TypedURLs"}},
        {"CleanIntelliForms", CleanIntelliForms, {"Software\\Microsoft\\Internet Explorer\\IntelliForms"}},
        {"CleanAutoDial", CleanAutoDial, {"Software\\Microsoft\\RAS Autodial\\Addresses"}},
        {"CleanRunMru", CleanRunMru, {std::string(kExplorer) + "RunMRU"}},
        {"CleanRecentDocs", CleanRecentDocs, {std::string(kExplorer) + "RecentDocs"}},
        {"CleanFindFilesMru",
         CleanFindFilesMru,
         {std::string(kExplorer) + "Doc Find Spec MRU", std::string(kBars) + "ContainingTextMRU",
          std::string(kBars) + "FilesNamedMRU"}},
        {"CleanFindComputerMru",
         CleanFindComputerMru,
         {std::string(kExplorer) + "FindComputerMRU", std::string(kBars) + "ComputerNameMRU"}},
    };
    return steps;
}

// Keys beside the deleted ones, which every step must leave.
const std::vector<std::string> kSiblingKeys = {
    "Software\\Microsoft\\Internet Explorer\\BriskoSibling",
    "Software\\Microsoft\\RAS Autodial\\BriskoSibling",
    std::string(kExplorer) + "BriskoSibling",
    std::string(kBars) + "BriskoSibling",
};

void SeedKey(const std::string& key)
{
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, key, "a", "trace")) << key;
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, key + "\\sub\\deeper", "b", "trace")) << key;
}

void SeedAllKeys()
{
    for (const KeyStep& step : KeySteps())
        for (const std::string& key : step.keys)
            SeedKey(key);
    for (const std::string& key : kSiblingKeys)
        SeedKey(key);
}

} // namespace

TEST(KeySteps, EachDeletesExactlyItsKeysWithTheirSubtrees)
{
    for (const KeyStep& tested : KeySteps()) {
        SCOPED_TRACE(tested.name);
        SeedAllKeys();
        tested.step();
        for (const KeyStep& other : KeySteps())
            for (const std::string& key : other.keys)
                EXPECT_EQ(&other == &tested, !KeyExists(HKEY_CURRENT_USER, key)) << key;
        for (const std::string& key : kSiblingKeys)
            EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, key + "\\sub\\deeper", "b")) << key;
    }
    for (const KeyStep& step : KeySteps())
        for (const std::string& key : step.keys)
            DeleteKeyTree(HKEY_CURRENT_USER, key);
    for (const std::string& key : kSiblingKeys)
        DeleteKeyTree(HKEY_CURRENT_USER, key);
}

TEST(CleanLogonNames, DeletesTheThreeValuesEachFromItsOwnHive)
{
    const std::string ntWinlogon = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
    const std::string winlogon = "Software\\Microsoft\\Windows\\CurrentVersion\\Winlogon";
    struct Value {
        HKEY root;
        std::string key;
        const char* name;
        bool deleted;
    };
    const Value values[] = {
        {HKEY_CURRENT_USER, ntWinlogon, "DefaultUserName", true},
        {HKEY_CURRENT_USER, ntWinlogon, "AltDefaultUserName", true},
        {HKEY_LOCAL_MACHINE, winlogon, "DefaultUserName", true},
        {HKEY_CURRENT_USER, ntWinlogon, "BriskoCanary", false},
        {HKEY_LOCAL_MACHINE, winlogon, "BriskoCanary", false},
        // The hives go with the paths as listed, not the other way round.
        {HKEY_LOCAL_MACHINE, ntWinlogon, "DefaultUserName", false},
        {HKEY_LOCAL_MACHINE, ntWinlogon, "AltDefaultUserName", false},
        {HKEY_CURRENT_USER, winlogon, "DefaultUserName", false},
    };
    for (const Value& value : values)
        ASSERT_TRUE(SetString(value.root, value.key, value.name, "someone"));

    CleanLogonNames();

    for (const Value& value : values) {
        EXPECT_EQ(value.deleted, !ValueExists(value.root, value.key, value.name))
            << (value.root == HKEY_CURRENT_USER ? "HKCU\\" : "HKLM\\") << value.key << " " << value.name;
        SHDeleteValueA(value.root, value.key.c_str(), value.name);
    }
}

TEST(CleanTelnetHistory, DeletesTheTwentySevenValuesAndKeepsTheKey)
{
    const std::string telnet = "Software\\Microsoft\\Telnet";
    std::vector<std::string> names;
    char name[32];
    for (int n = 1; n <= 8; ++n) {
        for (const char* format : {"Machine%d", "Service%d", "TermType%d"}) {
            std::snprintf(name, sizeof name, format, n);
            names.push_back(name);
        }
    }
    for (const char* last : {"LastMachine", "LastService", "LastTermType"})
        names.push_back(last);
    ASSERT_EQ(27u, names.size());
    for (const std::string& value : names)
        ASSERT_TRUE(SetString(HKEY_CURRENT_USER, telnet, value, "host"));
    for (const char* kept : {"Machine9", "Machine0", "BriskoCanary"})
        ASSERT_TRUE(SetString(HKEY_CURRENT_USER, telnet, kept, "host"));

    CleanTelnetHistory();

    for (const std::string& value : names)
        EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, telnet, value)) << value;
    for (const char* kept : {"Machine9", "Machine0", "BriskoCanary"})
        EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, telnet, kept)) << kept;
    DeleteKeyTree(HKEY_CURRENT_USER, telnet);
}

namespace {

struct FolderStep {
    const char* name;
    void (*step)();
    std::string folder;
    bool desktopIniGoes;
};

// The folders of every wiping step, each seeded with traces, a desktop.ini and a sibling folder.
class FolderSteps : public ::testing::Test {
protected:
    static void SetUpTestSuite() { CoInitialize(nullptr); }
    static void TearDownTestSuite() { CoUninitialize(); }

    std::vector<FolderStep> Steps() const
    {
        return {
            {"CleanTempFiles", CleanTempFiles, ShellFolder(CSIDL_INTERNET_CACHE), false},
            {"CleanCookies", CleanCookies, ShellFolder(CSIDL_COOKIES), false},
            {"CleanFavorites", CleanFavorites, ShellFolder(CSIDL_FAVORITES), false},
            {"CleanSystemTemp", CleanSystemTemp, TempFolder(), true},
            {"CleanRecentDocs", CleanRecentDocs, ShellFolder(CSIDL_RECENT), false},
            {"CleanNetHood", CleanNetHood, ShellFolder(CSIDL_NETHOOD), false},
            {"CleanHistoryItems", CleanHistoryItems, WindowsFolder() + "\\History", false},
            {"CleanHistoryItems", CleanHistoryItems, ShellFolder(CSIDL_HISTORY), false},
        };
    }

    static void Seed(const std::string& folder)
    {
        ASSERT_TRUE(WriteBytes(folder + "\\brisko-trace.txt", "trace"));
        ASSERT_TRUE(WriteBytes(folder + "\\brisko-folder\\inner.txt", "trace", FILE_ATTRIBUTE_READONLY));
        ASSERT_TRUE(WriteBytes(folder + "\\desktop.ini", "[.ShellClassInfo]"));
        ASSERT_TRUE(WriteBytes(folder + "-sibling\\keep.txt", "keep"));
    }
};

} // namespace

TEST_F(FolderSteps, EachWipesOnlyItsFolders)
{
    const std::vector<FolderStep> steps = Steps();
    for (const FolderStep& tested : steps) {
        SCOPED_TRACE(std::string(tested.name) + " " + tested.folder);
        ASSERT_FALSE(tested.folder.empty());
        for (const FolderStep& step : steps)
            Seed(step.folder);

        tested.step();

        for (const FolderStep& step : steps) {
            const bool wiped = step.step == tested.step;
            EXPECT_EQ(wiped, !Exists(step.folder + "\\brisko-trace.txt")) << step.folder;
            EXPECT_EQ(wiped, !Exists(step.folder + "\\brisko-folder")) << step.folder;
            EXPECT_EQ(wiped && step.desktopIniGoes, !Exists(step.folder + "\\desktop.ini")) << step.folder;
            EXPECT_TRUE(IsFolder(step.folder)) << step.folder;
            EXPECT_TRUE(Exists(step.folder + "-sibling\\keep.txt")) << step.folder;
        }
    }
    for (const FolderStep& step : steps) {
        RemoveTree(step.folder + "-sibling");
        RemoveTree(step.folder + "\\brisko-trace.txt");
        RemoveTree(step.folder + "\\brisko-folder");
    }
}

TEST_F(FolderSteps, HistoryIndexFilesAreZeroFilledBeforeDeletion)
{
    const std::string index = WindowsFolder() + "\\History\\History.IE5\\index.dat";
    const std::string header(64, 'h');
    ASSERT_TRUE(WriteBytes(index, header + std::string(300, 'x')));
    {
        ScopedFile reader(CreateFileA(index.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(reader);
        CleanHistoryItems();
        std::string after(364, '\0');
        DWORD read = 0;
        ASSERT_TRUE(ReadFile(reader.get(), &after[0], 364, &read, nullptr));
        EXPECT_EQ(header + std::string(300, '\0'), after);
    }
    EXPECT_FALSE(Exists(index));
}

TEST(CleanRecentDocs, DeletesTheKeyWhenTheFolderIsMissing)
{
    const std::string recent = ShellFolder(CSIDL_RECENT);
    const std::string key = std::string(kExplorer) + "RecentDocs";
    ASSERT_FALSE(recent.empty());
    ASSERT_TRUE(MoveFileA(recent.c_str(), (recent + "-away").c_str()));
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, key, "MRUList", "a"));
    CleanRecentDocs();
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, key));
    ASSERT_TRUE(MoveFileA((recent + "-away").c_str(), recent.c_str()));
}

TEST(EmptyRecycleBin, EmptiesTheBinWithoutAsking)
{
    const std::string file = "C:\\brisko-unit-recycled.txt";
    ASSERT_TRUE(WriteBytes(file, "trace"));
    std::string from = file + '\0';
    SHFILEOPSTRUCTA op = {};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI;
    ASSERT_EQ(0, SHFileOperationA(&op));
    SHQUERYRBINFO info = {sizeof info, 0, 0};
    ASSERT_EQ(S_OK, SHQueryRecycleBinA(nullptr, &info));
    ASSERT_LT(0, info.i64NumItems);

    EmptyRecycleBin();

    ASSERT_EQ(S_OK, SHQueryRecycleBinA(nullptr, &info));
    EXPECT_EQ(0, info.i64NumItems);
}
