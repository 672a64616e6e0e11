#pragma once
// Where this installation keeps its state, and where its modules are.
#include <filesystem>

#include "platform/export.h"

namespace platform {

// The runtime root: $TESSALINE_HOME, else ~/.local/share/tessaline. Created on first use.
TESS_EXPORT std::filesystem::path runtimeRoot();

// The module directory: $TESSALINE_LIBDIR, else the lib/ beside the running program.
TESS_EXPORT std::filesystem::path moduleDir();

// The desktop's Windows directory and its system directory, where programs written for
// that desktop keep machine-wide files: <runtime root>/windows and .../windows/system.
TESS_EXPORT std::filesystem::path windowsDir();
TESS_EXPORT std::filesystem::path windowsSystemDir();

}  // namespace platform
