#pragma once
// CMimeMessage: reads one fetched mail (an array of text lines) into the header fields
// the handheld shows, its text and HTML bodies and its attachment parts.
#include <cstddef>
#include <list>
#include <string>
#include <string_view>
#include <vector>

#include "hosts/inet/text_lines.h"

namespace inet {

struct MimePart {
    std::string disposition;       // Content-Disposition up to ';'
    std::string contentType;       // Content-Type up to ';'
    std::string transferEncoding;  // emptied once the body was decoded
    std::string fileName;          // from filename or name, plain or RFC 2231, decoded
    std::string nestedBoundary;    // the part's own multipart boundary
    std::string body;
};

enum MimeHeader : int {
    kHdrTo = 0,
    kHdrCc,
    kHdrFrom,
    kHdrSubject,
    kHdrReplyTo,
    kHdrDate,
    kHdrReceived,
    kHdrContentType,
    kHdrTransferEncoding,
    kHdrBoundary,
    kHdrDisposition,
    kHeaderCount
};

// One fetched message as the hosts keep it.
struct ParsedMessage {
    static constexpr int kMaxAttachments = 10;
    std::string headers[kHeaderCount];
    MimePart text;
    MimePart html;
    int attachmentCount = 0;
    MimePart attachments[kMaxAttachments];
    int complete = 1;  // 0 when only the text parts were fetched
};

class CMimeMessage {
public:
    CMimeMessage() = default;
    virtual ~CMimeMessage() = default;

    // Reads lines[startLine .. endLine-1]. False for no lines or an empty header block.
    bool Parse(std::size_t startLine, std::size_t endLine, const std::vector<std::string>& lines,
               bool decodeQuotedPrintable);

    const std::string& Header(int index) const { return headers_[index]; }
    const std::list<MimePart>& Parts() const { return parts_; }
    const MimePart* FindTextPart(bool html) const;
    // Attachment parts in list order (file name and an attachment or inline disposition).
    std::vector<const MimePart*> Attachments() const;
    // Fills the host's record: headers, text and HTML parts, at most 10 attachments.
    void CopyTo(ParsedMessage& out, bool wantAttachments) const;

    void AppendForwardedBody(const CMimeMessage& nested);

    static void HtmlToText(std::string_view html, std::string& out);
    static bool DecodeQuotedPrintable(std::string& text);
    static void DecodeEncodedWords(std::string& text);
    // A header's text in the handheld's set: raw 8-bit text converted as UTF-8 when it is
    // UTF-8, then its encoded words decoded.
    static void DecodeHeaderText(std::string& text);
    // UTF-8 to the handheld's 8-bit set (Windows-1252); unmappable characters become '?'.
    static void Utf8ToAnsi(std::string& text);

private:
    bool ReadHeaderBlock();
    void StoreHeader(int index, std::string value, const std::string& lastLine);
    bool ReadPart(std::size_t& cur, const std::string& boundary, MimePart& part);
    void WalkMultipart(const std::string& boundary, std::size_t cur);
    void AddPart(MimePart part);
    bool IsDuplicate(const MimePart& part) const;
    std::string JoinBody(std::size_t from, std::size_t to, bool attachment) const;
    std::size_t FindLine(const std::string& boundary, std::size_t from) const;
    std::size_t FindActive(std::size_t from) const;
    void AddActive(const std::string& boundary);
    void RemoveActive(const std::string& boundary);
    MimePart* FindTextPartMutable(bool html);

    std::string headers_[kHeaderCount];
    std::list<MimePart> parts_;
    const std::vector<std::string>* lines_ = nullptr;
    std::size_t cur_ = 0;
    std::size_t end_ = 0;
    // Boundaries of the multiparts being walked; a nested message shares its parent's.
    std::vector<std::string> ownActive_;
    std::vector<std::string>* active_ = &ownActive_;
    bool decodeQp_ = false;
    int depth_ = 0;
};

}  // namespace inet
