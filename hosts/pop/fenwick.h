#pragma once
// Fenwick: the POP3 message host. The engine loads libFenwick.so and looks each export up
// by name when it needs it. Every export returns an int (0 = success); nothing is thrown
// across the boundary. There is one folder, "Inbox"; a message's id is the server's UIDL
// text (message id, no terminator).
//
// Ownership: arrays, FolderRecords (with their names) and AttachmentTables that an export
// returns come from malloc and go back through the matching free export; each MailMsg is
// one block made by CMsg::ToMailMsg and freed by FreeMailMsg. The files an
// AttachmentTable names belong to it: FreeAttachment deletes them.
//
// Result codes: -1 not logged on; 2 delete failed, or no cached message for attachments;
// 6 POP3 side not usable (GetFolderList: not logged on); 12 GetMsg found or parsed no
// message, GetFolderList out of memory; 211 null list; 212 send failed; 213 listing
// failed (also when the server's UIDL listing failed: never an empty mailbox);
// 16394 logon failed.
#include <cstddef>
#include <cstdint>

#include "common/mail_msg.h"
#include "common/host_records.h"
#include "platform/export.h"
#include "platform/mfc/cstring.h"

TESS_API int Initialize();
TESS_API int Uninitialize();
// flags: 1 one line in the sync log when the logon fails; 2 protocol lines to the log.
TESS_API int Logon(const PopLogonRecord* record, int flags, int reserved);
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
