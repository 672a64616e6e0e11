#pragma once
// The filter test of one mail against a user's stored filters.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "common/message_filter.h"

namespace tess::relaycfg {

// True when any filter in use matches the mail. `now` is seconds since 1970.
bool MatchMessageFilters(const FilterMessage& message, std::span<const MessageFilter> filters, int64_t now);

// One filter against one mail (exposed for tests).
bool MatchOneFilter(const FilterMessage& message, const MessageFilter& filter, int64_t now);

// The decimal number at the start of a text, as the C library's atoi reads it, but held
// within 32 bits instead of overflowing.
int32_t ParseFilterNumber(std::string_view text);

}  // namespace tess::relaycfg
