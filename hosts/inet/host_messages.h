#pragma once
// What both internet hosts do with a parsed mail on its way to the engine: pick and
// decode the body, decode attachment parts and write them as files, and hand message
// blocks out as one array.
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "common/mail_msg.h"
#include "common/msg_record.h"
#include "hosts/inet/mime_message.h"

namespace inet {

using tess::CMsg;
using tess::MailMsg;

// Bytes of a part: base64-decoded when its transfer encoding says so, else as they are.
// False when the base64 is broken (out then empty).
bool DecodePartBody(const MimePart& part, std::string& out);

// CR LF becomes LF, then every LF becomes CR LF.
std::string NormalizeLineEnds(std::string_view text);

// The message body: the preferred part (HTML or text) when not empty, else the other,
// decoded, with CR LF line ends.
std::string ChooseBody(const ParsedMessage& parsed, bool preferHtml);

// Writes bytes into dir under the mail's file name made safe; when that name is taken,
// "name(1).ext", "name(2).ext", ... (counted before the first '.'). The full path, or
// empty when nothing could be written (no partial file is left).
std::string WriteAttachmentFile(const std::filesystem::path& dir, const std::string& fileName, std::string_view bytes);

// The message's address, subject and date-text headers into msg (Reply-To falls back to
// From).
void TakeHeaders(const ParsedMessage& parsed, CMsg& msg);

// Moves the blocks into one malloc'd array (FreeMailMsg releases it). No blocks: *out is
// left alone and *count is 0. False when the array cannot be had (the blocks are freed).
bool HandOutBlocks(std::vector<MailMsg*>& blocks, MailMsg*** out, int* count);

}  // namespace inet
