#pragma once
// Heronwick: the IMAP4 message host. The engine loads libHeronwick.so and calls the
// exports of hosts/inet/host_exports.h, Logon and the IMAP4 folder calls below.
//
// Result codes: -1 not logged on; 1 argument missing or IMAP not open; 2 delete failed or
// no such message for attachments; 3 GetMsg could not fetch the message; 4 folder not
// selectable; 8 IMAP side not usable;
// 11 delete refused; 12 folder not on the server; 13 nothing copied; 14 append refused;
// 15 seen flag failed; 16 out of memory or refused folder change; 211 null list;
// 212 send failed; 213 listing failed; 16394 logon failed.
#include <cstdint>

#include "hosts/inet/host_exports.h"

// flags: 1 one line in the sync log when the logon fails; 2 protocol lines to the log.
TESS_API int Logon(const tess::LogonRecord* record, int flags, int reserved);

TESS_API int IMAP4Commit();
TESS_API int IMAP4SelectFolder(const char* name);
TESS_API int IMAP4CopyMessage(uint32_t uid, const char* fromFolder, const char* toFolder);
TESS_API int IMAP4AddFolder(const char* name);
TESS_API int IMAP4DeleteFolder(const char* name);
TESS_API int IMAP4RenameFolder(const char* name, const char* newName);
TESS_API int IMAP4Append(const char* folder, const char* messageText);
TESS_API int IMAP4SetSeenFlag(const char* folder, uint32_t uid, int seen);
