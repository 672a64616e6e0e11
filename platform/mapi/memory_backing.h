#pragma once
// In-memory store backing for unit tests of every caller, with fault injection per call.
#include <mutex>

#include "platform/mapi/backing.h"

namespace platform::mapi {

class TESS_EXPORT MemoryBacking : public Backing {
public:
    // Folder keys: "" Inbox, "Outbox", "Sent Items", "Deleted Items", "Drafts".
    MemoryBacking();

    // Test controls.
    void failCall(const std::string& call, HRESULT result);  // "Logon", "Restrict", "SubmitMessage", ...
    void clearFaults();
    void setTextValueLimit(size_t limit) { textLimit_ = limit; }
    void refuseRecipient(const std::string& address, const std::string& reason);
    // Puts a message into a folder as if the mail system delivered it (raises new mail).
    std::string deliver(const std::string& folder, StoredMessage message);
    std::vector<StoredMessage> submitted() const;
    // Stands for a store that Lotus Notes provides: its provider's name, and Inbox mail
    // delivered with the note id that the provider's entry ids carry at byte 28.
    void setProviderDisplayName(std::string name) { provider_ = std::move(name); }
    std::string deliverNote(uint32_t noteId, StoredMessage message);

    HRESULT logon() override;
    std::vector<FolderInfo> folders() override;
    HRESULT listMessages(const std::string& folder, std::vector<StoredMessage>& messages) override;
    HRESULT loadMessage(const std::string& folder, const std::string& key, StoredMessage& message) override;
    HRESULT saveMessage(const std::string& folder, StoredMessage& message) override;
    HRESULT deleteMessage(const std::string& folder, const std::string& key) override;
    HRESULT setRead(const std::string& folder, const std::string& key, bool read) override;
    HRESULT submit(const StoredMessage& message, std::vector<Refusal>& refused) override;
    std::vector<std::pair<std::string, std::string>> takeArrivals() override;
    size_t textValueLimit() const override { return textLimit_; }
    std::vector<uint8_t> storeUid() const override { return uid_; }
    std::string displayName() const override { return "Memory Store"; }
    std::string providerDisplayName() const override {
        return provider_.empty() ? Backing::providerDisplayName() : provider_;
    }
    HRESULT fault(const std::string& call) const override;

private:
    std::vector<StoredMessage>* folder(const std::string& name);

    mutable std::mutex mutex_;
    std::vector<FolderInfo> folders_;
    std::map<std::string, std::vector<StoredMessage>> messages_;
    std::map<std::string, HRESULT> faults_;
    std::map<std::string, std::string> refusals_;
    std::vector<StoredMessage> submitted_;
    std::vector<std::pair<std::string, std::string>> arrivals_;
    std::vector<uint8_t> uid_;
    size_t textLimit_ = 32768;
    std::string provider_;
    unsigned next_ = 1;
};

}  // namespace platform::mapi
