#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "common/text_case.h"

namespace inet {

// Splits text into lines at LF, dropping a CR before it.
std::vector<std::string> SplitLines(std::string_view text);

// ASCII case folding and tests without regard to case. ContainsNoCase is false when
// either text is empty.
using tess::Lower;
bool EqualsNoCase(std::string_view a, std::string_view b);
bool ContainsNoCase(std::string_view text, std::string_view part);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);

}  // namespace inet
