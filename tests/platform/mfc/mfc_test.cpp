#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/mfc/archive.h"
#include "platform/mfc/auto_delete_list.h"
#include "platform/mfc/cstring.h"
#include "platform/mfc/string_array.h"

using platform::mfc::CArchive;
using platform::mfc::CAutoDeleteList;
using platform::mfc::CString;
using platform::mfc::CStringArray;

namespace {

TEST(CString, BasicsAndConversions) {
    CString empty, fromNull(static_cast<const char*>(nullptr));
    EXPECT_TRUE(empty.IsEmpty());
    EXPECT_TRUE(fromNull.IsEmpty());
    EXPECT_STREQ(static_cast<const char*>(fromNull), "");
    CString s("Inbox");
    EXPECT_EQ(s.GetLength(), 5);
    EXPECT_EQ(std::strcmp(s, "Inbox"), 0);  // passes where a C string is wanted
    EXPECT_EQ(CString("abcdef", 3), "abc");
    EXPECT_EQ(CString("ab\0cd", 5).GetLength(), 2);  // stops at the NUL like the C text it is
    EXPECT_EQ(CString('-', 3), "---");
    EXPECT_EQ(s.GetAt(0), 'I');
    EXPECT_EQ(s.GetAt(5), '\0');
    EXPECT_EQ(s.GetAt(-1), '\0');
    s.SetAt(9, 'x');
    EXPECT_EQ(s, "Inbox");
}

TEST(CString, FormatAndAppend) {
    CString s;
    s.Format("%s has %d new message%s", "Inbox", 3, "s");
    EXPECT_EQ(s, "Inbox has 3 new messages");
    s.Format("%05.1f|%-4s|%x", 3.14159, "ab", 255u);
    EXPECT_EQ(s, "003.1|ab  |ff");
    const std::string longText(5000, 'z');
    s.Format("<%s>", longText.c_str());
    EXPECT_EQ(s.GetLength(), 5002);
    s.Format("%s", "");
    EXPECT_TRUE(s.IsEmpty());
    s = "a";
    s.AppendFormat("%d", 42);
    s += CString("b");
    s += "c";
    s += 'd';
    s += static_cast<const char*>(nullptr);
    EXPECT_EQ(s, "a42bcd");
    EXPECT_EQ(CString("x") + "y" + 'z', "xyz");
    EXPECT_EQ("w" + CString("v"), "wv");
}

TEST(CString, ComparisonsAndCase) {
    struct Case {
        const char* a;
        const char* b;
        int compare;
        int noCase;
    } cases[] = {
        {"abc", "abc", 0, 0},
        {"abc", "ABC", 1, 0},
        {"abc", "abd", -1, -1},
        {"ab", "abc", -1, -1},
        {"", "", 0, 0},
        {"INBOX", "inbox", -1, 0},
        {"\xE9t\xE9", "a", 1, 1},            // 8-bit bytes sort above ASCII
        {"\xC9T\xC9", "\xE9t\xE9", -1, -1},  // only ASCII letters fold
    };
    for (const auto& c : cases) {
        const CString a(c.a);
        EXPECT_EQ(a.Compare(c.b) > 0 ? 1 : a.Compare(c.b) < 0 ? -1 : 0, c.compare) << c.a << " vs " << c.b;
        EXPECT_EQ(a.CompareNoCase(c.b) > 0 ? 1 : a.CompareNoCase(c.b) < 0 ? -1 : 0, c.noCase) << c.a << " vs " << c.b;
        EXPECT_EQ(a == c.b, c.compare == 0);
        EXPECT_EQ(a != CString(c.b), c.compare != 0);
    }
    EXPECT_TRUE(CString("a") < CString("b"));
    CString mixed("Sent Items \xC9");
    EXPECT_EQ(CString(mixed).MakeLower(), "sent items \xC9");
    EXPECT_EQ(mixed.MakeUpper(), "SENT ITEMS \xC9");
}

TEST(CString, TrimFindAndSlices) {
    EXPECT_EQ(CString(" \t name \r\n").Trim(), "name");
    EXPECT_EQ(CString("  left").TrimLeft(), "left");
    EXPECT_EQ(CString("right  ").TrimRight(), "right");
    EXPECT_EQ(CString("xxaxx").Trim("x"), "a");
    EXPECT_EQ(CString(" \t ").Trim(), "");

    const CString path("C:\\Mail\\Inbox\\msg.eml");
    EXPECT_EQ(path.Find('\\'), 2);
    EXPECT_EQ(path.Find('\\', 3), 7);
    EXPECT_EQ(path.Find("Inbox"), 8);
    EXPECT_EQ(path.Find("Inbox", 9), -1);
    EXPECT_EQ(path.Find('?'), -1);
    EXPECT_EQ(path.Find('C', -1), -1);
    EXPECT_EQ(path.Find('C', 100), -1);
    EXPECT_EQ(path.Find("", path.GetLength()), path.GetLength());
    EXPECT_EQ(path.ReverseFind('\\'), 13);
    EXPECT_EQ(path.Mid(path.ReverseFind('\\') + 1), "msg.eml");

    struct Slice {
        int first, count;
        const char* mid;
    } slices[] = {{0, 3, "abc"}, {2, 2, "cd"}, {4, 10, "ef"}, {-3, 2, "ab"}, {10, 2, ""}, {1, -1, ""}};
    const CString s("abcdef");
    for (const auto& c : slices) EXPECT_EQ(s.Mid(c.first, c.count), c.mid) << c.first << "," << c.count;
    EXPECT_EQ(s.Left(2), "ab");
    EXPECT_EQ(s.Left(99), "abcdef");
    EXPECT_EQ(s.Left(-1), "");
    EXPECT_EQ(s.Right(2), "ef");
    EXPECT_EQ(s.Right(99), "abcdef");
    EXPECT_EQ(s.Right(-5), "");

    CString r("a,b,,c");
    EXPECT_EQ(r.Replace(",", ", "), 3);
    EXPECT_EQ(r, "a, b, , c");
    EXPECT_EQ(r.Replace("", "x"), 0);
    CString grow("aa");
    EXPECT_EQ(grow.Replace("a", "aa"), 2);  // replacement text is not searched again
    EXPECT_EQ(grow, "aaaa");
}

TEST(CStringArray, IndexesStayInBounds) {
    CStringArray a;
    EXPECT_TRUE(a.IsEmpty());
    EXPECT_EQ(a.Add("one"), 0);
    EXPECT_EQ(a.Add("three"), 1);
    a.InsertAt(1, "two");
    a.InsertAt(7, "ignored");
    EXPECT_EQ(a.GetSize(), 3);
    EXPECT_EQ(a.GetAt(1), "two");
    EXPECT_EQ(a.GetAt(3), "");
    EXPECT_EQ(a.GetAt(-1), "");
    a.SetAt(5, "ignored");
    a.SetAtGrow(4, "five");
    EXPECT_EQ(a.GetSize(), 5);
    EXPECT_EQ(a.GetAt(3), "");
    a.RemoveAt(3, 10);
    EXPECT_EQ(a.GetUpperBound(), 2);
    std::string joined;
    for (const CString& s : a) joined += s.str() + ";";
    EXPECT_EQ(joined, "one;two;three;");
    a.RemoveAll();
    EXPECT_EQ(a.GetCount(), 0);
}

// Counts live instances so that ownership mistakes show.
struct Tracked {
    static inline int alive = 0;
    int id;
    explicit Tracked(int i) : id(i) { ++alive; }
    ~Tracked() { --alive; }
};

TEST(CAutoDeleteList, OwnsWhatItHolds) {
    {
        CAutoDeleteList<Tracked> list;
        EXPECT_EQ(list.RemoveHead(), nullptr);
        EXPECT_FALSE(list.AddTail(nullptr));
        EXPECT_EQ(list.GetCount(), 0);
        for (int i = 1; i <= 4; ++i) ASSERT_TRUE(list.AddTail(new Tracked(i)));
        EXPECT_EQ(Tracked::alive, 4);
        int sum = 0;
        for (Tracked* t : list) sum = sum * 10 + t->id;
        EXPECT_EQ(sum, 1234);
        EXPECT_EQ(list.GetTail()->id, 4);

        Tracked* head = list.RemoveHead();  // handed over, not deleted
        EXPECT_EQ(head->id, 1);
        EXPECT_EQ(list.GetCount(), 3);
        delete head;
        EXPECT_EQ(Tracked::alive, 3);

        std::vector<Tracked*> kept(list.begin(), list.end());
        EXPECT_TRUE(list.RemoveAll(false));
        EXPECT_TRUE(list.IsEmpty());
        EXPECT_EQ(Tracked::alive, 3);  // still the caller's to delete
        for (Tracked* t : kept) delete t;
        EXPECT_EQ(Tracked::alive, 0);

        ASSERT_TRUE(list.AddTail(new Tracked(5)));
        ASSERT_TRUE(list.AddTail(new Tracked(6)));
        EXPECT_TRUE(list.RemoveAll());
        EXPECT_EQ(Tracked::alive, 0);
        ASSERT_TRUE(list.AddTail(new Tracked(7)));
    }
    EXPECT_EQ(Tracked::alive, 0);  // the destructor deleted the last one
}

TEST(CArchive, RecordsRoundTrip) {
    std::vector<unsigned char> bytes;
    {
        CArchive ar(bytes, CArchive::store);
        ar << uint8_t{0xAB} << int16_t{-2} << uint16_t{0x1234} << int32_t{-100000} << uint32_t{0xDEADBEEF}
           << int64_t{-5} << uint64_t{0x0102030405060708ull} << CString("From: a@b") << CString() << CString("x");
        const unsigned char raw[] = {1, 2, 3};
        ar.Write(raw, sizeof raw);
        EXPECT_FALSE(ar.IsFailed());
    }
    // Little-endian, length-prefixed.
    ASSERT_GE(bytes.size(), 13u);
    EXPECT_EQ(bytes[0], 0xAB);
    EXPECT_EQ(bytes[3], 0x34);
    EXPECT_EQ(bytes[4], 0x12);
    EXPECT_EQ(bytes[9], 0xEF);

    CArchive ar(bytes, CArchive::load);
    uint8_t b;
    int16_t i16;
    uint16_t u16;
    int32_t i32;
    uint32_t u32;
    int64_t i64;
    uint64_t u64;
    CString from, none, x;
    ar >> b >> i16 >> u16 >> i32 >> u32 >> i64 >> u64 >> from >> none >> x;
    EXPECT_EQ(b, 0xAB);
    EXPECT_EQ(i16, -2);
    EXPECT_EQ(u16, 0x1234);
    EXPECT_EQ(i32, -100000);
    EXPECT_EQ(u32, 0xDEADBEEFu);
    EXPECT_EQ(i64, -5);
    EXPECT_EQ(u64, 0x0102030405060708ull);
    EXPECT_EQ(from, "From: a@b");
    EXPECT_TRUE(none.IsEmpty());
    EXPECT_EQ(x, "x");
    unsigned char raw[8];
    EXPECT_EQ(ar.Read(raw, sizeof raw), 3u);  // a short read says how much it gave
    EXPECT_TRUE(ar.IsFailed());
}

TEST(CArchive, DamagedDataNeverReadsPast) {
    struct Case {
        const char* what;
        std::vector<unsigned char> bytes;
    } cases[] = {
        {"empty", {}},
        {"short length", {5, 0}},
        {"length beyond data", {10, 0, 0, 0, 'a', 'b'}},
        {"huge length", {0xFF, 0xFF, 0xFF, 0xFF, 'a'}},
    };
    for (auto& c : cases) {
        CArchive ar(c.bytes, CArchive::load);
        CString s("old");
        uint32_t after = 77;
        ar >> s >> after;
        EXPECT_TRUE(ar.IsFailed()) << c.what;
        EXPECT_TRUE(s.IsEmpty()) << c.what;
        EXPECT_EQ(after, 0u) << c.what;
        EXPECT_EQ(ar.Remaining(), 0u) << c.what;
    }
    std::vector<unsigned char> bytes;
    CArchive storing(bytes, CArchive::store);
    unsigned char sink;
    EXPECT_EQ(storing.Read(&sink, 1), 0u);
    EXPECT_TRUE(storing.IsFailed());
}

}  // namespace
