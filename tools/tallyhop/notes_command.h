#pragma once
// `tallyhop init --notes` and `tallyhop notes ...`: the Notes client installation of the
// desktop, its users and mail, and its router (the stand-in's set-up; no mail logic).
#include <ostream>
#include <string>
#include <vector>

namespace tallyhop {

extern const char* const kNotesUsage;

// Creates the installation under <runtime root>/notes (registered under the Notes 6.0
// key) with one user named after the sync user, password `password`. 0, or 1 with the
// reason on err.
int initNotes(const std::string& userName, const std::string& password, std::ostream& out, std::ostream& err);

// add-user, add-mail, relay, route. 0, 1 on failure, 2 on bad arguments.
int notesCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace tallyhop
