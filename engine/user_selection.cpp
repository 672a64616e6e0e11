#include "engine/user_selection.h"

#include <vector>

#include "common/password_scrambler.h"

namespace tess::engine {

namespace {

// The profile field of the account: its text and NUL.
constexpr size_t kProfileMaxLength = 127;

// The stored password form: exactly 32 groups "#n", n from 0 to 255.
bool IsStoredPassword(const std::string& text) {
    int groups = 0;
    size_t at = 0;
    while (at < text.size()) {
        if (text[at] != '#') return false;
        size_t end = at + 1;
        while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
        if (end == at + 1 || end - at - 1 > 3 || std::stoi(text.substr(at + 1, end - at - 1)) > 255) return false;
        ++groups;
        at = end;
    }
    return groups == 32;
}

bool IsNumber(const std::string& text) {
    const size_t digits = text.find_first_not_of('-') == 1 ? 1 : 0;
    return text.size() > digits && text.size() <= 11 &&
           text.find_first_not_of("0123456789", digits) == std::string::npos;
}

// Why the file's text is not a selection, or empty when it is one.
std::string SelectionProblem(const std::string& text, const std::vector<std::string>& fields) {
    if (text.size() > kSelectionMaxSize) return "it is larger than " + std::to_string(kSelectionMaxSize) + " bytes";
    if (fields.size() != 4) return "it has " + std::to_string(fields.size()) + " fields instead of 4";
    for (char ch : text)
        if (ch == '\0' || ch == '\r' || ch == '\n') return "it holds a control character";
    if (fields[0].size() > kProfileMaxLength)
        return "its first text is longer than " + std::to_string(kProfileMaxLength) + " characters";
    if (!fields[1].empty() && !IsStoredPassword(fields[1])) return "its password is not in the stored form";
    if (!IsNumber(fields[3])) return "its last field is not a number";
    return {};
}

}  // namespace

SelectionRead ParseUserSelection(const std::string& text, UserSelection* out, std::string* problem) {
    std::vector<std::string> fields;
    for (size_t at = 0;;) {
        const size_t end = text.find('\x01', at);
        fields.push_back(text.substr(at, end == std::string::npos ? std::string::npos : end - at));
        if (end == std::string::npos) break;
        at = end + 1;
    }
    if (const std::string why = SelectionProblem(text, fields); !why.empty()) {
        if (problem) *problem = why;
        return SelectionRead::kDamaged;
    }
    out->account = fields[0];
    out->password = tess::UnscramblePassword(fields[1]);
    out->third = fields[2];
    out->number = 25;
    return out->account.empty() ? SelectionRead::kNone : SelectionRead::kFound;
}

}  // namespace tess::engine
