#pragma once
// Thistledown: the message host over the nine Simple MAPI functions of "mapi32.dll". It
// lists the Inbox message by message, keeps what it listed until Logoff (attachment files
// are handed out from there) and sends through the library's send call. Records and
// ownership are those of every message host (common/host_records.h, common/mail_msg.h).
//
// Results: 0 success; 1 the stubs; 3 a message was refused or a change failed; 4 the
// library could not be released or the logoff failed; 5 no memory; 200 logon failed;
// 204 "mapi32.dll" not loaded; 209 an entry point missing; 211 null list, no memory for a
// list, or no such listed message; 212 sending failed; 213 the listing failed; -1
// attachments not wanted.
#include "common/host_records.h"
#include "common/mail_msg.h"
#include "platform/export.h"

TESS_API int Initialize();
TESS_API int Uninitialize();
TESS_API int Logon(const SmapiLogonRecord* record, int flags, int reserved);
TESS_API int Logoff();
TESS_API int GetFolderList(FolderRecord*** out, int* count);
TESS_API int FreeFolderList(FolderRecord** list, int count);
TESS_API int GetAllMsgs(FolderRecord* ignored, MailMsg*** out, int* count, int ignoredToo);
TESS_API int GetMsg(FolderRecord* folder, const MsgIdDescriptor* id, MailMsg** out);
TESS_API int GetMsgIds(FolderRecord* folder, MailMsg*** out, int* count);
TESS_API int GetMsgHeaders(FolderRecord* folder, MailMsg*** out, int* count, MsgIdDescriptor** ids, int* idCount);
TESS_API int HostSupportsPartialMessages();
TESS_API int SetMsgPriority(int a, const MailMsg* msg, int priority);
TESS_API int FreeMailMsg(MailMsg** items, int count);
TESS_API int SetMsgReadStatus(FolderRecord* ignored, const MailMsg* msg, int ignoredToo);
TESS_API int DeleteMsg(FolderRecord* ignored, const MailMsg* msg);
TESS_API int SendMsg(const MailMsg* msg);
TESS_API int SetMsg(const MailMsg* msg);
TESS_API int GetMessageAttachment(FolderRecord* ignored, int idLength, const void* idBytes, AttachmentTable** out);
TESS_API int FreeAttachment(AttachmentTable** table);
