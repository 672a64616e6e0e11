#include "tests/crypto/run_process.h"

#include <cstdio>
#include <memory>
#include <sstream>

namespace tess::crypto::test {

ProcessResult runProcess(const std::string& command) {
    ProcessResult result;
    struct Closer {
        int* status;
        void operator()(FILE* f) const { *status = pclose(f); }
    };
    std::string out;
    {
        std::unique_ptr<FILE, Closer> pipe(popen(command.c_str(), "r"), Closer{&result.status});
        if (!pipe) return result;
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe.get())) > 0) out.append(buffer, n);
    }
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) result.lines.push_back(line);
    return result;
}

}  // namespace tess::crypto::test
