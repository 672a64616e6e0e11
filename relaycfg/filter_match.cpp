#include "relaycfg/filter_match.h"

#include <climits>
#include <cstring>

namespace tess::relaycfg {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

std::string_view trimLeft(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    return s;
}
std::string_view trim(std::string_view s) {
    s = trimLeft(s);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}
std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return out;
}
// A fixed field that may lack its terminator is read only within the field.
std::string_view fieldText(const char* field, size_t width) { return {field, strnlen(field, width)}; }
std::string_view messageText(const char* text) { return text ? std::string_view(text) : std::string_view(); }

bool matchText(std::string_view messageField, const MessageFilter& filter) {
    const std::string text = lower(messageField);
    const std::string value = lower(fieldText(filter.value, sizeof filter.value));
    switch (filter.textOperator) {
    case kFilterContains: return text.find(value) != std::string::npos;
    case kFilterNotContains: return !value.empty() && text.find(value) == std::string::npos;
    case kFilterBeginsWith: {
        // The piece of the mail's text is as long as the untrimmed value; only then are
        // both trimmed and compared.
        const std::string_view start = trimLeft(text);
        if (start.empty() || start.size() < value.size()) return false;
        const std::string_view piece = trim(start.substr(0, value.size()));
        const std::string_view wanted = trim(value);
        return !piece.empty() && !wanted.empty() && piece == wanted;
    }
    default: return false;
    }
}

}  // namespace

int32_t ParseFilterNumber(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && isBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int64_t n = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        n = n * 10 + (text[i] - '0');
        if (n > int64_t(INT32_MAX) + 1) n = int64_t(INT32_MAX) + 1;
    }
    if (negative) return n > INT32_MAX ? INT32_MIN : int32_t(-n);
    return n > INT32_MAX ? INT32_MAX : int32_t(n);
}

bool MatchOneFilter(const FilterMessage& message, const MessageFilter& filter, int64_t now) {
    // A slot that was cleared but counted holds no rule; it stops nothing.
    if (!filter.inUse) return false;
    const int64_t number = ParseFilterNumber(fieldText(filter.value, sizeof filter.value));
    switch (filter.kind) {
    case kFilterTo: return matchText(messageText(message.toRecipients), filter);
    case kFilterSender: return matchText(messageText(message.senderAddress), filter);
    case kFilterSubject: return matchText(messageText(message.subject), filter);
    case kFilterCc: return matchText(messageText(message.ccRecipients), filter);
    case kFilterAge: {
        // 64-bit so that a large number of days cannot wrap the threshold around.
        const int64_t threshold = now - number * 86400;
        if (filter.numericOperator == kFilterAtLeast) return message.deliveryTime <= threshold;
        if (filter.numericOperator == kFilterAtMost) return message.deliveryTime >= threshold;
        return false;
    }
    case kFilterSize: {
        const int64_t limit = number * 1024;
        const int64_t size = message.size;
        if (filter.numericOperator == kFilterAtLeast) return size >= limit;
        if (filter.numericOperator == kFilterAtMost) return size <= limit;
        return false;
    }
    default: return false;
    }
}

bool MatchMessageFilters(const FilterMessage& message, std::span<const MessageFilter> filters, int64_t now) {
    for (const MessageFilter& f : filters)
        if (MatchOneFilter(message, f, now)) return true;
    return false;
}

}  // namespace tess::relaycfg
