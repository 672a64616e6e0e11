#pragma once
// `tallyhop handheld <what> ...`: the handheld application's side on the command line.
#include <ostream>
#include <string>
#include <vector>

namespace handheld_app {

bool IsAppCommand(const std::string& word);
// args[0] is the subcommand. 0 done, 1 failed, 2 bad arguments.
int RunCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
extern const char* const kCommandUsage;

}  // namespace handheld_app
