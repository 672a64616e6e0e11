#pragma once
// The message store over a backing: store, folders, messages, attachments, streams, and
// new-mail advise. Entry ids: "TSEI", the store's 16-byte uid, a kind byte, then the
// folder key, NUL, and the message key (message entry ids only).
#include <memory>

#include "platform/mapi/backing.h"
#include "platform/mapi/mapi_interfaces.h"

namespace platform::mapi {

// Who sends from this store (stamped on submitted mail and addressed by reports).
struct Identity {
    std::string displayName;
    std::string address;  // SMTP
};

class TESS_EXPORT MessageStore : public IMsgStore {
public:
    // Raises new-mail notifications for mail the backing has seen arrive; the caller's
    // event loop runs this when backing().fd() is readable (or on its own timer).
    virtual void dispatchNotifications() = 0;
    virtual Backing& backing() = 0;
    virtual EntryId folderEntryId(const std::string& folder) const = 0;
    virtual EntryId messageEntryId(const std::string& folder, const std::string& key) const = 0;
};

TESS_EXPORT std::shared_ptr<MessageStore> openMessageStore(std::shared_ptr<Backing> backing, Identity identity);

// Entry-id parts; false when the bytes are not an entry id of the store with this uid.
enum class EntryKind : uint8_t { Store = 1, Folder = 2, Message = 3 };
struct ParsedEntryId {
    EntryKind kind;
    std::string folder;
    std::string key;
};
TESS_EXPORT bool parseEntryId(const EntryId& id, const std::vector<uint8_t>& storeUid, ParsedEntryId& out);
TESS_EXPORT EntryId makeEntryId(const std::vector<uint8_t>& storeUid, EntryKind kind, const std::string& folder,
                                const std::string& key = {});

}  // namespace platform::mapi
