#include "hosts/imap/imap_response.h"

namespace imap {

void ImapReplyEnd::Reset() {
    parser_.Reset();
    lines_.clear();
    pos_ = 0;
    complete_ = false;
}

bool ImapReplyEnd::Complete(std::string_view reply) {
    // The reply grows between calls; only the bytes not yet read are fed.
    while (!complete_ && pos_ < reply.size()) {
        pos_ += parser_.Feed(reply.substr(pos_));
        if (!parser_.LineReady()) continue;
        ParsedLine taken = parser_.TakeLine();
        if (taken.kind == LineKind::kUntagged && take_ && take_(taken)) continue;
        lines_.push_back(std::move(taken));
        const ParsedLine& line = lines_.back();
        complete_ = (line.kind == LineKind::kTagged && line.tag == tag_) ||
                    (acceptContinuation_ && line.kind == LineKind::kContinuation);
    }
    return complete_;
}

TaggedStatus StatusOf(const std::vector<ParsedLine>& lines, std::string_view tag) {
    if (tag.empty()) return TaggedStatus::kMissing;
    for (const auto& line : lines) {
        // The status word is kept even when the rest of the line could not be read.
        if (line.kind != LineKind::kTagged || line.tag != tag) continue;
        if (line.status == LineStatus::kOk) return TaggedStatus::kOk;
        if (line.status == LineStatus::kNo) return TaggedStatus::kNo;
        return TaggedStatus::kBad;
    }
    return TaggedStatus::kMissing;
}

bool Quote(std::string_view text, std::string& out) {
    out.assign(1, '"');
    for (char c : text) {
        if (c == '\r' || c == '\n' || c == '\0') return false;
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    out += '"';
    return true;
}

}  // namespace imap
