#pragma once
// The Notes client library stand-in (libnnotes.so, loaded as "nnotes.dll"). Callers bind
// these functions by name with GetProcAddress; the declarations give them their types
// (decltype(&NSFNoteOpen)). Conventions callers rely on:
//  - most calls answer a STATUS word, 0 for success and nonzero for any failure;
//  - databases, notes, memory blocks, ID tables, collections and lookup buffers are 32-bit
//    handles (0 is never a valid handle);
//  - a memory handle is locked with OSLockObject for a pointer, unlocked with
//    OSUnlockObject, and freed with OSMemFree; ListAddEntry may move the block, so a
//    pointer from an earlier lock is not valid after it;
//  - texts are in the Notes character set, which here is UTF-8; OSTranslate mode 20 turns
//    them into UTF-16LE.
// Data lives in SQLite files: each mail file, "mail.box" and the address book "names.nsf"
// are note databases; "notes.ini" is a text file of key=value lines; an ID file holds the
// user's names and a salted password hash. The router and the set-up tools are in
// notes_admin.h.
#include <cstdint>

#include "platform/export.h"

typedef uint16_t STATUS;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef uint32_t DHANDLE;
typedef DHANDLE DBHANDLE;
typedef DHANDLE NOTEHANDLE;
typedef DHANDLE HCOLLECTION;
typedef uint32_t NOTEID;
typedef int NBOOL;

// A time stamp: Innards[1]:Innards[0] is the count of hundredths of a second since
// 1970-01-01 00:00 UTC.
struct TIMEDATE {
    DWORD Innards[2];
};

// A broken-down time. TimeGMToLocal fills the local fields from GM.
struct TIME {
    int year, month, day, weekday;  // month 1-12, day 1-31, weekday 1 (Sunday) - 7
    int hour, minute, second, hundredth;
    int dst;   // 1 when daylight saving time is in force
    int zone;  // minutes east of UTC
    TIMEDATE GM;
};

// A note's identity across replicas: File + Note is its universal id.
struct ORIGINATORID {
    DWORD File[2];
    DWORD Note[2];
    DWORD Sequence;
    TIMEDATE SequenceTime;
};

// Where an item's value lies: OSLockObject(pool) plus block bytes. The value starts with
// its type word. Valid while the note is open.
struct BLOCKID {
    DHANDLE pool;
    WORD block;
};

// One note reported by NSFSearch.
struct SEARCH_MATCH {
    ORIGINATORID OriginatorID;
    NOTEID ID;
    WORD NoteClass;      // RRV_DELETED set for a deletion stub
    uint8_t SERetFlags;  // SE_FMATCH when the note matches the search
};

// A position in a collection: Tumbler[0] is the 1-based index of the last entry read
// (0 before the first).
struct COLLECTIONPOSITION {
    WORD Level;
    uint8_t MinLevel, MaxLevel;
    DWORD Tumbler[32];
};

// The parts of a distinguished name ("CN=Ann Lee/OU=Sales/O=Tess/C=GB"); each pointer
// points into the parsed text, with its length beside it.
struct DN_COMPONENTS {
    DWORD Flags;
    WORD CNLength, OULength, OLength, CLength;
    const char* CN;
    const char* OU;
    const char* O;
    const char* C;
};

typedef STATUS (*NSFSEARCHPROC)(void* param, const SEARCH_MATCH* match, const void* summary);

enum : STATUS {
    NOERROR = 0,
    ERR_NOTES_NOT_INIT = 0x0101,
    ERR_NO_SUCH_FILE = 0x0103,
    ERR_BAD_HANDLE = 0x0105,
    ERR_NO_MEMORY = 0x0107,
    ERR_DB_IO = 0x0108,
    ERR_INVALID_ARG = 0x0109,
    ERR_NOT_FOUND = 0x0404,
    ERR_NOTE_DELETED = 0x0225,
    ERR_NO_ACCESS = 0x0410,
    ERR_BAD_PASSWORD = 0x1901,
    ERR_NO_ID = 0x1902,
    ERR_BAD_ID = 0x1903,
    ERR_SMTP = 0x1A01,
};

enum : WORD {
    TYPE_COMPOSITE = 0x0001,  // rich text; here the body's plain text
    TYPE_OBJECT = 0x0003,     // a file object: WORD name length, name, file bytes
    TYPE_NUMBER = 0x0300,     // 8-byte IEEE double
    TYPE_TIME = 0x0400,       // TIMEDATE
    TYPE_TEXT = 0x0500,
    TYPE_TEXT_LIST = 0x0501,  // the list layout of ListAllocate: WORD count, WORD lengths, texts
};

enum : WORD { NOTE_CLASS_DOCUMENT = 0x0001, NOTE_CLASS_VIEW = 0x0008, RRV_DELETED = 0x8000 };
enum : uint8_t { SE_FMATCH = 0x01 };
enum : WORD { SEARCH_SUMMARY = 0x0002, SEARCH_NOTIFYDELETIONS = 0x0400 };
enum : WORD { OPEN_MARK_READ = 0x0100 };
enum : WORD { UPDATE_FORCE = 0x0001, UPDATE_NOCOMMIT = 0x0004, UPDATE_NOSTUB = 0x0200 };
enum : WORD { SIGNAL_MORE_TO_DO = 0x0020 };
enum : WORD { OS_TRANSLATE_LMBCS_TO_UNICODE = 20 };
// NSFNoteGetInfo / NSFNoteSetInfo members.
enum : WORD { NOTE_INFO_DB = 0, NOTE_INFO_ID = 1, NOTE_INFO_OID = 2, NOTE_INFO_CLASS = 3, NOTE_INFO_MODIFIED = 4 };
// Access levels of NSFDbAccessGet.
enum : WORD {
    ACL_NOACCESS = 0,
    ACL_DEPOSITOR = 1,
    ACL_READER = 2,
    ACL_AUTHOR = 3,
    ACL_EDITOR = 4,
    ACL_DESIGNER = 5,
    ACL_MANAGER = 6
};
// A note id with this bit set (or 0) is a note not yet stored: NSFNoteUpdate adds it.
constexpr NOTEID NOTEID_ADD = 0x80000000u;

// Mail header items by number.
enum : WORD {
    MAIL_SENDTO_ITEM_NUM = 0,
    MAIL_COPYTO_ITEM_NUM = 1,
    MAIL_FROM_ITEM_NUM = 2,
    MAIL_SUBJECT_ITEM_NUM = 3,
    MAIL_BODY_ITEM_NUM = 4,
    MAIL_POSTEDDATE_ITEM_NUM = 5,
    MAIL_RECIPIENTS_ITEM_NUM = 6,
    MAIL_INTENDEDRECIPIENT_ITEM_NUM = 7,
    MAIL_FAILUREREASON_ITEM_NUM = 8,
    MAIL_ROUTINGSTATE_ITEM_NUM = 9,
    MAIL_BLINDCOPYTO_ITEM_NUM = 13,
    MAIL_DELIVERYPRIORITY_ITEM_NUM = 14,
    MAIL_DELIVEREDDATE_ITEM_NUM = 16,
};

// --- Start-up, environment, identity
TESS_API STATUS NotesInitIni(const char* iniPath);
TESS_API void NotesTerm(void);
// 1 with the value (cut to maxLen - 1 bytes) when the key is set, else 0 and "".
TESS_API NBOOL OSGetEnvironmentString(const char* name, char* value, WORD maxLen);
// The current ID's full name (256 bytes). ERR_NO_ID when notes.ini names no ID file.
TESS_API STATUS SECKFMGetUserName(char* userName);
// Switches to the ID file when the password opens it; the name (full, cut to maxLen - 1)
// is written to userName. ERR_BAD_PASSWORD for a wrong password, ERR_NO_SUCH_FILE for no
// file. The working notes.ini's KeyFilename names the new ID afterwards.
TESS_API STATUS SECKFMSwitchToIDFile(const char* idFile, const char* password, char* userName, WORD maxLen, DWORD flags,
                                     void* reserved);
TESS_API STATUS DNParse(DWORD flags, const char* templateName, const char* dn, DN_COMPONENTS* parts, WORD partsSize);
// "server!!file" (or just the file for an empty server); path holds 256 bytes.
TESS_API STATUS OSPathNetConstruct(const char* port, const char* server, const char* file, char* path);
TESS_API WORD OSLoadString(void* module, STATUS code, char* buffer, WORD bufferLength);
// Returns the bytes written to out (at most outLength).
TESS_API WORD OSTranslate(WORD mode, const char* in, WORD inLength, char* out, WORD outLength);
TESS_API void OSCurrentTIMEDATE(TIMEDATE* now);
// 0 with the local fields filled from t->GM; nonzero when GM is not a valid time.
TESS_API STATUS TimeGMToLocal(TIME* t);
TESS_API STATUS TimeDateAdjust(TIMEDATE* td, int seconds, int minutes, int hours, int days, int months, int years);

// --- Memory and lists
TESS_API void* OSLockObject(DHANDLE handle);
TESS_API NBOOL OSUnlockObject(DHANDLE handle);
TESS_API STATUS OSMemFree(DHANDLE handle);
TESS_API STATUS ListAllocate(WORD entries, WORD textSize, NBOOL prefixDataType, DHANDLE* handle, void** list,
                             WORD* listSize);
// Inserts the text as entry `entry` (0 .. count). listSize is updated.
TESS_API STATUS ListAddEntry(DHANDLE handle, NBOOL prefixDataType, WORD* listSize, WORD entry, const char* text,
                             WORD textSize);
TESS_API WORD ListGetNumEntries(const void* list, NBOOL prefixDataType);
TESS_API STATUS ListGetText(const void* list, NBOOL prefixDataType, WORD entry, const char** text, WORD* textSize);

// --- Databases
TESS_API STATUS NSFDbOpen(const char* path, DBHANDLE* db);
TESS_API STATUS NSFDbClose(DBHANDLE db);
TESS_API STATUS NSFDbAccessGet(DBHANDLE db, WORD* accessLevel, WORD* accessFlags);
TESS_API STATUS NSFDbGenerateOID(DBHANDLE db, ORIGINATORID* oid);
// The user's unread table (an ID table handle); ERR_NOT_FOUND when the user has none and
// create is 0.
TESS_API STATUS NSFDbGetUnreadNoteTable(DBHANDLE db, const char* user, WORD userLength, NBOOL create, DHANDLE* table);
// Brings the table up to what the database holds for its user.
TESS_API STATUS NSFDbUpdateUnread(DBHANDLE db, DHANDLE table);
// Stores the differences between original and updated for the user.
TESS_API STATUS NSFDbSetUnreadNoteTable(DBHANDLE db, const char* user, WORD userLength, NBOOL flush, DHANDLE original,
                                        DHANDLE updated);

// --- Notes and items
TESS_API STATUS NSFNoteOpen(DBHANDLE db, NOTEID id, WORD flags, NOTEHANDLE* note);
TESS_API STATUS NSFNoteClose(NOTEHANDLE note);
TESS_API STATUS NSFNoteUpdate(NOTEHANDLE note, WORD flags);
// Removes the note; a deletion stub stays unless UPDATE_NOSTUB is given.
TESS_API STATUS NSFNoteDelete(DBHANDLE db, NOTEID id, WORD flags);
TESS_API void NSFNoteGetInfo(NOTEHANDLE note, WORD member, void* value);
TESS_API void NSFNoteSetInfo(NOTEHANDLE note, WORD member, const void* value);
TESS_API STATUS NSFNoteCopy(NOTEHANDLE source, NOTEHANDLE* copy);
TESS_API STATUS NSFItemAppend(NOTEHANDLE note, WORD flags, const char* name, WORD nameLength, WORD type,
                              const void* value, DWORD valueLength);
TESS_API STATUS NSFItemInfo(NOTEHANDLE note, const char* name, WORD nameLength, BLOCKID* item, WORD* type,
                            BLOCKID* value, DWORD* valueLength);
// The item as text (a text list joined by "; "); returns the length written.
TESS_API WORD NSFItemGetText(NOTEHANDLE note, const char* name, char* buffer, WORD bufferLength);
TESS_API STATUS NSFSearch(DBHANDLE db, DHANDLE formula, const char* viewTitle, WORD searchFlags, WORD noteClassMask,
                          const TIMEDATE* since, NSFSEARCHPROC callback, void* param, TIMEDATE* until);

// --- ID tables
TESS_API STATUS IDCreateTable(DWORD alignment, DHANDLE* table);
TESS_API STATUS IDDestroyTable(DHANDLE table);
TESS_API STATUS IDInsert(DHANDLE table, NOTEID id, NBOOL* inserted);
TESS_API STATUS IDDelete(DHANDLE table, NOTEID id, NBOOL* deleted);
TESS_API NBOOL IDIsPresent(DHANDLE table, NOTEID id);
TESS_API DWORD IDEntries(DHANDLE table);
// In ascending order: first = 1 starts over. 0 past the end.
TESS_API NBOOL IDScan(DHANDLE table, NBOOL first, NOTEID* id);
TESS_API STATUS IDTableCopy(DHANDLE table, DHANDLE* copy);

// --- Folders and collections
TESS_API STATUS NIFFindDesignNoteExt(DBHANDLE db, const char* name, WORD noteClass, const char* flagsPattern,
                                     NOTEID* id, DWORD options);
TESS_API STATUS NSFFolderGetIDTable(DBHANDLE viewDb, DBHANDLE dataDb, NOTEID folder, DWORD flags, DHANDLE* table);
TESS_API STATUS FolderDocAdd(DBHANDLE dataDb, DBHANDLE folderDb, NOTEID folder, DHANDLE table, DWORD flags);
TESS_API STATUS FolderDocRemove(DBHANDLE dataDb, DBHANDLE folderDb, NOTEID folder, DHANDLE table, DWORD flags);
TESS_API STATUS NIFOpenCollection(DBHANDLE viewDb, DBHANDLE dataDb, NOTEID view, WORD flags, DHANDLE unreadList,
                                  HCOLLECTION* collection, NOTEHANDLE* viewNote, void* viewUnid, DHANDLE* collapsedList,
                                  DHANDLE* selectedList);
TESS_API STATUS NIFCloseCollection(HCOLLECTION collection);
// Reads up to returnCount note ids after position into a memory block of NOTEIDs;
// SIGNAL_MORE_TO_DO is set when entries remain.
TESS_API STATUS NIFReadEntries(HCOLLECTION collection, COLLECTIONPOSITION* position, WORD skipNavigator,
                               DWORD skipCount, WORD returnNavigator, DWORD returnCount, DWORD returnMask,
                               DHANDLE* buffer, WORD* bufferLength, DWORD* skipped, DWORD* returned, WORD* signal);

// --- Mail
TESS_API STATUS MailOpenMessageFile(const char* path, DBHANDLE* db);
TESS_API STATUS MailCloseMessageFile(DBHANDLE db);
TESS_API STATUS MailCreateMessage(DBHANDLE db, NOTEHANDLE* note);
TESS_API STATUS MailCloseMessage(NOTEHANDLE note);
// The routing list; the note takes over the list handle.
TESS_API STATUS MailAddRecipientsItem(NOTEHANDLE note, DHANDLE list, WORD listSize);
TESS_API STATUS MailAddHeaderItemByHandle(NOTEHANDLE note, WORD item, DHANDLE list, WORD listSize, WORD flags);
TESS_API STATUS MailAddHeaderItem(NOTEHANDLE note, WORD item, const char* value, WORD valueLength);
TESS_API STATUS MailCreateBodyItem(DHANDLE* body, DWORD* bodyLength);
TESS_API STATUS MailAppendBodyItemLine(DHANDLE body, DWORD* bodyLength, const char* text, WORD textLength);
TESS_API STATUS MailAddBodyItem(NOTEHANDLE note, DHANDLE body, DWORD bodyLength, void* formatting);
// 1 with the item's text (cut to maxLength) when present.
TESS_API NBOOL MailGetMessageItem(NOTEHANDLE note, WORD item, char* buffer, WORD maxLength, WORD* length);
TESS_API NBOOL MailGetMessageItemTimeDate(NOTEHANDLE note, WORD item, TIMEDATE* td);
// The body text in a new memory block (the caller frees it).
TESS_API STATUS MailGetMessageBody(NOTEHANDLE note, DHANDLE* body, DWORD* length);
// Writes the body, lines wrapped at lineLength and ended by lineDelimiter, into outputFile.
TESS_API STATUS MailGetMessageBodyText(NOTEHANDLE note, const char* itemName, const char* lineDelimiter,
                                       WORD lineLength, NBOOL convertTabs, const char* outputFile, DWORD* size);
TESS_API NBOOL MailGetMessageAttachmentInfo(NOTEHANDLE note, WORD index, BLOCKID* item, DWORD* size, char* name,
                                            WORD nameLength);
TESS_API STATUS MailExtractMessageAttachment(NOTEHANDLE note, BLOCKID item, const char* path);
TESS_API STATUS MailAddMessageAttachment(NOTEHANDLE note, const char* path, const char* name);
// A list of the database's documents: OSLockObject(list) gives a DWORD count and the ids.
TESS_API STATUS MailCreateMessageList(DBHANDLE db, DHANDLE* list, void** listPointer, WORD* count);
TESS_API STATUS MailOpenMessage(DHANDLE list, WORD index, NOTEHANDLE* note);
TESS_API STATUS MailGetMessageInfo(DHANDLE list, WORD index, WORD* recipientCount, WORD* subjectLength,
                                   WORD* originatorLength);
TESS_API STATUS MailGetMessageOriginator(DHANDLE list, WORD index, char* buffer, WORD maxLength, WORD* length);
TESS_API STATUS MailGetMessageSize(DHANDLE list, WORD index, DWORD* size);

// --- Address book ("names.nsf" of the server's data directory)
// nameSpaces, names and items are texts one after another, each ended by a NUL.
TESS_API STATUS NAMELookup(const char* server, DWORD flags, WORD nameSpaces, const char* nameSpaceNames, WORD names,
                           const char* nameList, WORD items, const char* itemNames, DHANDLE* buffer);
TESS_API void* NAMELocateNextName(void* lookup, void* previousName, WORD* matches);
TESS_API void* NAMELocateNextMatch(void* lookup, void* name, void* previousMatch);
// The item (by its number in the lookup's item list) as text; ERR_NOT_FOUND when empty.
TESS_API STATUS NAMEGetTextItem(void* match, WORD item, WORD member, char* buffer, WORD maxLength);
