// trace_kit.exe: the trace kit from the command line, for scripts and the host side of the sandbox.
//   trace_kit seed    seeds every trace and canary; lists what could not be seeded (exit 1 if any)
//   trace_kit report  one line per trace: present|absent, the step that removes it (0: canary),
//                     another step that removes it on this platform (0: none), name
//   trace_kit links   makes the link folders and prints "<unix link path>\t<unix target>" per link
#include "tests/support/trace_kit.h"
#include "tests/support/trace_kit_files.h"

#include <windows.h>
#include <shlobj.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// Wine's own export: the host path of a Windows path, from the process heap.
std::string UnixPath(const std::string& path)
{
    using ToUnix = char*(CDECL*)(const WCHAR*);
    auto toUnix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (!toUnix)
        return std::string();
    const std::wstring wide = trace_kit::Wide(path);
    char* unixPath = toUnix(wide.c_str());
    if (!unixPath)
        return std::string();
    std::string result = unixPath;
    HeapFree(GetProcessHeap(), 0, unixPath);
    return result;
}

int Links()
{
    const std::string target = UnixPath(trace_kit::OutsideFolder());
    if (!trace_kit::MakeFolders(trace_kit::OutsideFolder()) || target.empty())
        return 1;
    int failures = 0;
    for (const std::string& folder : trace_kit::LinkFolders()) {
        std::string unixFolder = trace_kit::MakeFolders(folder) ? UnixPath(folder) : std::string();
        if (unixFolder.empty()) {
            std::fprintf(stderr, "no host path for %s\n", folder.c_str());
            ++failures;
            continue;
        }
        std::printf("%s/%s\t%s\n", unixFolder.c_str(), trace_kit::LinkName(), target.c_str());
    }
    const std::string link = trace_kit::ProfileLink();
    const std::string linkFolder = trace_kit::ParentFolder(link);
    const std::string profile = UnixPath(trace_kit::ShellFolder(CSIDL_PROFILE));
    if (!trace_kit::MakeFolders(linkFolder) || profile.empty())
        return 1;
    std::printf("%s/%s\t%s\n", UnixPath(linkFolder).c_str(), link.substr(linkFolder.size() + 1).c_str(),
                profile.c_str());
    return failures ? 1 : 0;
}

int Seed()
{
    const std::vector<std::string> failures = trace_kit::Seed();
    for (const std::string& name : failures)
        std::printf("not seeded: %s\n", name.c_str());
    return failures.empty() ? 0 : 1;
}

int Report()
{
    for (const trace_kit::TraceState& trace : trace_kit::Report())
        std::printf("%s\t%d\t%d\t%s\n", trace.present ? "present" : "absent", trace.step, trace.alsoStep,
                    trace.name.c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const char* command = argc > 1 ? argv[1] : "";
    // Plain "\n" line ends, for the host's shell.
    _setmode(_fileno(stdout), _O_BINARY);
    if (!std::strcmp(command, "seed"))
        return Seed();
    if (!std::strcmp(command, "report"))
        return Report();
    if (!std::strcmp(command, "links"))
        return Links();
    std::fprintf(stderr, "usage: trace_kit seed|report|links\n");
    return 2;
}
