// brisko_snap [--defaults] [--clear] DONE-FILE: starts Brisko, prints its window's screen rectangle as
// "left top width height", and closes it once DONE-FILE exists (or after a minute). scripts/run
// photographs the window in between. --defaults removes the settings file first. --clear, once
// DONE-FILE exists, ticks every step box, clicks "Clear Now" and prints the status line it ends with.
#include "tests/support/brisko_driver.h"

#include "res/resource.h"

#include <cstdio>
#include <cstring>

namespace {

const int kStepBoxes[] = {IDC_TEMPFILES,  IDC_COOKIES,      IDC_URLHISTORY, IDC_FORMHISTORY,   IDC_PASSWORDHISTORY,
                          IDC_FAVORITES,  IDC_AUTODIAL,     IDC_SYSTEMTEMP, IDC_RECYCLEBIN,    IDC_RUNHISTORY,
                          IDC_RECENTDOCS, IDC_LOGONHISTORY, IDC_FINDFILES,  IDC_FINDCOMPUTERS, IDC_NETHOOD,
                          IDC_TELNET,     IDC_HISTORYITEMS};

bool ClearEverything(const brisko::Instance& brisko)
{
    for (int id : kStepBoxes) {
        if (!brisko.IsChecked(id))
            brisko.Click(id);
    }
    brisko.Click(IDC_CLEARNOW);
    bool finished = brisko.WaitFor([&] { return brisko.Status() == "Finished!"; }, 120000);
    std::printf("%s\n", brisko.Status().c_str());
    return finished;
}

} // namespace

int main(int argc, char** argv)
{
    bool defaults = false, clear = false;
    int arg = 1;
    for (; arg < argc && argv[arg][0] == '-'; ++arg) {
        if (!std::strcmp(argv[arg], "--defaults"))
            defaults = true;
        else if (!std::strcmp(argv[arg], "--clear"))
            clear = true;
        else
            break;
    }
    if (argc != arg + 1 || argv[arg][0] == '-') {
        std::fprintf(stderr, "usage: brisko_snap [--defaults] [--clear] DONE-FILE\n");
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
    bool cleared = !clear || ClearEverything(brisko);
    return brisko.End(brisko::Ending::CloseBox) && cleared ? 0 : 1;
}
