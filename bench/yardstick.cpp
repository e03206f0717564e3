// wiper_yardstick.exe DIR: the wiper as it was at d4378cb, built from that commit's own sources
// (scripts/bench unpacks them), timed as brisko_bench times today's.
#include "bench/bench_util.h"
#include "clean/folder_wiper.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    _setmode(_fileno(stdout), _O_BINARY); // lines end in \n alone, as scripts/bench reads them
    return bench::TimeWipe(argv[1], [](const wchar_t* path, BOOL desktopIni, BOOL indexDat) {
        return WipeFolder(path, desktopIni, indexDat);
    });
}
