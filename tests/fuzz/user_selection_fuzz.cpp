// Wizard selection files of any shape: the parser says why it refuses one, and what it
// takes is a selection that, written again as the wizard's writer does, reads the same.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/password_scrambler.h"
#include "engine/user_selection.h"

using namespace tess::engine;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    UserSelection read;
    std::string problem;
    const SelectionRead result = ParseUserSelection(text, &read, &problem);
    if (result == SelectionRead::kDamaged) {
        if (problem.empty()) std::abort();
        return 0;
    }
    if (!problem.empty() || (result == SelectionRead::kFound) == read.account.empty()) std::abort();
    if (read.account.size() > 127 || read.number != 25 || read.password.size() > 32) std::abort();
    for (const std::string* t : {&read.account, &read.third})
        if (t->find_first_of(std::string("\0\r\n\x01", 4)) != std::string::npos) std::abort();

    const std::string again = read.account + '\x01' +
                              (read.password.empty() ? "" : tess::ScramblePassword(read.password)) + '\x01' +
                              read.third +
                              "\x01"
                              "25";
    if (again.size() > kSelectionMaxSize) return 0;  // the stored password form may be longer
    UserSelection second;
    if (ParseUserSelection(again, &second, &problem) != result || second.account != read.account ||
        second.password != read.password || second.third != read.third)
        std::abort();
    return 0;
}
