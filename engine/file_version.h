// The version a product file carries. Linux libraries have no version resource: each of the
// product's libraries exports the text TessModuleVersion, written by the build, and this
// reads it from the file's dynamic symbol table without loading the library (loading would
// run its start-up and unload code inside the report).
#pragma once

#include <string>

namespace tess::engine {

enum class VersionState {
    kRead,           // the file carries a version
    kNoVersionInfo,  // no such file, not a library, or a library without a version
    kUnreadable,     // the version is there but damaged
};

struct FileVersion {
    VersionState state = VersionState::kNoVersionInfo;
    std::string fileVersion;  // the texts the report prints for the file
    std::string productVersion;
};

// The texts a report prints for a state without a version.
inline constexpr const char* kVersionNotAvailable = "Not Available Through App";
inline constexpr const char* kVersionNoData = "Could Not Get Data";

FileVersion ReadFileVersion(const std::string& path);

}  // namespace tess::engine
