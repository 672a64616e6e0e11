#pragma once
// The nine Simple MAPI functions of libmapi32 ("mapi32.dll"), bound by name, with their
// records. They work on the Inbox of the same stores as the Extended functions.
#include <cstddef>
#include <cstdint>

#include "platform/export.h"
#include "platform/mapi/mapi_defs.h"

typedef uintptr_t LHANDLE;
typedef uint32_t FLAGS;

struct MapiRecipDesc {
    ULONG ulReserved;
    ULONG ulRecipClass;  // MAPI_ORIG, MAPI_TO, MAPI_CC, MAPI_BCC
    char* lpszName;
    char* lpszAddress;  // given as "SMTP:a@b" or bare; handed out bare
    ULONG ulEIDSize;
    void* lpEntryID;
};
struct MapiFileDesc {
    ULONG ulReserved;
    ULONG flFlags;
    ULONG nPosition;
    char* lpszPathName;
    char* lpszFileName;
    void* lpFileType;
};
struct MapiMessage {
    ULONG ulReserved;
    char* lpszSubject;
    char* lpszNoteText;
    char* lpszMessageType;
    char* lpszDateReceived;  // "YYYY/MM/DD HH:MM", local time
    char* lpszConversationID;
    FLAGS flFlags;  // MAPI_UNREAD, MAPI_RECEIPT_REQUESTED, MAPI_SENT
    MapiRecipDesc* lpOriginator;
    ULONG nRecipCount;
    MapiRecipDesc* lpRecips;
    ULONG nFileCount;
    MapiFileDesc* lpFiles;
};

// Simple MAPI results and flags.
constexpr ULONG SUCCESS_SUCCESS = 0, MAPI_USER_ABORT = 1, MAPI_E_FAILURE = 2, MAPI_E_LOGIN_FAILURE = 3,
                MAPI_E_INSUFFICIENT_MEMORY = 5, MAPI_E_ATTACHMENT_NOT_FOUND = 11, MAPI_E_ATTACHMENT_OPEN_FAILURE = 12,
                MAPI_E_UNKNOWN_RECIPIENT = 14, MAPI_E_BAD_RECIPTYPE = 15, MAPI_E_NO_MESSAGES = 16,
                MAPI_E_INVALID_MESSAGE = 17, MAPI_E_INVALID_SESSION = 19, MAPI_E_AMBIGUOUS_RECIPIENT = 21,
                MAPI_E_NOT_SUPPORTED = 26;
constexpr FLAGS MAPI_UNREAD = 0x1, MAPI_RECEIPT_REQUESTED = 0x2, MAPI_SENT = 0x4;
constexpr FLAGS MAPI_UNREAD_ONLY = 0x20, MAPI_ENVELOPE_ONLY = 0x40, MAPI_PEEK = 0x80, MAPI_BODY_AS_FILE = 0x200,
                MAPI_SUPPRESS_ATTACH = 0x800, MAPI_LONG_MSGID = 0x4000;
// Message ids are the Inbox keys as text: with MAPI_LONG_MSGID a 512-byte buffer holds any;
// without it an id must fit the classic 64 bytes (else MAPI_E_FAILURE).
constexpr size_t kSimpleMessageIdSize = 512;
constexpr size_t kShortMessageIdSize = 64;

TESS_API ULONG MAPILogon(ULONG uiParam, const char* profile, const char* password, FLAGS flags, ULONG reserved,
                         LHANDLE* session);
TESS_API ULONG MAPILogoff(LHANDLE session, ULONG uiParam, FLAGS flags, ULONG reserved);
TESS_API ULONG MAPISendMail(LHANDLE session, ULONG uiParam, const MapiMessage* message, FLAGS flags, ULONG reserved);
// Next Inbox message after seedId (empty or null: the first), oldest first.
TESS_API ULONG MAPIFindNext(LHANDLE session, ULONG uiParam, const char* messageType, const char* seedId, FLAGS flags,
                            ULONG reserved, char* messageId);
// Without MAPI_PEEK the message becomes read. Attachments go to temporary files (the
// caller deletes them). Free *message with MAPIFreeBuffer.
TESS_API ULONG MAPIReadMail(LHANDLE session, ULONG uiParam, const char* messageId, FLAGS flags, ULONG reserved,
                            MapiMessage** message);
// Saves into the Inbox: a new message when *messageId is empty (its id is written back),
// else replaces that one.
TESS_API ULONG MAPISaveMail(LHANDLE session, ULONG uiParam, const MapiMessage* message, FLAGS flags, ULONG reserved,
                            char* messageId);
// Moves the message to Deleted Items.
TESS_API ULONG MAPIDeleteMail(LHANDLE session, ULONG uiParam, const char* messageId, FLAGS flags, ULONG reserved);
// Frees what MAPIReadMail and MAPIResolveName hand out (the same function as Extended MAPI's).
TESS_API ULONG MAPIFreeBuffer(void* buffer);
// MAPI_DIALOG is refused (MAPI_E_NOT_SUPPORTED): there is no window to show here.
TESS_API ULONG MAPIResolveName(LHANDLE session, ULONG uiParam, const char* name, FLAGS flags, ULONG reserved,
                               MapiRecipDesc** recip);
