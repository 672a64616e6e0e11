#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace inet {

// Splits text into lines at LF, dropping a CR before it.
std::vector<std::string> SplitLines(std::string_view text);

}  // namespace inet
