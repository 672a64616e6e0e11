#pragma once
/* Ledgerly's session and store exports: one desktop user's mail set-up and the mail on
   the handheld, reached through handles. Every export returns 0 or a code of ledgerly.h
   unless said otherwise. */
#include <stddef.h>
#include <stdint.h>

#include "common/ipes_init_block.h"
#include "platform/export.h"

/* Fields in order: kind (0 account, 1 folder, 2 message, 3 attachment, 4 pending action),
   owner word, iteration position, the object's id, the object. Made and kept by the
   library, freed by the kind's release export. Callers hold a StoreHandle* as an opaque
   value and never look inside: it is a token the library checks, so that a copy kept
   after the release is refused and never reaches a newer handle. */
typedef struct StoreHandle {
    uint32_t kind;
    uint32_t owner;
    void* position;
    uint32_t id;
    void* object;
} StoreHandle;

#ifdef __cplusplus
static_assert(offsetof(StoreHandle, owner) == 4 && offsetof(StoreHandle, position) == 8 &&
                  offsetof(StoreHandle, id) == 16 && offsetof(StoreHandle, object) == 24 && sizeof(StoreHandle) == 32,
              "StoreHandle layout on x86-64");
#endif

/* Session. */
TESS_API int IPES_Initialize(IpesInitBlock* block);
TESS_API int IPES_IsInitialized(int* userId);
TESS_API void* IPES_SetTallyhopState(void* state);
TESS_API void* IPES_GetTallyhopState(void);
TESS_API int IPES_CloseDatabase(void);
TESS_API int IPES_GetFirstAccount(StoreHandle** out);
TESS_API int IPES_GetNextAccount(StoreHandle* previous, StoreHandle** out);
TESS_API int IPES_GetAccountById(int accountId, StoreHandle** out);
TESS_API int IPES_FreeAccountHandle(StoreHandle** handle);

/* Accounts. Text getters give pointers into the account, valid until it changes. */
TESS_API int MAccGetVersion(int* version);
TESS_API int MAccGetFirst(StoreHandle** out);
TESS_API int MAccGetNext(StoreHandle* account, StoreHandle** out);
TESS_API int MAccCreate(StoreHandle** out);
TESS_API int MAccDelete(StoreHandle** account);
TESS_API int MAccSave(StoreHandle* account);
TESS_API int MAccRelease(StoreHandle** account);
TESS_API int MAccForceDatReload(StoreHandle* account);
TESS_API int MAccGetPersistentID(StoreHandle* account, int* id);
TESS_API int MAccGetStringData(StoreHandle* account, int id, const char** text, int* length);
TESS_API int MAccSetStringData(StoreHandle* account, int id, const char* text);
TESS_API int MAccGetInt16Data(StoreHandle* account, int id, short* value);
TESS_API int MAccSetInt16Data(StoreHandle* account, int id, short* value);
TESS_API int MAccGetInt32Data(StoreHandle* account, int id, int* value);
TESS_API int MAccSetInt32Data(StoreHandle* account, int id, int* value);
TESS_API int MAccGetBoolData(StoreHandle* account, int id, char* value);
TESS_API int MAccSetBoolData(StoreHandle* account, int id, char* value);
TESS_API int MAccGetType(StoreHandle* account, int* type);
TESS_API int MAccSetType(StoreHandle* account, short* type);
TESS_API int MAccGetConnectionType(StoreHandle* account, int* type);
TESS_API int MAccSetConnectionType(StoreHandle* account, short* type);
TESS_API int MAccGetNumMessages(StoreHandle* account, int* count);
TESS_API int MAccGetCommonFolder(StoreHandle* account, int slot, StoreHandle** out);
TESS_API int MAccGetFirstFolder(StoreHandle* account, StoreHandle** out);
TESS_API int MAccGetNextFolder(StoreHandle* account, StoreHandle* previous, StoreHandle** out);
/* The desktop-client selection kept with the account: Get gives pointers into the account
   (id -1 when no selection was ever stored); Set with id -1 stores the three texts (null =
   empty) and the flag, any other id clears them; the stored id is -1 either way. A text
   longer than its field (63, 127, 127 characters) is refused and nothing is stored. */
TESS_API int MAccGetCurrentClientInfo(StoreHandle* account, int* clientId, char** name, char** text1, char** text2,
                                      char* flag);
TESS_API int MAccSetCurrentClientInfo(StoreHandle* account, int clientId, const char* name, const char* text1,
                                      const char* text2, int flag);
/* The array comes from the library; give it back with MAccFreeServerSyncFolders after
   releasing the handles in it. */
TESS_API int MAccGetServerSyncFolders(StoreHandle* account, StoreHandle*** out, int* count);
TESS_API int MAccFreeServerSyncFolders(StoreHandle** folders);

/* Folders. */
TESS_API int MFldCreate(StoreHandle* account, StoreHandle** out);
TESS_API int MFldGetName(StoreHandle* folder, char** name);
TESS_API int MFldSetName(StoreHandle* folder, const char* name);
TESS_API int MFldSave(StoreHandle* folder);
TESS_API int MFldDelete(StoreHandle* account, StoreHandle** folder);
TESS_API int MFldGetNumMsgs(StoreHandle* folder, int* count);
TESS_API int MFldGetNumMsgsRead(StoreHandle* folder, int* count);
/* Message handles (kind 2); they need a synchronisation. */
TESS_API int MFldGetFirstMessage(StoreHandle* folder, StoreHandle** out);
TESS_API int MFldGetNextMessage(StoreHandle* folder, StoreHandle* previous, StoreHandle** out);
/* Moves the messages into the folder, in order, each saved on the handheld at once; the
   first failure ends the moves (that message stays where it was) and is returned. All
   handles must be messages of the folder's account, or nothing moves. */
TESS_API int MFldMoveMsgsIntoFolder(StoreHandle* folder, StoreHandle** messages, int count);
TESS_API int MFldGetPersistentID(StoreHandle* folder, int* id);
TESS_API int MFldGetHandle(int id, StoreHandle** out);
TESS_API int MFldRelease(StoreHandle** folder);

/* Pending actions (kind 4) the handheld queued while disconnected; they need a
   synchronisation. Texts point into the action and stay valid until it is completed or
   the store is loaded again. MTxnGetType: 1 mark read, 2 mark unread, 3 delete or move a
   message, 4 copy a message, 5 select a folder, 6 add, 7 delete, 8 rename a folder, 9 any
   other (also an action that has gone). MTxnMarkComplete deletes the handheld's record,
   then drops the action and frees the handle. */
TESS_API int MTxnGetVersion(int* version);
TESS_API int MTxnGetFirst(StoreHandle* account, StoreHandle** out);
TESS_API int MTxnGetNext(StoreHandle* action, StoreHandle** out);
TESS_API int MTxnGetType(StoreHandle* action, int* type);
TESS_API int MTxnGetMsgId(StoreHandle* action, const char** id);
TESS_API int MTxnGetSourceFld(StoreHandle* action, const char** folder);
TESS_API int MTxnGetDestFld(StoreHandle* action, const char** folder);
TESS_API int MTxnMarkComplete(StoreHandle** action);
TESS_API int MTxnRelease(StoreHandle** action);

/* Messages (kind 2) on the handheld; every export needs a synchronisation (0x80000009,
   after the handle check). String ids: 0 To, 1 From, 2 Cc, 3 Bcc, 4 Subject, 5 the date
   text (parsed into u32 id 2; unreadable: the current time, the text cleared,
   0x80A00005), 6 Reply-To, 7 the server's id as text. U32 ids: 0 size, 1 the caller's
   value, 2 the date (seconds since 1970, UTC). Bool ids: 0 read, 2 complete. A change
   that would take the handheld record past 63,000 bytes is refused (0x80A00002) and
   nothing changes. MMsgWriteBody writes *length bytes at offset (a length equal to the
   text's own is taken with its terminator); what does not fit is cut, *length says what
   was written and the result is 0x00A00001, the message then incomplete. */
TESS_API int MMsgGetVersion(int* version);
TESS_API int MMsgCreate(StoreHandle* folder, StoreHandle** out);
TESS_API int MMsgGetHandle(int id, StoreHandle** out);
TESS_API int MMsgGetPersistentID(StoreHandle* message, int* id);
TESS_API int MMsgSetStringData(StoreHandle* message, int id, const char* text);
TESS_API int MMsgGetStringData(StoreHandle* message, int id, const char** text, int* length);
TESS_API int MMsgSetUInt32Data(StoreHandle* message, int id, uint32_t value);
TESS_API int MMsgGetUInt32Data(StoreHandle* message, int id, uint32_t* value);
TESS_API int MMsgSetBoolData(StoreHandle* message, int id, char value);
TESS_API int MMsgGetBoolData(StoreHandle* message, int id, char* value);
TESS_API int MMsgWriteBody(StoreHandle* message, uint32_t offset, const char* text, uint32_t* length);
TESS_API int MMsgReadBody(StoreHandle* message, uint32_t offset, char* buffer, uint32_t* length);
TESS_API int MMsgGetAttachmentCount(StoreHandle* message, short* count);
TESS_API int MMsgSave(StoreHandle** message);
TESS_API int MMsgDelete(StoreHandle** message);
TESS_API int MMsgRelease(StoreHandle** message);

/* Attachments (kind 3) of a message; the message must be saved before one is made, at
   most 10 to a message (0x80B00003). An attachment is filled from a file (MAttWrite, only
   before it is saved) and saved before its message is (else MMsgSave gives 0x80A00004).
   MAttRead writes it to a new file of a private temporary folder and gives its path,
   allocated with malloc: free it with free. The persistent id is account (8 bits),
   message record (24) and attachment record (24). */
TESS_API int MMsgGetFirstAttachment(StoreHandle* message, StoreHandle** out);
TESS_API int MMsgGetNextAttachment(StoreHandle* previous, StoreHandle** out);
TESS_API int MMsgCreateAttachment(StoreHandle* message, StoreHandle** out);
/* A saved attachment of any message joins another saved message (0x80A00003 when it is
   already one of its parts). */
TESS_API int MMsgCloneAttachment(StoreHandle** attachment, StoreHandle** message, StoreHandle** out);
TESS_API int MMsgRemoveAttachment(StoreHandle* message, StoreHandle* attachment);
TESS_API int MAttGetPersistentID(StoreHandle* attachment, uint64_t* id);
TESS_API int MAttGetHandle(uint64_t id, StoreHandle** out);
TESS_API int MAttSetFilename(StoreHandle* attachment, const char* name);
TESS_API int MAttGetFilename(StoreHandle* attachment, char** name, int* length);
TESS_API int MAttGetSize(StoreHandle* attachment, int* size);
TESS_API int MAttSetType(StoreHandle* attachment, const char* type);
TESS_API int MAttGetType(StoreHandle* attachment, int* type);
TESS_API int MAttWrite(StoreHandle* attachment, const char* path, char translate);
TESS_API int MAttRead(StoreHandle* attachment, char** path, char translate);
TESS_API int MAttSave(StoreHandle** attachment);
TESS_API int MAttCompare(StoreHandle* first, StoreHandle* second, char* same);
TESS_API int MAttDelete(StoreHandle** attachment);
TESS_API int MAttRelease(StoreHandle** attachment);
