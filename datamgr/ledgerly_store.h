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
