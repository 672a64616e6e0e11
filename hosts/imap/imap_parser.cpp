#include "hosts/imap/imap_parser.h"

#include <algorithm>

namespace imap {
namespace {

bool IsControl(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7f;
}

std::string Escaped(char c) {
    static const char kHex[] = "0123456789abcdef";
    const auto u = static_cast<unsigned char>(c);
    return std::string("0x") + kHex[u >> 4] + kHex[u & 15];
}

LineStatus StatusWord(const ImapArg& arg) {
    if (arg.IsAtom("OK")) return LineStatus::kOk;
    if (arg.IsAtom("NO")) return LineStatus::kNo;
    if (arg.IsAtom("BAD")) return LineStatus::kBad;
    if (arg.IsAtom("PREAUTH")) return LineStatus::kPreauth;
    if (arg.IsAtom("BYE")) return LineStatus::kBye;
    return LineStatus::kNone;
}

// When a physical line (CR removed) ends in "{n}" or "{n+}" and n fits, n.
bool TrailingLiteral(std::string_view line, uint64_t& n) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.back() != '}') return false;
    const std::size_t open = line.rfind('{');
    if (open == std::string_view::npos) return false;
    std::string_view digits = line.substr(open + 1, line.size() - open - 2);
    if (!digits.empty() && digits.back() == '+') digits.remove_suffix(1);
    ImapArg count{ArgType::kAtom, std::string(digits), {}};
    return count.AsNumber(n);
}

}  // namespace

const char* ErrorName(ParseError error) {
    switch (error) {
    case ParseError::kNone: return "no error";
    case ParseError::kLineTooLong: return "line too long";
    case ParseError::kLiteralTooLarge: return "literal too large";
    case ParseError::kLiteralOverflow: return "literal count overflows";
    case ParseError::kBadLiteral: return "malformed literal";
    case ParseError::kUnterminatedString: return "unterminated quoted string";
    case ParseError::kNestingTooDeep: return "lists nested too deep";
    case ParseError::kUnbalancedList: return "unbalanced parentheses";
    case ParseError::kBadSection: return "unclosed section";
    case ParseError::kBadCode: return "unclosed response code";
    case ParseError::kBadCharacter: return "bad character";
    case ParseError::kBadSyntax: return "bad syntax";
    case ParseError::kIncomplete: return "incomplete";
    case ParseError::kNotFound: return "not found";
    case ParseError::kBadResponse: return "malformed response";
    }
    return "unknown";
}

void CResponseParser::Reset() { *this = CResponseParser(limits_); }

ParsedLine CResponseParser::TakeLine() {
    ready_ = false;
    ParsedLine out = std::move(line_);
    line_ = ParsedLine{};
    return out;
}

std::size_t CResponseParser::Feed(std::string_view data) {
    std::size_t i = 0;
    while (i < data.size() && !ready_) {
        if (state_ == State::kLiteralData || state_ == State::kSkipLiteral) {
            const std::size_t take = static_cast<std::size_t>(std::min<uint64_t>(count_, data.size() - i));
            if (state_ == State::kLiteralData) token_.append(data.substr(i, take));
            i += take;
            count_ -= take;
            if (count_ > 0) continue;
            tail_.clear();
            if (state_ == State::kSkipLiteral) {
                state_ = State::kSkip;
            } else {
                AddArg(ImapArg{ArgType::kLiteral, std::move(token_), {}});
            }
            continue;
        }
        const char c = data[i];
        const bool counted = state_ != State::kSkip;
        if (counted && lineBytes_ >= limits_.maxLine) {
            Fail(ParseError::kLineTooLong, "line longer than " + std::to_string(limits_.maxLine) + " bytes");
            continue;  // the byte is read again while skipping
        }
        if (!Step(c)) continue;
        ++i;
        if (counted && !ready_) ++lineBytes_;
        if (c == '\n') {
            tail_.clear();
        } else {
            TrackTail(c);
        }
    }
    return i;
}

void CResponseParser::TrackTail(char c) {
    // "{" + 20 digits + "+}" is the longest literal marker worth finding.
    if (tail_.size() >= 64) tail_.erase(0, 32);
    tail_ += c;
}

bool CResponseParser::Fail(ParseError error, std::string text) {
    if (line_.result.Ok()) line_.result = ParseResult::Fail(error, std::move(text));
    open_.clear();
    token_.clear();
    inCode_ = false;
    state_ = State::kSkip;
    return false;
}

std::vector<ImapArg>& CResponseParser::Target() {
    if (!open_.empty()) return open_.back().list;
    return inCode_ ? line_.codeArgs : line_.args;
}

void CResponseParser::AddArg(ImapArg arg) {
    Target().push_back(std::move(arg));
    token_.clear();
    state_ = State::kArgs;
    if (statusChecked_ || inCode_ || !open_.empty()) return;
    statusChecked_ = true;
    // A status line's first word is its status; the rest is a code and free text.
    const LineStatus status = StatusWord(line_.args.front());
    if (line_.args.size() != 1 || status == LineStatus::kNone) return;
    line_.status = status;
    line_.args.clear();
    state_ = State::kStatusGap;
}

void CResponseParser::EndLine() {
    ready_ = true;
    state_ = State::kLineStart;
    open_.clear();
    token_.clear();
    inCode_ = false;
    statusChecked_ = false;
    brackets_ = 0;
    lineBytes_ = 0;
}

bool CResponseParser::Step(char c) {
    switch (state_) {
    case State::kLineStart:
    case State::kTag:
    case State::kContinuationGap: return StepTag(c);
    case State::kArgs: return StepArgs(c);
    case State::kAtom: return StepAtom(c);
    case State::kQuoted:
    case State::kQuotedEscape: return StepQuoted(c);
    case State::kLiteralCount:
    case State::kLiteralPlus:
    case State::kLiteralCr:
    case State::kLiteralLf: return StepLiteral(c);
    case State::kStatusGap:
    case State::kRespTextStart:
    case State::kCodeName:
    case State::kAfterCode:
    case State::kText:
    case State::kCr: return StepStatus(c);
    case State::kSkip: return StepSkip(c);
    case State::kLiteralData:
    case State::kSkipLiteral: break;  // Feed copies or skips these in bulk
    }
    return true;
}

bool CResponseParser::StepTag(char c) {
    if (state_ == State::kContinuationGap) {
        state_ = State::kText;
        return c == ' ';  // the blank after "+" is not part of the text
    }
    if (c == '\r' || c == '\n' || c == ' ') {
        if (state_ == State::kLineStart) {
            return Fail(ParseError::kBadSyntax, c == ' ' ? "line starts with a blank" : "empty line");
        }
        line_.tag = std::move(token_);
        line_.kind = line_.tag == "*" ? LineKind::kUntagged : LineKind::kTagged;
        if (c != ' ') return Fail(ParseError::kBadSyntax, "a tag with nothing after it");
        token_.clear();
        state_ = State::kArgs;
        return true;
    }
    if (IsControl(c)) return Fail(ParseError::kBadCharacter, "byte " + Escaped(c) + " in a tag");
    if (state_ == State::kLineStart && c == '+') {
        line_.kind = LineKind::kContinuation;
        line_.tag = "+";
        state_ = State::kContinuationGap;
        return true;
    }
    token_ += c;
    state_ = State::kTag;
    return true;
}

bool CResponseParser::StepArgs(char c) {
    switch (c) {
    case ' ': return true;
    case '(':
        if (open_.size() >= limits_.maxDepth) {
            return Fail(ParseError::kNestingTooDeep, "lists nested deeper than " + std::to_string(limits_.maxDepth));
        }
        open_.push_back(ImapArg{ArgType::kList, {}, {}});
        return true;
    case ')': {
        if (open_.empty()) return Fail(ParseError::kUnbalancedList, "')' without '('");
        ImapArg done = std::move(open_.back());
        open_.pop_back();
        AddArg(std::move(done));
        return true;
    }
    case '"':
        token_.clear();
        state_ = State::kQuoted;
        return true;
    case '{':
        count_ = 0;
        countDigits_ = false;
        state_ = State::kLiteralCount;
        return true;
    case '\r': state_ = State::kCr; return true;
    case '\n': state_ = State::kCr; return StepStatus(c);
    default: break;
    }
    if (c == ']' && inCode_ && open_.empty()) {
        inCode_ = false;
        state_ = State::kAfterCode;
        return true;
    }
    if (IsControl(c)) return Fail(ParseError::kBadCharacter, "byte " + Escaped(c) + " in a line");
    token_.clear();
    brackets_ = 0;
    state_ = State::kAtom;
    return false;  // the atom's first byte
}

bool CResponseParser::StepAtom(char c) {
    if (brackets_ > 0) {
        // A section ("BODY[HEADER.FIELDS (Received)]") may hold blanks and lists.
        if (c == '\r' || c == '\n') {
            return Fail(ParseError::kBadSection, "'[' in \"" + token_ + "\" not closed");
        }
        if (c == ']') --brackets_;
        if (c == '[') ++brackets_;
    } else if (c == ' ' || c == '\r' || c == '\n' || c == '(' || c == ')' || (c == ']' && inCode_ && open_.empty())) {
        const bool nil = inet::EqualsNoCase(token_, "NIL");
        AddArg(ImapArg{nil ? ArgType::kNil : ArgType::kAtom, std::move(token_), {}});
        return false;  // the byte that ended the atom is read again
    } else if (c == '[') {
        ++brackets_;
    }
    if (IsControl(c)) return Fail(ParseError::kBadCharacter, "byte " + Escaped(c) + " in an atom");
    token_ += c;
    return true;
}

bool CResponseParser::StepQuoted(char c) {
    if (c == '\r' || c == '\n') {
        return Fail(ParseError::kUnterminatedString, "the line ends inside a quoted string");
    }
    if (c == '\0') return Fail(ParseError::kBadCharacter, "NUL in a quoted string");
    if (state_ == State::kQuotedEscape) {
        token_ += c;
        state_ = State::kQuoted;
        return true;
    }
    if (c == '\\') {
        state_ = State::kQuotedEscape;
        return true;
    }
    if (c == '"') {
        AddArg(ImapArg{ArgType::kString, std::move(token_), {}});
        return true;
    }
    token_ += c;
    return true;
}

bool CResponseParser::StepLiteral(char c) {
    switch (state_) {
    case State::kLiteralCount:
        if (c >= '0' && c <= '9') {
            const auto digit = static_cast<uint64_t>(c - '0');
            if (count_ > (UINT64_MAX - digit) / 10) {
                return Fail(ParseError::kLiteralOverflow, "literal count does not fit");
            }
            count_ = count_ * 10 + digit;
            countDigits_ = true;
            return true;
        }
        if (c == '+' && countDigits_) {
            state_ = State::kLiteralPlus;
            return true;
        }
        [[fallthrough]];
    case State::kLiteralPlus:
        if (c != '}' || !countDigits_) {
            return Fail(ParseError::kBadLiteral, "literal count \"{...}\" malformed");
        }
        if (count_ > limits_.maxLiteral) {
            // Left unread, the '}' ends the skipped line's "{n}", so n bytes are skipped.
            return Fail(ParseError::kLiteralTooLarge, "literal of " + std::to_string(count_) + " bytes, at most " +
                                                          std::to_string(limits_.maxLiteral) + " taken");
        }
        state_ = State::kLiteralCr;
        return true;
    case State::kLiteralCr:
        if (c == '\r') {
            state_ = State::kLiteralLf;
            return true;
        }
        [[fallthrough]];
    case State::kLiteralLf:
        if (c != '\n') return Fail(ParseError::kBadLiteral, "literal count not at a line end");
        token_.clear();
        state_ = State::kLiteralData;
        if (count_ == 0) AddArg(ImapArg{ArgType::kLiteral, {}, {}});
        return true;
    default: return true;
    }
}

bool CResponseParser::StepStatus(char c) {
    switch (state_) {
    case State::kStatusGap:
    case State::kAfterCode:
        if (c == ' ') {
            state_ = state_ == State::kStatusGap ? State::kRespTextStart : State::kText;
            return true;
        }
        state_ = State::kText;
        return false;
    case State::kRespTextStart:
        if (c == '[') {
            token_.clear();
            state_ = State::kCodeName;
            return true;
        }
        state_ = State::kText;
        return false;
    case State::kCodeName:
        if (c == ' ' || c == ']') {
            line_.hasCode = true;
            line_.code = std::move(token_);
            token_.clear();
            inCode_ = c == ' ';
            state_ = inCode_ ? State::kArgs : State::kAfterCode;
            return true;
        }
        if (c == '\r' || c == '\n') return Fail(ParseError::kBadCode, "'[' not closed");
        if (IsControl(c)) {
            return Fail(ParseError::kBadCharacter, "byte " + Escaped(c) + " in a code");
        }
        token_ += c;
        return true;
    case State::kText:
        if (c == '\r') {
            state_ = State::kCr;
        } else if (c == '\n') {
            state_ = State::kCr;
            return StepStatus(c);
        } else {
            line_.text += c;
        }
        return true;
    case State::kCr:
        if (c != '\n') return Fail(ParseError::kBadCharacter, "CR not followed by LF");
        if (inCode_) return Fail(ParseError::kBadCode, "'[' not closed");
        if (!open_.empty()) return Fail(ParseError::kUnbalancedList, "the line ends inside a list");
        EndLine();
        return true;
    default: return true;
    }
}

bool CResponseParser::StepSkip(char c) {
    if (c != '\n') return true;
    uint64_t n = 0;
    if (TrailingLiteral(tail_, n) && n > 0) {
        // The failed line goes on after a literal: skip its data by its count.
        count_ = n;
        state_ = State::kSkipLiteral;
        return true;
    }
    if (TrailingLiteral(tail_, n)) return true;  // "{0}": the line goes on at once
    EndLine();
    return true;
}

ParseResult ParseResponse(std::string_view reply, std::vector<ParsedLine>& lines, ParserLimits limits) {
    lines.clear();
    CResponseParser parser(limits);
    ParseResult first;
    std::size_t pos = 0;
    while (pos < reply.size()) {
        pos += parser.Feed(reply.substr(pos));
        if (!parser.LineReady()) continue;
        lines.push_back(parser.TakeLine());
        if (first.Ok() && !lines.back().result.Ok()) first = lines.back().result;
    }
    if (first.Ok() && parser.MidLine()) {
        first = parser.LineResult().Ok() ? ParseResult::Fail(ParseError::kIncomplete, "the response ends inside a line")
                                         : parser.LineResult();
    }
    return first;
}

}  // namespace imap
