// The folder wiper on real trees in the sandbox.
#include "clean/folder_wiper.h"
#include "framework/scoped_win.h"
#include "tests/support/trace_kit_files.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <string>

using namespace trace_kit;

namespace {

class WipeFolderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RemoveTree(root);
        ASSERT_TRUE(MakeFolders(root));
    }
    void TearDown() override { RemoveTree(root); }

    std::string Path(const std::string& relative) const { return root + "\\" + relative; }
    void Put(const std::string& relative, DWORD attributes = FILE_ATTRIBUTE_NORMAL)
    {
        ASSERT_TRUE(WriteBytes(Path(relative), "trace", attributes)) << relative;
    }

    const std::string root = "C:\\brisko-unit-wiper";
};

std::string Pattern(size_t size)
{
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>('a' + i % 26);
    return bytes;
}

} // namespace

TEST_F(WipeFolderTest, MissingFolderIsFalseAndEmptyFolderStays)
{
    EXPECT_FALSE(WipeFolder(Path("missing").c_str(), 0, 0));
    ASSERT_TRUE(MakeFolders(Path("empty")));
    EXPECT_TRUE(WipeFolder(Path("empty").c_str(), 0, 0));
    EXPECT_TRUE(IsFolder(Path("empty")));
}

TEST_F(WipeFolderTest, DeletesEverythingAtAnyDepthAndKeepsTheFolder)
{
    Put("a.txt");
    Put("readonly.txt", FILE_ATTRIBUTE_READONLY);
    Put("hidden.txt", FILE_ATTRIBUTE_HIDDEN);
    Put("system.txt", FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
    Put("sub\\deeper\\b.txt", FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(SetFileAttributesA(Path("sub\\deeper").c_str(), FILE_ATTRIBUTE_READONLY));
    Put("sub\\c.txt", FILE_ATTRIBUTE_HIDDEN);

    // The path ends in a separator, as the system temp path does: the pattern gets a doubled one.
    EXPECT_TRUE(WipeFolder((root + "\\").c_str(), 0, 0));

    EXPECT_TRUE(IsFolder(root));
    for (const char* gone : {"a.txt", "readonly.txt", "hidden.txt", "system.txt", "sub"})
        EXPECT_FALSE(Exists(Path(gone))) << gone;
}

TEST_F(WipeFolderTest, SparesDesktopIniUnlessAsked)
{
    Put("desktop.ini");
    Put("sub\\DeskTop.INI");
    Put("sub\\other.txt");
    Put("sub\\desktop.ini.bak");

    EXPECT_TRUE(WipeFolder(root.c_str(), 0, 0));
    EXPECT_TRUE(Exists(Path("desktop.ini")));
    EXPECT_TRUE(Exists(Path("sub\\DeskTop.INI")));
    EXPECT_FALSE(Exists(Path("sub\\other.txt")));
    EXPECT_FALSE(Exists(Path("sub\\desktop.ini.bak")));

    EXPECT_TRUE(WipeFolder(root.c_str(), 1, 0));
    EXPECT_FALSE(Exists(Path("desktop.ini")));
    EXPECT_FALSE(Exists(Path("sub")));
}

TEST_F(WipeFolderTest, ZeroFillsIndexFilesPastTheirHeaderThenDeletesThem)
{
    // Each file is held open for reading with full sharing, so the deletion waits until it is closed
    // and its bytes can be read back after the overwrite.
    for (size_t size : {10u, 64u, 65u, 10064u, 10065u, 25064u}) {
        SCOPED_TRACE(size);
        const std::string original = Pattern(size);
        ASSERT_TRUE(WriteBytes(Path("history\\INDEX.DAT"), original));
        std::string after;
        {
            ScopedFile reader(CreateFileA(Path("history\\INDEX.DAT").c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
            ASSERT_TRUE(reader);
            EXPECT_TRUE(WipeFolder(Path("history").c_str(), 0, 1));
            after.resize(size);
            DWORD read = 0;
            ASSERT_TRUE(ReadFile(reader.get(), &after[0], static_cast<DWORD>(size), &read, nullptr));
            after.resize(read);
        }
        ASSERT_EQ(size, after.size());
        const size_t kept = size < 64 ? size : 64;
        EXPECT_EQ(original.substr(0, kept), after.substr(0, kept));
        EXPECT_EQ(std::string(size - kept, '\0'), after.substr(kept));
        EXPECT_FALSE(Exists(Path("history\\INDEX.DAT")));
    }
}

TEST_F(WipeFolderTest, IndexFilesAreOnlyDeletedWithoutOverwrite)
{
    const std::string original = Pattern(200);
    ASSERT_TRUE(WriteBytes(Path("index.dat"), original));
    ScopedFile reader(CreateFileA(Path("index.dat").c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(reader);
    EXPECT_TRUE(WipeFolder(root.c_str(), 0, 0));
    std::string after(200, '\0');
    DWORD read = 0;
    ASSERT_TRUE(ReadFile(reader.get(), &after[0], 200, &read, nullptr));
    EXPECT_EQ(original, after);
}

TEST_F(WipeFolderTest, FolderNamedIndexDatIsWipedNotOverwritten)
{
    Put("index.dat\\inner.txt");
    Put("index.dat\\index.dat");
    EXPECT_TRUE(WipeFolder(root.c_str(), 0, 1));
    EXPECT_FALSE(Exists(Path("index.dat")));
}

TEST_F(WipeFolderTest, IndexFileHeldWithoutWriteSharingIsLeftButTheWipeGoesOn)
{
    const std::string original = Pattern(500);
    ASSERT_TRUE(WriteBytes(Path("index.dat"), original));
    Put("other.txt");
    {
        ScopedFile holder(CreateFileA(Path("index.dat").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(holder);
        EXPECT_FALSE(OverwriteIndexFile(root.c_str(), "index.dat"));
        EXPECT_TRUE(WipeFolder(root.c_str(), 0, 1));
        EXPECT_TRUE(Exists(Path("index.dat")));
    }
    EXPECT_EQ(original, ReadBytes(Path("index.dat")));
    EXPECT_FALSE(Exists(Path("other.txt")));
}

TEST(OverwriteIndexFile, KeepsTheHeaderAndLengthAndZeroesTheRest)
{
    const std::string folder = "C:\\brisko-unit-overwrite";
    RemoveTree(folder);
    const std::string original = Pattern(20001);
    ASSERT_TRUE(WriteBytes(folder + "\\index.dat", original));
    EXPECT_TRUE(OverwriteIndexFile(folder.c_str(), "index.dat"));
    EXPECT_EQ(original.substr(0, 64) + std::string(20001 - 64, '\0'), ReadBytes(folder + "\\index.dat"));
    EXPECT_FALSE(OverwriteIndexFile(folder.c_str(), "missing.dat"));
    RemoveTree(folder);
}

// The link tree is made on the host side before the test (Wine cannot create links):
// Y:\clean_links\target\{linked_full -> ..\outside, linked_empty -> ..\outside_empty, sub\linked -> ..\..\outside}.
TEST(WipeFolderLinks, LinksAreNeitherEnteredNorRemoved)
{
    const std::string links = "Y:\\clean_links";
    const std::string target = links + "\\target";
    ASSERT_TRUE(Exists(target + "\\linked_full")) << "the link tree was not prepared";
    ASSERT_TRUE(GetFileAttributesA((target + "\\linked_full").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT);
    ASSERT_TRUE(WriteBytes(target + "\\plain.txt", "trace"));
    ASSERT_TRUE(WriteBytes(target + "\\sub\\plain.txt", "trace"));

    EXPECT_TRUE(WipeFolder(target.c_str(), 1, 1));

    EXPECT_FALSE(Exists(target + "\\plain.txt"));
    EXPECT_FALSE(Exists(target + "\\sub\\plain.txt"));
    EXPECT_TRUE(Exists(target + "\\linked_full"));
    EXPECT_TRUE(Exists(target + "\\linked_empty"));
    EXPECT_TRUE(Exists(target + "\\sub\\linked"));
    EXPECT_EQ("keep\n", ReadBytes(links + "\\outside\\keep.txt"));
    EXPECT_TRUE(IsFolder(links + "\\outside_empty"));
}

TEST(IsProtectedFolder, RefusesRootsSystemProfileAndProgramFolders)
{
    const std::string windows = WindowsFolder();
    const std::string system = SystemFolder();
    const std::string profile = ShellFolder(CSIDL_PROFILE);
    ASSERT_FALSE(windows.empty());
    ASSERT_FALSE(profile.empty());
    const std::string refused[] = {"C:\\",
                                   "c:",
                                   "Y:\\",
                                   windows,
                                   windows + "\\",
                                   windows + "\\\\",
                                   system,
                                   system + "\\..",
                                   profile,
                                   profile + "\\..",
                                   profile.substr(0, profile.find_last_of('\\')),
                                   ShellFolder(CSIDL_PROGRAM_FILES),
                                   ShellFolder(CSIDL_PROGRAM_FILESX86)};
    for (const std::string& folder : refused) {
        std::string upper = folder;
        CharUpperA(&upper[0]);
        EXPECT_TRUE(IsProtectedFolder(folder.c_str())) << folder;
        EXPECT_TRUE(IsProtectedFolder(upper.c_str())) << upper;
    }
}

TEST(IsProtectedFolder, AllowsTheFoldersTheRunWipes)
{
    const std::string allowed[] = {TempFolder(),
                                   TempFolder() + "\\",
                                   ShellFolder(CSIDL_INTERNET_CACHE),
                                   ShellFolder(CSIDL_COOKIES),
                                   ShellFolder(CSIDL_FAVORITES),
                                   ShellFolder(CSIDL_RECENT),
                                   ShellFolder(CSIDL_NETHOOD),
                                   ShellFolder(CSIDL_HISTORY),
                                   WindowsFolder() + "\\History",
                                   "C:\\brisko-unit-elsewhere"};
    for (const std::string& folder : allowed)
        EXPECT_FALSE(IsProtectedFolder(folder.c_str())) << folder;
}

TEST(IsProtectedFolder, ARelativePathIsJudgedByWhereItLeads)
{
    char previous[MAX_PATH];
    ASSERT_NE(0u, GetCurrentDirectoryA(MAX_PATH, previous));
    ASSERT_TRUE(SetCurrentDirectoryA(WindowsFolder().c_str()));
    EXPECT_TRUE(IsProtectedFolder("."));
    EXPECT_TRUE(IsProtectedFolder(".."));
    EXPECT_FALSE(IsProtectedFolder("History"));
    SetCurrentDirectoryA(previous);
}
