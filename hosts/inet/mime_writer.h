#pragma once
// The MIME form of a sent message: headers, a plain ISO-8859-1 text body broken into
// short lines, and attachments as base64 parts.
#include <cstdint>
#include <string>
#include <string_view>

class CMsg;

namespace inet {

class CContentTypeList;

struct MimeWriterOptions {
    std::string displayName;
    bool wantAttachments = false;
    int64_t now = 0;         // the Date header's time (seconds since 1970)
    std::string boundary;    // empty: one is made
};

// Writes the whole message text. Header values lose any CR or LF, so no text from the
// handheld can add header lines.
void WriteMimeMessage(const CMsg& message, const MimeWriterOptions& options,
                      CContentTypeList& contentTypes, std::string& out);

// The body's lines: CRs removed, LF as CR LF, lines longer than 65 characters broken
// at the first blank from position 55, or at 65 when that blank lies further on.
void WriteWrappedBody(std::string_view body, std::string& out);

// Lines that begin with '.' get a second one, as the DATA phase requires.
std::string DotStuff(std::string_view text);

}  // namespace inet
