// brisko_snap [--defaults] DONE-FILE: starts Brisko, prints its window's screen rectangle as
// "left top width height", and closes it once DONE-FILE exists (or after a minute). scripts/run
// photographs the window in between. --defaults removes the settings file first.
#include "tests/support/brisko_driver.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    int arg = 1;
    bool defaults = argc > arg && std::strcmp(argv[arg], "--defaults") == 0;
    if (defaults)
        ++arg;
    if (argc != arg + 1) {
        std::fprintf(stderr, "usage: brisko_snap [--defaults] DONE-FILE\n");
        return 2;
    }
    const char* doneFile = argv[arg];
    ::DeleteFileA(doneFile);
    if (defaults)
        ::DeleteFileA(brisko::SettingsPath().c_str());

    brisko::Instance brisko;
    if (!brisko.Start()) {
        std::fprintf(stderr, "brisko_snap: Brisko did not start\n");
        return 1;
    }
    // Painting settles after the first idle moment.
    ::RedrawWindow(brisko.Window(), nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    RECT rect;
    ::GetWindowRect(brisko.Window(), &rect);
    std::printf("%ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
    std::fflush(stdout);
    brisko.WaitFor([&] { return ::GetFileAttributesA(doneFile) != INVALID_FILE_ATTRIBUTES; }, 60000);
    ::DeleteFileA(doneFile);
    return brisko.End(brisko::Ending::CloseBox) ? 0 : 1;
}
