#include "common/module_help.h"

#include <filesystem>
#include <system_error>

#include "platform/core/os.h"
#include "platform/ui/ui_service.h"

namespace tess {
namespace {
HelpFileSource& Source() {
    static HelpFileSource source = nullptr;
    return source;
}
}  // namespace

void SetModuleHelpFileSource(HelpFileSource source) { Source() = source; }

std::string ModuleHelpFile() { return Source() ? Source()() : std::string(); }

void ShowModuleHelp(const std::string& caption) {
    const std::string path = ModuleHelpFile();
    std::error_code ec;
    if (!path.empty() && std::filesystem::is_regular_file(path, ec) && platform::openWithDesktop(path)) return;
    const std::string text =
        path.empty() ? std::string("There is no help file.") : "The help file is not available:\n" + path;
    platform::ui::messageBox(text, caption, MB_OK | MB_ICONINFORMATION);
}

}  // namespace tess
