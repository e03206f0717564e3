// The URL cache purge on the sandbox's real WinINet cache.
#include "clean/url_cache.h"
#include "tests/support/trace_kit_files.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <wininet.h>

#include <set>
#include <string>
#include <vector>

namespace {

// Every URL the cache enumeration delivers.
std::set<std::string> CachedUrls()
{
    std::set<std::string> urls;
    std::vector<char> buffer(64 * 1024);
    auto* entry = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(buffer.data());
    DWORD size = static_cast<DWORD>(buffer.size());
    HANDLE find = FindFirstUrlCacheEntryA(nullptr, entry, &size);
    if (!find)
        return urls;
    do {
        urls.insert(entry->lpszSourceUrlName);
        size = static_cast<DWORD>(buffer.size());
    } while (FindNextUrlCacheEntryA(find, entry, &size));
    FindCloseUrlCache(find);
    return urls;
}

bool AddEntry(const std::string& url, DWORD type)
{
    char file[MAX_PATH] = "";
    if (!CreateUrlCacheEntryA(url.c_str(), 0, "txt", file, 0))
        return false;
    if (!trace_kit::WriteBytes(file, "cached"))
        return false;
    FILETIME never = {};
    return CommitUrlCacheEntryA(url.c_str(), file, never, never, type, nullptr, 0, "txt", nullptr);
}

// Leaves the cache without entries, whatever earlier tests or Wine put there.
void EmptyCache()
{
    for (const std::string& url : CachedUrls())
        DeleteUrlCacheEntryA(url.c_str());
}

const std::string kPage = "http://brisko.test/page.html";
const std::string kSticky = "http://brisko.test/sticky.html";
const std::string kCookie = "Cookie:user@brisko.test/";
const std::string kMixed = "http://brisko.test/mixed.html";

class PurgeUrlCacheTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        EmptyCache();
        ASSERT_TRUE(CachedUrls().empty());
    }
    void TearDown() override { EmptyCache(); }

    void AddCookiesOnly()
    {
        ASSERT_TRUE(AddEntry(kCookie, COOKIE_CACHE_ENTRY));
        ASSERT_TRUE(AddEntry("Cookie:user@other.brisko.test/", COOKIE_CACHE_ENTRY));
        ASSERT_EQ(2u, CachedUrls().size());
    }
    void AddMixedCache()
    {
        ASSERT_TRUE(AddEntry(kPage, NORMAL_CACHE_ENTRY));
        ASSERT_TRUE(AddEntry(kSticky, NORMAL_CACHE_ENTRY | STICKY_CACHE_ENTRY));
        ASSERT_TRUE(AddEntry(kCookie, COOKIE_CACHE_ENTRY));
        ASSERT_TRUE(AddEntry(kMixed, NORMAL_CACHE_ENTRY | COOKIE_CACHE_ENTRY));
        ASSERT_EQ(4u, CachedUrls().size());
    }
};

} // namespace

TEST_F(PurgeUrlCacheTest, EmptyCacheIsFalseInEveryMode)
{
    EXPECT_FALSE(PurgeUrlCache(0));
    EXPECT_FALSE(PurgeUrlCache(1));
    EXPECT_FALSE(PurgeUrlCache(2));
}

TEST_F(PurgeUrlCacheTest, CookiesOnlySurviveModeZeroAndGoInModeOne)
{
    AddCookiesOnly();
    EXPECT_TRUE(PurgeUrlCache(0));
    EXPECT_EQ(2u, CachedUrls().size());
    EXPECT_TRUE(PurgeUrlCache(1));
    EXPECT_TRUE(CachedUrls().empty());
}

TEST_F(PurgeUrlCacheTest, ModeZeroDeletesEveryEntryWithoutTheCookieBit)
{
    AddMixedCache();
    EXPECT_TRUE(PurgeUrlCache(0));
    EXPECT_EQ((std::set<std::string>{kCookie, kMixed}), CachedUrls());
}

TEST_F(PurgeUrlCacheTest, ModeOneDeletesEveryEntryWithTheCookieBit)
{
    AddMixedCache();
    EXPECT_TRUE(PurgeUrlCache(1));
    EXPECT_EQ((std::set<std::string>{kPage, kSticky}), CachedUrls());
}

TEST_F(PurgeUrlCacheTest, OtherModesWalkAndDeleteNothing)
{
    AddMixedCache();
    EXPECT_TRUE(PurgeUrlCache(2));
    EXPECT_TRUE(PurgeUrlCache(-1));
    EXPECT_EQ(4u, CachedUrls().size());
}
