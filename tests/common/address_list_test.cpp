// Address lists, single addresses, line ends, wrapped lines and attachment path lists.
#include <gtest/gtest.h>

#include <cstdlib>

#include "common/address_list.h"

using namespace tess;
using List = std::vector<std::string>;

TEST(AddressList, SplitTable) {
    struct Case {
        const char* list;
        bool semicolon;
        List items;
    } cases[] = {
        {"Doe, John <jd@x.org>, a@b.c", false, {"Doe, John <jd@x.org>", " a@b.c"}},
        {"\"Doe, John\" <jd@x.org>,a@b.c", false, {"\"Doe, John\" <jd@x.org>", "a@b.c"}},
        {"\"Plain\" <p@x.org> , b@c.d", false, {"\"Plain\" <p@x.org>", " b@c.d"}},
        {"a@b.c,d@e.f,g@h.i", false, {"a@b.c", "d@e.f", "g@h.i"}},
        {" a@b.c ; d@e.f;g@h.i", true, {" a@b.c ", " d@e.f", "g@h.i"}},
        {"a@b.c;;d@e.f", true, {"a@b.c"}},
        {"", false, {}},
    };
    for (const Case& c : cases) {
        std::string list = c.list;
        List out;
        SplitAddressList(list, out, c.semicolon);
        EXPECT_EQ(out, c.items) << c.list;
        EXPECT_TRUE(list.empty());
    }
}

TEST(AddressList, NormalizeExtractAndPop) {
    std::string list = "a@b.c,,d@e.f";
    EXPECT_EQ(NormalizeAddressList(list, false), 3);
    EXPECT_EQ(list, "a@b.c,d@e.f");
    std::string empty;
    EXPECT_EQ(NormalizeAddressList(empty, true), 0);

    std::string angles = "Doe, John <jd@x.org>,a@b.c,Last, First";
    ExtractAngleAddresses(angles);
    EXPECT_EQ(angles, "jd@x.org,a@b.c");

    std::string pop = " ;; ; first@x.org ;second@y.org; ";  // leading blank too
    EXPECT_EQ(PopAddressToken(pop, true), "first@x.org");
    EXPECT_EQ(pop, "second@y.org;");
    EXPECT_EQ(PopAddressToken(pop, true), "second@y.org");
    EXPECT_EQ(pop, "");
    EXPECT_EQ(PopAddressToken(pop, true), "");
}

TEST(AddressList, SingleAddresses) {
    struct Case {
        const char* in;
        const char* display;
        const char* email;
    } cases[] = {
        {"\"John Doe\" <jd@x.org>", "John Doe", "jd@x.org"},
        {"jd@x.org (John Doe)", "John Doe", "jd@x.org"},
        {"  'jd@x.org'  ", "jd@x.org", "jd@x.org"},
        {"<jd@x.org>", "", "jd@x.org"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(GetAddressDisplayName(c.in), c.display) << c.in;
        EXPECT_EQ(GetAddressEmail(c.in), c.email) << c.in;
    }
    EXPECT_EQ(StripQuotes("\"'x'\""), "x");
    EXPECT_EQ(StripQuotes("\"x'"), "\"x'");
}

TEST(AddressList, ValidAddresses) {
    struct Case {
        const char* in;
        int valid;
    } cases[] = {
        {"a@b.cd", 1}, {"SMTP:a@b.cd", 1}, {"smtp: a@b.cd", 1}, {"X400:a@b.cd", 0}, {"@ab.cd", 0}, {"abcd@", 0},
        {"a@bcd", 0},  {"a@bc.", 0},       {"a@.c", 0},         {"a@b.c", 1},       {"ab.c", 0},   {"", 0},
    };
    for (const Case& c : cases) EXPECT_EQ(IsValidEmailAddress(c.in), c.valid) << c.in;
}

TEST(TextConversion, LineEnds) {
    std::string dest = ">";
    ConvertLfToCrLf(dest, "a\nb\n\rc\r\nd");
    EXPECT_EQ(dest, ">a\r\nb\r\nc\r\r\nd");
    EXPECT_EQ(ConvertCrLfToLf("a\r\nb\rc\r"), "a\nb\rc\n");
}

TEST(TextConversion, UnwrapJoinsOnlyWrappedLines) {
    const std::string longLine(50, 'w');
    struct Case {
        std::string in, out;
    } cases[] = {
        {longLine + "\r\nnext line", longLine + " next line"},
        {longLine + "  \r\nnext", longLine + " next"},
        {"short\r\nnext line", "short\r\nnext line"},
        {longLine + "\r\n1. item", longLine + "\r\n1. item"},
        {longLine + "\r\n- item", longLine + "\r\n- item"},  // nothing of the next line is lost
        {longLine + "\r\n  indented", longLine + " indented"},
        {longLine + "\r\n\r\npara", longLine + "\r\n\r\npara"},
        {longLine + "\r\n", longLine + "\r\n"},
        // A later line counts from just after the previous CR: its LF and 42 characters
        // make 43 and join; 41 characters make 42 and do not.
        {"a\r\n" + std::string(42, 'w') + "\r\nnext", "a\r\n" + std::string(42, 'w') + " next"},
        {"a\r\n" + std::string(41, 'w') + "\r\nnext", "a\r\n" + std::string(41, 'w') + "\r\nnext"},
        {std::string(42, 'w') + "\r\nnext", std::string(42, 'w') + "\r\nnext"},
    };
    for (const Case& c : cases) EXPECT_EQ(UnwrapLines(c.in), c.out) << c.in;
}

TEST(AttachmentPaths, SplitSkipsEmptyItems) {
    List paths, names, shorts;
    EXPECT_EQ(SplitAttachmentPaths(",C:\\t\\twelve_chars,/tmp/thirteen_char,,x", paths, names, shorts), 1);
    EXPECT_EQ(paths, (List{"C:\\t\\twelve_chars", "/tmp/thirteen_char", "x"}));
    EXPECT_EQ(names, (List{"twelve_chars", "thirteen_char", "x"}));
    EXPECT_EQ(shorts, (List{"C:\\t\\twelve_chars", "thirte~1char", "x"}));
}

TEST(Search, NoCase) {
    EXPECT_EQ(StartsWithNoCase("Hello", "hE"), 1);
    EXPECT_EQ(StartsWithNoCase("Hello", ""), 1);
    EXPECT_EQ(StartsWithNoCase("He", "hello"), 0);
    EXPECT_EQ(StartsWithNoCase(nullptr, "a"), 0);
    EXPECT_EQ(IndexOfNoCase("Content-Type", "TYPE"), 8);
    EXPECT_EQ(IndexOfNoCase("", "a"), -1);
    EXPECT_EQ(FindNoCase(nullptr, "a"), nullptr);
}

TEST(PathEnvironment, AddApplyRestore) {
    const char* old = std::getenv("PATH");
    const std::string saved = old ? old : "";
    setenv("PATH", "/a::/b", 1);
    CPathEnvironment env;
    EXPECT_EQ(env.Apply(), 0);  // not loaded
    EXPECT_EQ(env.Load(), 3);
    EXPECT_EQ(env.Contains("/b"), 1);
    EXPECT_EQ(env.Contains("/B"), 0);
    EXPECT_EQ(env.Add(""), 0);
    EXPECT_EQ(env.Add("/notes"), 1);
    env.Apply();
    EXPECT_STREQ(std::getenv("PATH"), "/a::/b:/notes");
    env.Restore();
    EXPECT_STREQ(std::getenv("PATH"), "/a::/b");
    setenv("PATH", saved.c_str(), 1);
}
