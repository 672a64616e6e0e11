#pragma once
// Tidewater: the synchronisation engine. The conduit entry loads libTidewater.so and calls
// SynchronizeMail once per Tallyhop operation; the engine drives the message host
// plug-ins through the export family below, all of a host's exports bound once when the
// host is loaded for an account (engine/host_module.h).
//
// The records that cross the plug-in boundary keep their fields, order and integer widths;
// pointers are native, so on x86-64 the offsets after the first pointer grow. Every string
// field of a logon record is our CString (platform/mfc), shared by every module.
//
// Ownership: a host allocates what it returns (folder arrays and names with malloc,
// message blocks with GlobalAlloc) and its matching Free export releases it; the engine
// replaces a standard folder's name with its own malloc'd copy. Logon records are only
// read during the Logon call.
#include <stddef.h>
#include <stdint.h>

#include "common/host_records.h"
#include "common/mail_msg.h"
#include "platform/core/module.h"
#include "platform/export.h"
#include "platform/mfc/cstring.h"
#include "platform/syncmgr/syncmgr.h"

// ---- The host family as the engine calls it ----------------------------------------------
extern "C" {
typedef int (*HostInitializeFn)();
typedef int (*HostUninitializeFn)();
typedef int (*HostLogonFn)(const void* record, int flags, int reserved);
typedef int (*HostLogoffFn)();
typedef int (*HostGetFolderListFn)(tess::FolderRecord*** out, int* count);
typedef int (*HostFreeFolderListFn)(tess::FolderRecord** list, int count);
typedef int (*HostSupportsPartialFn)();
typedef int (*HostGetMsgIdsFn)(tess::FolderRecord* folder, tess::MailMsg*** out, int* count);
typedef int (*HostGetMsgHeadersFn)(tess::FolderRecord* folder, tess::MailMsg*** out, int* count,
                                   tess::MsgIdDescriptor** ids, int* idCount);
typedef int (*HostGetAllMsgsFn)(tess::FolderRecord* folder, tess::MailMsg*** out, int* count, int headersOnly);
typedef int (*HostGetMsgFn)(tess::FolderRecord* folder, const tess::MsgIdDescriptor* id, tess::MailMsg** out);
typedef int (*HostFreeMailMsgFn)(tess::MailMsg** items, int count);
typedef int (*HostSetMsgReadStatusFn)(tess::FolderRecord* folder, const tess::MailMsg* msg, int seen);
typedef int (*HostSendMsgFn)(const tess::MailMsg* msg);
typedef int (*HostDeleteMsgFn)(tess::FolderRecord* folder, const tess::MailMsg* msg);
typedef int (*HostGetMessageAttachmentFn)(tess::FolderRecord* folder, int idLength, const void* idBytes,
                                          tess::AttachmentTable** out);
typedef int (*HostFreeAttachmentFn)(tess::AttachmentTable** table);
typedef int (*HostResolveNameFn)(int length, const void* bytes, platform::mfc::CString* out);
typedef int (*HostCompareMsgIdFn)(int, const void*, int, const void*);
typedef int (*Imap4CommitFn)();
typedef int (*Imap4SelectFolderFn)(const char* name);
typedef int (*Imap4CopyMessageFn)(uint32_t uid, const char* fromFolder, const char* toFolder);
typedef int (*Imap4AddFolderFn)(const char* name);
typedef int (*Imap4DeleteFolderFn)(const char* name);
typedef int (*Imap4RenameFolderFn)(const char* name, const char* newName);
typedef int (*Imap4SetSeenFlagFn)(const char* folder, uint32_t uid, int seen);
}

// ---- Exports -------------------------------------------------------------------------

// Runs one synchronisation for the user. hosts: Extended MAPI, Simple MAPI, Notes, IMAP,
// POP (any may be null); entry i is used only when lastHostIndex >= i (the Extended MAPI
// entry always). Results: 0 done (also after a failure that went to the sync log), 1 the
// AES library cannot be loaded, 5 no memory for the attachment translator, 102 the sync
// manager refused the registration, else the account loop's result. conduitValue is the
// conduit's progress callback, passed through at full pointer width and never read.
TESS_API int SynchronizeMail(void* conduitValue, SyncProperties* properties, HMODULE hosts[5], int lastHostIndex,
                             int userId);

// Writes the user's default general settings and eight default account files: 0, or -1
// (also for a user the sync manager does not list).
TESS_API int CreateIniFileSettings(int userId);
// Brings the user's stored settings to data version 517: 1 upgraded, 0 not.
TESS_API int UpgradeUserSettings(int userId, int storedVersion);
// Asks for a Notes ID file and password (file dialog, then the ID dialog, again while the
// pair is refused and the user says so), checks them with the desktop's Notes client and
// copies the ID file, the mail server and the password out: 1, or 0 (no Notes client,
// cancelled, or a buffer too small for its text).
TESS_API int LarkspurGetNotesConfiguration(char* idFile, int idSize, char* mailText, int mailSize, char* password,
                                           int passwordSize);

// ---- Configuration exports -----------------------------------------------------------------

// Opens the configuration window (the "Configure" export of the library that the
// "ConfigPlugins" list's "ConfHost" names) for the user, creating or upgrading the user's
// settings first when the user agrees: 0 the window ran; 1 otherwise.
TESS_API int ConfigureLarkspur(int userId);
// The outside account wizard's choice, kept for the next synchronisation of the relay's
// account: 1 written; 0 not. A number below 1 is written as 25.
TESS_API int LarkspurSaveUserSelection(int mailSystem, const char* text1, const char* text2, const char* text3,
                                       int number);
// The desktop's mail profiles: 1 and their number; 0 and 0 when they cannot be read.
TESS_API int LarkspurGetProfileCount(int* count);
// The profile at the 1-based index of the list LarkspurGetProfileCount read: 1 copied; 0
// without a list, outside 1..count, or when the name and its NUL do not fit.
TESS_API int LarkspurGetProfileAt(int index, char* buffer, int size);
// Registers the office-document translator: 0 registered, else 1.
TESS_API int LarkspurConfigurePrismatica();
// The set-up wizard's registration notice to the wireless service (THN: six numbers
// joined by "/"; MAN: digits): 0 accepted, 1 no connection, 2 bad THN, 3 bad MAN, 4 the
// request was incomplete, 5 sending failed or a status other than 200, 6 the service
// answered 601, 7 any other answer.
TESS_API int LarkspurProvisionAccount(const char* thnText, const char* manText);
