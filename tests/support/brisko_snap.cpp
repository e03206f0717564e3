// brisko_snap DONE-FILE: starts Brisko at its defaults, prints its window's screen rectangle as
// "left top width height" for scripts/run to photograph, and once DONE-FILE exists (or after a
// minute) ticks every step box, clicks "Clear Now", prints the status line it ends with and closes it.
#include "res/resource.h"
#include "tests/support/brisko_driver.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2)
        return std::fprintf(stderr, "usage: brisko_snap DONE-FILE\n"), 2;
    ::DeleteFileA(argv[1]);
    ::DeleteFileA(brisko::SettingsPath().c_str());
    brisko::Instance brisko;
    if (!brisko.Start())
        return std::fprintf(stderr, "brisko_snap: Brisko did not start\n"), 1;
    ::RedrawWindow(brisko.Window(), nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    RECT r;
    ::GetWindowRect(brisko.Window(), &r);
    std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
    std::fflush(stdout);
    brisko::WaitFor([&] { return ::GetFileAttributesA(argv[1]) != INVALID_FILE_ATTRIBUTES; }, 60000);
    ::DeleteFileA(argv[1]);
    for (int id = IDC_TEMPFILES; id <= IDC_HISTORYITEMS; ++id) {
        if (id != IDC_STATUS && id != IDC_CLEARNOW && !brisko.IsChecked(id))
            brisko.Click(id);
    }
    brisko.Click(IDC_CLEARNOW);
    const bool finished = brisko::WaitFor([&] { return brisko::IsFinished(brisko.Text(IDC_STATUS)); }, 120000);
    std::printf("%s\n", brisko.Text(IDC_STATUS).c_str());
    return brisko.End(brisko::Ending::CloseBox) && finished ? 0 : 1;
}
