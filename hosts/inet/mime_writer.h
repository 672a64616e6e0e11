#pragma once
// The MIME form of a sent message: headers, a plain ISO-8859-1 text body broken into
// short lines, and attachments as base64 parts.
#include <cstdint>
#include <string>
#include <string_view>

namespace tess {
class CMsg;
}  // namespace tess

namespace inet {

using tess::CMsg;

class CContentTypeList;

struct MimeWriterOptions {
    std::string displayName;
    bool wantAttachments = false;
    int64_t now = 0;       // the Date header's time (seconds since 1970)
    std::string boundary;  // empty: one is made
};

// Writes the whole message text. Header values lose any CR or LF, so no text from the
// handheld can add header lines.
void WriteMimeMessage(const CMsg& message, const MimeWriterOptions& options, CContentTypeList& contentTypes,
                      std::string& out);

// The body's lines: CRs removed, LF as CR LF, lines longer than 65 characters broken
// at the first blank from position 55, or at 65 when that blank lies further on.
void WriteWrappedBody(std::string_view body, std::string& out);

// Lines that begin with '.' get a second one, as the DATA phase requires.
std::string DotStuff(std::string_view text);

// Text as quoted-printable (RFC 2045): line breaks (LF or CR LF) become CR LF, bytes
// outside printable ASCII, '=' and blanks before a line end are encoded, and soft line
// breaks keep every line within 76 characters. Decoding gives the text back byte for
// byte, CR LF for each line break.
std::string EncodeQuotedPrintable(std::string_view text);

// A header value: CR and LF become blanks; a long value is folded before blanks; text
// with bytes above 127, or a word too long for a line, becomes encoded words (RFC 2047,
// base64) of the charset, folded between words.
std::string HeaderValue(std::string_view text, const char* charset);

// The charset that names the handheld's 8-bit text: "ISO-8859-1", or "windows-1252"
// when a byte in 0x80-0x9F (the euro sign, typographic quotes) would else be misread.
const char* TextCharset(std::string_view text);

}  // namespace inet
