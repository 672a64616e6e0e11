// Attachment files written from mail: names made safe, kept apart, inside the directory.
#include <gtest/gtest.h>

#include <fstream>

#include "hosts/inet/host_messages.h"
#include "tests/support/test_home.h"

namespace {

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(HostMessages, AttachmentFileNames) {
    tess::test::TempHome home;
    const struct {
        const char* fromMail;
        const char* written;
    } cases[] = {
        {"report.pdf", "report.pdf"},
        {"report.pdf", "report(1).pdf"},
        {"../../escape.txt", "escape.txt"},
        // The engine gets the paths as one comma-separated list.
        {"Q1, Q2.txt", "Q1_ Q2.txt"},
        {"a,b,c", "a_b_c"},
    };
    for (const auto& c : cases) {
        const std::string bytes = std::string("data of ") + c.fromMail;
        std::string path = inet::WriteAttachmentFile(home.path(), c.fromMail, bytes);
        ASSERT_FALSE(path.empty()) << c.fromMail;
        EXPECT_EQ(std::filesystem::path(path).filename(), c.written) << c.fromMail;
        EXPECT_EQ(std::filesystem::path(path).parent_path(), home.path()) << c.fromMail;
        EXPECT_EQ(path.find(','), std::string::npos) << path;
        EXPECT_EQ(Read(path), bytes) << path;
    }
}

// A mailer's stray bytes in base64 do not cost the attachment or the body.
TEST(HostMessages, Base64PartsSkipForeignBytes) {
    inet::MimePart part;
    part.transferEncoding = "base64";
    part.body = "ZmlsZS*BieXRl\ncwo=\n";
    std::string bytes;
    ASSERT_TRUE(inet::DecodePartBody(part, bytes));
    EXPECT_EQ(bytes, "file bytes\n");

    inet::ParsedMessage parsed;
    parsed.text.transferEncoding = "Base64";
    parsed.text.body = "TGlu~ZSBvbmUK\nTGluZSB0d28K\n";
    EXPECT_EQ(inet::ChooseBody(parsed, false), "Line one\r\nLine two\r\n");
}

// Every line end becomes one CRLF; a CR not before a LF stays.
TEST(HostMessages, LineEndsBecomeCrLf) {
    const struct {
        std::string in, out;
    } cases[] = {
        {"a\nb\r\nc", "a\r\nb\r\nc"},
        {"\r\r\n", "\r\r\n"},
        {"lone\rcr\r", "lone\rcr\r"},
        {"\n\n", "\r\n\r\n"},
        {"\r\n", "\r\n"},
        {"no end", "no end"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(inet::NormalizeLineEnds(c.in), c.out) << c.in;
}

}  // namespace
