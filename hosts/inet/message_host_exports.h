#pragma once
// The exports every message host (the internet hosts and the desktop-client hosts alike)
// gives the engine under the same names and signatures. Each host's public header
// includes this one and adds its Logon (whose record differs) and the exports whose
// signatures differ between hosts. The engine loads each host with its own symbol scope,
// so the same names in two hosts never stand for each other. Every export returns an int
// (0 = success); nothing is thrown across the boundary.
//
// Ownership: arrays, FolderRecords (with their names) and AttachmentTables that an export
// returns come from malloc and go back through the matching free export; each MailMsg is
// one block made by CMsg::ToMailMsg and freed by FreeMailMsg. The files an
// AttachmentTable names belong to it: FreeAttachment deletes them.
#include "common/host_records.h"
#include "common/mail_msg.h"
#include "platform/export.h"

TESS_API int Initialize();
TESS_API int Uninitialize();
TESS_API int Logoff();
TESS_API int GetFolderList(tess::FolderRecord*** out, int* count);
TESS_API int FreeFolderList(tess::FolderRecord** list, int count);
TESS_API int GetMsgIds(tess::FolderRecord* folder, tess::MailMsg*** out, int* count);
TESS_API int GetMsgHeaders(tess::FolderRecord* folder, tess::MailMsg*** out, int* count, tess::MsgIdDescriptor** ids,
                           int* idCount);
TESS_API int GetMsg(tess::FolderRecord* folder, const tess::MsgIdDescriptor* id, tess::MailMsg** out);
TESS_API int FreeMailMsg(tess::MailMsg** items, int count);
TESS_API int SendMsg(const tess::MailMsg* msg);
TESS_API int DeleteMsg(tess::FolderRecord* folder, const tess::MailMsg* msg);
TESS_API int GetMessageAttachment(tess::FolderRecord* folder, int idLength, const void* idBytes,
                                  tess::AttachmentTable** out);
TESS_API int FreeAttachment(tess::AttachmentTable** table);
TESS_API int HostSupportsPartialMessages();
