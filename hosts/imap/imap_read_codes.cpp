// What a server says about itself and the selected folder: its capabilities, the
// numbers of response codes such as [UIDVALIDITY 3], and the EXISTS count.
#include "hosts/imap/imap_readers.h"

namespace imap {

ParseResult ReadCapabilities(const std::vector<ParsedLine>& lines, std::vector<std::string>& names) {
    names.clear();
    for (const auto& line : lines) {
        if (!line.result.Ok() || line.kind == LineKind::kContinuation) continue;
        const std::vector<ImapArg>* args = nullptr;
        if (line.kind == LineKind::kUntagged && !line.args.empty() && line.args[0].IsAtom("CAPABILITY")) {
            args = &line.args;
        } else if (line.hasCode && inet::EqualsNoCase(line.code, "CAPABILITY")) {
            args = &line.codeArgs;
        } else {
            continue;
        }
        const std::size_t first = args == &line.args ? 1 : 0;
        for (std::size_t i = first; i < args->size(); ++i) {
            if (!(*args)[i].IsAtom()) {
                names.clear();
                return ParseResult::Fail(ParseError::kBadResponse, "a capability is not an atom");
            }
            names.push_back((*args)[i].text);
        }
        return {};
    }
    return ParseResult::Fail(ParseError::kNotFound, "no CAPABILITY line or code");
}

bool HasCapability(const std::vector<std::string>& names, std::string_view name) { return HasName(names, name); }

ParseResult ReadCodeNumber(const std::vector<ParsedLine>& lines, std::string_view code, uint64_t& number,
                           uint64_t max) {
    for (const auto& line : lines) {
        if (!line.result.Ok() || !line.hasCode || !inet::EqualsNoCase(line.code, code)) continue;
        if (line.codeArgs.size() != 1 || !line.codeArgs[0].AsNumber(number, max)) {
            return ParseResult::Fail(ParseError::kBadResponse, "[" + std::string(code) + "] without a number in range");
        }
        return {};
    }
    return ParseResult::Fail(ParseError::kNotFound, "no [" + std::string(code) + "] code");
}

bool HasCode(const std::vector<ParsedLine>& lines, std::string_view code) {
    for (const auto& line : lines)
        if (line.result.Ok() && line.hasCode && inet::EqualsNoCase(line.code, code)) return true;
    return false;
}

ParseResult ReadEnabled(const std::vector<ParsedLine>& lines, std::vector<std::string>& names) {
    names.clear();
    for (const auto& line : lines) {
        if (!line.result.Ok() || line.kind != LineKind::kUntagged || line.args.empty() ||
            !line.args[0].IsAtom("ENABLED"))
            continue;
        for (std::size_t i = 1; i < line.args.size(); ++i)
            if (line.args[i].IsAtom()) names.push_back(line.args[i].text);
        return {};
    }
    return ParseResult::Fail(ParseError::kNotFound, "no ENABLED line");
}

ParseResult ReadExists(const std::vector<ParsedLine>& lines, uint32_t& count) {
    for (const auto& line : lines) {
        if (!line.result.Ok() || line.kind != LineKind::kUntagged || line.args.size() != 2 ||
            !line.args[1].IsAtom("EXISTS"))
            continue;
        uint64_t n = 0;
        if (!line.args[0].AsNumber(n, INT32_MAX)) {
            return ParseResult::Fail(ParseError::kBadResponse, "EXISTS count out of range");
        }
        count = static_cast<uint32_t>(n);
        return {};
    }
    return ParseResult::Fail(ParseError::kNotFound, "no EXISTS line");
}

}  // namespace imap
