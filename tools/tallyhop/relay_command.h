#pragma once
// `tallyhop relay ...`: the desktop relay for a user, set up as a synchronisation of a
// relay-served account leaves it (the relay settings, the account's desktop profile, a
// security key shared by the relay and the handheld, the relay's registry marks), and a
// control mail sealed as the handheld seals it, for the relay to obey.
#include <ostream>
#include <string>
#include <vector>

namespace tallyhop {

extern const char* const kRelayUsage;

// setup, control. 0 done, 1 failed, 2 bad arguments.
int relayCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace tallyhop
