#pragma once
// The engine's help file: "<sync manager directory>/LKConduit.hlp" (string 4219).
#include <string>

namespace tess::engine {

// Made from the sync manager's directory and the language library's pattern; empty when
// the sync manager does not give its directory.
std::string EngineHelpFile();

}  // namespace tess::engine
