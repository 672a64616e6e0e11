#pragma once
// The records of the message-host family, declared once for the engine and every host.
// Fields, order and integer widths are fixed; pointers are native, so on x86-64 the
// offsets after the first pointer grow. String fields are our CString (platform/mfc).
// The field lists and 64-bit layouts are pinned by the static_asserts at the end.
#include <stddef.h>
#include <stdint.h>

#include "platform/mfc/cstring.h"

namespace tess {

using platform::mfc::CString;

// One folder of a host: name, extra bytes handed back to the host, type (0 Inbox, 1 Outbox,
// 2 Drafts, 3 Sent, 4 Trash, any other value (hosts return -1) an ordinary folder).
struct FolderRecord {
    char* name;
    int32_t extraLength;
    void* extra;
    int32_t type;
};

// The attachment files of one message (at most 10 full paths).
struct AttachmentTable {
    int32_t count;
    char path[10][256];
};

// A message id as it is passed to GetMsg and GetMsgHeaders: for the IMAP host the UID
// (4 bytes), for the POP host the UIDL text (a byte 0x01 ends it early).
struct MsgIdDescriptor {
    int32_t length;
    const void* bytes;
};

// IMAP, and POP accounts of a server kind other than 0. A host copies what it keeps.
struct LogonRecord {
    CString server;
    CString smtpServer;
    int32_t port;
    int32_t smtpPort;
    int32_t reserved1;
    CString reservedText;
    int32_t reserved2;
    CString user;
    CString password;
    CString sentFolder;           // receives a copy of each sent message; empty: none
    CString emailAddress;         // also the From name of sent mail
    int32_t downloadAttachments;  // nonzero: attachments are fetched and listed
    int32_t blockValue;           // not used by the engine; hosts: nonzero prefers the HTML body
    int32_t unreadOnly;
    int32_t days;  // 0 or less: no date window
    int32_t serverUsable;
    int32_t smtpUsable;
    int32_t reserved3;
    int32_t maxSize;  // bytes; 0 = no limit
    int32_t separateSmtpLogin;
    CString smtpUser;
    CString smtpPassword;
    CString userDirectory;  // the IMAP host only tests it for being empty
    CString accountName;
    int32_t newerHandheld;
};

// POP accounts of server kind 0 (the POP host always reads this layout). Fields the POP
// host marks "passed on" only travel into its POP3 and SMTP settings.
struct PopLogonRecord {
    CString server;  // POP3 server
    CString smtpServer;
    int32_t port;  // POP3 port
    int32_t smtpPort;
    int32_t reserved1;     // passed on
    int32_t popValue;      // POP host: nonzero selects the APOP logon
    CString reservedText;  // passed on
    int32_t reserved2;     // passed on
    CString user;
    CString password;
    CString emailAddress;         // POP host: the From name of sent mail
    int32_t downloadAttachments;  // nonzero: attachments of fetched mail are kept
    int32_t blockValue;           // POP host: nonzero prefers the HTML body when not empty
    int32_t unreadOnly;           // passed on
    int32_t days;                 // days of mail to fetch; 0: the default window
    int32_t serverUsable;
    int32_t smtpUsable;
    int32_t reserved3;
    int32_t maxSize;
    int32_t separateSmtpLogin;
    CString smtpUser;
    CString smtpPassword;
    CString userDirectory;
    CString accountName;  // named in the APOP notice
    int32_t newerHandheld;
};

struct MapiLogonRecord {
    CString hostName;
    CString profile;
    CString password;
    int32_t days;
    int32_t newerHandheld;
    int32_t downloadAttachments;
    int32_t blockValue;
    CString userDirectory;
    CString accountName;
    void* parentWindow;
};

struct NotesLogonRecord {
    CString idFile;
    CString password;
    CString programDirectory;
    int32_t days;
    int32_t newerHandheld;
    int32_t downloadAttachments;
    int32_t blockValue;
    CString userDirectory;
    CString accountName;
    int32_t localSync;
    void* parentWindow;
};

struct SmapiLogonRecord {
    CString first;
    CString second;
    int32_t newerHandheld;
    int32_t downloadAttachments;
    int32_t blockValue;
    CString userDirectory;
    CString accountName;
    void* parentWindow;
};

static_assert(sizeof(AttachmentTable) == 2564);
#if defined(__x86_64__) || defined(__aarch64__)
static_assert(sizeof(FolderRecord) == 32 && offsetof(FolderRecord, type) == 24);
static_assert(sizeof(MsgIdDescriptor) == 16 && offsetof(MsgIdDescriptor, bytes) == 8);
static_assert(sizeof(CString) == 32);
static_assert(sizeof(LogonRecord) == 424 && sizeof(PopLogonRecord) == 392);
static_assert(sizeof(MapiLogonRecord) == 184 && sizeof(NotesLogonRecord) == 192 && sizeof(SmapiLogonRecord) == 152);
static_assert(offsetof(LogonRecord, port) == 64);
static_assert(offsetof(LogonRecord, reservedText) == 80);
static_assert(offsetof(LogonRecord, emailAddress) == 216);
static_assert(offsetof(LogonRecord, downloadAttachments) == 248);
static_assert(offsetof(LogonRecord, smtpUser) == 288);
static_assert(offsetof(LogonRecord, newerHandheld) == 416);
static_assert(offsetof(PopLogonRecord, port) == 64);
static_assert(offsetof(PopLogonRecord, popValue) == 76);
static_assert(offsetof(PopLogonRecord, reservedText) == 80);
static_assert(offsetof(PopLogonRecord, emailAddress) == 184);
static_assert(offsetof(PopLogonRecord, downloadAttachments) == 216);
static_assert(offsetof(PopLogonRecord, smtpUser) == 256);
static_assert(offsetof(PopLogonRecord, newerHandheld) == 384);
static_assert(offsetof(MapiLogonRecord, days) == 96);
static_assert(offsetof(MapiLogonRecord, userDirectory) == 112);
static_assert(offsetof(MapiLogonRecord, parentWindow) == 176);
static_assert(offsetof(NotesLogonRecord, days) == 96);
static_assert(offsetof(NotesLogonRecord, localSync) == 176);
static_assert(offsetof(NotesLogonRecord, parentWindow) == 184);
static_assert(offsetof(SmapiLogonRecord, newerHandheld) == 64);
static_assert(offsetof(SmapiLogonRecord, userDirectory) == 80);
static_assert(offsetof(SmapiLogonRecord, parentWindow) == 144);
#endif

}  // namespace tess
