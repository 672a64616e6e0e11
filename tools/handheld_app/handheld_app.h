#pragma once
// The handheld's own mail application, as far as a synchronisation meets it: it makes the
// mail databases, keeps accounts in its preferences, writes outgoing mail, and records
// what the user did while away from the desktop. It works on an emulated handheld's
// store; it holds no engine logic.
#include <cstdint>
#include <string>
#include <vector>

#include "common/msg_record.h"

namespace handheld_app {

using tess::CMsg;

inline constexpr uint16_t kDefaultDbVersion = 2384;

// Categories of the messages database.
enum : int { kInbox = 0, kOutbox = 1, kSentCategory = 3 };

// Disconnected-action opcodes as the application writes them.
enum Opcode : int {
    kCreateFolder = 0,
    kRenameFolder = 1,
    kDeleteFolder = 2,
    kCopyMessage = 3,
    kSelectFolder = 4,
    kDeleteMessage = 5,
    kSetSeen = 6,
    kMoveToTrash = 10,
    kNoOperation = 13,
    kMarkRead = 15,
    kMarkUnread = 16,
};

// Each returns 0 or a sync manager error code.

// The mail databases at a version (made or, when present, given the version).
int CreateMailDatabases(const std::string& handheld, uint16_t version = kDefaultDbVersion);
// The handheld's free space, through its card size.
int SetFreeSpace(const std::string& handheld, uint32_t freeBytes);
// The card's memory in bytes (kMaxCardMb MB at most: the card's sizes are 32-bit).
constexpr long kMaxCardMb = 4095;
int SetCardSize(const std::string& handheld, uint32_t bytes);

struct AccountSetup {
    int number = 0;
    std::string name;
    uint16_t protocolWord = 1;   // 1 IMAP, 0 POP, 3 not synchronised with the desktop
    uint8_t connectionType = 0;  // 0 sync only, 1 dial-up, 2 wireless, 3 TCP/IP
    std::string server, smtpServer, user, password, email;
    uint16_t port = 143, smtpPort = 25;
    bool smtpLogin = false;  // the SMTP server is logged on to with the account's user
    std::string trashFolder = "Trash";
    std::vector<std::string> folders = {"Inbox", "Outbox", "Trash", "Sent"};  // slots 0, 1, ...
};
int ConfigureAccount(const std::string& handheld, const AccountSetup& account);

// A new mail in the outbox of the account; attachments are file paths. *recordId gets the
// message record's id.
int ComposeOutbox(const std::string& handheld, int account, const std::string& to, const std::string& subject,
                  const std::string& body, const std::vector<std::string>& attachments, uint32_t* recordId);

// A disconnected-action record of the account.
int RecordAction(const std::string& handheld, int account, int opcode, uint32_t uid, const std::string& arg1,
                 const std::string& arg2);
// The user deletes a message: its record is marked deleted and the action recorded.
int DeleteMessage(const std::string& handheld, uint32_t recordId, int opcode = kDeleteMessage);
// The user reads (or marks unread) a message: the record's read mark and the action.
int MarkRead(const std::string& handheld, uint32_t recordId, bool read);

struct Shown {
    uint32_t recordId = 0;
    int account = 0;
    CMsg msg;
};
// The messages of a category (all when -1), in record order.
std::vector<Shown> ListFolder(const std::string& handheld, int category = -1);
// Record counts of a database, -1 when it is missing.
int RecordCount(const std::string& handheld, const std::string& database);

// The security key the handheld shares with the desktop relay (a key record's text), in
// the handheld's security database as a synchronisation leaves it: the newest record is
// the key in use, and the two before it stay.
int StoreKeyRecord(const std::string& handheld, const std::string& key);
// The key in use; empty when the handheld holds none.
int ReadKeyRecord(const std::string& handheld, std::string& key);

}  // namespace handheld_app
