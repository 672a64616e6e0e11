#pragma once
// `tallyhop sync`: one Tallyhop operation, started as the desktop sync manager starts it.
#include <ostream>
#include <string>

namespace tallyhop {

struct SyncOptions {
    std::string userName;  // empty: the first user
    std::string handheld = "default";
};

// Loads the conduit entry, calls its OpenConduit with the user's synchronisation
// properties and prints the sync log of the run. Returns 0 when the conduit returned 0.
int runSync(const SyncOptions& options, std::ostream& out, std::ostream& err);

// `tallyhop action`: shows the conduit's sync action dialog for the user, as the sync
// manager's configuration entry does, and keeps the choice: as the user's default or for
// the next operation only. Prints the action that stands afterwards. 0 unless the user or
// the conduit cannot be found.
int runAction(const SyncOptions& options, std::ostream& out, std::ostream& err);

}  // namespace tallyhop
