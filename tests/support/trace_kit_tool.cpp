// trace_kit.exe: the trace kit for scripts and for the host side of the sandbox.
//   trace_kit seed    seeds every trace and canary; lists what could not be seeded (exit 1 if any)
//   trace_kit report  per trace: present|absent <tab> step (0: canary) <tab> also-step <tab> name
//   trace_kit links   makes the link folders and prints "<host link path> <tab> <host target>" per link
#include "tests/support/trace_kit.h"

#include <shlobj.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstring>
#include <utility>

namespace {

// Prints the host paths of folder\name and of target, by Wine's own export (on the process heap).
bool PrintLink(const std::string& folder, const std::string& name, const std::string& target)
{
    using ToUnix = char*(CDECL*)(const WCHAR*);
    auto toUnix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    char* host = toUnix && trace_kit::MakeFolders(folder) ? toUnix(trace_kit::Wide(folder).c_str()) : nullptr;
    char* hostTarget = toUnix && trace_kit::MakeFolders(target) ? toUnix(trace_kit::Wide(target).c_str()) : nullptr;
    const bool printed = host != nullptr && hostTarget != nullptr;
    if (printed)
        std::printf("%s/%s\t%s\n", host, name.c_str(), hostTarget);
    HeapFree(GetProcessHeap(), 0, host);
    HeapFree(GetProcessHeap(), 0, hostTarget);
    return printed;
}

} // namespace

int main(int argc, char** argv)
{
    const char* command = argc > 1 ? argv[1] : "";
    _setmode(_fileno(stdout), _O_BINARY); // plain "\n" line ends, for the host's shell
    int failures = 0;
    if (!std::strcmp(command, "seed")) {
        for (const std::string& name : trace_kit::Seed())
            failures += std::printf("not seeded: %s\n", name.c_str()) > 0;
    } else if (!std::strcmp(command, "report")) {
        for (const trace_kit::TraceState& t : trace_kit::Report())
            std::printf("%s\t%d\t%d\t%s\n", t.present ? "present" : "absent", t.step, t.alsoStep, t.name.c_str());
    } else if (!std::strcmp(command, "links")) {
        for (const std::string& folder : trace_kit::LinkFolders())
            failures += !PrintLink(folder, trace_kit::LinkName(), trace_kit::OutsideFolder());
        const std::pair<std::string, std::string> links[] = {
            {trace_kit::ProfileLink(), trace_kit::ShellFolder(CSIDL_PROFILE)},
            {trace_kit::NativeSystemLink(), trace_kit::WindowsFolder() + "\\Sysnative"}};
        for (const auto& link : links)
            failures += !PrintLink(trace_kit::ParentFolder(link.first),
                                   link.first.substr(link.first.find_last_of('\\') + 1), link.second);
    } else {
        std::fprintf(stderr, "usage: trace_kit seed|report|links\n");
        return 2;
    }
    return failures ? 1 : 0;
}
