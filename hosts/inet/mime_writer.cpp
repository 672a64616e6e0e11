#include "hosts/inet/mime_writer.h"

#include <algorithm>
#include <random>
#include <vector>

#include "common/address_list.h"
#include "common/base64.h"
#include "common/handheld_time.h"
#include "common/mapped_file.h"
#include "common/msg_record.h"
#include "hosts/inet/smtp_session.h"

namespace inet {

using tess::CHandheldTime;
using tess::CMappedFile;
using tess::CMsg;

namespace {

constexpr std::size_t kShortLine = 65;
constexpr std::size_t kBreakFrom = 55;
constexpr const char* kTextHeader =
    "Content-Type: text/plain; charset=\"ISO-8859-1\"\r\nContent-Transfer-Encoding: 8bit\r\n\r\n";

std::string OneLine(std::string text) {
    for (char& c : text) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    return text;
}

// "a@x; b <b@y>" as "<a@x>, b <b@y>".
std::string HeaderAddresses(std::string list) {
    tess::NormalizeAddressList(list, true);
    std::string out;
    for (std::string item; !(item = tess::PopAddressToken(list, true)).empty();) {
        if (!out.empty()) out += ", ";
        out += item.find('<') == std::string::npos ? "<" + item + ">" : item;
    }
    return OneLine(out);
}

std::string MakeBoundary() {
    std::random_device random;
    char buffer[40];
    snprintf(buffer, sizeof buffer, "----=_Part_%08x%08x", random(), random());
    return buffer;
}

std::string Extension(const std::string& name) {
    std::size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

}  // namespace

void WriteWrappedBody(std::string_view body, std::string& out) {
    if (body.empty()) {
        out += " \r\n";
    } else {
        std::size_t pos = 0;
        while (pos < body.size()) {
            std::size_t lf = body.find('\n', pos);
            std::string line(body.substr(pos, lf == std::string_view::npos ? std::string_view::npos : lf - pos));
            pos = lf == std::string_view::npos ? body.size() : lf + 1;
            std::erase(line, '\r');
            std::string_view rest = line;
            while (rest.size() > kShortLine) {
                std::size_t blank = rest.find(' ', kBreakFrom);
                if (blank == std::string_view::npos) break;  // no place to break: whole
                if (blank > kShortLine) {
                    out.append(rest.substr(0, kShortLine)).append("\r\n");
                    rest.remove_prefix(kShortLine);
                } else {
                    out.append(rest.substr(0, blank)).append("\r\n");
                    rest.remove_prefix(blank + 1);
                }
            }
            out.append(rest).append("\r\n");
        }
    }
    out += "\r\n";
}

std::string DotStuff(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 16);
    bool lineStart = true;
    for (char c : text) {
        if (lineStart && c == '.') out += '.';
        out += c;
        lineStart = c == '\n';
    }
    return out;
}

std::string EncodeQuotedPrintable(std::string_view text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size() + text.size() / 8 + 8);
    std::size_t column = 0;
    auto put = [&](const char* piece, std::size_t n) {
        if (column + n > 75) {
            out += "=\r\n";
            column = 0;
        }
        out.append(piece, n);
        column += n;
    };
    auto breakAt = [&](std::size_t i) {
        return text[i] == '\n' || (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n');
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\r' && breakAt(i)) continue;
        if (c == '\n') {
            out += "\r\n";
            column = 0;
            continue;
        }
        const bool lineEnd = i + 1 == text.size() || breakAt(i + 1);
        if ((c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !lineEnd)) {
            const char plain = static_cast<char>(c);
            put(&plain, 1);
        } else {
            const char hex[3] = {'=', kHex[c >> 4], kHex[c & 15]};
            put(hex, 3);
        }
    }
    return out;
}

std::string HeaderValue(std::string_view text, const char* charset) {
    std::string line = OneLine(std::string(text));
    bool eightBit = false;
    std::size_t run = 0, longestRun = 0;
    for (unsigned char c : line) {
        eightBit = eightBit || c > 127;
        run = c == ' ' ? 0 : run + 1;
        longestRun = std::max(longestRun, run);
    }
    // A long value is folded before a blank (readers take the fold out again); a word too
    // long for any line travels as encoded words, which fold anywhere.
    constexpr std::size_t kFoldAt = 900;
    if (!eightBit && longestRun < kFoldAt) {
        std::string out;
        std::size_t lineStart = 0;
        while (line.size() - lineStart > kFoldAt) {
            const std::size_t blank = line.rfind(' ', lineStart + kFoldAt);
            out += line.substr(lineStart, blank - lineStart) + "\r\n";
            lineStart = blank;  // the blank opens the folded line
        }
        return out + line.substr(lineStart);
    }
    // 42 bytes make 56 base64 characters: each word stays within 75 characters.
    std::string out;
    for (std::size_t at = 0; at < line.size(); at += 42) {
        std::string encoded;
        tess::Base64EncodeString(line.substr(at, 42), encoded, false);
        if (!out.empty()) out += "\r\n ";
        out += std::string("=?") + charset + "?B?" + encoded + "?=";
    }
    return out;
}

const char* TextCharset(std::string_view text) {
    for (unsigned char c : text) {
        if (c >= 0x80 && c <= 0x9F) return "windows-1252";
    }
    return "ISO-8859-1";
}

void WriteMimeMessage(const CMsg& message, const MimeWriterOptions& options, CContentTypeList& contentTypes,
                      std::string& out) {
    out.clear();
    const bool hasAttachments = !message.AttachmentNameList().empty();
    const bool multipart = hasAttachments && options.wantAttachments;
    const std::string boundary = options.boundary.empty() ? MakeBoundary() : options.boundary;
    const std::string delimiter = "--" + boundary;

    out += "To: " + HeaderAddresses(message.To) + "\r\n";
    if (!message.Cc.empty()) out += "cc: " + HeaderAddresses(message.Cc) + "\r\n";
    if (!message.Subject.empty()) out += "Subject: " + OneLine(message.Subject) + "\r\n";
    std::string sender = options.displayName.empty() ? "<" + message.From + ">"
                                                     : "\"" + options.displayName + "\" <" + message.From + ">";
    sender = OneLine(sender);
    out += "From: " + sender + "\r\n";
    CHandheldTime now;
    now.Set(options.now, true);
    std::string date;
    now.FormatRfc822(date, false);
    out += "Date: " + date + "\r\n";
    out += "X-Mailer: Tessaline\r\n";
    out += "X-Sender: " + sender + "\r\n";
    out += "Mime-Version: 1.0\r\n";
    if (multipart) {
        out += "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"\r\n\r\n";
        out += "This is a multi-part message in MIME format.\r\n\r\n";
        out += delimiter + "\r\n";
    } else {
        out += kTextHeader;
    }

    std::string body = message.Body;
    if (hasAttachments && options.wantAttachments) out += kTextHeader;
    if (hasAttachments && !options.wantAttachments) body += "\r\n\r\n***Attachments excluded by request.***\r\n";
    WriteWrappedBody(body, out);
    if (!multipart) return;

    std::vector<std::string> paths, names, shortNames;
    tess::SplitAttachmentPaths(message.AttachmentNames, paths, names, shortNames);
    for (std::size_t i = 0; i < paths.size(); ++i) {
        std::vector<uint8_t> bytes;
        CMappedFile file(paths[i]);
        if (file.IsOpen() && file.Size() > 0) {
            bytes.resize(file.Size());
            uint8_t* buffer = bytes.data();
            uint32_t length = file.Size();
            file.Read(&buffer, &length);
            bytes.resize(length);
        }
        std::string type;
        contentTypes.ContentTypeFromExtension(Extension(names[i]), type);
        if (type.empty()) type = "application/octet-stream";
        const std::string name = OneLine(names[i]);
        out += "\r\n" + delimiter + "\r\n";
        out += "Content-Type: " + type + ";\r\n\t name=\"" + name + "\"\r\n";
        out += "Content-Transfer-Encoding: base64\r\n";
        out += "Content-Disposition: attachment; \r\n\tfilename=\"" + name + "\"\r\n\r\n";
        tess::Base64Encode(bytes.data(), static_cast<int>(bytes.size()), out, false);
        out += i + 1 == paths.size() ? "\r\n\r\n" + delimiter + "--\r\n" : std::string("\r\n\r\n");
    }
}

}  // namespace inet
