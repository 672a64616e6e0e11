// The MIME form of sent mail: body lines, headers, attachments; read back by our reader.
#include <gtest/gtest.h>

#include <fstream>

#include "common/base64.h"
#include "common/msg_record.h"
#include "hosts/inet/mime_message.h"
#include "hosts/inet/mime_writer.h"
#include "hosts/inet/smtp_session.h"
#include "tests/support/test_home.h"

using tess::CMsg;

namespace {

std::string Wrapped(const std::string& body) {
    std::string out;
    inet::WriteWrappedBody(body, out);
    return out;
}

TEST(MimeWriter, BodyLines) {
    const std::string x55(55, 'x'), y10(10, 'y');
    struct {
        std::string body;
        std::string expected;
    } cases[] = {
        {"", " \r\n\r\n"},
        {std::string(65, 'a'), std::string(65, 'a') + "\r\n\r\n"},
        // No blank from position 55 on: the line goes out whole.
        {"a " + std::string(80, 'b'), "a " + std::string(80, 'b') + "\r\n\r\n"},
        // First blank from 55 on at 70: cut after 65, the 66th character starts the rest.
        {x55 + "0123456789" + "abcde" + " tail", x55 + "0123456789\r\nabcde tail\r\n\r\n"},
        // A blank at 60 is the cut and is dropped.
        {x55 + "abcde" + " " + y10, x55 + "abcde\r\n" + y10 + "\r\n\r\n"},
        {"one\r\ntwo\nthree", "one\r\ntwo\r\nthree\r\n\r\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(Wrapped(c.body), c.expected) << c.body;

    // Several long lines and then short ones: all of it goes out.
    std::string body;
    for (int i = 0; i < 4; ++i) body += std::string(58, 'a' + i) + " " + std::string(20, 'z') + "\n";
    body += "short\nend";
    std::string out = Wrapped(body);
    EXPECT_NE(out.find("short\r\nend\r\n\r\n"), std::string::npos) << out;
    EXPECT_NE(out.find(std::string(58, 'd') + "\r\n" + std::string(20, 'z')), std::string::npos);
}

TEST(MimeWriter, DotStuffing) { EXPECT_EQ(inet::DotStuff(".a\r\nb.\r\n.\r\n..x"), "..a\r\nb.\r\n..\r\n...x"); }

std::string Write(const CMsg& message, bool wantAttachments, inet::CContentTypeList& types) {
    inet::MimeWriterOptions options;
    options.wantAttachments = wantAttachments;
    options.now = 1700000000;
    options.boundary = "BOUNDARY";
    std::string out;
    inet::WriteMimeMessage(message, options, types, out);
    return out;
}

TEST(MimeWriter, Headers) {
    inet::CContentTypeList types;
    CMsg m;
    m.From = "me@example.org";
    m.Bcc = "secret@example.org";
    m.Subject = "Line\r\nBcc: injected@example.org";
    std::string text = Write(m, false, types);
    EXPECT_TRUE(text.starts_with("To: \r\n")) << text;
    EXPECT_EQ(text.find("\r\ncc:"), std::string::npos);
    EXPECT_EQ(text.find("\r\nBcc:"), std::string::npos);  // a subject cannot add a header
    EXPECT_NE(text.find("From: <me@example.org>\r\n"), std::string::npos);
    EXPECT_NE(text.find("Content-Type: text/plain; charset=\"ISO-8859-1\""), std::string::npos);

    m.To = "a@x.org;Bee <b@y.org>";
    m.Cc = "c@z.org";
    text = Write(m, false, types);
    EXPECT_TRUE(text.starts_with("To: <a@x.org>, Bee <b@y.org>\r\ncc: <c@z.org>\r\n")) << text;
}

TEST(MimeWriter, AttachmentsGoOutAndReadBack) {
    tess::test::TempHome home;
    const std::string report = (home.path() / "report.pdf").string();
    const std::string data = (home.path() / "data.zzq").string();
    std::string pdf = "%PDF-1.4\n\x01\x02\xff binary";
    std::ofstream(report, std::ios::binary) << pdf;
    std::ofstream(data, std::ios::binary) << "raw";

    inet::CContentTypeList types;
    types.Add("application/pdf", ".pdf");
    CMsg m;
    m.From = "me@example.org";
    m.To = "you@example.org";
    m.Body = "see attached";
    m.AttachmentNames = report + "," + data;

    std::string plain = Write(m, false, types);
    EXPECT_NE(plain.find("see attached\r\n\r\n***Attachments excluded by request.***"), std::string::npos);
    EXPECT_EQ(plain.find("multipart"), std::string::npos);

    std::string text = Write(m, true, types);
    EXPECT_NE(text.find("Content-Type: multipart/mixed; boundary=\"BOUNDARY\""), std::string::npos);
    EXPECT_NE(text.find("Content-Type: application/octet-stream;\r\n\t name=\"data.zzq\""), std::string::npos);

    inet::CMimeMessage reader;
    auto lines = inet::SplitLines(text);
    ASSERT_TRUE(reader.Parse(0, lines.size(), lines, true));
    EXPECT_EQ(reader.Header(inet::kHdrFrom), "<me@example.org>");
    const inet::MimePart* body = reader.FindTextPart(false);
    ASSERT_NE(body, nullptr);
    EXPECT_EQ(body->body.substr(0, 12), "see attached");
    auto attachments = reader.Attachments();
    ASSERT_EQ(attachments.size(), 2u);
    EXPECT_EQ(attachments[0]->fileName, "report.pdf");
    EXPECT_EQ(attachments[0]->contentType, "application/pdf");
    std::string decoded;
    ASSERT_EQ(tess::Base64DecodeString(attachments[1]->body, decoded), 0);
    EXPECT_EQ(decoded, "raw");
    std::vector<uint8_t> bytes;
    uint32_t count = 0;
    ASSERT_EQ(tess::Base64Decode(attachments[0]->body, bytes, &count), 0);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + count), pdf);
}

TEST(MimeWriter, HeaderValuesFoldAtBlanksAndEncodeWhatCannotStand) {
    const std::string words = [] {
        std::string w;
        for (int i = 0; i < 300; ++i) w += "word" + std::to_string(i) + " ";
        return w;
    }();
    struct Case {
        const char* what;
        std::string value;
        bool encoded;
    } cases[] = {
        {"short", "plain text", false},
        {"line breaks", "a\r\nBcc: x", false},
        {"long, with blanks", words, false},
        {"8-bit", "Caf\xe9", true},
        {"one word longer than a line", std::string(1200, 'z'), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string out = inet::HeaderValue(c.value, "ISO-8859-1");
        EXPECT_EQ(out.find("=?ISO-8859-1?B?") != std::string::npos, c.encoded) << out;
        // Every line fits, and only folds (CR LF and a blank) break it.
        std::string unfolded;
        for (size_t at = 0;;) {
            const size_t end = out.find("\r\n", at);
            EXPECT_LE((end == std::string::npos ? out.size() : end) - at, 900u);
            if (end == std::string::npos) {
                unfolded += out.substr(at);
                break;
            }
            unfolded += out.substr(at, end - at);
            ASSERT_EQ(out[end + 2], ' ');
            at = end + 2;
            if (c.encoded) ++at;  // encoded words: the fold's blank is not text
        }
        if (!c.encoded) {
            std::string expected = c.value;
            for (char& ch : expected)
                if (ch == '\r' || ch == '\n') ch = ' ';
            EXPECT_EQ(unfolded, expected);
        } else {
            std::string decoded = out;
            inet::CMimeMessage::DecodeEncodedWords(decoded);
            EXPECT_NE(decoded.find(c.value.substr(0, 3)), std::string::npos) << decoded;
        }
    }
}

TEST(MimeWriter, QuotedPrintableComesBackByteForByte) {
    std::string all;
    for (int i = 1; i < 256; ++i) all += static_cast<char>(i);
    for (const std::string& text : {all, std::string("trailing blank \nand tab\t\n"), std::string(300, '=')}) {
        const std::string encoded = inet::EncodeQuotedPrintable(text);
        for (size_t at = 0, end; (end = encoded.find("\r\n", at)) != std::string::npos; at = end + 2)
            EXPECT_LE(end - at, 76u);
        std::string decoded = encoded;
        ASSERT_TRUE(inet::CMimeMessage::DecodeQuotedPrintable(decoded));
        for (size_t at = 0; (at = decoded.find("\r\n", at)) != std::string::npos;) decoded.erase(at, 1);
        std::string expected = text;
        for (size_t at = 0; (at = expected.find("\r\n", at)) != std::string::npos;) expected.erase(at, 1);
        EXPECT_EQ(decoded, expected);
    }
}

}  // namespace
