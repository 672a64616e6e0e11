// Attachment chains from files and back to files, part-information and id-cache records,
// and the mapped and plain file classes underneath.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "common/handheld_records.h"
#include "common/mapped_file.h"
#include "tests/common/record_bytes.h"
#include "tests/support/test_home.h"

namespace tess::test {

namespace fs = std::filesystem;

namespace {

fs::path WriteFile(const fs::path& p, size_t bytes, char fill = 'q') {
    std::ofstream(p, std::ios::binary) << std::string(bytes, fill);
    return p;
}

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

TEST(AttachmentChain, FilesBecomePiecesAndATerminator) {
    TempHome home;
    struct Case {
        const char* name;
        size_t bytes;
        std::vector<size_t> pieces;
    } cases[] = {
        {"empty.txt", 0, {}},
        {"small.doc", 10, {10}},
        {"exact.bin", kAttachmentPieceBytes, {kAttachmentPieceBytes}},
        {"over.bin", kAttachmentPieceBytes + 1, {kAttachmentPieceBytes, 1}},
        // A text type carries one more zero byte; with a long name the piece shrinks so
        // the record still fits.
        {"x.csv", kAttachmentPieceBytes, {kAttachmentPieceBytes}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path p = WriteFile(home.path() / c.name, c.bytes);
        CAttachmentChain chain;
        ASSERT_EQ(chain.MakeFromFile(p.string(), true), kRecordOk);
        ASSERT_EQ(chain.entries.size(), c.pieces.size() + 1);
        for (size_t i = 0; i < c.pieces.size(); ++i) {
            EXPECT_EQ(chain.entries[i].data.size(), c.pieces[i]);
            EXPECT_TRUE(chain.entries[i].kind & 0x80);
            HandheldRecord r;
            ASSERT_EQ(chain.entries[i].Pack(r), kRecordOk);
            EXPECT_LE(r.data.size(), kMaxRecordBytes);
        }
        EXPECT_TRUE(chain.entries.back().IsTerminator());
    }
    // The longest file name on a text type: every record within the limit, nothing lost.
    const std::string longName = std::string(251, 'n') + ".csv";
    const fs::path p = WriteFile(home.path() / longName, 2 * kAttachmentPieceBytes);
    CAttachmentChain chain;
    ASSERT_EQ(chain.MakeFromFile(p.string(), false), kRecordOk);
    size_t total = 0;
    for (const AttachmentEntry& e : chain.entries) {
        HandheldRecord r;
        ASSERT_EQ(e.Pack(r), kRecordOk);
        EXPECT_LE(r.data.size(), kMaxRecordBytes);
        total += e.data.size();
    }
    EXPECT_EQ(total, 2 * kAttachmentPieceBytes);
    EXPECT_EQ(chain.entries.front().Type(), kAttCsv);
}

TEST(AttachmentChain, MissingFileIsAnError) {
    CAttachmentChain chain;
    EXPECT_EQ(chain.MakeFromFile("/nonexistent/dir/file.txt", false), kRecordNoMemory);
    EXPECT_TRUE(chain.entries.empty());
}

TEST(AttachmentChain, UnpackTakesBackTheTextZeroAndRefusesShortRecords) {
    AttachmentEntry e;
    struct Case {
        const char* name;
        Bytes data;
        int rc;
        std::string fileName;
        size_t dataBytes;
    } cases[] = {
        {"csv drops its extra zero", Cat({Hex("00000011"), Str("a.csv"), Hex("4142"), Hex("00")}), kRecordOk, "a.csv",
         2},
        {"binary keeps every byte", Cat({Hex("00000002"), Str("a.dat"), Hex("414200")}), kRecordOk, "a.dat", 3},
        {"directory from the handheld is dropped", Cat({Hex("00000000"), Str("..\\..\\etc/passwd")}), kRecordOk,
         "passwd", 0},
        {"name without its NUL", Cat({Hex("00000000"), Hex("4142")}), kRecordShort, "", 0},
        {"no kind word", Hex("0000"), kRecordShort, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HandheldRecord r;
        r.data = c.data;
        AttachmentEntry got;
        EXPECT_EQ(got.Unpack(r), c.rc);
        if (c.rc == kRecordOk) {
            EXPECT_EQ(got.name, c.fileName);
            EXPECT_EQ(got.data.size(), c.dataBytes);
        }
    }
}

TEST(AttachmentChain, TempFilesStayInTheirDirectoryUnderUniqueNames) {
    TempHome home;
    std::error_code ec;
    auto temp = platform::TempDir::create(ec);
    ASSERT_TRUE(temp) << ec.message();
    const fs::path dir = temp->path();
    auto chainNamed = [](const std::string& name, uint32_t kind, const std::string& data) {
        CAttachmentChain c;
        AttachmentEntry e;
        e.kind = kind;
        e.name = name;
        e.data.assign(data.begin(), data.end());
        c.entries.push_back(e);
        c.entries.push_back(CAttachmentChain::Terminator());
        return c;
    };
    struct Case {
        std::string name;
        uint32_t kind;
        std::string expected;
    } cases[] = {
        {"report", kAttDoc, "report.doc"},            // no extension: its type's
        {"a,b.txt", kAttTxt, "a b.txt"},              // commas become blanks
        {"../../escape.txt", kAttTxt, "escape.txt"},  // never leaves the directory
        {"C:\\Windows\\evil.dat", kAttDat, "evil.dat"},
        {"..", kAttPdf, "file.pdf"},
        {std::string("\x01") + "bell.txt", kAttTxt, "bell.txt"},
        {"report", kAttDoc, "report-1.doc"},  // never overwrites
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path p = chainNamed(c.name, c.kind, "data").WriteToTempFile(*temp);
        EXPECT_EQ(p, dir / c.expected);
        EXPECT_EQ(ReadAll(p), "data");
    }
    CAttachmentChain empty;
    EXPECT_TRUE(empty.WriteToTempFile(*temp).empty());
    fs::remove_all(dir);
    EXPECT_TRUE(chainNamed("x.txt", 0, "d").WriteToTempFile(*temp).empty());
}

TEST(PartInfoRecord, PacksIdsAsBase64AndReadsThemBack) {
    CPartInfoRecord p;
    p.recordId = 77;
    for (int i = 0; i < 5; ++i) p.values[i] = 0x01020304u * (i + 1);
    p.name = "part";
    p.SetFirstId(CId("abc", 3));
    p.SetSecondId(CId());
    HandheldRecord r;
    ASSERT_EQ(p.Pack(r), kRecordOk);
    EXPECT_EQ(r.data, Cat({Hex("01020304 02040608 0306090C 04080C10 050A0F14"), Str("part"), Str("YWJj"), Str("")}));
    CPartInfoRecord back;
    ASSERT_EQ(back.Unpack(r), kRecordOk);
    EXPECT_TRUE(back.firstId.IsEqual(CId("abc", 3)));
    EXPECT_TRUE(back.secondId.IsEmpty());
    EXPECT_EQ(back.values[4], p.values[4]);
    for (size_t cut = 0; cut < r.data.size(); ++cut) {
        HandheldRecord shortRec = r;
        shortRec.data.resize(cut);
        EXPECT_EQ(back.Unpack(shortRec), kRecordShort) << cut;
    }
}

TEST(IdCacheRecord, LengthsCountTheNul) {
    CIdCacheRecord c;
    c.category = 3;
    c.time = 0x11223344;
    c.texts[0] = "42";
    c.texts[1] = "Subject";
    c.texts[2] = "";
    HandheldRecord r;
    ASSERT_EQ(c.Pack(r), kRecordOk);
    EXPECT_EQ(r.data,
              Cat({Hex("00 11223344"), Hex("0003"), Str("42"), Hex("0008"), Str("Subject"), Hex("0001"), Str("")}));
    EXPECT_EQ(r.data.size(), 2 + 7 + 0 + 14u);
    CIdCacheRecord back;
    ASSERT_EQ(back.Unpack(r), kRecordOk);
    EXPECT_EQ(back.texts[1], "Subject");
    EXPECT_EQ(back.time, 0x11223344u);
    r.data[5] = 0xFF;  // a length past the record
    EXPECT_EQ(back.Unpack(r), kRecordShort);
}

TEST(MappedFile, ReadsInPiecesAndReportsTheEnd) {
    TempHome home;
    struct Step {
        int rc;
        uint32_t length;
    };
    struct Case {
        size_t fileBytes;
        std::vector<Step> steps;
    } cases[] = {
        {10, {{0, 4}, {0, 4}, {1, 2}}},
        {8, {{0, 4}, {1, 4}, {1, 4}}},
        {0, {{1, 4}}},  // an empty file opens with nothing to read
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fileBytes);
        const fs::path p = WriteFile(home.path() / "f.bin", c.fileBytes);
        CMappedFile f(p.string());
        ASSERT_TRUE(f.IsOpen());
        uint8_t buf[4];
        for (const Step& s : c.steps) {
            uint8_t* b = buf;
            uint32_t len = 4;
            EXPECT_EQ(f.Read(&b, &len), s.rc);
            EXPECT_EQ(len, s.length);
        }
    }
    CMappedFile missing((home.path() / "none").string());
    uint8_t buf[4];
    uint8_t* b = buf;
    uint32_t len = 4;
    EXPECT_EQ(missing.Read(&b, &len), kMappedReadNotOpen);
    CMappedFile f(WriteFile(home.path() / "g", 3).string());
    uint8_t* null = nullptr;
    EXPECT_EQ(f.Read(&null, &len), kMappedReadBadArgument);
    len = 0;
    EXPECT_EQ(f.Read(&b, &len), kMappedReadBadArgument);
}

TEST(MappedFile, SeeksWithinTheFileOnly) {
    TempHome home;
    CMappedFile f(WriteFile(home.path() / "s", 10).string());
    f.Seek(kSeekStart, 4);
    EXPECT_EQ(f.Position(), 4u);
    f.Seek(kSeekStart, 11);
    EXPECT_EQ(f.Position(), 4u);
    f.Seek(kSeekFromEnd, 3);
    EXPECT_EQ(f.Position(), 7u);
    f.Seek(kSeekEnd, 0);
    EXPECT_EQ(f.Position(), 10u);
    f.Seek(9, 0);
    EXPECT_EQ(f.Position(), 10u);
}

TEST(MappedFile, MappingIsReadOnly) {
    TempHome home;
    const fs::path p = WriteFile(home.path() / "ro.txt", 5);
    fs::permissions(p, fs::perms::owner_read);
    CMappedFile f(p.string());
    EXPECT_TRUE(f.IsOpen());  // a file we may only read still opens
    EXPECT_EQ(ReadAll(p), "qqqqq");
}

TEST(AttachmentKind, ByLastExtensionAnyCase) {
    TempHome home;
    struct Case {
        const char* name;
        uint8_t kind;
    } cases[] = {{"a.PDF", 19}, {"a.HTM", 1}, {"a.html", 1}, {"a", 0},      {"a.tar.zip", 10},
                 {"a.vca", 16}, {"a.xyz", 0}, {"a.Csv", 17}, {"dir.d/a", 0}};
    for (const Case& c : cases) {
        CTypedMappedFile f(WriteFile(home.path() / c.name, 1).string());
        EXPECT_EQ(f.GetAttachmentKind(), c.kind) << c.name;
    }
    EXPECT_EQ(CTypedMappedFile((home.path() / "missing.pdf").string()).GetAttachmentKind(), 0);
    EXPECT_STREQ(AttachmentTypeExtension(6), ".doc");
    EXPECT_STREQ(AttachmentTypeExtension(99), ".txt");
}

TEST(PlainFile, CreateTruncatesAndReadAtEndGivesZero) {
    TempHome home;
    const fs::path p = WriteFile(home.path() / "plain", 5);
    CPlainFile f(p.c_str(), true);
    ASSERT_TRUE(f.IsOpen());
    EXPECT_EQ(fs::file_size(p), 0u);
    const uint8_t data[3] = {1, 2, 3};
    uint32_t n = 3;
    EXPECT_NE(f.Write(data, &n), 0);
    EXPECT_EQ(n, 3u);
    uint8_t buf[8];
    uint8_t* b = buf;
    n = sizeof buf;
    EXPECT_EQ(f.Read(&b, &n), 0);  // positioned at the end
    EXPECT_EQ(n, 0u);
    f.Close();
    EXPECT_EQ(f.Read(&b, &n), 0);
    CPlainFile reopen(p.c_str(), false);
    n = sizeof buf;
    EXPECT_NE(reopen.Read(&b, &n), 0);
    EXPECT_EQ(n, 3u);
}

TEST(LineEnds, ExpandAndStrip) {
    EXPECT_EQ(ExpandLineFeeds("a\nb", 3), "a\r\nb");
    EXPECT_EQ(ExpandLineFeeds("ab", 2), "ab");
    const struct {
        std::string in, out;
    } expand[] = {
        {"\n", "\r\n"},
        {"\n\nx\n", "\r\n\r\nx\r\n"},
        {"a\r\nb", "a\r\r\nb"},  // a line end already whole gets one more CR, as ever
        {std::string("a\0\nb", 4), std::string("a\0\r\nb", 5)},
        {"", ""},
    };
    for (const auto& c : expand) EXPECT_EQ(ExpandLineFeeds(c.in.data(), c.in.size()), c.out) << c.in;
    EXPECT_EQ(ExpandLineFeeds("a\nb\nc", 3), "a\r\nb") << "no more than length is read";
    const struct {
        std::string in, out;
    } strip[] = {
        {"a\r\nb\r", "a\nb"},
        {std::string("ab\0cd", 5), "ab"},  // the text ends at its NUL
        {std::string("a\r\0\rb", 5), "a"},
        {"\r\r\r", ""},
        {"\r\nx\r\r\ny", "\nx\ny"},
        {"no returns", "no returns"},
        {"", ""},
    };
    for (const auto& c : strip) EXPECT_EQ(StripCarriageReturns(c.in.data(), c.in.size()), c.out) << c.in;
    EXPECT_EQ(StripCarriageReturns("ab\rcd", 3), "ab") << "no more than length is read";
    EXPECT_EQ(StripCarriageReturns(nullptr, 4), "");
    const uint8_t be[4] = {0x12, 0x34, 0x56, 0x78};
    EXPECT_EQ(ReadBigEndian32(be), 0x12345678u);
    EXPECT_EQ(Swap16(0x1234), 0x3412);
}

}  // namespace tess::test
