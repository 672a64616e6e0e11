// The disconnected-action record as the engine and the data manager both read it.
#include <gtest/gtest.h>

#include "common/action_record.h"
#include "tests/common/record_bytes.h"

using tess::test::Bytes;
using tess::test::Cat;
using tess::test::Hex;
using tess::test::Str;

TEST(ActionRecord, ReadsEveryShapeWithinItsBytes) {
    struct Case {
        const char* what;
        Bytes bytes;
        bool ok;
        uint32_t opcode, uid;
        std::string arg1, arg2;
    };
    const Bytes numbers = Hex("0000000A 00010203");
    const Case cases[] = {
        {"empty", {}, false, 0, 0, "", ""},
        {"one number", Hex("0000000A"), false, 0, 0, "", ""},
        {"a byte short of the uid", Hex("0000000A 000102"), false, 0, 0, "", ""},
        {"numbers alone", numbers, true, 10, 0x10203, "", ""},
        {"both texts", Cat({numbers, Str("21"), Str("Archive")}), true, 10, 0x10203, "21", "Archive"},
        {"first text cut short", Cat({numbers, Bytes{'2', '1'}}), true, 10, 0x10203, "21", ""},
        {"second text cut short", Cat({numbers, Str("21"), Bytes{'A', 'r'}}), true, 10, 0x10203, "21", "Ar"},
        {"bytes after the second text", Cat({numbers, Str(""), Str("x"), Str("extra")}), true, 10, 0x10203, "", "x"},
        {"numbers above the signed range", Hex("FFFFFFFF 80000000"), true, 0xFFFFFFFFu, 0x80000000u, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        tess::ActionRecord a;
        a.arg2 = "left from before";
        ASSERT_EQ(tess::ParseActionRecord(c.bytes.data(), c.bytes.size(), a), c.ok);
        if (!c.ok) {
            EXPECT_EQ(a.arg2, "left from before");  // a refused record changes nothing
            continue;
        }
        EXPECT_EQ(a.opcode, c.opcode);
        EXPECT_EQ(a.uid, c.uid);
        EXPECT_EQ(a.arg1, c.arg1);
        EXPECT_EQ(a.arg2, c.arg2);
    }
}

TEST(ActionRecord, OnlyTheOpcodesTheHandheldWritesAreTaken) {
    for (uint32_t op = 0; op <= 20; ++op) {
        const bool written = op <= 8 || op == 10 || op == 13 || op == 15 || op == 16;
        EXPECT_EQ(tess::IsHandheldActionOpcode(op), written) << op;
    }
    EXPECT_FALSE(tess::IsHandheldActionOpcode(0xFFFFFFFFu));  // -1 as the engine once read it
}
