#pragma once
// The help file of the module this code is compiled into. The module names, once, how
// its path is made (from texts that are only there while one of its exports runs); the
// help buttons of dialogs the modules share open it.
#include <string>

namespace tess {

using HelpFileSource = std::string (*)();
void SetModuleHelpFileSource(HelpFileSource source);
// Empty when the module names no help file.
std::string ModuleHelpFile();
// Opens the module's help file with the desktop's opener when the file is there;
// otherwise tells the user, through the UI service, that there is no help file (and
// where it was looked for).
void ShowModuleHelp(const std::string& caption);

}  // namespace tess
