#pragma once
// Copperfen: the message host over Extended MAPI (the stand-in's "mapi32.dll"). The engine
// binds these exports by name; records and ownership are those of every message host
// (common/host_records.h, common/mail_msg.h): arrays, FolderRecords and AttachmentTables
// come from malloc and go back through the matching free export, each MailMsg is one
// block freed by FreeMailMsg, and FreeAttachment deletes the files its table names.
//
// Results: 0 success; 1 the listing stubs; 3 a message was refused or a change failed;
// 4 not a message, or the submission failed; 5 no memory; 100 an entry point missing or
// the library's start failed; 200 logon failed; 204 "mapi32.dll" not loaded; 205 Extended
// MAPI not installed; 211 null list or no memory for a list; -1 attachments not wanted.
#include "common/host_records.h"
#include "common/mail_msg.h"
#include "hosts/inet/message_host_exports.h"
#include "platform/export.h"
#include "platform/mfc/cstring.h"

TESS_API int Logon(const tess::MapiLogonRecord* record, int flags, int reserved);
TESS_API int GetAllMsgs(tess::FolderRecord* folder, tess::MailMsg*** out, int* count, int headersOnly);
TESS_API int SetMsgReadStatus(tess::FolderRecord* folder, const tess::MailMsg* msg, int seen);
TESS_API int SetMsgPriority(int ignored, const tess::MailMsg* msg, int priority);
TESS_API int SetMsg(const tess::MailMsg* msg);
// 1 when an address was found for the record's user (it is stored in out), else 0. Runs
// the whole cycle from Initialize to Uninitialize by itself.
TESS_API int GetUserEmail(const tess::MapiLogonRecord* record, platform::mfc::CString* out);
// 1 when both ids name the same message, else 0 (also without a session).
TESS_API int CompareMsgId(int lengthA, const void* idA, int lengthB, const void* idB);
// 1 and the SMTP address of an address-book entry in out; else 0.
TESS_API int ResolveName(int idLength, const void* idBytes, platform::mfc::CString* out);
