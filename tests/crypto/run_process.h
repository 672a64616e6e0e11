#pragma once
// Runs a command and returns what it printed on standard output.
#include <string>
#include <vector>

namespace tess::crypto::test {

struct ProcessResult {
    int status = -1;
    std::vector<std::string> lines;
};
ProcessResult runProcess(const std::string& command);

}  // namespace tess::crypto::test
