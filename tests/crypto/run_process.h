#pragma once
// Runs a command and returns what it printed on standard output.
#include <string>
#include <vector>

namespace kestrel_test {

struct ProcessResult {
    int status = -1;
    std::vector<std::string> lines;
};
ProcessResult runProcess(const std::string& command);

}  // namespace kestrel_test
