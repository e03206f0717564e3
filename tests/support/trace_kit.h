// The trace kit: seeds every trace the seventeen cleaning steps remove, and canaries that must
// survive every step, then reports which of them remain.
#pragma once

#include <string>
#include <vector>

namespace trace_kit {

struct TraceState {
    std::string name;
    int step;     // the catalogue step that removes it; 0 for a canary
    int alsoStep; // another step that removes it too on this platform; 0 for none
    bool present;
};

// Seeds every trace and canary (idempotent). Returns the names of those that could not be seeded.
// The links inside target folders cannot be made from Windows: see LinkRequests().
std::vector<std::string> Seed();

// Every trace and canary with its state now.
std::vector<TraceState> Report();

// The folders every link canary points to and lives in; the host makes each link (Wine cannot):
// a link named LinkName() in every one of LinkFolders(), pointing to OutsideFolder().
std::string OutsideFolder();
std::vector<std::string> LinkFolders();
const char* LinkName();
// A link the host makes to the profile folder: a temp folder there must be refused.
std::string ProfileLink();

} // namespace trace_kit
