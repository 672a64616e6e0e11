#pragma once
// StartupShortcut: the relay's entry in the user's start-up folder, an XDG autostart
// ".desktop" file. The folder is the one the user's shell-folder settings in the registry
// name (a value whose text contains "Startup"); without it there is no folder and nothing
// can be made.
#include <string>
#include <vector>

namespace tess::relaycfg {

class StartupShortcut {
public:
    StartupShortcut();
    virtual ~StartupShortcut() = default;

    // 1 and the first file whose name contains `name` (case-sensitive), else 0.
    int Find(const std::string& name, std::string& fileName) const;
    // 1 when "<folder>/<name>.desktop" was written to start `target`; 0 without a folder,
    // with an empty name or a target that is no path.
    int Create(const std::string& name, const std::string& target);
    // 1 when "<folder>/<fileName>" was removed.
    int Delete(const std::string& fileName);

    const std::string& Folder() const { return folder_; }

private:
    std::vector<std::string> files_;
    std::string folder_;
};

}  // namespace tess::relaycfg
