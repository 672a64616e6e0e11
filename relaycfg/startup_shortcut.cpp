#include "relaycfg/startup_shortcut.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/core/registry.h"

namespace tess::relaycfg {

namespace {

// "%VAR%/rest" with VAR from the environment; other texts as they are.
std::string expand(const std::string& text) {
    const size_t slash = text.find('/');
    const std::string head = text.substr(0, slash);
    if (head.size() < 2) return text;
    const char* value = std::getenv(head.substr(1, head.size() - 2).c_str());
    return std::string(value ? value : "") + (slash == std::string::npos ? "" : text.substr(slash));
}

}  // namespace

StartupShortcut::StartupShortcut() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
                      0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    for (DWORD index = 0;; ++index) {
        char name[128] = {};
        char data[128] = {};
        DWORD nameSize = sizeof name, dataSize = sizeof data - 1, type = 0;
        if (RegEnumValueA(key, index, name, &nameSize, nullptr, &type, reinterpret_cast<uint8_t*>(data), &dataSize) !=
            ERROR_SUCCESS)
            break;
        std::string text = type == REG_SZ || type == REG_EXPAND_SZ ? std::string(data) : std::string();
        if (type == REG_EXPAND_SZ) text = expand(text);
        if (text.find("Startup") != std::string::npos || text.find("autostart") != std::string::npos) {
            folder_ = text;
            break;
        }
    }
    RegCloseKey(key);
    std::error_code ec;
    if (folder_.empty()) return;
    for (const auto& entry : std::filesystem::directory_iterator(folder_, ec))
        if (entry.is_regular_file(ec)) files_.push_back(entry.path().filename().string());
}

int StartupShortcut::Find(const std::string& name, std::string& fileName) const {
    for (const std::string& f : files_)
        if (f.find(name) != std::string::npos) {
            fileName = f;
            return 1;
        }
    return 0;
}

int StartupShortcut::Create(const std::string& name, const std::string& target) {
    if (folder_.empty() || name.empty() || target.find('/') == std::string::npos) return 0;
    std::error_code ec;
    std::filesystem::create_directories(folder_, ec);
    const std::string file = folder_ + "/" + name + ".desktop";
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << "[Desktop Entry]\nType=Application\nName=" << name << "\nComment=" << name << "\nExec=\"" << target
        << "\"\nTerminal=false\nX-GNOME-Autostart-enabled=true\n";
    if (!out.flush()) return 0;
    files_.push_back(name + ".desktop");
    return 1;
}

int StartupShortcut::Delete(const std::string& fileName) {
    std::error_code ec;
    if (!std::filesystem::remove(folder_ + "/" + fileName, ec)) return 0;
    std::erase(files_, fileName);
    return 1;
}

}  // namespace tess::relaycfg
