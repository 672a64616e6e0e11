#pragma once
// The exports both internet hosts give the engine under the same names and conventions,
// beyond those of every message host (message_host_exports.h). Each internet host's public
// header includes this one and adds its Logon (whose record differs) and its own exports.
//
// Results they share: -1 not logged on; 211 null list; 212 send failed; 213 listing
// failed; 16394 logon failed.
#include <cstddef>
#include <cstdint>

#include "hosts/inet/message_host_exports.h"
#include "platform/mfc/cstring.h"

TESS_API int GetAllMsgs(int ignored, tess::MailMsg*** out, int* count, int headersOnly);
TESS_API int SetMsg(int ignored);
TESS_API int SetMsgPriority(int a, int b, int c);
TESS_API int SetMsgReadStatus(tess::FolderRecord* folder, const tess::MailMsg* msg, int seen);
