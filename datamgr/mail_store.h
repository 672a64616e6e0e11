#pragma once
// The mail store: one desktop user's accounts (up to eight, each with up to sixteen
// folders) and, during a synchronisation, the messages on the handheld, with the counts
// of messages that refer to each attachment record.
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "accounts/user_settings.h"
#include "datamgr/handheld_access.h"
#include "datamgr/mail_store_objects.h"
#include "accounts/account_environment.h"

namespace tess::datamgr {

inline constexpr int kMaxAccounts = 8;
inline constexpr int kMaxFolderSlots = 16;
inline constexpr int kCommonFolders = 5;
inline constexpr unsigned kSettingsDataVersion = 517;
// Head word of an account taken by MAccCreate: bit 31 marks it as made on the desktop;
// the low 16 bits hold the handheld's protocol word once the account was reconciled.
inline constexpr uint32_t kCreationWord = 0x80000000u;

class CMailStore {
public:
    CMailStore();
    ~CMailStore();
    CMailStore(const CMailStore&) = delete;
    CMailStore& operator=(const CMailStore&) = delete;

    // Empties the store and loads the user's settings and accounts (folders too when no
    // synchronisation runs).
    int Load(int userId, void* syncSession, int noDialog);
    // With a synchronisation: validates the accounts against the handheld, builds their
    // folders and, unless noDialog, loads the messages.
    int LoadHandheld();
    // Library unload: attachment records no message refers to any more are deleted.
    void Close();
    void Empty();

    bool loaded() const { return loaded_; }
    void* syncSession() const { return syncSession_; }
    void setSyncSession(void* s) { syncSession_ = s; }
    int userId() const { return userId_; }
    const std::string& desktopDirectory() const { return desktopDir_; }
    const std::string& conduitDirectory() const { return conduitDir_; }
    const accounts::CGeneralSettings& general() const { return general_; }
    int handheldVersion() const { return appVersion_; }
    int messageDbVersion() const { return messageDbVersion_; }
    CHandheldDb& handheld() { return db_; }

    const std::vector<std::unique_ptr<StoreAccount>>& accounts() const { return accounts_; }
    StoreAccount* AccountById(int id) const;
    StoreAccount* AccountAfter(const StoreAccount* account) const;

    int CreateAccount(StoreAccount** out);
    int DeleteAccount(StoreAccount& account);
    int BuildFolders(StoreAccount& account);
    // Saves the account's file; during a synchronisation its changed tags go to the
    // handheld first (those that cannot be written stay listed in the file).
    int SaveAccount(StoreAccount& account);
    // Folder name slots of the account's handheld folder table.
    static std::string FolderSlotName(const accounts::CMailAccount& account, int slot);
    static void SetFolderSlotName(accounts::CMailAccount& account, int slot, const std::string& name);

    // Writes a message's record to the handheld under its id (a new record's id comes back
    // into the message), with the record of how much of its body came over kept in step:
    // an incomplete message has one, a complete one none. Only during a synchronisation.
    int SaveMessage(CMailMessage& message);
    // Takes the message out of its folder and its records off the handheld; its
    // attachments lose its references. 0x80800006 when its folder has gone.
    int DeleteMessage(CMailMessage& message);
    // The size of the message's handheld record as it stands.
    static size_t RecordSize(const CMsg& msg);
    // Marked incomplete, or its body not all come over by its part record on the handheld.
    bool BodyIncomplete(CMailMessage& message);

    // Deletes the action's record from the handheld and then drops it from the account's
    // list; the handheld's error leaves both as they were.
    int CompleteAction(StoreAccount& account, uint32_t recordId);

    void AddReference(uint32_t recordId);
    void ReleaseReference(uint32_t recordId);
    int References(uint32_t recordId) const;

private:
    int loadAccounts();
    int loadMessages();
    int loadActions();
    // Deletes every action record the handheld keeps for the account.
    void deleteActionRecords(const StoreAccount& account);
    // Removes a message's records from the handheld and releases its attachments.
    void deleteMessageRecords(const CMailMessage& message);
    int savePartRecord(CMailMessage& message);
    void logLine(const std::string& line);

    bool loaded_ = false;
    int userId_ = 0;
    void* syncSession_ = nullptr;
    int noDialog_ = 0;
    accounts::CGeneralSettings general_;
    std::string conduitDir_, desktopDir_, accountDir_;
    int appVersion_ = 1024;
    int messageDbVersion_ = -1;
    std::unique_ptr<accounts::AccountEnvironment> env_;
    std::vector<std::unique_ptr<StoreAccount>> accounts_;
    std::unordered_map<uint32_t, int> references_;
    CHandheldDb db_{kStoreDbOptions};
};

// The process's store.
CMailStore& TheMailStore();

// Before a message is saved: every attachment it holds must be saved (0x80A00004
// otherwise), and the ids of saved ones join its part list.
int PrepareAttachmentsForSave(CMailMessage& message);

}  // namespace tess::datamgr
