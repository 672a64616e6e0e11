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
#include "hosts/inet/message_host_exports.h"
#include "platform/export.h"

TESS_API int Logon(const tess::SmapiLogonRecord* record, int flags, int reserved);
TESS_API int GetAllMsgs(tess::FolderRecord* ignored, tess::MailMsg*** out, int* count, int ignoredToo);
TESS_API int SetMsgPriority(int a, const tess::MailMsg* msg, int priority);
TESS_API int SetMsgReadStatus(tess::FolderRecord* ignored, const tess::MailMsg* msg, int ignoredToo);
TESS_API int SetMsg(const tess::MailMsg* msg);
