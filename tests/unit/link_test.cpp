// What the end-to-end runs cannot pin down about the link: its fitting arithmetic, its command at the buffer's edge.
#include "controls/link_static.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(Link, FitsItsRectangleToTheTextByAlignmentWithTruncatingHalves)
{
    const struct {
        CRect rect;
        SIZE text;
        DWORD style;
        CRect fitted;
    } cases[] = {
        {CRect(10, 20, 160, 40), {101, 13}, SS_CENTER, CRect(34, 20, 136, 33)},             // slack 49: in by 24
        {CRect(10, 20, 110, 40), {131, 13}, SS_CENTER | SS_NOTIFY, CRect(-5, 20, 125, 33)}, // slack -31: out by 15
        {CRect(10, 20, 160, 40), {101, 13}, SS_RIGHT, CRect(59, 20, 160, 33)},
        {CRect(10, 20, 160, 40), {101, 13}, SS_LEFT | SS_NOTIFY, CRect(10, 20, 111, 33)},
        {CRect(0, 20, 100, 60), {50, 13}, SS_CENTERIMAGE, CRect(0, 33, 50, 47)},              // slack 27: in by 13
        {CRect(0, 20, 100, 26), {50, 13}, SS_CENTERIMAGE | SS_CENTER, CRect(25, 17, 75, 29)}, // -7: out by 3
    };
    for (const auto& c : cases) {
        const CRect fitted = FitLinkRect(c.rect, c.text, c.style);
        EXPECT_TRUE(::EqualRect(&c.fitted, &fitted))
            << c.style << ": " << fitted.left << "," << fitted.top << "," << fitted.right << "," << fitted.bottom;
    }
}

TEST(Link, ComposesTheOpenCommandUpToTheLastByte)
{
    const struct {
        const char* command;
        size_t size;
        const char* composed; // null: refused, the command left as it was
    } cases[] = {
        {"browser.exe -nohome \"%1\" %1", 64, "browser.exe -nohome  http://a/"}, // the quoted marker wins
        {"browser.exe %1 -x", 64, "browser.exe  http://a/"},
        {"browser.exe", 64, "browser.exe http://a/"},
        {"b.exe %1", 17, "b.exe  http://a/"}, // the terminator in the last byte
        {"b.exe %1", 16, nullptr},
    };
    for (const auto& c : cases) {
        char command[64] = "";
        std::strcpy(command, c.command);
        EXPECT_EQ(c.composed != nullptr, ComposeLinkCommand(command, c.size, "http://a/")) << c.command;
        EXPECT_STREQ(c.composed ? c.composed : c.command, command);
    }
}
