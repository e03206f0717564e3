// What the end-to-end runs cannot pin down about the folder wiper: the bytes an index file keeps,
// the files whose bytes it must not touch, and the guard's judgement by identity.
#include "app/brisko_dlg.h"
#include "clean/folder_wiper.h"
#include "clean/steps.h"
#include "framework/scoped_win.h"
#include "tests/support/trace_kit.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <string>

using namespace trace_kit;

namespace {

const std::string kRoot = "C:\\brisko-unit-wiper";

bool Wipe(const std::string& folder, BOOL overwriteIndexDat)
{
    return WipeFolder(Wide(folder).c_str(), 0, overwriteIndexDat);
}

std::string Pattern(size_t size)
{
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>('a' + i % 26);
    return bytes;
}

ScopedFile Open(const std::string& path, DWORD share)
{
    return ScopedFile(CreateFileW(Wide(path).c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr));
}

} // namespace

// Index files are zero-filled past their 64-byte header, keep their length, and are then deleted;
// without the switch they are deleted like any file. A reader with full sharing sees the bytes.
TEST(WipeFolder, IndexFileBytes)
{
    struct Case {
        size_t size;
        BOOL overwrite;
    };
    for (const Case c :
         {Case{10, 1}, Case{64, 1}, Case{65, 1}, Case{10064, 1}, Case{10065, 1}, Case{25064, 1}, Case{200, 0}}) {
        SCOPED_TRACE(testing::Message() << c.size << " bytes, overwrite " << c.overwrite);
        RemoveTree(kRoot);
        const std::string original = Pattern(c.size);
        ASSERT_TRUE(WriteBytes(kRoot + "\\INDEX.DAT", original));
        std::string after(c.size, '\0');
        {
            ScopedFile reader = Open(kRoot + "\\INDEX.DAT", FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
            ASSERT_TRUE(reader);
            EXPECT_TRUE(Wipe(kRoot, c.overwrite));
            DWORD read = 0;
            ASSERT_TRUE(ReadFile(reader.get(), &after[0], static_cast<DWORD>(c.size), &read, nullptr));
            after.resize(read);
        }
        const size_t kept = c.overwrite ? std::min<size_t>(c.size, 64) : c.size;
        EXPECT_EQ(original.substr(0, kept) + std::string(c.size - kept, '\0'), after);
        EXPECT_FALSE(Exists(kRoot + "\\INDEX.DAT"));
    }
    RemoveTree(kRoot);
}

// An index file that is a hard link shares its bytes with a file elsewhere: only its name goes. One
// that another program holds without write sharing stays whole, and the wipe goes on.
TEST(WipeFolder, IndexFilesWhoseBytesAreNotItsOwn)
{
    RemoveTree(kRoot);
    const std::string original = Pattern(500);
    const std::string elsewhere = kRoot + "-elsewhere.dat";
    ASSERT_TRUE(WriteBytes(elsewhere, original));
    ASSERT_TRUE(MakeFolders(kRoot + "\\linked"));
    ASSERT_TRUE(CreateHardLinkW(Wide(kRoot + "\\linked\\index.dat").c_str(), Wide(elsewhere).c_str(), nullptr));
    ASSERT_TRUE(WriteBytes(kRoot + "\\held\\index.dat", original));
    ASSERT_TRUE(WriteBytes(kRoot + "\\held\\other.txt", "trace"));
    {
        ScopedFile holder = Open(kRoot + "\\held\\index.dat", FILE_SHARE_READ);
        ASSERT_TRUE(holder);
        EXPECT_TRUE(Wipe(kRoot, 1));
    }
    EXPECT_FALSE(Exists(kRoot + "\\linked"));
    EXPECT_EQ(original, ReadBytes(elsewhere));
    EXPECT_EQ(original, ReadBytes(kRoot + "\\held\\index.dat"));
    EXPECT_FALSE(Exists(kRoot + "\\held\\other.txt"));
    RemoveTree(kRoot);
    DeleteFileW(Wide(elsewhere).c_str());
}

// The guard judges a folder by what it is, not by how it is spelt: links are followed to where they
// lead, and a folder that cannot be opened is refused.
TEST(IsProtectedFolder, ByIdentity)
{
    const std::string profile = ShellFolder(CSIDL_PROFILE);
    const std::string windows = WindowsFolder();
    ASSERT_FALSE(profile.empty());
    ASSERT_TRUE(Exists(ProfileLink())) << "the host did not make the link";
    std::string upper = profile;
    CharUpperA(&upper[0]);
    const std::string refused[] = {"C:\\",
                                   "Y:\\",
                                   "\\\\?\\C:\\",
                                   windows,
                                   windows + "\\",
                                   SystemFolder(),
                                   SystemFolder() + "\\..",
                                   profile,
                                   upper,
                                   "\\\\?\\" + profile,
                                   ParentFolder(profile),
                                   ProfileLink(),
                                   ShellFolder(CSIDL_PROGRAM_FILES),
                                   kRoot + "-missing"};
    for (const std::string& folder : refused)
        EXPECT_TRUE(IsProtectedFolder(Wide(folder).c_str())) << folder;

    ASSERT_TRUE(MakeFolders(TempFolder() + "\\" + LinkName())) << "the link canary is missing";
    const std::string allowed[] = {TempFolder(),
                                   TempFolder() + "\\",
                                   "\\\\?\\" + TempFolder(),
                                   ShellFolder(CSIDL_HISTORY),
                                   windows + "\\History",
                                   TempFolder() + "\\" + LinkName()};
    for (const std::string& folder : allowed)
        EXPECT_FALSE(IsProtectedFolder(Wide(folder).c_str())) << folder;
}

namespace {

LONG g_enumCalls = 0;
// The first subkey of the walk fails to enumerate, as a key deleted under an open handle does.
LONG WINAPI FailFirstEnum(HKEY key, DWORD index, LPSTR name, DWORD size)
{
    return g_enumCalls++ == 0 ? ERROR_KEY_DELETED : RegEnumKeyA(key, index, name, size);
}

} // namespace

// The DACL walk goes on past a subkey that fails to enumerate, so the form data still goes.
TEST(RemoveFormData, WalkGoesOnPastASubkeyThatFailsToEnumerate)
{
    ASSERT_TRUE(trace_kit::Seed().empty());
    const auto present = [](const char* name) {
        for (const TraceState& trace : Report())
            if (trace.name == name)
                return trace.present;
        return false;
    };
    ASSERT_TRUE(present("locked form data key of the user"));
    g_enumCalls = 0;
    CBriskoDlg::s_pfnRegEnumKeyA = FailFirstEnum;
    CBriskoDlg::RemoveFormData();
    CBriskoDlg::s_pfnRegEnumKeyA = RegEnumKeyA;
    EXPECT_LT(1, g_enumCalls);
    EXPECT_FALSE(present("locked form data key of the user"));
    EXPECT_TRUE(present("DACL of the user's form data root"));
}

// The history step zero-fills the index files of the user's history folder before it deletes them;
// a name that is not one component is never opened.
TEST(CleanHistoryItems, ZeroFillsIndexFilesFirst)
{
    const std::string index = ShellFolder(CSIDL_HISTORY) + "\\brisko-unit\\index.dat";
    const std::string original = Pattern(300);
    ASSERT_TRUE(WriteBytes(index, original));
    std::string after(300, '\0');
    {
        ScopedFile reader = Open(index, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
        ASSERT_TRUE(reader);
        CleanHistoryItems();
        DWORD read = 0;
        ASSERT_TRUE(ReadFile(reader.get(), &after[0], 300, &read, nullptr));
    }
    EXPECT_EQ(original.substr(0, 64) + std::string(236, '\0'), after);
    EXPECT_FALSE(Exists(index));
    ASSERT_TRUE(WriteBytes(kRoot + "\\index.dat", original));
    ASSERT_TRUE(MakeFolders(kRoot + "\\inner"));
    EXPECT_FALSE(OverwriteIndexFile(Wide(kRoot + "\\inner").c_str(), L"..\\index.dat"));
    EXPECT_EQ(original, ReadBytes(kRoot + "\\index.dat"));
    RemoveTree(kRoot);
}
