// The sandbox every test runs in: nothing inside can reach the host's files.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>

namespace {

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string ShellFolder(int csidl)
{
    char path[MAX_PATH] = "";
    return SHGetSpecialFolderPathA(nullptr, path, csidl, FALSE) ? path : "";
}

} // namespace

TEST(Sandbox, HostRootIsUnreachable)
{
    EXPECT_FALSE(Exists("Z:\\"));
    EXPECT_FALSE(Exists("Z:\\etc\\passwd"));
    EXPECT_FALSE(Exists("\\\\?\\unix\\etc\\passwd") && Exists("Z:\\"));
}

TEST(Sandbox, ProfileFoldersAreRealFoldersInsideThePrefix)
{
    for (int csidl :
         {CSIDL_DESKTOPDIRECTORY, CSIDL_PERSONAL, CSIDL_MYPICTURES, CSIDL_MYMUSIC, CSIDL_MYVIDEO, CSIDL_FAVORITES,
          CSIDL_RECENT, CSIDL_NETHOOD, CSIDL_INTERNET_CACHE, CSIDL_COOKIES, CSIDL_HISTORY}) {
        std::string path = ShellFolder(csidl);
        if (path.empty())
            continue; // not created yet: nothing to reach through
        SCOPED_TRACE(path);
        EXPECT_EQ(0u, path.rfind("C:\\", 0));
        DWORD attributes = GetFileAttributesA(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES) {
            EXPECT_EQ(0u, attributes & FILE_ATTRIBUTE_REPARSE_POINT);
        }
    }
}

TEST(Sandbox, RecycleBinIsTheSandboxTrash)
{
    char temp[MAX_PATH];
    ASSERT_NE(0u, GetTempPathA(MAX_PATH, temp));
    std::string file = std::string(temp) + "brisko-trash-probe.txt";
    HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    CloseHandle(h);

    std::string from = file + '\0';
    SHFILEOPSTRUCTA op = {};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI;
    ASSERT_EQ(0, SHFileOperationA(&op));
    EXPECT_FALSE(Exists(file));

    // The sandbox's HOME lies in the build tree, which is drive Y:.
    EXPECT_TRUE(Exists("Y:\\sandbox\\home\\.local\\share\\Trash\\files\\brisko-trash-probe.txt"));
    EXPECT_EQ(S_OK, SHEmptyRecycleBinA(nullptr, nullptr, SHERB_NOCONFIRMATION | SHERB_NOPROGRESSUI | SHERB_NOSOUND));
}
