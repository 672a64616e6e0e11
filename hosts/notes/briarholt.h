#pragma once
// Briarholt: the Notes message host. The engine loads libBriarholt.so and calls the
// message host family below; the host reaches the desktop's Notes client through the
// client library it binds by name in Initialize (platform/notes/nnotes.h), one connection
// per process.
//
// Ownership as for every host: folder arrays and records (with their names and 4-byte
// note-id extras) and attachment tables come from malloc and go back through the free
// exports; each MailMsg is one block made by CMsg::ToMailMsg. A message's id is its note
// id in decimal; its host id the mail file setting up to its first ".".
//
// Results: 0; 200 the ID switch failed; 211 no ID file or notes.ini path, or no memory
// for a folder list; 214 Notes not installed; 215 notes.ini not usable; 218/219 notes.ini
// lacks MailServer/MailFile; 220 the mail file (or mail.box) does not open; 221 library or
// entry point missing; 222 not initialised; 223 not logged on or unknown folder; 224 the
// folder's notes could not be listed; 226 the note does not open; 229 the mail did not
// reach mail.box; 3 a delete or an attachment failed; 100 the read mark was not set.
#include "common/host_records.h"
#include "common/mail_msg.h"
#include "hosts/inet/message_host_exports.h"
#include "platform/export.h"

TESS_API int Logon(const tess::NotesLogonRecord* record, int flags, int reserved);
TESS_API int GetAllMsgs(tess::FolderRecord* folder, tess::MailMsg*** out, int* count, int headersOnly);
TESS_API int SetMsg(int ignored);
TESS_API int SetMsgPriority(int a, int b, int c);
TESS_API int SetMsgReadStatus(tess::FolderRecord* folder, const tess::MailMsg* msg, int read);
