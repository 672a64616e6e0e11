#pragma once
// An account's values by field tag: the tag's kind and size, where it lives in the
// account's handheld block, and the list of tags changed since the last handheld write.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "accounts/account_environment.h"
#include "accounts/mail_account.h"

namespace tess::datamgr {

enum class TagKind { none, text, int16, int32, u32 };

struct FieldTag {
    TagKind kind = TagKind::none;
    size_t size = 0;              // the value's size by the tag table
    size_t offset = 0;            // in the handheld block (the desktop copy)
    size_t width = 0;             // text: the field's width with its terminator
    bool inDesktopBlock = false;  // the account name and tag 23 live in the desktop block
};

// The tag's entry; kind none for the folder table (29) or an unknown tag.
FieldTag LookUpFieldTag(int tag);

enum class SetResult { unchanged, changed, tooLong, noField };

// Stores a text; a text over the field's real capacity is refused and nothing stored.
SetResult SetTagText(accounts::CMailAccount& account, int tag, std::string_view text);
SetResult SetTagNumber(accounts::CMailAccount& account, int tag, int64_t value);
std::string_view TagText(const accounts::CMailAccount& account, int tag);
int64_t TagNumber(const accounts::CMailAccount& account, int tag);

// Rewrites the handheld's main record of the account (id = account index) with its
// folder and display settings refreshed, keeping the handheld's other values. A record
// that cannot be read is left alone: 0 when written, else the read or write error.
int RefreshMainRecord(accounts::HandheldPreferences& prefs, int accountIndex);

// Sends the account's changed tags to the handheld, in list order: texts to their own
// preferences, the others into the main record (the handheld's current 180 bytes, given
// by the caller), which is written whole. Tags whose write fails stay listed for a later
// write; the rest leave the list. Returns the number of failed writes.
int WriteChangedTags(accounts::CMailAccount& account, int accountIndex, accounts::HandheldPreferences& prefs,
                     accounts::AccountRecord& record, const char* key);

}  // namespace tess::datamgr
