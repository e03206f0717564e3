// Stands in for the browser of the ".htm" association: writes the command line it was started with
// to the file its first argument names.
#include "tests/support/trace_kit.h"

int main(int argc, char** argv) { return argc > 1 && trace_kit::WriteBytes(argv[1], ::GetCommandLineA()) ? 0 : 1; }
