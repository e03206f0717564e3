// The settings file against crafted files in a scratch folder: the reader's rules and a safe save.
#include "app/settings_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>

namespace {

std::string Le32(std::uint32_t value)
{
    std::string bytes;
    for (int shift = 0; shift < 32; shift += 8)
        bytes.push_back((char)(value >> shift));
    return bytes;
}

// Twenty flags 100, 101, ... 119: each one tells where it was read from.
std::string NumberedFlags(size_t count = kSettingsFlagCount)
{
    std::string bytes;
    for (size_t i = 0; i < count; ++i)
        bytes += Le32((std::uint32_t)(100 + i));
    return bytes;
}

SettingsRecord Defaults()
{
    SettingsRecord record = {{1, 1, 1, 1, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, "5"};
    return record;
}

class SettingsFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char temp[MAX_PATH];
        ASSERT_NE(0u, GetTempPathA(MAX_PATH, temp));
        m_dir = std::string(temp) + "brisko-settings-" + std::to_string(GetCurrentProcessId());
        ASSERT_TRUE(CreateDirectoryA(m_dir.c_str(), nullptr));
        m_path = m_dir + "\\system32bri.sko";
    }
    void TearDown() override
    {
        DeleteFileA(m_path.c_str());
        DeleteFileA((m_path + ".new").c_str());
        RemoveDirectoryA((m_path + ".new").c_str());
        RemoveDirectoryA(m_dir.c_str());
    }

    void Put(const std::string& bytes)
    {
        HANDLE h =
            CreateFileA(m_path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, h);
        DWORD written = 0;
        WriteFile(h, bytes.data(), (DWORD)bytes.size(), &written, nullptr);
        CloseHandle(h);
        ASSERT_EQ(bytes.size(), written);
    }
    std::string Get() const
    {
        std::string bytes;
        HANDLE h = CreateFileA(m_path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return "<missing>";
        char buffer[512];
        DWORD got = 0;
        while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0)
            bytes.append(buffer, got);
        CloseHandle(h);
        return bytes;
    }
    SettingsRecord Load(const std::string& bytes)
    {
        Put(bytes);
        SettingsRecord record = Defaults();
        EXPECT_TRUE(ReadSettingsFile(m_path.c_str(), record));
        return record;
    }

    std::string m_dir;
    std::string m_path;
};

void ExpectNumberedFlags(const SettingsRecord& record, size_t whole)
{
    SettingsRecord defaults = Defaults();
    for (size_t i = 0; i < kSettingsFlagCount; ++i)
        EXPECT_EQ(i < whole ? (BOOL)(100 + i) : defaults.flags[i], record.flags[i]) << "flag " << i;
}

} // namespace

TEST(SettingsName, JoinsTheLeafStraightOntoTheSystemDirectory)
{
    char name[kSettingsNameSize];
    ASSERT_TRUE(JoinSettingsName("C:\\WINNT\\system32", name));
    EXPECT_STREQ("C:\\WINNT\\system32bri.sko", name);

    char system[MAX_PATH];
    UINT length = GetSystemDirectoryA(system, MAX_PATH);
    ASSERT_GT(length, 0u);
    ASSERT_TRUE(SettingsFileName(name));
    EXPECT_EQ(std::string(system, length) + "bri.sko", name);
}

TEST(SettingsName, APathTooLongForTheBufferGivesNoName)
{
    char name[kSettingsNameSize];
    std::string fits(kSettingsNameSize - 8, 'd'); // 192 + "bri.sko" + NUL = 200
    ASSERT_TRUE(JoinSettingsName(fits.c_str(), name));
    EXPECT_EQ(fits + "bri.sko", name);
    std::string tooLong(kSettingsNameSize - 7, 'd');
    EXPECT_FALSE(JoinSettingsName(tooLong.c_str(), name));
    EXPECT_STREQ("", name);
}

TEST_F(SettingsFileTest, NoFileLeavesTheRecordAsItWas)
{
    SettingsRecord record = Defaults();
    EXPECT_FALSE(ReadSettingsFile(m_path.c_str(), record));
    SettingsRecord defaults = Defaults();
    EXPECT_EQ(0, std::memcmp(defaults.flags, record.flags, sizeof record.flags));
    EXPECT_EQ("5", record.minutes);
}

TEST_F(SettingsFileTest, ShortFilesLoadWhatTheyHold)
{
    struct Case {
        const char* what;
        std::string bytes;
        size_t wholeFlags;
        std::string minutes;
    } cases[] = {
        {"empty file", "", 0, ""},
        {"flags only (80 bytes)", NumberedFlags(), 20, ""},
        {"ends inside the length", NumberedFlags() + std::string("\x04\x00", 2), 20, ""},
        {"N = 0 (84 bytes)", NumberedFlags() + Le32(0), 20, ""},
        {"1200 (88 bytes)", NumberedFlags() + Le32(4) + "1200", 20, "1200"},
        {"text cut by the end", NumberedFlags() + Le32(4) + "12", 20, "12"},
        {"text ends at a zero byte",
         NumberedFlags() + Le32(4) +
             std::string("3\0"
                         "99",
                         4),
         20, "3"},
        {"flag cut in the middle", NumberedFlags(10) + std::string("\x6e\x00", 2), 10, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SettingsRecord record = Load(c.bytes);
        ExpectNumberedFlags(record, c.wholeFlags);
        EXPECT_EQ(c.minutes, record.minutes);
    }
}

TEST_F(SettingsFileTest, LengthsBeyondTheBufferOrTheFileAreBounded)
{
    std::string text250;
    for (int i = 0; i < 250; ++i)
        text250.push_back((char)('a' + i % 26));
    struct Case {
        const char* what;
        std::uint32_t length;
        std::string text;
        std::string minutes;
    } cases[] = {
        {"N = 250", 250, text250, text250.substr(0, 199)},
        {"N = 199", 199, text250.substr(0, 199), text250.substr(0, 199)},
        {"N = -1, text shorter", 0xFFFFFFFFu, "30", "30"},
        {"N = -1, text longer", 0xFFFFFFFFu, text250, text250.substr(0, 199)},
        {"N = 0x7FFFFFFF", 0x7FFFFFFFu, "600", "600"},
        {"N = 0x80000000", 0x80000000u, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SettingsRecord record = Load(NumberedFlags() + Le32(c.length) + c.text);
        ExpectNumberedFlags(record, 20);
        EXPECT_EQ(c.minutes, record.minutes);
    }
}

// Random files of every length: the reader follows the layout and never reads past the file or the buffer.
TEST_F(SettingsFileTest, RandomBytesFollowTheLayout)
{
    std::mt19937 random(20240601);
    for (int round = 0; round < 200; ++round) {
        std::string bytes(random() % 400, '\0');
        for (char& b : bytes)
            b = (char)(random() % 4 == 0 ? 0 : random());
        if (round % 3 == 0 && bytes.size() >= 84)
            bytes.replace(80, 4, Le32((std::uint32_t)(random() % 300))); // plausible lengths too
        SCOPED_TRACE(round);
        SettingsRecord record = Load(bytes);

        SettingsRecord defaults = Defaults();
        for (size_t i = 0; i < kSettingsFlagCount; ++i) {
            BOOL expected = defaults.flags[i];
            if (bytes.size() >= 4 * i + 4)
                std::memcpy(&expected, bytes.data() + 4 * i, 4);
            EXPECT_EQ(expected, record.flags[i]) << "flag " << i;
        }
        std::string expectedText;
        if (bytes.size() >= 84) {
            std::uint32_t length;
            std::memcpy(&length, bytes.data() + 80, 4);
            std::string available = bytes.substr(84, length < 199 ? length : 199);
            expectedText = available.substr(0, available.find('\0'));
        }
        EXPECT_EQ(expectedText, record.minutes);
    }
}

TEST_F(SettingsFileTest, SavedRecordIs84PlusNBytesLittleEndian)
{
    SettingsRecord record = Defaults();
    record.flags[8] = 1;   // recycle bin
    record.flags[1] = 0;   // cookies
    record.flags[19] = -1; // a value is stored as it stands
    record.minutes = "1200";
    ASSERT_TRUE(WriteSettingsFile(m_path.c_str(), record));
    std::string expected = Le32(1) + Le32(0) + Le32(1) + Le32(1) + Le32(1) + Le32(0) + Le32(0) + Le32(1) + Le32(1);
    for (int i = 9; i < 19; ++i)
        expected += Le32(0);
    expected += Le32(0xFFFFFFFFu) + Le32(4) + "1200";
    EXPECT_EQ(expected, Get());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((m_path + ".new").c_str()));

    SettingsRecord back = {};
    ASSERT_TRUE(ReadSettingsFile(m_path.c_str(), back));
    EXPECT_EQ(0, std::memcmp(record.flags, back.flags, sizeof back.flags));
    EXPECT_EQ("1200", back.minutes);

    record.minutes.clear();
    ASSERT_TRUE(WriteSettingsFile(m_path.c_str(), record));
    EXPECT_EQ(84u, Get().size());
}

TEST_F(SettingsFileTest, FailedSaveLeavesThePreviousFileWhole)
{
    const std::string previous = NumberedFlags() + Le32(1) + "5";
    SettingsRecord record = Defaults();
    record.minutes = "30";

    // The new file cannot be created beside the old one.
    Put(previous);
    ASSERT_TRUE(CreateDirectoryA((m_path + ".new").c_str(), nullptr));
    EXPECT_FALSE(WriteSettingsFile(m_path.c_str(), record));
    EXPECT_EQ(previous, Get());
    ASSERT_TRUE(RemoveDirectoryA((m_path + ".new").c_str()));

    // The old file is held open by someone who does not let it be replaced.
    HANDLE held = CreateFileA(m_path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    EXPECT_FALSE(WriteSettingsFile(m_path.c_str(), record));
    CloseHandle(held);
    EXPECT_EQ(previous, Get());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((m_path + ".new").c_str()));

    // A folder that does not exist: nothing is written anywhere.
    std::string nowhere = m_dir + "\\missing\\system32bri.sko";
    EXPECT_FALSE(WriteSettingsFile(nowhere.c_str(), record));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(nowhere.c_str()));
}
