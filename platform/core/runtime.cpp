#include "platform/core/runtime.h"

#include <cstdlib>
#include <system_error>
#include <unistd.h>

namespace platform {

std::filesystem::path runtimeRoot() {
    std::filesystem::path root;
    if (const char* home = std::getenv("TESSALINE_HOME"); home && *home) {
        root = home;
    } else {
        const char* user = std::getenv("HOME");
        root = std::filesystem::path(user && *user ? user : "/tmp") / ".local/share/tessaline";
    }
    std::error_code ec;
    std::filesystem::create_directories(root, ec);
    return root;
}

std::filesystem::path moduleDir() {
    if (const char* dir = std::getenv("TESSALINE_LIBDIR"); dir && *dir) return dir;
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return "lib";
    return exe.parent_path().parent_path() / "lib";
}

std::filesystem::path windowsDir() { return runtimeRoot() / "windows"; }

std::filesystem::path windowsSystemDir() { return windowsDir() / "system"; }

}  // namespace platform
