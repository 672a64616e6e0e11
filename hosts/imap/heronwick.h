#pragma once
// Heronwick: the IMAP4 message host. The engine loads libHeronwick.so and looks each
// export up by name when it needs it. Every export returns an int (0 = success); nothing
// is thrown across the boundary.
//
// Ownership: arrays, FolderRecords (with their names) and AttachmentTables that an export
// returns come from malloc and go back through the matching free export; each MailMsg is
// one block made by CMsg::ToMailMsg and freed by FreeMailMsg. The files an
// AttachmentTable names belong to it: FreeAttachment deletes them.
//
// Result codes: -1 not logged on; 1 argument missing or IMAP not open; 2 delete failed or
// no such message for attachments; 3 GetMsg could not fetch the message; 4 folder not
// selectable; 8 IMAP side not usable;
// 11 delete refused; 12 folder not on the server; 13 nothing copied; 14 append refused;
// 15 seen flag failed; 16 out of memory or refused folder change; 211 null list;
// 212 send failed; 213 listing failed; 16394 logon failed.
#include <cstddef>
#include <cstdint>

#include "common/mail_msg.h"
#include "common/host_records.h"
#include "platform/export.h"
#include "platform/mfc/cstring.h"

TESS_API int Initialize();
TESS_API int Uninitialize();
// flags: 1 one line in the sync log when the logon fails; 2 protocol lines to the log.
TESS_API int Logon(const LogonRecord* record, int flags, int reserved);
TESS_API int Logoff();
TESS_API int GetFolderList(FolderRecord*** out, int* count);
TESS_API int FreeFolderList(FolderRecord** list, int count);
TESS_API int GetMsgIds(FolderRecord* folder, MailMsg*** out, int* count);
TESS_API int GetMsgHeaders(FolderRecord* folder, MailMsg*** out, int* count,
                           MsgIdDescriptor** ids, int* idCount);
TESS_API int GetAllMsgs(int ignored, MailMsg*** out, int* count, int headersOnly);
TESS_API int GetMsg(FolderRecord* folder, const MsgIdDescriptor* id, MailMsg** out);
TESS_API int FreeMailMsg(MailMsg** items, int count);
TESS_API int SetMsg(int ignored);
TESS_API int SetMsgPriority(int a, int b, int c);
TESS_API int SetMsgReadStatus(FolderRecord* folder, const MailMsg* msg, int seen);
TESS_API int SendMsg(const MailMsg* msg);
TESS_API int DeleteMsg(FolderRecord* folder, const MailMsg* msg);
TESS_API int GetMessageAttachment(FolderRecord* folder, int idLength, const void* idBytes,
                                  AttachmentTable** out);
TESS_API int FreeAttachment(AttachmentTable** table);
TESS_API int HostSupportsPartialMessages();

TESS_API int IMAP4Commit();
TESS_API int IMAP4SelectFolder(const char* name);
TESS_API int IMAP4CopyMessage(uint32_t uid, const char* fromFolder, const char* toFolder);
TESS_API int IMAP4AddFolder(const char* name);
TESS_API int IMAP4DeleteFolder(const char* name);
TESS_API int IMAP4RenameFolder(const char* name, const char* newName);
TESS_API int IMAP4Append(const char* folder, const char* messageText);
TESS_API int IMAP4SetSeenFlag(const char* folder, uint32_t uid, int seen);
