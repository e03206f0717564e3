// The resources as the resource compiler built them: the main template's frame and its Chinese
// face name (the file's code page at work), the language block, the About text, the icon's images.
#include "res/resource.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

const WORD kChinese = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);

const BYTE* Resource(LPCSTR type, WORD id, DWORD* size = nullptr)
{
    HRSRC res = FindResourceExA(nullptr, type, MAKEINTRESOURCEA(id), kChinese);
    if (res == nullptr)
        return nullptr;
    if (size != nullptr)
        *size = SizeofResource(nullptr, res);
    return static_cast<const BYTE*>(LockResource(LoadResource(nullptr, res)));
}

// Reads a DIALOGEX template field by field.
class TemplateReader {
public:
    explicit TemplateReader(const BYTE* p) : m_p(p) {}
    WORD Word() { return Take<WORD>(); }
    DWORD Dword() { return Take<DWORD>(); }
    BYTE Byte() { return Take<BYTE>(); }
    // A name or an ordinal: ordinals come back as "#n".
    std::wstring Text()
    {
        const WCHAR* w = reinterpret_cast<const WCHAR*>(m_p);
        if (w[0] == 0xFFFF) {
            m_p += 4;
            return L"#" + std::to_wstring(w[1]);
        }
        std::wstring text(w);
        m_p += (text.size() + 1) * sizeof(WCHAR);
        return text;
    }

private:
    template <typename T> T Take()
    {
        T value;
        memcpy(&value, m_p, sizeof value);
        m_p += sizeof value;
        return value;
    }
    const BYTE* m_p;
};

} // namespace

TEST(Resources, MainDialogFrameAndFont)
{
    const BYTE* p = Resource(RT_DIALOG, IDD_MAIN_DIALOG);
    ASSERT_NE(nullptr, p) << "dialog 102 in language 2052";
    TemplateReader t(p);
    EXPECT_EQ(1, t.Word());
    EXPECT_EQ(0xFFFF, t.Word()); // extended template
    t.Dword();                   // help id
    EXPECT_EQ((DWORD)WS_EX_APPWINDOW, t.Dword());
    EXPECT_EQ((DWORD)(WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT), t.Dword());
    EXPECT_EQ(27, t.Word());
    EXPECT_EQ(0, t.Word());
    EXPECT_EQ(0, t.Word());
    EXPECT_EQ(164, t.Word());
    EXPECT_EQ(414, t.Word());
    EXPECT_EQ(L"", t.Text()); // no menu
    EXPECT_EQ(L"", t.Text()); // the dialog class
    EXPECT_EQ(L"Brisko", t.Text());
    EXPECT_EQ(9, t.Word());
    EXPECT_EQ(0, t.Word()); // weight
    EXPECT_EQ(0, t.Byte()); // italic
    EXPECT_EQ(1, t.Byte()); // character set
    EXPECT_EQ(std::wstring(L"\u5B8B\u4F53"), t.Text());
}

TEST(Resources, AboutTextMenuStringAndIconImages)
{
    EXPECT_NE(nullptr, Resource(RT_DIALOG, IDD_ABOUTBOX));
    EXPECT_NE(nullptr, Resource(MAKEINTRESOURCEA(240), IDD_MAIN_DIALOG));
    char about[64] = "";
    LoadStringA(GetModuleHandleA(nullptr), IDS_ABOUTBOX, about, sizeof about);
    EXPECT_STREQ("About Brisko(&A)...", about);

    DWORD size = 0;
    const BYTE* group = Resource(RT_GROUP_ICON, IDR_MAINFRAME, &size);
    ASSERT_NE(nullptr, group);
    ASSERT_GE(size, 6u + 2 * 14u);
    ASSERT_EQ(2, group[4] | group[5] << 8);
    // Each entry: width, height, colour count, reserved, planes, bit count, size, id.
    for (int i = 0; i < 2; ++i) {
        const BYTE* entry = group + 6 + 14 * i;
        EXPECT_EQ(i == 0 ? 32 : 16, entry[0]);
        EXPECT_EQ(i == 0 ? 32 : 16, entry[1]);
        EXPECT_EQ(16, entry[2]);
        EXPECT_EQ(4, entry[6] | entry[7] << 8);
    }
}
