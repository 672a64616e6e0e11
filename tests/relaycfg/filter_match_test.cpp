// Mail filters: each kind and operator, the age and size limits, unused slots.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "relaycfg/filter_match.h"

namespace tess::relaycfg::test {
namespace {

constexpr int64_t kNow = 1'700'000'000;

MessageFilter filter(int32_t kind, int32_t op, const char* value) {
    MessageFilter f;
    f.inUse = 1;
    f.kind = kind;
    if (kind <= kFilterCc)
        f.textOperator = op;
    else
        f.numericOperator = op;
    std::strncpy(f.value, value, sizeof f.value - 1);
    return f;
}

FilterMessage mail(const char* subject, uint32_t size = 1000, int32_t time = int32_t(kNow)) {
    FilterMessage m{};
    m.subject = subject;
    m.senderAddress = "Boss@Example.com";
    m.toRecipients = "me@example.com, you@example.com";
    m.ccRecipients = nullptr;
    m.size = size;
    m.deliveryTime = time;
    return m;
}

TEST(FilterMatch, EachKindAndOperator) {
    struct Case {
        const char* what;
        MessageFilter f;
        FilterMessage m;
        bool matches;
    } cases[] = {
        {"subject contains, case ignored", filter(kFilterSubject, kFilterContains, "urgent"), mail("An URGENT note"),
         true},
        {"subject lacks the word", filter(kFilterSubject, kFilterContains, "urgent"), mail("Lunch"), false},
        {"contains empty value matches all", filter(kFilterSubject, kFilterContains, ""), mail("x"), true},
        {"does not contain", filter(kFilterSubject, kFilterNotContains, "spam"), mail("Hello"), true},
        {"does not contain, present", filter(kFilterSubject, kFilterNotContains, "SPAM"), mail("spam offer"), false},
        {"does not contain empty value matches none", filter(kFilterSubject, kFilterNotContains, ""), mail("x"), false},
        {"begins with after trimming", filter(kFilterSubject, kFilterBeginsWith, " Re"), mail("  re plans"), true},
        {"begins with: piece as long as the raw value", filter(kFilterSubject, kFilterBeginsWith, " Re"),
         mail("re: plans"), false},
        {"begins with: text shorter than value", filter(kFilterSubject, kFilterBeginsWith, "Meeting"), mail("Mee"),
         false},
        {"begins with: empty text", filter(kFilterSubject, kFilterBeginsWith, "a"), mail(nullptr), false},
        {"unknown text operator", filter(kFilterSubject, 7, "x"), mail("x"), false},
        {"sender", filter(kFilterSender, kFilterContains, "boss@"), mail("x"), true},
        {"to includes bcc text", filter(kFilterTo, kFilterContains, "YOU@"), mail("x"), true},
        {"cc null reads empty", filter(kFilterCc, kFilterNotContains, "a"), mail("x"), true},
        {"age at least 2 days: 3 days old", filter(kFilterAge, kFilterAtLeast, "2"),
         mail("x", 0, int32_t(kNow - 3 * 86400)), true},
        {"age at least 2 days: 1 day old", filter(kFilterAge, kFilterAtLeast, "2"), mail("x", 0, int32_t(kNow - 86400)),
         false},
        {"age at most 2 days: 1 day old", filter(kFilterAge, kFilterAtMost, "2"), mail("x", 0, int32_t(kNow - 86400)),
         true},
        {"age 0 at least: not in the future", filter(kFilterAge, kFilterAtLeast, "0"), mail("x", 0, int32_t(kNow)),
         true},
        {"age 0 at least: future mail", filter(kFilterAge, kFilterAtLeast, "0"), mail("x", 0, int32_t(kNow + 5)),
         false},
        {"age of huge days does not wrap", filter(kFilterAge, kFilterAtMost, "99999999999"), mail("x", 0, 0), true},
        {"age huge days, at least", filter(kFilterAge, kFilterAtLeast, "99999999999"), mail("x", 0, 0), false},
        {"size at least 10 KB: 10240 bytes", filter(kFilterSize, kFilterAtLeast, "10"), mail("x", 10240), true},
        {"size at most 10 KB: 50 KB", filter(kFilterSize, kFilterAtMost, "10"), mail("x", 50 * 1024), false},
        {"size limit that would overflow 32 bits", filter(kFilterSize, kFilterAtMost, "4194304"),
         mail("x", 0xFFFFFFF0u), true},
        {"size not a number reads 0", filter(kFilterSize, kFilterAtLeast, "big"), mail("x", 0), true},
        {"unknown numeric operator", filter(kFilterSize, 2, "1"), mail("x", 5000), false},
        {"unknown kind", filter(9, 0, ""), mail("x"), false},
    };
    for (const Case& c : cases) EXPECT_EQ(MatchOneFilter(c.m, c.f, kNow), c.matches) << c.what;
}

TEST(FilterMatch, AnyFilterInUseLetsTheMailThrough) {
    MessageFilter slots[11];
    slots[0] = filter(kFilterSubject, kFilterContains, "urgent");
    slots[1] = filter(kFilterSize, kFilterAtMost, "10");
    EXPECT_TRUE(MatchMessageFilters(mail("URGENT: call", 50 * 1024), slots, kNow));
    EXPECT_FALSE(MatchMessageFilters(mail("hello", 50 * 1024), std::span(slots, 2), kNow));
    EXPECT_TRUE(MatchMessageFilters(mail("hello", 5 * 1024), std::span(slots, 2), kNow));
    // A slot that is counted but not in use reads as kind 0 with an empty value; it
    // must not let every mail through.
    MessageFilter unused;
    MessageFilter withUnused[] = {slots[0], unused};
    EXPECT_FALSE(MatchMessageFilters(mail("hello"), withUnused, kNow));
    // A text filter after a numeric one is matched by its own rule.
    MessageFilter order[] = {filter(kFilterAge, kFilterAtLeast, "30"), filter(kFilterSubject, kFilterContains, "x")};
    EXPECT_TRUE(MatchMessageFilters(mail("xyz"), order, kNow));
}

TEST(FilterMatch, ValuesWithoutTerminatorStayInTheirField) {
    MessageFilter f = filter(kFilterSubject, kFilterContains, "");
    std::memset(f.value, 'q', sizeof f.value);  // 32 bytes, no NUL; the flag word follows
    f.flag = 0x71717171;
    EXPECT_TRUE(MatchOneFilter(mail(std::string(32, 'q').c_str()), f, kNow));
    EXPECT_FALSE(MatchOneFilter(mail(std::string(31, 'q').c_str()), f, kNow));
}

TEST(FilterNumber, ReadsLikeAtoiWithoutOverflow) {
    struct Case {
        const char* text;
        int32_t value;
    } cases[] = {{"12", 12},
                 {"  7days", 7},
                 {"-3", -3},
                 {"+4", 4},
                 {"abc", 0},
                 {"", 0},
                 {"2147483647", INT_MAX},
                 {"99999999999", INT_MAX},
                 {"-99999999999", INT_MIN}};
    for (const Case& c : cases) EXPECT_EQ(ParseFilterNumber(c.text), c.value) << c.text;
}

}  // namespace
}  // namespace tess::relaycfg::test
