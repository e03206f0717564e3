// The installer and its uninstaller, run silently in the sandbox as an administrator would run them:
// what the installer puts where, Brisko starting from there, and an uninstall that removes the
// program, its entries and what Brisko itself left (start-up values, settings file) and nothing else.
#include "tests/support/brisko_driver.h"
#include "tests/support/trace_kit.h"

#include "res/resource.h"

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Brisko";
const char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

struct HandleClose {
    void operator()(HANDLE h) const { ::CloseHandle(h); }
};
using HandlePtr = std::unique_ptr<void, HandleClose>;

struct KeyClose {
    void operator()(HKEY h) const { ::RegCloseKey(h); }
};
using KeyPtr = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyClose>;

KeyPtr OpenKey(const char* path, REGSAM access = KEY_READ, HKEY root = HKEY_LOCAL_MACHINE)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExA(root, path, 0, access, &key) != ERROR_SUCCESS)
        return nullptr;
    return KeyPtr(key);
}

bool ReadString(const char* keyPath, const char* name, std::string& value, HKEY root = HKEY_LOCAL_MACHINE)
{
    value.clear();
    KeyPtr key = OpenKey(keyPath, KEY_READ, root);
    char buffer[MAX_PATH * 2] = "";
    DWORD size = sizeof buffer - 1, type = 0;
    if (!key || ::RegQueryValueExA(key.get(), name, nullptr, &type, (BYTE*)buffer, &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return false;
    value = buffer;
    return true;
}

bool WriteString(const char* keyPath, const char* name, const std::string& value, HKEY root = HKEY_LOCAL_MACHINE)
{
    HKEY created = nullptr;
    if (::RegCreateKeyExA(root, keyPath, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &created, nullptr) != ERROR_SUCCESS)
        return false;
    KeyPtr key(created);
    return ::RegSetValueExA(key.get(), name, 0, REG_SZ, (const BYTE*)value.c_str(), (DWORD)value.size() + 1) ==
           ERROR_SUCCESS;
}

void DeleteValue(const char* keyPath, const char* name, HKEY root = HKEY_LOCAL_MACHINE)
{
    if (KeyPtr key = OpenKey(keyPath, KEY_SET_VALUE, root))
        ::RegDeleteValueA(key.get(), name);
}

bool Exists(const std::string& path) { return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool Installed() { return OpenKey(kUninstallKey) != nullptr; }

std::string KnownFolder(int csidl)
{
    char path[MAX_PATH] = "";
    return SUCCEEDED(::SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)) ? path : "";
}

// The installer has the test's bitness, so its Program Files is the one this process sees.
std::string InstallDir() { return KnownFolder(CSIDL_PROGRAM_FILES) + "\\Brisko"; }
std::string Shortcut() { return KnownFolder(CSIDL_COMMON_PROGRAMS) + "\\Brisko.lnk"; }
// File virtualisation's copy of the settings file: its path without the drive, under VirtualStore.
std::string VirtualSettingsPath()
{
    return KnownFolder(CSIDL_LOCAL_APPDATA) + "\\VirtualStore" + brisko::SettingsPath().substr(2);
}

bool WaitFor(bool (*done)(), DWORD timeoutMs)
{
    for (DWORD waited = 0; !done(); waited += 100) {
        if (waited >= timeoutMs)
            return false;
        ::Sleep(100);
    }
    return true;
}

// Runs a command line and returns its exit code, or -1 when it did not start or end in time.
long RunCommand(const std::string& commandLine, HandlePtr* process = nullptr, DWORD timeoutMs = 120000)
{
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::string line = commandLine;
    if (!::CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return -1;
    HandlePtr proc(pi.hProcess), thread(pi.hThread);
    if (process != nullptr) {
        *process = std::move(proc);
        return 0;
    }
    DWORD code = 0;
    if (::WaitForSingleObject(proc.get(), timeoutMs) != WAIT_OBJECT_0 || !::GetExitCodeProcess(proc.get(), &code))
        return -1;
    return (long)code;
}

struct MainWindow {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK FindMainWindow(HWND hWnd, LPARAM lParam)
{
    auto* ctx = reinterpret_cast<MainWindow*>(lParam);
    DWORD pid = 0;
    char caption[16] = "";
    ::GetWindowThreadProcessId(hWnd, &pid);
    ::GetWindowTextA(hWnd, caption, sizeof caption);
    if (pid == ctx->pid && lstrcmpA(caption, "Brisko") == 0 && ::GetDlgItem(hWnd, IDC_AUTOSTART) != nullptr) {
        ctx->found = hWnd;
        return FALSE;
    }
    return TRUE;
}

void Uninstall()
{
    // The uninstaller hands over to a copy of itself and exits; the copy removes the entry last.
    ASSERT_EQ(0, RunCommand("\"" + InstallDir() + "\\Uninstall.exe\" /S"));
    ASSERT_TRUE(WaitFor([] { return !Installed(); }, 120000));
    ASSERT_TRUE(WaitFor([] { return !Exists(InstallDir()); }, 10000));
}

class Installer : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ASSERT_FALSE(Installed()) << "a Brisko installation was left in the sandbox";
        ASSERT_EQ(0, RunCommand("\"Y:\\" BRISKO_INSTALLER "\" /S"));
    }
    static void TearDownTestSuite()
    {
        if (Installed())
            Uninstall();
        for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
            DeleteValue(kRunKey, "Brisko", root);
            DeleteValue(kRunKey, "BriskoCanary", root);
        }
        for (const std::string& file : {brisko::SettingsPath(), Canary(brisko::SettingsPath()), VirtualSettingsPath(),
                                        Canary(VirtualSettingsPath())})
            ::DeleteFileA(file.c_str());
    }
    static std::string Canary(const std::string& path) { return path + ".keep"; }
};

} // namespace

TEST_F(Installer, PutsProgramShortcutAndUninstallEntry)
{
    for (const char* file : {"Brisko.exe", "README.txt", "LICENSE.txt", "Uninstall.exe"})
        EXPECT_TRUE(Exists(InstallDir() + "\\" + file)) << file;
    EXPECT_TRUE(Exists(Shortcut())) << Shortcut();

    std::string value;
    EXPECT_TRUE(ReadString(kUninstallKey, "DisplayName", value));
    EXPECT_EQ("Brisko", value);
    EXPECT_TRUE(ReadString(kUninstallKey, "DisplayVersion", value));
    EXPECT_EQ(BRISKO_VERSION, value);
    EXPECT_TRUE(ReadString(kUninstallKey, "UninstallString", value));
    EXPECT_EQ("\"" + InstallDir() + "\\Uninstall.exe\"", value);
}

// Started from Program Files, Brisko shows its window, takes the start-up choice and saves its
// settings when closed: the traces the uninstaller must find.
TEST_F(Installer, ProgramRunsFromProgramFiles)
{
    ::DeleteFileA(brisko::SettingsPath().c_str());
    DeleteValue(kRunKey, "Brisko");
    HandlePtr process;
    ASSERT_EQ(0, RunCommand("\"" + InstallDir() + "\\Brisko.exe\"", &process));
    MainWindow window = {::GetProcessId(process.get()), nullptr};
    for (int i = 0; i < 300 && window.found == nullptr; ++i) {
        ::EnumWindows(FindMainWindow, (LPARAM)&window);
        if (window.found == nullptr)
            ::Sleep(100);
    }
    ASSERT_NE(nullptr, window.found);
    ::SendMessageA(::GetDlgItem(window.found, IDC_AUTOSTART), BM_CLICK, 0, 0);
    ::PostMessageA(window.found, WM_CLOSE, 0, 0);
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(process.get(), 15000));

    std::string run;
    EXPECT_TRUE(ReadString(kRunKey, "Brisko", run));
    EXPECT_NE(std::string::npos, run.find(InstallDir() + "\\Brisko.exe")) << run;
    EXPECT_TRUE(Exists(brisko::SettingsPath()));
}

TEST_F(Installer, UninstallRemovesWhatBriskoLeftAndNothingElse)
{
    ASSERT_TRUE(trace_kit::WriteBytes(brisko::SettingsPath(), brisko::SettingsBytes(brisko::Ticked(), "5")));
    const HKEY roots[] = {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER};
    for (HKEY root : roots)
        ASSERT_TRUE(WriteString(kRunKey, "Brisko", "\"" + InstallDir() + "\\Brisko.exe\" hide", root));
    std::string virtualDir = VirtualSettingsPath().substr(0, VirtualSettingsPath().rfind('\\'));
    int made = ::SHCreateDirectoryExA(nullptr, virtualDir.c_str(), nullptr);
    ASSERT_TRUE(made == ERROR_SUCCESS || made == ERROR_ALREADY_EXISTS) << virtualDir;
    ASSERT_TRUE(trace_kit::WriteBytes(VirtualSettingsPath(), "virtualised"));
    // Canaries: a value beside each Run value, files beside the settings file and beside its copy.
    for (HKEY root : roots)
        ASSERT_TRUE(WriteString(kRunKey, "BriskoCanary", "canary.exe", root));
    ASSERT_TRUE(trace_kit::WriteBytes(Canary(brisko::SettingsPath()), "canary"));
    ASSERT_TRUE(trace_kit::WriteBytes(Canary(VirtualSettingsPath()), "canary"));

    Uninstall();

    EXPECT_FALSE(Exists(InstallDir()));
    EXPECT_FALSE(Exists(Shortcut()));
    EXPECT_FALSE(Installed());
    std::string value;
    for (HKEY root : roots) {
        EXPECT_FALSE(ReadString(kRunKey, "Brisko", value, root)) << value;
        EXPECT_TRUE(ReadString(kRunKey, "BriskoCanary", value, root));
    }
    EXPECT_FALSE(Exists(brisko::SettingsPath()));
    EXPECT_FALSE(Exists(VirtualSettingsPath()));

    EXPECT_TRUE(Exists(Canary(brisko::SettingsPath())));
    EXPECT_TRUE(Exists(Canary(VirtualSettingsPath())));
    EXPECT_TRUE(Exists(KnownFolder(CSIDL_COMMON_PROGRAMS)));
}
