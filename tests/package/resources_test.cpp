// Brisko.exe as shipped: its version information and its manifest, read back from the file the way
// Explorer and the loader read them.
#include "tests/support/brisko_driver.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

const char kStrings[] = "\\StringFileInfo\\080404b0\\";

class VersionInfo {
public:
    explicit VersionInfo(const std::string& path)
    {
        DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), nullptr);
        m_data.resize(size);
        if (size == 0 || !::GetFileVersionInfoA(path.c_str(), 0, size, m_data.data()))
            m_data.clear();
    }
    bool Empty() const { return m_data.empty(); }
    const void* Query(const std::string& block, UINT* length = nullptr) const
    {
        void* value = nullptr;
        UINT got = 0;
        if (m_data.empty() || !::VerQueryValueA(m_data.data(), block.c_str(), &value, &got))
            return nullptr;
        if (length != nullptr)
            *length = got;
        return value;
    }
    std::string String(const char* name) const
    {
        const char* value = static_cast<const char*>(Query(std::string(kStrings) + name));
        return value != nullptr ? value : "<missing>";
    }

private:
    std::vector<BYTE> m_data;
};

struct ModuleFree {
    void operator()(HMODULE h) const { ::FreeLibrary(h); }
};
using ModulePtr = std::unique_ptr<std::remove_pointer_t<HMODULE>, ModuleFree>;

std::string Manifest()
{
    ModulePtr module(::LoadLibraryExA(brisko::ExePath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (!module)
        return "";
    HRSRC res = ::FindResourceA(module.get(), MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24)); // RT_MANIFEST
    if (res == nullptr)
        return "";
    const char* bytes = static_cast<const char*>(::LockResource(::LoadResource(module.get(), res)));
    return bytes != nullptr ? std::string(bytes, ::SizeofResource(module.get(), res)) : "";
}

bool Has(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

} // namespace

TEST(Shipped, VersionInformationCarriesTheProjectVersion)
{
    VersionInfo info(brisko::ExePath());
    ASSERT_FALSE(info.Empty()) << brisko::ExePath();

    UINT length = 0;
    auto fixed = static_cast<const VS_FIXEDFILEINFO*>(info.Query("\\", &length));
    ASSERT_NE(nullptr, fixed);
    ASSERT_EQ(sizeof(VS_FIXEDFILEINFO), length);
    EXPECT_EQ(VS_FFI_SIGNATURE, fixed->dwSignature);
    EXPECT_EQ((DWORD)MAKELONG(BRISKO_VERSION_MINOR, BRISKO_VERSION_MAJOR), fixed->dwFileVersionMS);
    EXPECT_EQ((DWORD)MAKELONG(0, BRISKO_VERSION_PATCH), fixed->dwFileVersionLS);
    EXPECT_EQ(fixed->dwFileVersionMS, fixed->dwProductVersionMS);
    EXPECT_EQ(fixed->dwFileVersionLS, fixed->dwProductVersionLS);
    EXPECT_EQ((DWORD)VFT_APP, fixed->dwFileType);

    // One translation: the language block of every other resource, Unicode strings.
    auto translation = static_cast<const WORD*>(info.Query("\\VarFileInfo\\Translation", &length));
    ASSERT_NE(nullptr, translation);
    ASSERT_EQ(4u, length);
    EXPECT_EQ(MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED), translation[0]);
    EXPECT_EQ(1200, translation[1]);

    EXPECT_EQ(BRISKO_VERSION, info.String("FileVersion"));
    EXPECT_EQ(BRISKO_VERSION, info.String("ProductVersion"));
    EXPECT_EQ("Brisko", info.String("ProductName"));
    EXPECT_EQ("Brisko.exe", info.String("OriginalFilename"));
    EXPECT_NE("<missing>", info.String("FileDescription"));
    EXPECT_TRUE(Has(info.String("LegalCopyright"), "Brisko developers"));
}

TEST(Shipped, ManifestAsksForCommonControls6AndDpiAwarenessButNoElevation)
{
    std::string manifest = Manifest();
    ASSERT_FALSE(manifest.empty()) << "RT_MANIFEST 1 in " << brisko::ExePath();
    EXPECT_TRUE(Has(manifest, "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""));
    EXPECT_TRUE(Has(manifest, ">true</dpiAware>"));
    for (const char* os : {"{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
                           "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
                           "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"})
        EXPECT_TRUE(Has(manifest, os)) << os;
    // An execution level, even asInvoker, would switch off the virtualisation the settings rely on.
    EXPECT_FALSE(Has(manifest, "<requestedExecutionLevel"));
    EXPECT_FALSE(Has(manifest, "<trustInfo"));
}
