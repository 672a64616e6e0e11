#include "tests/support/test_home.h"

#include <cstdlib>
#include <stdexcept>
#include <unistd.h>

namespace tess::test {

TempHome::TempHome() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "tess-home-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
    if (const char* old = std::getenv("TESSALINE_HOME")) {
        previous_ = old;
        hadPrevious_ = true;
    }
    setenv("TESSALINE_HOME", path_.c_str(), 1);
}

TempHome::~TempHome() {
    if (hadPrevious_)
        setenv("TESSALINE_HOME", previous_.c_str(), 1);
    else
        unsetenv("TESSALINE_HOME");
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

static std::filesystem::path fromEnv(const char* name, const char* fallback) {
    const char* v = std::getenv(name);
    return v ? std::filesystem::path(v) : std::filesystem::path(fallback);
}

std::filesystem::path sourceDir() { return fromEnv("TESS_SOURCE_DIR", "."); }
std::filesystem::path binaryDir() { return fromEnv("TESS_BINARY_DIR", "."); }
std::filesystem::path libDir() { return fromEnv("TESSALINE_LIBDIR", "lib"); }

}  // namespace tess::test
