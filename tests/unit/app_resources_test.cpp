// The resources as the resource compiler built them: the main template's frame, font and
// controls, the language block, the About text and the icon's two images.
#include "res/resource.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <cwctype>
#include <string>
#include <vector>

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
    void AlignDword() { m_p = reinterpret_cast<const BYTE*>(((ULONG_PTR)m_p + 3) & ~(ULONG_PTR)3); }
    void Skip(size_t n) { m_p += n; }

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

struct Item {
    int id;
    std::wstring windowClass;
    std::wstring text;
    DWORD style;
    short x, y, cx, cy;
};

std::wstring Wide(const char* text) { return std::wstring(text, text + strlen(text)); }

// Predefined classes may be stored by name or by ordinal; both create the same control.
std::wstring ClassName(std::wstring stored)
{
    if (stored == L"#128")
        return L"BUTTON";
    if (stored == L"#130")
        return L"STATIC";
    if (stored == L"#133")
        return L"COMBOBOX";
    for (wchar_t& c : stored)
        c = (wchar_t)towupper(c);
    return stored;
}

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

TEST(Resources, MainDialogControlsInTabOrder)
{
    const DWORD check = WS_CHILD | WS_VISIBLE | BS_AUTOCHECKBOX | WS_TABSTOP;
    const DWORD push = WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON | BS_FLAT | WS_TABSTOP;
    const std::vector<Item> expected = {
        {1018, L"STATIC", Wide(BRISKO_URL), WS_CHILD | WS_VISIBLE | SS_LEFT | WS_GROUP, 7, 278, 150, 10},
        {1017, L"BUTTON", L"Clear internet temperory files", check, 7, 9, 150, 10},
        {1019, L"BUTTON", L"Clear Now", push, 7, 259, 150, 13},
        {1020, L"BUTTON", L"Clear cookies", check, 7, 22, 150, 10},
        {1021, L"BUTTON", L"Clear URL history of IE", check, 7, 35, 150, 10},
        {1022, L"BUTTON", L"Clear form history", check, 7, 48, 150, 10},
        {1023, L"BUTTON", L"Clear password history", check, 7, 60, 150, 10},
        {1024, L"BUTTON", L"Clear my favorite ", check, 7, 73, 150, 10},
        {1025, L"BUTTON", L"Clear auto dial history", check, 7, 86, 150, 10},
        {1026, L"BUTTON", L"Clear system temp directory", check, 7, 99, 150, 10},
        {1027, L"BUTTON", L"Clear recycle bin", check, 7, 216, 150, 10},
        {1028, L"BUTTON", L"Clear history of run command", check, 7, 125, 150, 10},
        {1029, L"BUTTON", L"Clear recent documents", check, 7, 138, 150, 10},
        {1030, L"BUTTON", L"Clear logon history", check, 7, 150, 150, 10},
        {1031, L"BUTTON", L"Clear finding files history", check, 7, 164, 150, 10},
        {1032, L"BUTTON", L"Clear finding computers history", check, 7, 177, 150, 10},
        {1033, L"BUTTON", L"Clear network link objects", check, 7, 190, 150, 10},
        {1034, L"BUTTON", L"Clear telenet history", check, 7, 203, 150, 10},
        {1035, L"BUTTON", L"Clear internet history items", check, 7, 112, 150, 10},
        {-1, L"BUTTON", L"Advance Setting", WS_CHILD | WS_VISIBLE | BS_GROUPBOX | BS_CENTER, 7, 296, 150, 66},
        {1036, L"BUTTON", L"Auto run when computer start", check, 7, 309, 137, 10},
        {1037, L"BUTTON", L"Auto clear every", check, 7, 322, 80, 10},
        {1038, L"COMBOBOX", L"", WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP | WS_DISABLED, 111, 320, 33, 78},
        {-1, L"STATIC", L"Minutes", WS_CHILD | WS_VISIBLE | SS_LEFT | WS_GROUP, 19, 333, 29, 8},
        {1039, L"BUTTON", L"Auto run clearing when starting", check, 7, 348, 140, 10},
        {1000, L"BUTTON", L"Hide to task bar", push, 7, 237, 150, 14},
        {1041, L"STATIC", Wide(BRISKO_URL), WS_CHILD | WS_VISIBLE | SS_CENTER | WS_GROUP, 7, 396, 150, 8},
    };
    const BYTE* p = Resource(RT_DIALOG, IDD_MAIN_DIALOG);
    ASSERT_NE(nullptr, p);
    TemplateReader t(p);
    t.Skip(2 + 2 + 4 + 4 + 4);
    WORD count = t.Word();
    ASSERT_EQ(expected.size(), count);
    t.Skip(8);
    t.Text();
    t.Text();
    t.Text();
    t.Skip(2 + 2 + 1 + 1);
    t.Text();
    for (const Item& want : expected) {
        t.AlignDword();
        t.Dword(); // help id
        EXPECT_EQ(0u, t.Dword()) << want.id;
        DWORD style = t.Dword();
        Item got;
        got.x = (short)t.Word();
        got.y = (short)t.Word();
        got.cx = (short)t.Word();
        got.cy = (short)t.Word();
        got.id = (int)t.Dword();
        got.windowClass = ClassName(t.Text());
        got.text = t.Text();
        t.Skip(t.Word()); // creation data
        SCOPED_TRACE(want.id);
        EXPECT_EQ(want.id, got.id);
        EXPECT_EQ(want.windowClass, got.windowClass);
        EXPECT_EQ(want.text, got.text);
        EXPECT_EQ(want.style, style);
        EXPECT_EQ(want.x, got.x);
        EXPECT_EQ(want.y, got.y);
        EXPECT_EQ(want.cx, got.cx);
        EXPECT_EQ(want.cy, got.cy);
    }
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
