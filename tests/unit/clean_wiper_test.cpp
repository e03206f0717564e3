// What the end-to-end runs cannot pin down about the cleaning engine: the bytes an index file keeps,
// the files whose bytes it must not touch, the guard's judgement by identity, and a DACL walk past
// a subkey that fails to enumerate.
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

// The bytes a reader sharing everything sees in `path` after `wipe`.
std::string BytesAfter(const std::string& path, size_t size, void (*wipe)())
{
    std::string after(size, '\0');
    ScopedFile reader = Open(path, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    DWORD read = 0;
    wipe();
    return reader && ReadFile(reader.get(), &after[0], static_cast<DWORD>(size), &read, nullptr) ? after.substr(0, read)
                                                                                                 : "<unreadable>";
}

} // namespace

// Index files are zero-filled past their 64-byte header, keep their length, and are then deleted;
// without the switch they are deleted like any file. So are those of the user's history folder.
TEST(WipeFolder, IndexFileBytes)
{
    static BOOL overwrite;
    const struct {
        size_t size;
        BOOL overwrite;
    } cases[] = {{10, 1}, {64, 1}, {65, 1}, {10064, 1}, {10065, 1}, {25064, 1}, {200, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.size << " bytes, overwrite " << c.overwrite);
        const std::string original = Pattern(c.size), index = kRoot + "\\INDEX.DAT";
        ASSERT_TRUE(WriteBytes(index, original));
        overwrite = c.overwrite;
        const size_t kept = c.overwrite ? std::min<size_t>(c.size, 64) : c.size;
        EXPECT_EQ(original.substr(0, kept) + std::string(c.size - kept, '\0'),
                  BytesAfter(index, c.size, [] { EXPECT_TRUE(WipeFolder(Wide(kRoot).c_str(), 0, overwrite)); }));
        EXPECT_FALSE(Exists(index));
    }
    const std::string history = ShellFolder(CSIDL_HISTORY) + "\\brisko-unit\\index.dat";
    ASSERT_TRUE(WriteBytes(history, Pattern(300)));
    EXPECT_EQ(Pattern(64) + std::string(236, '\0'), BytesAfter(history, 300, CleanHistoryItems));
    EXPECT_FALSE(Exists(history));
    RemoveTree(kRoot);
}

// An index file that is a hard link shares its bytes with a file elsewhere: only its name goes. One
// that another program holds without write sharing stays whole, and the wipe goes on.
TEST(WipeFolder, IndexFilesWhoseBytesAreNotItsOwn)
{
    const std::string original = Pattern(500), elsewhere = kRoot + "-elsewhere.dat";
    ASSERT_TRUE(WriteBytes(elsewhere, original));
    ASSERT_TRUE(MakeFolders(kRoot + "\\linked"));
    ASSERT_TRUE(CreateHardLinkW(Wide(kRoot + "\\linked\\index.dat").c_str(), Wide(elsewhere).c_str(), nullptr));
    ASSERT_TRUE(WriteBytes(kRoot + "\\held\\index.dat", original));
    ASSERT_TRUE(WriteBytes(kRoot + "\\held\\other.txt", "trace"));
    {
        ScopedFile holder = Open(kRoot + "\\held\\index.dat", FILE_SHARE_READ);
        ASSERT_TRUE(holder);
        EXPECT_TRUE(WipeFolder(Wide(kRoot).c_str(), 0, TRUE));
    }
    EXPECT_FALSE(Exists(kRoot + "\\linked"));
    EXPECT_EQ(original, ReadBytes(elsewhere));
    EXPECT_EQ(original, ReadBytes(kRoot + "\\held\\index.dat"));
    EXPECT_FALSE(Exists(kRoot + "\\held\\other.txt"));
    RemoveTree(kRoot);
    RemoveTree(elsewhere);
}

// The guard judges a folder by what it is, not by how it is spelt: links are followed to where they
// lead, and a folder that cannot be opened is refused.
TEST(IsProtectedFolder, ByIdentity)
{
    const std::string profile = ShellFolder(CSIDL_PROFILE), windows = WindowsFolder(), temp = TempFolder();
    ASSERT_TRUE(Exists(ProfileLink())) << "the host did not make the link";
    ASSERT_TRUE(MakeFolders(temp + "\\" + LinkName())) << "the link canary is missing";
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
    const std::string allowed[] = {temp,
                                   temp + "\\",
                                   "\\\\?\\" + temp,
                                   ShellFolder(CSIDL_HISTORY),
                                   windows + "\\History",
                                   temp + "\\" + LinkName()};
    for (const std::string& folder : allowed)
        EXPECT_FALSE(IsProtectedFolder(Wide(folder).c_str())) << folder;
}

// The first subkey of the walk fails to enumerate, as a key deleted under an open handle does; the
// walk goes on past it, so the form data still goes.
static LONG g_calls;
static LONG WINAPI FailFirstEnum(HKEY key, DWORD index, LPSTR name, DWORD size)
{
    return g_calls++ == 0 ? ERROR_KEY_DELETED : RegEnumKeyA(key, index, name, size);
}

TEST(RemoveFormData, WalkGoesOnPastASubkeyThatFailsToEnumerate)
{
    ASSERT_TRUE(Seed().empty());
    ASSERT_TRUE(IsPresent("locked form data key of the user"));
    g_calls = 0;
    CBriskoDlg::s_pfnRegEnumKeyA = FailFirstEnum;
    CBriskoDlg::RemoveFormData();
    CBriskoDlg::s_pfnRegEnumKeyA = RegEnumKeyA;
    EXPECT_LT(1, g_calls);
    EXPECT_FALSE(IsPresent("locked form data key of the user"));
    EXPECT_TRUE(IsPresent("DACL of the user's form data root"));
}
