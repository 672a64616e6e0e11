#pragma once
// What a store backing provides to the object model: folders, messages as property bags
// with recipients and attachments, the read state, delivery of submitted mail and the
// news of mail that arrived. The object model (store_objects) does the rest.
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/export.h"
#include "platform/mapi/mapi_defs.h"

namespace platform::mapi {

typedef std::map<ULONG, SPropValue> PropMap;

// Special folders a store has; the folder names are the backing's own.
enum class FolderRole { Inbox, Outbox, Sent, Trash, Drafts, Other };

struct FolderInfo {
    std::string name;         // the backing's key for the folder ("" is the INBOX)
    std::string displayName;  // as shown ("Inbox", "Sent Items", ...)
    FolderRole role = FolderRole::Other;
};

struct StoredMessage {
    std::string key;  // unique within its folder, stable for the message's life there
    PropMap props;    // everything but the computed ones (entry ids, flags, sizes)
    std::vector<PropMap> recipients;
    std::vector<PropMap> attachments;  // each with PR_ATTACH_DATA_BIN
    bool read = false;
};

// A recipient the mail system turned away, with its reply.
struct Refusal {
    std::string address;
    std::string reason;
};

class TESS_EXPORT Backing {
public:
    virtual ~Backing() = default;
    virtual HRESULT logon() = 0;
    virtual std::vector<FolderInfo> folders() = 0;
    virtual HRESULT listMessages(const std::string& folder, std::vector<StoredMessage>& messages) = 0;
    virtual HRESULT loadMessage(const std::string& folder, const std::string& key, StoredMessage& message) = 0;
    // Stores a new message (empty key: the backing assigns one) or replaces one.
    virtual HRESULT saveMessage(const std::string& folder, StoredMessage& message) = 0;
    virtual HRESULT deleteMessage(const std::string& folder, const std::string& key) = 0;
    virtual HRESULT setRead(const std::string& folder, const std::string& key, bool read) = 0;
    // Sends the message to its recipients. Success with refusals: some recipients were
    // turned away (the caller reports them); a failure: nothing was sent.
    virtual HRESULT submit(const StoredMessage& message, std::vector<Refusal>& refused) = 0;
    // Mail that arrived since the last call, as (folder, key); the caller raises new-mail
    // notifications for them. fd() is readable when there may be some (-1: poll).
    virtual std::vector<std::pair<std::string, std::string>> takeArrivals() = 0;
    virtual int fd() const { return -1; }
    // Longest text GetProps hands out as a value; longer texts only through a stream.
    virtual size_t textValueLimit() const { return 32768; }
    // 16 bytes that identify this store (PR_MDB_PROVIDER, entry ids).
    virtual std::vector<uint8_t> storeUid() const = 0;
    virtual std::string displayName() const = 0;
    // The name the store's provider gives itself (PR_PROVIDER_DISPLAY).
    virtual std::string providerDisplayName() const { return "Tessaline Personal Folders"; }
    // Fault injection for tests: the result a named call of the object model is to fail
    // with ("Restrict", "SubmitMessage", "OpenEntry", ...), S_OK to run it normally.
    virtual HRESULT fault(const std::string& call) const {
        (void)call;
        return S_OK;
    }
};

}  // namespace platform::mapi
