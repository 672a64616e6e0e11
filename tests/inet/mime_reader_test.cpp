// The MIME reader: fixtures written by Python's email package, and the cases that
// decide how headers, parts and bodies are read.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/base64.h"
#include "hosts/inet/mime_message.h"
#include "tests/support/test_home.h"

namespace {

using inet::CMimeMessage;
using inet::MimePart;

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::pair<std::string, std::string>> ReadExpect(const std::filesystem::path& path) {
    std::string data = ReadFile(path);
    std::vector<std::pair<std::string, std::string>> fields;
    std::size_t pos = 0;
    while (pos < data.size()) {
        std::size_t lf = data.find('\n', pos);
        std::string head = data.substr(pos, lf - pos);
        std::size_t sp = head.rfind(' ');
        std::size_t length = std::stoul(head.substr(sp + 1));
        fields.emplace_back(head.substr(0, sp), data.substr(lf + 1, length));
        pos = lf + 1 + length + 1;
    }
    return fields;
}

std::string TrimEnd(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
    return s;
}

std::string Decode64(const std::string& text) {
    std::vector<uint8_t> bytes;
    uint32_t count = 0;
    EXPECT_EQ(tess::Base64Decode(text, bytes, &count), 0);
    return std::string(bytes.begin(), bytes.begin() + count);
}

class MimeFixtures : public testing::TestWithParam<const char*> {};

TEST_P(MimeFixtures, ReadAsPythonWroteThem) {
    std::filesystem::path dir = tess::test::sourceDir() / "tests/inet/fixtures";
    std::string raw = ReadFile(dir / (std::string(GetParam()) + ".eml"));
    auto lines = inet::SplitLines(raw);
    CMimeMessage message;
    ASSERT_TRUE(message.Parse(0, lines.size(), lines, true));
    auto attachments = message.Attachments();
    std::size_t attachment = 0;
    const MimePart* text = message.FindTextPart(false);
    const MimePart* html = message.FindTextPart(true);
    for (const auto& [key, value] : ReadExpect(dir / (std::string(GetParam()) + ".expect"))) {
        SCOPED_TRACE(key);
        if (key == "from") {
            EXPECT_EQ(message.Header(inet::kHdrFrom), value);
        }
        if (key == "subject") {
            EXPECT_EQ(message.Header(inet::kHdrSubject), value);
        }
        if (key == "date") {
            EXPECT_EQ(message.Header(inet::kHdrDate), value);
        }
        if (key == "text") {
            ASSERT_NE(text, nullptr);
            EXPECT_EQ(TrimEnd(text->body), TrimEnd(value));
        }
        if (key == "text-contains") {
            ASSERT_NE(text, nullptr);
            EXPECT_NE(text->body.find(value), std::string::npos) << text->body;
        }
        if (key == "html") {
            ASSERT_NE(html, nullptr);
            EXPECT_EQ(TrimEnd(html->body), TrimEnd(value));
            if (!text) {
                EXPECT_EQ(message.Parts().size(), 1u);
            }
        }
        if (key == "base64-utf8") {
            ASSERT_NE(text, nullptr);
            EXPECT_EQ(text->transferEncoding, "base64");
            EXPECT_EQ(Decode64(text->body), value);
        }
        if (key == "attachment") {
            ASSERT_LT(attachment, attachments.size());
            EXPECT_EQ(attachments[attachment]->fileName, value);
        }
        if (key == "bytes") {
            ASSERT_LT(attachment, attachments.size());
            EXPECT_EQ(Decode64(attachments[attachment++]->body), value);
        }
    }
    EXPECT_EQ(attachment, attachments.size());
}

INSTANTIATE_TEST_SUITE_P(Python, MimeFixtures,
                         testing::Values("nested", "quoted_printable", "base64_body", "encoded_words", "html_only",
                                         "forwarded"));

CMimeMessage Parsed(const std::string& text, bool qp = true) {
    CMimeMessage message;
    auto lines = inet::SplitLines(text);
    EXPECT_TRUE(message.Parse(0, lines.size(), lines, qp)) << text;
    return message;
}

TEST(MimeReader, HeaderBlock) {
    struct {
        const char* text;
        int header;
        const char* value;
    } cases[] = {
        {"Content-Type: text/html\r\n\r\nx", inet::kHdrContentType, "text/html"},
        {"Content-Type: text/html; charset=utf-8\r\n\r\nx", inet::kHdrContentType, "text/html"},
        {"Content-Type: multipart/mixed; boundary=abc def\r\n\r\n", inet::kHdrBoundary, "abc"},
        {"Received: from a; Mon, 1 Dec 2026 10:00:00 +0000\r\nReceived: from b; Sun, 30 Nov 2026 "
         "10:00:00 +0000\r\n\r\n",
         inet::kHdrReceived, "Mon, 1 Dec 2026 10:00:00 +0000"},
        {"Received: from a by b\r\n\tfor c;\r\n\tMon, 1 Dec 2026 10:00:00 +0000\r\n\r\n", inet::kHdrReceived,
         "Mon, 1 Dec 2026 10:00:00 +0000"},
        {"Date: Tue, 2 Dec 2026 08:00:00 +0000\r\n\r\n", inet::kHdrReceived, "Tue, 2 Dec 2026 08:00:00 +0000"},
        {"From: a@b.c\r\nSubject: last header\r\n\r\n", inet::kHdrSubject, "last header"},
        {"From: f@x\r\nReturn-Path: <bounce@x>\r\nReply-To: r@x\r\n\r\n", inet::kHdrReplyTo, "r@x"},
        {"From: f@x\r\nReply-To: r@x\r\nReturn-Path: <bounce@x>\r\n\r\n", inet::kHdrReplyTo, "<bounce@x>"},
        {"From: f@x\r\nReply-To: group: r@x;\r\n\r\n", inet::kHdrReplyTo, "f@x"},
        {"To: a@x,\r\n b@y\r\n\r\n", inet::kHdrTo, "a@x, b@y"},
        {"Subject: before =?iso-8859-1?q?caf=E9_cr=E8me?= after\r\n\r\n", inet::kHdrSubject,
         "before caf\xe9 cr\xe8me after"},
        {"Subject: =?utf-8?b?w6k=?= =?utf-8?q?=C3=A8?= and =?x?y?z?=\r\n\r\n", inet::kHdrSubject,
         "\xe9\xe8 and =?x?y?z?="},
        // Raw 8-bit text: UTF-8 when it reads as UTF-8, else the handheld's own set.
        {"Subject: caf\xC3\xA9 cr\xC3\xA8me\r\n\r\n", inet::kHdrSubject, "caf\xe9 cr\xe8me"},
        {"From: Ren\xC3\xA9 <r@x>\r\n\r\n", inet::kHdrFrom, "Ren\xe9 <r@x>"},
        {"To: J\xC3\xB6rg <j@x>,\r\n Zo\xC3\xAB <z@x>\r\n\r\n", inet::kHdrTo, "J\xf6rg <j@x>, Zo\xeb <z@x>"},
        {"Subject: \xE2\x82\xAC 5 \xE6\x97\xA5 \xF0\x9F\x98\x80\r\n\r\n", inet::kHdrSubject, "\x80 5 ? ?"},
        // Encoded words decode to the handheld's set and are not read a second time.
        {"Subject: \xC3\xA9 =?iso-8859-1?q?=E9?= =?utf-8?q?=C3=A9?=\r\n\r\n", inet::kHdrSubject, "\xe9 \xe9\xe9"},
        // Not UTF-8: the handheld's own set, bytes kept.
        {"Subject: caf\xe9 cr\xe8me\r\n\r\n", inet::kHdrSubject, "caf\xe9 cr\xe8me"},
        {"Subject: \xC3\xA9 and caf\xe9\r\n\r\n", inet::kHdrSubject, "\xC3\xA9 and caf\xe9"},
        {"Subject: overlong \xC0\xAF\r\n\r\n", inet::kHdrSubject, "overlong \xC0\xAF"},
        {"Subject: surrogate \xED\xA0\x80\r\n\r\n", inet::kHdrSubject, "surrogate \xED\xA0\x80"},
        {"Subject: cut \xE2\x82\r\n\r\n", inet::kHdrSubject, "cut \xE2\x82"},
    };
    for (const auto& c : cases) {
        CMimeMessage m = Parsed(c.text);
        EXPECT_EQ(m.Header(c.header), c.value) << c.text;
    }
    CMimeMessage empty;
    std::vector<std::string> none;
    EXPECT_FALSE(empty.Parse(0, 0, none, true));
}

// Raw 8-bit header text reaches the handheld in its set as encoded words do (the header
// table holds the cases), file name parameters included.
TEST(MimeReader, RawHeaderTextLikeEncodedWords) {
    EXPECT_EQ(Parsed("Subject: caf\xC3\xA9\r\n\r\n").Header(inet::kHdrSubject),
              Parsed("Subject: =?UTF-8?Q?caf=C3=A9?=\r\n\r\n").Header(inet::kHdrSubject));

    CMimeMessage named = Parsed(
        "From: a@b\r\nContent-Type: multipart/mixed; boundary=\"XX\"\r\n\r\n--XX\r\n"
        "Content-Type: application/pdf; name=\"na\xC3\xAFve.pdf\"\r\nContent-Disposition: inline\r\n\r\nQUJD\r\n"
        "--XX\r\nContent-Disposition: attachment; filename=\"r\xC3\xA9sum\xC3\xA9.pdf\"\r\n\r\nQUJD\r\n--XX--\r\n");
    const auto attachments = named.Attachments();
    ASSERT_EQ(attachments.size(), 2u);
    EXPECT_EQ(attachments[0]->fileName, "na\xefve.pdf");
    EXPECT_EQ(attachments[1]->fileName, "r\xe9sum\xe9.pdf");
}

TEST(MimeReader, QuotedPrintable) {
    struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"a=3Db=3db", "a=b=b"},
        {"soft=\r\nbreak\r\nhard", "softbreak\nhard"},
        {"trailing soft=", "trailing soft"},
        {"=E9t=E9", "\xe9t\xe9"},
        {"bad =Zx stays", "bad =Zx stays"},
        {"blanks= \t\r\nafter", "blanksafter"},
        {"bare lf=\nnext", "bare lfnext"},
        {"lone\rcr", "lonecr"},
        {"cut =4", "cut =4"},
        {"==41=", "=A"},
        {"", ""},
    };
    for (const auto& c : cases) {
        std::string text = c.in;
        CMimeMessage::DecodeQuotedPrintable(text);
        EXPECT_EQ(text, c.out) << c.in;
    }
}

TEST(MimeReader, HtmlToText) {
    struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"one<br>two", "one\ntwo"},
        {"a&nbsp;b<br>", "ab\n"},
        {"fish &amp; chips<br>", "fish amp; chips\n"},
        {"<p>para</p><script>var x = '<b>';</script>after", "para\nafter"},
        {"line\r\n   next<br>", "line next\n"},
        {"no tags &amp; here", "no tags &amp; here"},
    };
    for (const auto& c : cases) {
        std::string out;
        CMimeMessage::HtmlToText(c.in, out);
        EXPECT_EQ(out, c.out) << c.in;
    }
}

TEST(MimeReader, PartsAndAttachments) {
    const char* text =
        "From: a@b\r\nContent-Type: multipart/mixed; boundary=\"XX\"\r\n\r\npreamble\r\n"
        "--XX\r\nContent-Type: text/plain\r\n\r\nbody text\r\n"
        "--XX\r\nContent-Type: application/octet-stream\r\nContent-Disposition: attachment\r\n\r\n"
        "QUJD\r\n"
        "--XX\r\nContent-Type: application/pdf; name=\"r.pdf\"\r\n"
        "Content-Disposition: attachment; filename=\"=?utf-8?q?r=C3=A9sum=C3=A9.pdf?=\"\r\n"
        "Content-Transfer-Encoding: base64\r\n\r\nQUJD\r\n"
        "--XX--\r\nepilogue\r\n";
    CMimeMessage m = Parsed(text);
    ASSERT_EQ(m.Parts().size(), 3u);
    ASSERT_NE(m.FindTextPart(false), nullptr);
    EXPECT_EQ(m.FindTextPart(false)->body, "body text\n");
    auto attachments = m.Attachments();  // the part without a name is no attachment
    ASSERT_EQ(attachments.size(), 1u);
    EXPECT_EQ(attachments[0]->fileName, "r\xe9sum\xe9.pdf");
    EXPECT_EQ(attachments[0]->transferEncoding, "base64");
}

// The attachment's name given only in the RFC 2231 form (charset'language'%XX, sections in
// order), on Content-Disposition or Content-Type.
TEST(MimeReader, Rfc2231FileNames) {
    const std::string longSection(5000, 'L');
    std::string manySections = "Content-Disposition: attachment";
    for (int i = 0; i < 100; ++i) manySections += "; filename*" + std::to_string(i) + "=a";
    const struct {
        std::string headers;
        std::string name;
    } cases[] = {
        {"Content-Disposition: attachment; filename*=UTF-8''%E2%82%AC%20rates.pdf", "\x80 rates.pdf"},
        {"Content-Disposition: attachment; filename*=iso-8859-1'en'caf%E9.txt", "caf\xe9.txt"},
        {"Content-Disposition: attachment;\r\n filename*0*=UTF-8''r%C3%A9sum;\r\n filename*1=\"e 2026.pdf\"",
         "r\xe9sume 2026.pdf"},
        {"Content-Disposition: attachment; filename*1*=%C3%A9.txt; filename*0*=utf-8''caf", "caf\xe9.txt"},
        {"Content-Disposition: attachment; filename*0=a; filename*2=c.txt", "a"},  // stops at the gap
        {"Content-Disposition: attachment; filename*00=x; filename*0=y.txt", "y.txt"},
        {"Content-Type: application/pdf; name*=utf-8''na%C3%AFve.pdf\r\nContent-Disposition: attachment",
         "na\xefve.pdf"},
        {"Content-Type: application/pdf; name*0=\"two \"; name*1=parts.pdf\r\nContent-Disposition: inline",
         "two parts.pdf"},
        // Where a mailer writes both, the RFC 2231 one is the exact one.
        {"Content-Disposition: attachment; filename=\"fallback.pdf\"; filename*=UTF-8''%C3%A9t%C3%A9.pdf",
         "\xe9t\xe9.pdf"},
        {"Content-Disposition: attachment; xfilename*=UTF-8''x.pdf; filename*=''real.pdf", "real.pdf"},
        // Malformed: the plain name where there is one, else the value as written.
        {"Content-Disposition: attachment; filename=\"plain.pdf\"; filename*=UTF-8''bad%zz.pdf", "plain.pdf"},
        {"Content-Disposition: attachment; filename*=UTF-8''bad%zz.pdf", "UTF-8''bad%zz.pdf"},
        {"Content-Disposition: attachment; filename*=UTF-8''trail%4", "UTF-8''trail%4"},
        {"Content-Disposition: attachment; filename*=no-quotes.pdf", "no-quotes.pdf"},
        {"Content-Disposition: attachment; filename*0*=no-quotes; filename*1*=%41.pdf", "no-quotes%41.pdf"},
        // Bounded: 64 sections, 1024 bytes.
        {manySections, std::string(64, 'a')},
        {"Content-Disposition: attachment; filename*0=" + longSection + "; filename*1=x", std::string(1024, 'L')},
    };
    for (const auto& c : cases) {
        const std::string text =
            "From: a@b\r\nContent-Type: multipart/mixed; boundary=\"XX\"\r\n\r\n"
            "--XX\r\nContent-Type: text/plain\r\n\r\nbody\r\n--XX\r\n" +
            c.headers + "\r\nContent-Transfer-Encoding: base64\r\n\r\nQUJD\r\n--XX--\r\n";
        CMimeMessage m = Parsed(text);
        const auto attachments = m.Attachments();
        ASSERT_EQ(attachments.size(), 1u) << c.headers;
        EXPECT_EQ(attachments[0]->fileName, c.name) << c.headers;
    }
    // A message that is a single attachment part.
    CMimeMessage single = Parsed(
        "From: a@b\r\nContent-Type: application/pdf\r\n"
        "Content-Disposition: attachment; filename*=UTF-8''only%20part.pdf\r\n\r\nQUJD\r\n");
    ASSERT_EQ(single.Attachments().size(), 1u);
    EXPECT_EQ(single.Attachments()[0]->fileName, "only part.pdf");
}

TEST(MimeReader, EachParseStartsClean) {
    // A multipart whose closing line is missing must not leave anything behind.
    const char* broken =
        "Subject: one\r\nContent-Type: multipart/mixed; boundary=\"B1\"\r\n\r\n"
        "--B1\r\nContent-Type: text/plain\r\n\r\nfirst\r\n"
        "--B1\r\nContent-Type: multipart/alternative; boundary=\"B2\"\r\n\r\n"
        "--B2\r\nContent-Type: text/plain\r\n\r\nunfinished\r\n";
    CMimeMessage m;
    auto lines = inet::SplitLines(broken);
    ASSERT_TRUE(m.Parse(0, lines.size(), lines, true));
    EXPECT_EQ(m.FindTextPart(false)->body, "first\n");

    auto next = inet::SplitLines("Subject: two\r\n\r\n--B1\r\nplain body\r\n");
    ASSERT_TRUE(m.Parse(0, next.size(), next, true));
    EXPECT_EQ(m.Header(inet::kHdrSubject), "two");
    EXPECT_EQ(m.Header(inet::kHdrBoundary), "");
    ASSERT_EQ(m.Parts().size(), 1u);
    EXPECT_EQ(m.Parts().front().body, "--B1\nplain body\n");
}

TEST(MimeReader, DeepNestingIsBounded) {
    std::string text;
    for (int i = 0; i < 200; ++i) {
        text += "Content-Type: multipart/mixed; boundary=\"b" + std::to_string(i) + "\"\r\n\r\n--b" +
                std::to_string(i) + "\r\nContent-Type: message/rfc822\r\n\r\n";
    }
    text += "Subject: deep\r\n\r\nbody\r\n";
    CMimeMessage m;
    auto lines = inet::SplitLines(text);
    EXPECT_TRUE(m.Parse(0, lines.size(), lines, true));
}

}  // namespace
