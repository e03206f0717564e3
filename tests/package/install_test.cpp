// The installer and its uninstaller, run silently as an administrator would: what goes where, Brisko starting from
// there, and an uninstall that takes the program, its entries and what Brisko left (start-up values, settings) only.
#include "res/resource.h"
#include "tests/support/brisko_driver.h"
#include "tests/support/trace_kit.h"

#include <shlobj.h>

#include <gtest/gtest.h>

using namespace trace_kit;

const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Brisko";
const char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// Between the install and the uninstall nothing stops the test, so that no installation outlives it.
TEST(Installer, InstallsRunsAndUninstallsTakingOnlyWhatIsBriskos)
{
    brisko::SharedStateGuard guard;
    ASSERT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey)) << "a Brisko installation was left in the sandbox";
    ASSERT_TRUE(brisko::RunCommand("\"" + brisko::InBuild(BRISKO_INSTALLER) + "\" /S"));
    // The installer has the test's bitness, so its Program Files is the one this process sees.
    const std::string dir = ShellFolder(CSIDL_PROGRAM_FILES) + "\\Brisko";
    const std::string shortcut = ShellFolder(CSIDL_COMMON_PROGRAMS) + "\\Brisko.lnk";
    for (const std::string& file : {dir + "\\Brisko.exe", dir + "\\README.txt", dir + "\\LICENSE.txt", shortcut})
        EXPECT_TRUE(Exists(file)) << file;
    EXPECT_EQ("Brisko", GetString(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName"));
    EXPECT_EQ(BRISKO_VERSION, GetString(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayVersion"));
    EXPECT_EQ("\"" + dir + "\\Uninstall.exe\"", GetString(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString"));
    {
        brisko::Instance brisko;
        EXPECT_TRUE(brisko.Start("", dir + "\\Brisko.exe"));
        brisko.Click(IDC_AUTOSTART);
        EXPECT_TRUE(brisko.End(brisko::Ending::CloseBox));
    }
    const std::string entry = "\"" + dir + "\\Brisko.exe\"  hide";
    EXPECT_EQ(0, lstrcmpiA(entry.c_str(), brisko::RunValue(HKEY_LOCAL_MACHINE).c_str()));
    EXPECT_NE("<missing>", ReadBytes(brisko::SettingsPath()));

    // Also what Brisko leaves elsewhere, each beside a canary: the user's entry, a virtualised settings copy.
    const std::string files[] = {brisko::SettingsPath(), ShellFolder(CSIDL_LOCAL_APPDATA) + "\\VirtualStore" +
                                                             brisko::SettingsPath().substr(2)};
    for (const std::string& file : files)
        EXPECT_TRUE(WriteBytes(file, "settings") && WriteBytes(file + ".keep", "canary"));
    EXPECT_TRUE(brisko::PlantStartup(brisko::kUserEntry | brisko::kVirtualEntry, trace_kit::Wide(entry)));
    EXPECT_TRUE(SetString(HKEY_CURRENT_USER, brisko::kVirtualRunKey, "BriskoCanary", "canary.exe"));
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
        EXPECT_TRUE(SetString(root, kRunKey, "BriskoCanary", "canary.exe"));

    // The uninstaller hands over to a copy of itself and exits; the copy removes the entry last.
    EXPECT_TRUE(brisko::RunCommand("\"" + dir + "\\Uninstall.exe\" /S"));
    EXPECT_TRUE(brisko::WaitFor([] { return !KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey); }, 120000));
    EXPECT_TRUE(brisko::WaitFor([&] { return !Exists(dir); }, 10000));
    EXPECT_FALSE(Exists(shortcut));
    EXPECT_TRUE(Exists(ParentFolder(shortcut)));
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        EXPECT_EQ("<none>", brisko::RunValue(root));
        EXPECT_EQ("canary.exe", GetString(root, kRunKey, "BriskoCanary"));
    }
    EXPECT_EQ(0u, brisko::StartupPlaces(trace_kit::Wide(entry)) & brisko::kVirtualEntry);
    EXPECT_EQ("canary.exe", GetString(HKEY_CURRENT_USER, brisko::kVirtualRunKey, "BriskoCanary"));
    for (const std::string& file : files) {
        EXPECT_FALSE(Exists(file)) << file;
        EXPECT_EQ("canary", ReadBytes(file + ".keep"));
    }
}
