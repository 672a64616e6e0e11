#pragma once
// `tallyhop configure`: the user's configuration window, opened through the engine as the
// conduit's configure button opens it.
#include <ostream>
#include <string>

namespace tallyhop {

// Without a display nothing is opened and nothing changes: 1 with a message. Otherwise
// the engine's ConfigureLarkspur runs for the user: 0 when the window ran, else 1.
int runConfigure(const std::string& userName, bool haveDisplay, std::ostream& out, std::ostream& err);

}  // namespace tallyhop
