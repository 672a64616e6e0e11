#pragma once
// The objects of the mail store that handles point at: accounts, folders and messages.
// Every live object is known to the store's registry, so that a handle whose object has
// gone is found invalid instead of being followed.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/action_record.h"
#include "common/handheld_records.h"
#include "common/msg_record.h"
#include "accounts/mail_account.h"

namespace tess::datamgr {

enum StoreKind : uint32_t { kAccountKind = 0, kFolderKind = 1, kMessageKind = 2, kAttachmentKind = 3, kActionKind = 4 };

class StoreObject {
public:
    StoreObject();
    virtual ~StoreObject();
    StoreObject(const StoreObject&) = delete;
    StoreObject& operator=(const StoreObject&) = delete;
    virtual uint32_t Kind() const = 0;
    // Never reused, so that a new object at a freed one's address is told apart.
    uint64_t serial() const { return serial_; }
    // True while the object made with that serial lives.
    static bool Alive(const void* object, uint64_t serial);

private:
    uint64_t serial_;
};

class CMailMessage;

// One attachment of a message: its records on the handheld (a chain of pieces ending in a
// terminator), read as far as asked.
class CMailAttachment : public StoreObject {
public:
    uint32_t Kind() const override { return kAttachmentKind; }
    enum LoadState { kNotLoaded = 0, kHeader = 1, kLoaded = 2 };
    uint32_t recordId = 0;            // 0 until saved
    CMailMessage* message = nullptr;  // the message that holds it
    CAttachmentChain chain;
    int loadState = kNotLoaded;
    bool removed = false;
};

class CMailMessage : public StoreObject {
public:
    uint32_t Kind() const override { return kMessageKind; }
    CMsg msg;
    uint32_t recordId = 0;
    int accountId = 0;
    std::string serverIdText;  // the server's id as text, once asked for or given
    // Made from the part ids on first use, plus the ones made since.
    std::vector<std::unique_ptr<CMailAttachment>> attachments;
    bool attachmentsLoaded = false;
};

class CMailFolder : public StoreObject {
public:
    CMailFolder(int account, int folderSlot, std::string folderName)
        : accountId(account), slot(folderSlot), name(std::move(folderName)) {}
    uint32_t Kind() const override { return kFolderKind; }
    int accountId;
    int slot;  // -1 while unsaved
    std::string name;
    std::vector<std::unique_ptr<CMailMessage>> messages;
};

// An action the handheld queued while away from the desktop, read from its record in the
// disconnected-actions database (the record's category is the account).
struct PendingAction : ActionRecord {
    int accountId = 0;
    uint32_t recordId = 0;
};

class StoreAccount : public StoreObject {
public:
    StoreAccount(int slot, std::unique_ptr<accounts::CMailAccount> a) : id(slot), account(std::move(a)) {}
    uint32_t Kind() const override { return kAccountKind; }
    int id;  // the slot, the account's persistent id
    std::unique_ptr<accounts::CMailAccount> account;
    std::vector<std::unique_ptr<CMailFolder>> folders;
    std::vector<PendingAction> actions;

    CMailFolder* FolderBySlot(int slot) const;
};

}  // namespace tess::datamgr
