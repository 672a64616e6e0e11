#pragma once
// `tallyhop sync`: one Tallyhop operation, started as the desktop sync manager starts it.
#include <ostream>
#include <string>

namespace tallyhop {

struct SyncOptions {
    std::string userName;              // empty: the first user
    std::string handheld = "default";
};

// Loads the conduit entry, calls its OpenConduit with the user's synchronisation
// properties and prints the sync log of the run. Returns 0 when the conduit returned 0.
int runSync(const SyncOptions& options, std::ostream& out, std::ostream& err);

}  // namespace tallyhop
