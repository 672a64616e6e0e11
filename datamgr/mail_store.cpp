#include "datamgr/mail_store.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "common/message_record_codec.h"
#include "datamgr/account_field_tags.h"
#include "datamgr/error_texts.h"
#include "datamgr/ledgerly.h"
#include "datamgr/store_texts.h"
#include "accounts/account_layout.h"
#include "accounts/block_fields.h"
#include "accounts/sync_preferences.h"
#include "accounts/system_environment.h"
#include "progress/lampwick.h"

namespace tess::datamgr {
namespace {

using namespace accounts::layout;

int Code(uint32_t c) { return static_cast<int>(c); }

constexpr int kProtocolTag = 5;
constexpr int kIncomingPortTag = 19;

// The account's surroundings as the data manager has them: its lines go to the product
// log.
class DataManagerEnvironment : public accounts::SystemAccountEnvironment {
public:
    void SyncMessage(int id, std::string_view a, std::string_view b) override {
        std::string line = "Message " + std::to_string(id);
        if (!a.empty()) line += " " + std::string(a);
        if (!b.empty()) line += " " + std::string(b);
        MLOGAdd(line.c_str());
    }
    void ProductLog(std::string_view line) override { MLOGAdd(std::string(line).c_str()); }
};

std::string QueryText(int (*fn)(uint32_t, char*, int*), uint32_t creator) {
    char buffer[512] = {};
    int size = sizeof buffer;
    return fn(creator, buffer, &size) == SYNC_OK ? std::string(buffer) : std::string();
}

std::string UserDirectory(int userId) {
    char buffer[1024] = {};
    int size = sizeof buffer;
    if (RosterGetUserDirectory(userId, buffer, &size) != SYNC_OK) return {};
    std::string dir(buffer);
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return dir;
}

bool MarkedDeleted(const accounts::CMailAccount& a) { return a.HeadWord(kHeadDeleteFromHandheld) != 0; }
bool MarkedReset(const accounts::CMailAccount& a) { return a.HeadWord(kHeadDropMessages) != 0; }
bool ServerChanged(const accounts::CMailAccount& a) { return a.HeadWord(kHeadServerChanged) != 0; }

// A message fetched from a server: a nonzero host id (the record always holds four
// bytes) or a message id.
bool CarriesServerId(const CMsg& m) {
    int32_t length = 0;
    const uint8_t* host = m.hostId.GetData(&length);
    return m.msgId.GetLength() > 0 || (host && std::any_of(host, host + length, [](uint8_t b) { return b != 0; }));
}

int Protocol(const accounts::CMailAccount& a) { return accounts::ByteView(a.Image().handheld).u16le(kWord0); }

// Accounts whose folders come from a desktop or server host, and the relay's business
// account (4 in the protocol word last read from the handheld).
bool ServerFolderAccount(const accounts::CMailAccount& a) {
    const int64_t protocol = TagNumber(a, kProtocolTag);
    return (protocol >= 4 && protocol <= 7) || (a.HeadWord(kHeadHandheldWord0) & 0xFFFF) == 4;
}

void SubStep(const char* text, int count) {
    PRGUpdateSubMessage(text);
    if (count >= 0) PRGSetSubEventCount(count);
}

}  // namespace

CMailStore::CMailStore() : env_(std::make_unique<DataManagerEnvironment>()) {}
CMailStore::~CMailStore() = default;

CMailStore& TheMailStore() {
    static CMailStore store;
    return store;
}

void CMailStore::logLine(const std::string& line) {
    if (general_.enableLogging) MLOGAdd(line.c_str());
}

void CMailStore::Empty() {
    db_.Close();
    accounts_.clear();
    references_.clear();
    loaded_ = false;
}

std::string CMailStore::FolderSlotName(const accounts::CMailAccount& account, int slot) {
    if (slot < 0 || slot >= kMaxFolderSlots) return {};
    // A slot holds at most 15 characters and its terminator, whatever the bytes say.
    return std::string(accounts::ByteView(account.Image().handheld)
                           .text(kFolderPrefCopy + kFolderPrefSlots + kFolderSlotWidth * slot, kFolderSlotWidth - 1));
}

void CMailStore::SetFolderSlotName(accounts::CMailAccount& account, int slot, const std::string& name) {
    if (slot < 0 || slot >= kMaxFolderSlots) return;
    accounts::ByteSpan(account.MutableImage().handheld)
        .putTextCut(kFolderPrefCopy + kFolderPrefSlots + kFolderSlotWidth * slot, kFolderSlotWidth, name);
}

int CMailStore::BuildFolders(StoreAccount& account) {
    std::vector<std::unique_ptr<CMailFolder>> made;
    try {
        for (int slot = 0; slot < kMaxFolderSlots; ++slot) {
            const std::string name = FolderSlotName(*account.account, slot);
            if (!name.empty()) made.push_back(std::make_unique<CMailFolder>(account.id, slot, name));
        }
    } catch (const std::bad_alloc&) {
        return Code(LDG_E_NO_MEMORY);
    }
    account.folders = std::move(made);
    return 0;
}

int CMailStore::loadAccounts() {
    for (int slot = 0; slot < kMaxAccounts; ++slot) {
        accounts::AccountInit init;
        init.userId = userId_;
        init.accountNumber = slot;
        init.dataVersion = kSettingsDataVersion;
        init.userDirectory = accountDir_;
        auto account = std::make_unique<accounts::CMailAccount>(init, *env_);
        if (!account->Load()) continue;
        auto entry = std::make_unique<StoreAccount>(slot, std::move(account));
        if (!syncSession_) {
            if (const int rc = BuildFolders(*entry); rc != 0) {
                accounts_.clear();
                return rc;
            }
        }
        accounts_.push_back(std::move(entry));
    }
    return accounts_.empty() ? Code(LDG_E_IO_READ_DEVICE) : 0;
}

int CMailStore::Load(int userId, void* syncSession, int noDialog) {
    Empty();
    if (userId == 0) return Code(LDG_E_INVALID_PARAMETER);
    userId_ = userId;
    syncSession_ = syncSession;
    noDialog_ = noDialog;
    SubStep(StoreText(kTextUserInfo), 4);

    // The sync keys (days to sync among them) are read too: the validation needs them.
    if (!general_.Load(userId, "Tessaline", 0, 0)) return Code(LDG_E_IO_READ_DEVICE);
    PRGUpdateSubEvent();
    conduitDir_ = QueryText(QuayGetConduitDirectory, kCreatorMail);
    desktopDir_ = UserDirectory(userId);
    accountDir_ = desktopDir_ + "/" + StoreText(kTextProduct);
    PRGUpdateSubEvent();

    appVersion_ = ReadDeviceInfo().version;
    if (HandheldDbExists(HandheldDbName(kDbOldPro2)) || HandheldDbExists(HandheldDbName(kDbOldPro3)))
        return Code(LDG_E_DB_VERSION);
    uint16_t version = 0;
    messageDbVersion_ = HandheldDbVersion(HandheldDbName(kDbMessages), &version) == 0 ? version : -1;
    PRGUpdateSubEvent();

    if (const int rc = loadAccounts(); rc != 0) return rc;
    PRGUpdateSubEvent();
    loaded_ = true;
    return 0;
}

StoreAccount* CMailStore::AccountById(int id) const {
    for (const auto& a : accounts_)
        if (a->id == id) return a.get();
    return nullptr;
}

StoreAccount* CMailStore::AccountAfter(const StoreAccount* account) const {
    for (size_t i = 0; i < accounts_.size(); ++i)
        if (accounts_[i].get() == account) return i + 1 < accounts_.size() ? accounts_[i + 1].get() : nullptr;
    return nullptr;
}

int CMailStore::LoadHandheld() {
    if (!syncSession_) return Code(LDG_E_INVALID_OPERATION);
    SubStep(StoreText(kTextAccountInfo), 8);
    accounts::SyncManagerPreferences prefs;
    for (auto& entry : accounts_) {
        accounts::CMailAccount& a = *entry->account;
        // Read only: the engine writes the handheld; the store only needs to know the
        // account is valid for it.
        const int rc = a.Reconcile(prefs, general_.enableLogging, 1, 0, nullptr);
        if (rc != 0 && rc != accounts::kReconcileNoRecord && rc != accounts::kReconcileImapOneSide) {
            if (const char* text = tess::datamgr::ErrorText(static_cast<uint32_t>(rc))) {
                char line[512];
                std::snprintf(line, sizeof line, StoreText(kTextAccountLoadError), a.AccountName().c_str(), text);
                SyncLogAddLine(line, 0, 0);
                logLine(line);
            }
        }
        if (rc == 0 && noDialog_ == 0 && ServerFolderAccount(a)) {
            if (const int frc = RefreshMainRecord(prefs, entry->id); frc != 0)
                logLine("The device settings of account '" + a.AccountName() + "' could not be refreshed (error " +
                        std::to_string(frc) + ")");
        }
        if (const int brc = BuildFolders(*entry); brc != 0) return brc;
        PRGUpdateSubEvent();
    }
    if (noDialog_ == 0) {
        logLine("Loading up messages");
        if (const int rc = loadMessages(); rc != 0) return rc;
        if (const int rc = loadActions(); rc != 0) return rc;
        // The load has carried out what these markers asked for on the handheld.
        for (auto& entry : accounts_) {
            accounts::CMailAccount& a = *entry->account;
            if (a.HeadWord(kHeadDropMessages) == 0 && a.HeadWord(kHeadServerChanged) == 0) continue;
            a.SetHeadWord(kHeadDropMessages, 0);
            a.SetHeadWord(kHeadServerChanged, 0);
            if (!a.Save()) logLine("The account file of '" + a.AccountName() + "' could not be written");
        }
    }
    return 0;
}

int CMailStore::loadMessages() {
    SubStep(StoreText(kTextFetchMessages), -1);
    std::vector<std::pair<std::unique_ptr<CMailMessage>, int>> read;
    uint32_t count = 0;
    if (HandheldDbCount(HandheldDbName(kDbMessages), &count) == 0 && db_.OpenKind(kDbMessages) == 0) {
        for (uint32_t i = 0; i < count; ++i) {
            HandheldRecord record;
            // A record that cannot be read is passed over; the ones after it still count.
            if (db_.ReadByIndex(i, record) != 0) continue;
            auto m = std::make_unique<CMailMessage>();
            const int account = UnpackMessageRecord(record, m->msg);
            if (account < 0) continue;
            m->recordId = record.id;
            m->accountId = account;
            read.emplace_back(std::move(m), account);
        }
    }
    SubStep(StoreText(kTextRefreshList), static_cast<int>(read.size()));
    for (const auto& [m, account] : read)
        for (uint32_t part : m->msg.partIds) {
            if (part == 0) break;
            AddReference(part);
        }
    for (auto& [m, accountId] : read) {
        StoreAccount* entry = AccountById(accountId);
        if (!entry) continue;  // an account the store does not know: dropped from memory
        const accounts::CMailAccount& a = *entry->account;
        const bool givenUp = MarkedDeleted(a) || MarkedReset(a);
        if (givenUp || ServerChanged(a)) {
            // Mail of the old server goes; what the handheld made itself stays there.
            if (givenUp || CarriesServerId(m->msg)) deleteMessageRecords(*m);
            continue;
        }
        if (!a.Active() || Protocol(a) == 255) continue;
        if (CMailFolder* folder = entry->FolderBySlot(m->msg.category)) {
            BodyIncomplete(*m);
            folder->messages.push_back(std::move(m));
        }
        PRGUpdateSubEvent();
    }
    // The id caches of accounts given up on the handheld or moved to another server are
    // emptied.
    for (const auto& entry : accounts_) {
        const accounts::CMailAccount& a = *entry->account;
        if (!MarkedDeleted(a) && !MarkedReset(a) && !ServerChanged(a)) continue;
        if (db_.OpenKind(kDbIdCache, entry->id) == 0) db_.DeleteAll();
    }
    db_.Close();
    SubStep(StoreText(kTextIdle), -1);
    return 0;
}

int CMailStore::loadActions() {
    SubStep(StoreText(kTextFetchActions), -1);
    uint32_t count = 0;
    if (HandheldDbCount(HandheldDbName(kDbActions), &count) != 0 || count == 0) return 0;
    if (db_.OpenKind(kDbActions) != 0) return 0;
    std::vector<PendingAction> read;
    for (uint32_t i = 0; i < count; ++i) {
        HandheldRecord record;
        PendingAction action;
        if (db_.ReadByIndex(i, record) != 0) continue;
        if (!ParseActionRecord(record.data.data(), record.data.size(), action) ||
            !IsHandheldActionOpcode(action.opcode))
            continue;
        action.accountId = record.category;
        action.recordId = record.id;
        read.push_back(std::move(action));
    }
    SubStep(StoreText(kTextLoadActions), static_cast<int>(read.size()));
    for (PendingAction& action : read) {
        StoreAccount* entry = AccountById(action.accountId);
        const accounts::CMailAccount* a = entry ? entry->account.get() : nullptr;
        if (!a || MarkedDeleted(*a) || MarkedReset(*a) || ServerChanged(*a)) {
            // Meant for an account that is gone or now serves another server.
            db_.Delete(action.recordId);
        } else if (a->Active() && Protocol(*a) != 0 && Protocol(*a) != 255) {
            entry->actions.push_back(std::move(action));
        }
        PRGUpdateSubEvent();
    }
    db_.Close();
    PRGUpdateMainEvent();
    SubStep(StoreText(kTextIdle), 0);
    return 0;
}

void CMailStore::deleteActionRecords(const StoreAccount& account) {
    uint32_t count = 0;
    if (HandheldDbCount(HandheldDbName(kDbActions), &count) != 0 || count == 0) return;
    if (db_.OpenKind(kDbActions) != 0) return;
    // Collected first: deleting shifts the indexes of the records after.
    std::vector<uint32_t> ids;
    for (uint32_t i = 0; i < count; ++i) {
        HandheldRecord record;
        if (db_.ReadByIndex(i, record) == 0 && record.category == account.id) ids.push_back(record.id);
    }
    for (uint32_t id : ids) db_.Delete(id);
    db_.Close();
}

int CMailStore::CompleteAction(StoreAccount& account, uint32_t recordId) {
    auto it = std::find_if(account.actions.begin(), account.actions.end(),
                           [recordId](const PendingAction& a) { return a.recordId == recordId; });
    if (it == account.actions.end()) return Code(LDG_E_INVALID_PARAMETER);
    int rc = db_.OpenKind(kDbActions);
    if (rc == 0) rc = db_.Delete(recordId);
    db_.Close();
    if (rc != 0) return rc;
    account.actions.erase(it);
    return 0;
}

void CMailStore::deleteMessageRecords(const CMailMessage& m) {
    for (uint32_t part : m.msg.partIds) {
        if (part == 0) break;
        ReleaseReference(part);
    }
    if (db_.OpenKind(kDbMessages) == 0) db_.Delete(m.recordId);
    // The record of how much of the message came over goes with it.
    if (const uint32_t partRecord = m.msg.partWord >> 8; partRecord != 0 && db_.OpenKind(kDbParts) == 0)
        db_.Delete(partRecord);
}

void CMailStore::Close() {
    if (syncSession_ && db_.OpenKind(kDbAttachments) == 0) {
        for (const auto& [id, count] : references_)
            if (count < 1) db_.Delete(id);
    }
    references_.clear();
    db_.Close();
}

size_t CMailStore::RecordSize(const CMsg& msg) {
    // The fixed words, the ids and the texts with their terminators (the body among them;
    // an empty body still takes its terminator).
    return 24 + static_cast<size_t>(msg.GetHeaderTextSize()) + (msg.Body.empty() ? 1 : 0);
}

bool CMailStore::BodyIncomplete(CMailMessage& message) {
    CMsg& msg = message.msg;
    if (msg.rewriteParts || msg.pendingUpdate) return true;
    const uint32_t partRecord = msg.partWord >> 8;
    if (partRecord == 0 || !syncSession_) return false;
    HandheldRecord record;
    CPartInfoRecord info;
    const bool read = db_.OpenKind(kDbParts) == 0 && db_.ReadById(partRecord, record) == 0 &&
                      info.Unpack(record) == kRecordOk;
    db_.Close();
    // Delivered short of the total: the rest of the body is still on the server.
    if (read && info.values[2] < info.values[3]) msg.pendingUpdate = 1;
    return msg.pendingUpdate != 0;
}

int CMailStore::savePartRecord(CMailMessage& message) {
    CMsg& msg = message.msg;
    const uint32_t partRecord = msg.partWord >> 8;
    const bool incomplete = msg.rewriteParts || msg.pendingUpdate;
    if (!incomplete && partRecord == 0) return 0;
    if (const int rc = db_.OpenKind(kDbParts); rc != 0) return rc;
    if (!incomplete) {
        const int rc = db_.Delete(partRecord);
        if (rc == 0 || rc == Code(LDG_E_RECORD_NOT_FOUND)) msg.partWord &= 0xFF;
        return rc == Code(LDG_E_RECORD_NOT_FOUND) ? 0 : rc;
    }
    CPartInfoRecord info;
    HandheldRecord record;
    if (partRecord != 0 && db_.ReadById(partRecord, record) == 0) info.Unpack(record);
    info.recordId = partRecord;
    const auto stored = static_cast<uint32_t>(msg.Body.size());
    info.values[2] = stored;      // received
    info.values[3] = stored + 1;  // full size: more than came over
    if (info.Pack(record) != kRecordOk) return Code(LDG_E_MESSAGE_TOO_LARGE);
    record.id = partRecord;
    if (const int rc = db_.Write(record); rc != 0) return rc;
    msg.partWord = (record.id << 8) | (msg.partWord & 0xFF);
    return 0;
}

int CMailStore::SaveMessage(CMailMessage& message) {
    CMsg& msg = message.msg;
    if (RecordSize(msg) > kMaxRecordBytes) return Code(LDG_E_MESSAGE_TOO_LARGE);
    if (msg.To.empty() || msg.From.empty()) return Code(LDG_E_MISSING_ADDRESSES);
    if (msg.date == 0) msg.date = static_cast<int32_t>(std::time(nullptr));
    uint16_t version = 0;
    if (const int rc = HandheldDbVersion(HandheldDbName(kDbMessages), &version); rc != 0) return rc;
    const int partRc = savePartRecord(message);
    db_.Close();
    if (partRc != 0) return partRc;
    if (const int rc = db_.OpenKind(kDbMessages); rc != 0) return rc;
    HandheldRecord record;
    PackMessageRecord(version, record, msg, kMaxRecordBytes, message.accountId, false);
    record.id = message.recordId;
    const int rc = db_.Write(record);
    if (rc == 0) {
        message.recordId = record.id;
        msg.deviceId = NumberAsId(record.id);
    }
    db_.Close();
    return rc;
}

int CMailStore::DeleteMessage(CMailMessage& message) {
    StoreAccount* entry = AccountById(message.accountId);
    CMailFolder* folder = entry ? entry->FolderBySlot(message.msg.category) : nullptr;
    if (!folder) return Code(LDG_E_FOLDER_INVALID);
    auto it = std::find_if(folder->messages.begin(), folder->messages.end(),
                           [&](const auto& m) { return m.get() == &message; });
    if (it == folder->messages.end()) return Code(LDG_E_FOLDER_INVALID);
    std::unique_ptr<CMailMessage> gone = std::move(*it);
    folder->messages.erase(it);
    if (gone->recordId != 0) {
        deleteMessageRecords(*gone);
        db_.Close();
    } else {
        for (uint32_t part : gone->msg.partIds) {
            if (part == 0) break;
            ReleaseReference(part);
        }
    }
    return 0;
}

void CMailStore::AddReference(uint32_t recordId) { ++references_[recordId]; }

void CMailStore::ReleaseReference(uint32_t recordId) {
    auto it = references_.find(recordId);
    if (it != references_.end() && it->second > 0) --it->second;
}

int CMailStore::References(uint32_t recordId) const {
    auto it = references_.find(recordId);
    return it == references_.end() ? 0 : it->second;
}

int CMailStore::CreateAccount(StoreAccount** out) {
    StoreAccount* free = nullptr;
    for (const auto& entry : accounts_) {
        const accounts::CMailAccount& a = *entry->account;
        if (a.AccountName().empty() && !MarkedDeleted(a) && !MarkedReset(a)) free = entry.get();
    }
    if (!free) return Code(LDG_E_ADD_ATTACHMENT);  // 0x80800001: every slot in use
    accounts::CMailAccount& a = *free->account;
    a.SetDefaults();
    char name[24];
    std::snprintf(name, sizeof name, "Mail %d", free->id + 1);
    a.SetValue(accounts::kValueAccountName, name, static_cast<unsigned>(std::strlen(name) + 1));
    SetTagNumber(a, kProtocolTag, 0);
    SetTagNumber(a, kIncomingPortTag, 110);
    // The defaults keep these two head words: a slot taken anew is not yet on the
    // handheld, and the creation word marks it as made on the desktop.
    a.SetHeadWord(kHeadPresentOnHandheld, 0);
    a.SetHeadWord(kHeadHandheldWord0, kCreationWord);
    a.Save();
    free->folders.clear();
    if (out) *out = free;
    return 0;
}

int CMailStore::DeleteAccount(StoreAccount& entry) {
    accounts::CMailAccount& a = *entry.account;
    const bool inUse = !a.AccountName().empty();
    a.SetDefaults();
    if (inUse) a.SetHeadWord(kHeadDeleteFromHandheld, 1);
    if (!a.Save()) return Code(LDG_E_IO_SAVE);
    if (syncSession_) {
        entry.folders.clear();
        entry.actions.clear();
        deleteActionRecords(entry);
    }
    return 0;
}

int CMailStore::SaveAccount(StoreAccount& entry) {
    accounts::CMailAccount& a = *entry.account;
    if (syncSession_ && !a.AccountName().empty() && !a.Image().tags.empty()) {
        accounts::SyncManagerPreferences prefs;
        std::vector<uint8_t> current;
        const int rc = prefs.Read(accounts::kCreatorMail, accounts::AccountRecordId(entry.id), current);
        if (rc == 0) {
            accounts::AccountRecord record{};
            std::copy_n(current.begin(), std::min(current.size(), record.size()), record.begin());
            if (const int failed = WriteChangedTags(a, entry.id, prefs, record, nullptr); failed > 0)
                logLine(std::to_string(failed) + " changes of account '" + a.AccountName() +
                        "' stay for the next synchronisation");
        } else {
            // Without the handheld's record nothing is sent; the changes wait in the file.
            logLine("The device record of account '" + a.AccountName() + "' could not be read (error " +
                    std::to_string(rc) + "); its changes stay for the next synchronisation");
        }
    }
    return a.Save() ? 0 : Code(LDG_E_IO_SAVE);
}

}  // namespace tess::datamgr
