#pragma once
// Test helpers shared by every test folder.
#include <filesystem>
#include <string>

namespace tess::test {

// A private runtime root for one test: a fresh temp directory that TESSALINE_HOME
// points at while the object lives; removed (with everything in it) afterwards.
class TempHome {
public:
    TempHome();
    ~TempHome();
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
    std::string previous_;
    bool hadPrevious_ = false;
};

// The top of the source tree and of the build tree (set by CTest).
std::filesystem::path sourceDir();
std::filesystem::path binaryDir();
// Where the build's shared libraries are.
std::filesystem::path libDir();

}  // namespace tess::test
