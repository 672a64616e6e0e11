// The engine's help file, made the module's help file when the library is loaded. Its
// parts (the sync manager's directory and the language library's pattern) are only there
// once an export runs, so the path is put together each time help is asked for.
#include "engine/help_file.h"

#include <algorithm>
#include <cstdio>

#include "common/module_help.h"
#include "engine/engine_log.h"
#include "platform/syncmgr/syncmgr.h"

namespace tess::engine {

std::string EngineHelpFile() {
    char dir[260];
    int size = sizeof dir;
    if (QuayGetSyncManagerDirectory(dir, &size) != SYNC_OK || dir[0] == 0) return {};
    std::string pattern = StrOr(4219, "%s\\LKConduit.hlp");
    std::replace(pattern.begin(), pattern.end(), '\\', '/');
    // The pattern names one text: anything else in it is not a path pattern.
    const size_t at = pattern.find("%s");
    if (at == std::string::npos || pattern.find('%', at + 2) != std::string::npos) return {};
    return pattern.substr(0, at) + dir + pattern.substr(at + 2);
}

namespace {
[[maybe_unused]] const bool kHelpFileNamed = (tess::SetModuleHelpFileSource(&EngineHelpFile), true);
}  // namespace

}  // namespace tess::engine
