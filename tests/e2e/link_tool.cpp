// Stands in for the browser of the ".htm" association: writes the command line it was started
// with to the file named by BRISKO_LINK_LOG.
#include "tests/support/trace_kit.h"

int main()
{
    char log[MAX_PATH];
    const DWORD length = ::GetEnvironmentVariableA("BRISKO_LINK_LOG", log, sizeof log);
    return length && length < sizeof log && trace_kit::WriteBytes(log, ::GetCommandLineA()) ? 0 : 1;
}
