#pragma once
// The Maildir++ backing for real use: INBOX at the profile's Maildir root and Sent, Trash,
// Drafts, Outbox beside it; the read state is the S flag; a message's key is the unique
// part of its file name, so it survives the renames an IMAP server makes (new/ to cur/,
// flag changes). Properties RFC 822 cannot carry live in a SQLite sidecar in the root.
// New mail is what appears in a folder's new/ (inotify; a rescan when events were lost).
// Submission goes over SMTP to the profile's server.
#include <memory>

#include "platform/mapi/backing.h"
#include "platform/mapi/profiles.h"

namespace platform::mapi {

TESS_EXPORT std::shared_ptr<Backing> makeMaildirBacking(const Profile& profile);

}  // namespace platform::mapi
