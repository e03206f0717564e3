// Shared by the application shell's end-to-end tests: the settings file and the Run values are
// the sandbox's, so each test starts without them and puts back what was there.
#pragma once

#include "tests/support/brisko_driver.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace app_e2e {

const char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// The Run value "Brisko" under the hive: its text, "<none>", or what is wrong with it.
inline std::string RunValue(HKEY root = HKEY_LOCAL_MACHINE)
{
    HKEY key;
    if (RegOpenKeyExA(root, kRunKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "<none>";
    char data[512] = "";
    DWORD size = sizeof data - 1, type = 0;
    LONG rc = RegQueryValueExA(key, "Brisko", nullptr, &type, (BYTE*)data, &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS)
        return "<none>";
    if (type != REG_SZ)
        return "<not REG_SZ>";
    return size == std::strlen(data) + 1 ? std::string(data) : "<length " + std::to_string(size) + ">";
}

inline void DeleteRunValue()
{
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        HKEY key;
        if (RegOpenKeyExA(root, kRunKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
            RegDeleteValueA(key, "Brisko");
            RegCloseKey(key);
        }
    }
}

class BriskoTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_hadSettings = brisko::ReadBytes(brisko::SettingsPath(), m_savedSettings);
        DeleteFileA(brisko::SettingsPath().c_str());
        DeleteRunValue();
    }
    void TearDown() override
    {
        DeleteRunValue();
        if (m_hadSettings)
            brisko::WriteBytes(brisko::SettingsPath(), m_savedSettings);
        else
            DeleteFileA(brisko::SettingsPath().c_str());
    }
    static std::string Settings()
    {
        std::string bytes;
        return brisko::ReadBytes(brisko::SettingsPath(), bytes) ? bytes : "<missing>";
    }
    static void Store(const std::array<int, 20>& flags, const std::string& minutes)
    {
        ASSERT_TRUE(brisko::WriteBytes(brisko::SettingsPath(), brisko::SettingsBytes(flags, minutes)));
    }

private:
    bool m_hadSettings = false;
    std::string m_savedSettings;
};

// Positions of the stored flags in the file, by the box they belong to.
enum StoredFlag { kTempFiles = 0, kCookies = 1, kSystemTemp = 7, kAutoStart = 17, kAutoClear = 18, kClearOnStart = 19 };

} // namespace app_e2e
