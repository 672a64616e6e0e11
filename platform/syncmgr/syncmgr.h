#pragma once
// The desktop sync manager as its conduits call it: the handheld's databases, records and
// preferences, the desktop users and their data store, the conduit manager, the sync log
// and the language catalogues, all in this one library. The comments name the sync
// manager library each call belongs to, and its ordinal where it has one.
//
// The handheld is one SQLite file, <runtime root>/handhelds/<name>.db; the users, their
// stores and the conduit registrations are <runtime root>/syncmgr/syncmgr.db, and each
// user's folder sits beside it (<runtime root>/syncmgr/<folder>/). Both are safe across
// processes. Paths use '/'.
//
// Every call returns 0 on success or one of the SYNCERR_ codes below.
#include <stddef.h>
#include <stdint.h>

#include "platform/core/module.h"
#include "platform/export.h"

// ---- Result codes --------------------------------------------------------------------
enum {
    SYNC_OK = 0,
    SYNCERR_STORAGE = 0x4001,           // the backing file could not be read or written
    SYNCERR_NOT_FOUND = 0x4003,         // no such database, record, preference, user or value (16387)
    SYNCERR_NOT_OPEN = 0x4004,          // the database handle is not open
    SYNCERR_BAD_ARGUMENT = 0x4005,      // null pointer, empty name, bad size
    SYNCERR_BUFFER_TOO_SMALL = 0x4006,  // nothing (or a cut text) copied; the size needed is reported
    SYNCERR_TOO_BIG = 0x4007,           // record above SYNC_MAX_RECORD_BYTES
    SYNCERR_EXISTS = 0x4008,            // a database of that name exists already
    SYNCERR_TOO_MANY_OPEN = 0x4009,     // SYNC_MAX_OPEN_DBS databases are open
    SYNCERR_READ_ONLY = 0x400A,         // write to a database opened without SYNC_MODE_WRITE
    SYNCERR_NOT_REGISTERED = 0x400B,    // unregister without a registration
    SYNCERR_ALREADY_REGISTERED = 0x400C,
    SYNCERR_NO_SPACE = 0x400D,         // the handheld's card is full
    SYNCERR_WRONG_TYPE = 0x400E,       // a stored value of the other type (text vs integer)
    SYNCERR_REMOTE_FAILED = 0x400F,    // the handheld application gave no answer
    SYNCERR_LOST_CONNECTION = 0x4010,  // what an injected failure returns unless told otherwise
};

enum {
    SYNC_MAX_RECORD_BYTES = 65505,
    SYNC_MAX_OPEN_DBS = 32,
    SYNC_DB_NAME_BYTES = 32,  // database names: at most 31 characters
};

// Four-character codes as the handheld writes them: 'asc3' is 0x61736333.
#define SYNC_FOURCC(a, b, c, d)                                                                        \
    (((uint32_t)(uint8_t)(a) << 24) | ((uint32_t)(uint8_t)(b) << 16) | ((uint32_t)(uint8_t)(c) << 8) | \
     (uint32_t)(uint8_t)(d))

// ---- Sync manager's records handed to conduits ----------------------------------------
// Given to the conduit's OpenConduit.
typedef struct SyncProperties {
    int32_t syncType;  // 0 synchronise ... 6 do nothing
    char path[256];    // a path inside the user's folder: "<user folder>/<conduit folder>/"
} SyncProperties;

// Given to the conduit's ConfigureConduit; the conduit fills defaultFlag and action.
typedef struct ConduitActionPrefs {
    uint32_t creator;
    int32_t userId;
    uint8_t reserved[508];
    int32_t defaultFlag;  // offset 516: 1 becomes the default, 2 next operation only
    int32_t action;       // offset 520: 0 synchronise, 6 do nothing
} ConduitActionPrefs;

// Given to the conduit's CfgConduit.
typedef struct ConduitConfigInfo {
    uint32_t size;
    uint32_t creator;
    uint32_t reserved;
    int32_t userId;             // offset 12
    char userFolder[256];       // offset 16
    uint8_t reserved2[64];      // offset 272
    int32_t permanentAction;    // offset 336
    int32_t temporaryAction;    // offset 340
    int32_t newAction;          // offset 344 (out)
    int32_t changedPreference;  // offset 348 (out): 1 permanent, 2 temporary
} ConduitConfigInfo;

#ifdef __cplusplus
static_assert(offsetof(SyncProperties, path) == 4);
static_assert(offsetof(ConduitActionPrefs, defaultFlag) == 516 && offsetof(ConduitActionPrefs, action) == 520);
static_assert(offsetof(ConduitConfigInfo, userId) == 12 && offsetof(ConduitConfigInfo, permanentAction) == 336 &&
              offsetof(ConduitConfigInfo, temporaryAction) == 340 && offsetof(ConduitConfigInfo, newAction) == 344 &&
              offsetof(ConduitConfigInfo, changedPreference) == 348);
#endif

// ---- Conduit registration (FERRY20) ---------------------------------------------------
typedef uint32_t SyncConduitHandle;

// One registration at a time per process; it lasts until SyncUnregisterConduit.
TESS_API int SyncRegisterConduit(SyncConduitHandle* handle);   // FERRY20 ordinal 22
TESS_API int SyncUnregisterConduit(SyncConduitHandle handle);  // FERRY20 ordinal 23

// Sets the text the sync manager shows for the conduit when the operation ends.
TESS_API int SyncSetStatusText(const char* text);  // FERRY20 ordinal 42

// Lets the sync manager run between long steps; calls the hook a test or tool has set.
TESS_API int SyncYieldCycles(uint16_t maxMilliseconds);

// ---- Databases (FERRY20) ----------------------------------------------------------------
typedef uint8_t SyncDbHandle;  // 0 is never a valid handle

enum {
    SYNC_MODE_READ = 0x80,
    SYNC_MODE_WRITE = 0x40,
    // Other bits (0x20 and below) are accepted and have no effect here.
};

// Opens a database by name (exact, case-sensitive) on the given card. The same database
// may be open under several handles at once.
TESS_API int SyncOpenDB(const char* name, int card, SyncDbHandle* handle, uint8_t mode);  // FERRY20 ordinal 26

typedef struct SyncCreateDbParams {
    uint32_t creator;
    uint16_t flags;  // database attributes
    uint32_t type;
    int card;
    uint16_t version;
    const char* name;
} SyncCreateDbParams;

// Creates a database and opens it for reading and writing.
TESS_API int SyncCreateDB(const SyncCreateDbParams* params, SyncDbHandle* handle);  // FERRY20 ordinal 27
TESS_API int SyncCloseDB(SyncDbHandle handle);                                      // FERRY20 ordinal 28

typedef struct SyncDbInfo {
    char name[SYNC_DB_NAME_BYTES];
    uint32_t creator;
    uint32_t type;
    uint16_t version;
    uint16_t attributes;
    uint32_t recordCount;
    int32_t card;
    uint8_t reserved0[4];
    // This stand-in's own: the number of changes of the database's records so far, and a
    // value drawn anew at each change. Together they name one state of the records.
    uint64_t modNumber;
    uint64_t epoch;
    uint8_t reserved[56];
} SyncDbInfo;  // 128 bytes

// infoSize is the caller's sizeof(SyncDbInfo) (128); smaller is refused.
TESS_API int SyncReadOpenDbInfo(SyncDbHandle handle, uint32_t infoSize, SyncDbInfo* info);
TESS_API int SyncGetDBRecordCount(SyncDbHandle handle, uint32_t* count);

// ---- Records (FERRY20) ------------------------------------------------------------------
// Record descriptor of the record calls. Records keep their index order: a new record goes
// last; deleting one moves those after it up.
typedef struct SyncRecord {
    SyncDbHandle db;
    uint32_t recordId;  // unique in its database, never 0
    uint32_t index;     // position in index order
    uint8_t attributes;
    int32_t category;
    uint8_t* buffer;      // caller's buffer
    uint32_t bufferSize;  // its size
    uint32_t dataSize;    // bytes of the record
} SyncRecord;

// Writes buffer[0..dataSize) with attributes and category. recordId 0 makes a new record
// and returns its id in recordId; another id replaces that record (SYNCERR_NOT_FOUND when
// there is none). index is not read.
TESS_API int SyncWriteRecord(SyncRecord* record);                   // FERRY20 ordinal 32
TESS_API int SyncDeleteRecord(SyncDbHandle db, uint32_t recordId);  // FERRY20 ordinal 33
// Reads the record of record->recordId (35) or at record->index (36) into buffer and fills
// the other fields. A buffer too small gets nothing: SYNCERR_BUFFER_TOO_SMALL, dataSize set.
TESS_API int SyncReadRecordById(SyncRecord* record);     // FERRY20 ordinal 35
TESS_API int SyncReadRecordByIndex(SyncRecord* record);  // FERRY20 ordinal 36
TESS_API int SyncDeleteAllRecords(SyncDbHandle db);      // FERRY20 ordinal 41

// Grouped writes (this stand-in's own): with on set, the record and preference changes of
// this process share one transaction until SyncFlushWrites or SyncGroupWrites(0) commits
// them, instead of one each. Every change stays whole; a process that dies loses only the
// changes since the last commit, so a caller commits before it does anything that relies
// on them being kept (deleting the mail elsewhere). Closing the handheld commits too.
TESS_API int SyncGroupWrites(int on);
TESS_API int SyncFlushWrites(void);

// ---- Application preferences (FERRY20) ---------------------------------------------------
// A preference is (creator, id, backup flag) -> version and bytes; the backed-up and the
// other preferences of one creator and id are two different preferences. A read whose
// buffer is too small copies nothing and reports the size needed in *size.
TESS_API int SyncReadAppPreference(uint32_t creator, uint16_t id, int backup, void* buffer, uint32_t bufferSize,
                                   uint32_t* size, uint16_t* version);
TESS_API int SyncWriteAppPreference(uint32_t creator, uint16_t id, int backup, uint16_t version, const void* data,
                                    uint32_t size);

// ---- Card information and the handheld application (FERRY20) -----------------------------
typedef struct SyncCardInfo {
    int32_t card;  // in: card number (0)
    uint32_t romSize;
    uint32_t ramSize;
    uint32_t freeRam;  // ramSize less the bytes of every record and preference
    char name[32];
    char manufacturer[32];
} SyncCardInfo;

TESS_API int SyncReadSingleCardInfo(SyncCardInfo* info);

// A call of the handheld application (creator, type) with an action code; the answer is
// what the handheld holds for (creator, action). A reply buffer too small gets nothing:
// SYNCERR_BUFFER_TOO_SMALL with replySize set to the answer's size.
typedef struct SyncRemoteCall {
    uint32_t creator;
    uint32_t type;
    uint16_t action;
    const void* param;
    uint32_t paramSize;
    void* reply;
    uint32_t replyMax;
    uint32_t replySize;  // out
} SyncRemoteCall;

TESS_API int SyncCallRemoteModule(SyncRemoteCall* call);

// ---- Conduit manager (QUAYCTL) ----------------------------------------------------------
// Texts go into (buffer, *size): *size in is the buffer's size; out the text's length
// without NUL. A buffer too small gets SYNCERR_BUFFER_TOO_SMALL, an empty text and *size =
// the size needed (with NUL).

// The sync manager's directory, <runtime root>/syncmgr, without a trailing '/'.
TESS_API int QuayGetSyncManagerDirectory(char* buffer, int* size);  // QUAYCTL ordinal 88

// The registration of the conduit for a creator.
TESS_API int QuayGetConduitName(uint32_t creator, char* buffer, int* size);         // QUAYCTL ordinal 100
TESS_API int QuayGetConduitPriority(uint32_t creator, int* priority);               // QUAYCTL ordinal 41
TESS_API int QuayGetConduitLibrary(uint32_t creator, char* buffer, int* size);      // QUAYCTL ordinal 47
TESS_API int QuayGetConduitDirectory(uint32_t creator, char* buffer, int* size);    // QUAYCTL ordinal 49
TESS_API int QuayGetConduitRemoteDb(uint32_t creator, char* buffer, int* size);     // QUAYCTL ordinal 62
TESS_API int QuayGetConduitTitle(uint32_t creator, char* buffer, int* size);        // QUAYCTL ordinal 57
TESS_API int QuayGetConduitArguments(uint32_t creator, char* buffer, int* size);    // QUAYCTL ordinal 55
TESS_API int QuayGetConduitInformation(uint32_t creator, char* buffer, int* size);  // QUAYCTL ordinal 51

// ---- Desktop users (Rosterbook) -----------------------------------------------------------
// Users have ids from 1 up; each has a name and a folder (a name, not a path) under the
// user data folder. Texts go as for the conduit manager.
TESS_API int RosterGetUserCount(int* count);                                // Rosterbook ordinal 101
TESS_API int RosterGetUserIdByIndex(int index, int* userId);                // Rosterbook ordinal 102
TESS_API int RosterGetUserName(int userId, char* buffer, int* size);        // Rosterbook ordinal 103
TESS_API int RosterGetUserFolderName(int userId, char* buffer, int* size);  // Rosterbook ordinal 104
// The user data folder, ending in '/': a user's folder is this followed by its folder name.
TESS_API int RosterGetUserDataFolder(char* buffer, int* size);  // Rosterbook ordinal 105
// The user's whole folder path, ending in '/'.
TESS_API int RosterGetUserDirectory(int userId, char* buffer, int* size);  // Rosterbook ordinal 106

// The user's synchronisation action for a conduit (0 synchronise, 3 do nothing, ...):
// permanent, and for the next operation only. Unset: SYNCERR_NOT_FOUND, *value untouched.
TESS_API int RosterSetPermanentAction(int userId, uint32_t creator, int value);   // Rosterbook ordinal 113
TESS_API int RosterSetNextAction(int userId, uint32_t creator, int value);        // Rosterbook ordinal 114
TESS_API int RosterGetPermanentAction(int userId, uint32_t creator, int* value);  // Rosterbook ordinal 115
TESS_API int RosterGetNextAction(int userId, uint32_t creator, int* value);       // Rosterbook ordinal 116

// The user a ConduitActionPrefs record is for (145); the user whose folder is the given
// directory, a whole path or a folder name, with or without a trailing '/' (146).
TESS_API int RosterUserIdFromActionPrefs(const ConduitActionPrefs* prefs, int* userId);  // Rosterbook ordinal 145
TESS_API int RosterUserIdFromDirectory(const char* directory, int* userId);              // Rosterbook ordinal 146

// ---- Per-user data store (Rosterbook) -----------------------------------------------------
// Values by (user, section, key), section and key compared without regard to case; each
// value is a text or an integer. A read of a missing value (or one of the other type)
// gives the default and SYNCERR_NOT_FOUND (SYNCERR_WRONG_TYPE). A text longer than the
// buffer is cut (SYNCERR_BUFFER_TOO_SMALL, *size = the size needed with NUL); otherwise
// *size is the length copied.
TESS_API int RosterReadText(int userId, const char* section, const char* key, char* buffer, int* size,
                            const char* defaultText);  // Rosterbook ordinal 140
TESS_API int RosterWriteText(int userId, const char* section, const char* key,
                             const char* text);  // Rosterbook ordinal 141
TESS_API int RosterReadInt(int userId, const char* section, const char* key, int* value,
                           int defaultValue);                                              // Rosterbook ordinal 142
TESS_API int RosterWriteInt(int userId, const char* section, const char* key, int value);  // Rosterbook ordinal 143
TESS_API int RosterDeleteValue(int userId, const char* section, const char* key);          // Rosterbook ordinal 144

// ---- Sync log (THLOG20) ---------------------------------------------------------------------
// One line of the user's log (<user folder>/Tallyhop.log for the user of the current
// session, else <sync manager directory>/Tallyhop.log) with its activity code.
TESS_API int SyncLogAddLine(const char* text, int activity, int flags);  // THLOG20 ordinal 52

// ---- Language catalogues (CorvidCmn) --------------------------------------------------------
// Loads the string catalogue of a language library: "LKSYNCLANG.DLL" (any case, any
// directory) is <module dir>/lang/LKSYNCLANG.lang. Null when there is none or it does
// not parse. ownerSlot is not used.
TESS_API HINSTANCE LanguageLoadLibrary(const char* fileName, HINSTANCE owner,
                                       uint32_t* ownerSlot);           // CorvidCmn ordinal 2
TESS_API int LanguageFreeLibrary(HINSTANCE library, HINSTANCE owner);  // CorvidCmn ordinal 3
// Copies string id of a loaded catalogue (Windows-1252) into buffer, cut to size - 1 and
// NUL-ended. Returns the characters copied; 0 for a missing id or a handle that is not a
// loaded catalogue (buffer then holds the empty text when size > 0).
TESS_API int LanguageLoadString(HINSTANCE library, unsigned id, char* buffer, int size);
