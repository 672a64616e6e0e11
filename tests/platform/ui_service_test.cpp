#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/ui/ui_service.h"

namespace {

using platform::ui::Question;

TEST(UiQuestion, TypeWordsMapToButtonsAndDefaults) {
    struct Case {
        unsigned type;
        std::vector<int> answers;
        int defaultAnswer;
        platform::ui::Icon icon;
    } cases[] = {
        {MB_OK, {IDOK}, IDOK, platform::ui::Icon::None},
        {MB_OKCANCEL | MB_ICONWARNING, {IDOK, IDCANCEL}, IDOK, platform::ui::Icon::Warning},
        {MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2, {IDYES, IDNO}, IDNO, platform::ui::Icon::Question},
        {MB_YESNOCANCEL | MB_DEFBUTTON3, {IDYES, IDNO, IDCANCEL}, IDCANCEL, platform::ui::Icon::None},
        {MB_ABORTRETRYIGNORE | MB_ICONERROR, {IDABORT, IDRETRY, IDIGNORE}, IDABORT, platform::ui::Icon::Error},
        {MB_RETRYCANCEL | MB_ICONINFORMATION, {IDRETRY, IDCANCEL}, IDRETRY, platform::ui::Icon::Information},
        {MB_OK | MB_DEFBUTTON3, {IDOK}, IDOK, platform::ui::Icon::None},  // default past the set: the first
        {0xE, {IDOK}, IDOK, platform::ui::Icon::None},                   // unknown set: OK
    };
    for (const auto& c : cases) {
        const auto q = Question::fromType("text", "caption", c.type);
        EXPECT_EQ(q.answers(), c.answers) << std::hex << c.type;
        EXPECT_EQ(q.defaultAnswer(), c.defaultAnswer) << std::hex << c.type;
        EXPECT_EQ(q.icon, c.icon) << std::hex << c.type;
    }
}

TEST(UiService, ScriptedDoubleRecordsAndAnswers) {
    platform::ui::ScriptedUi ui({IDNO, IDYES, IDRETRY});
    platform::ui::ScopedUi scope(ui);
    EXPECT_EQ(platform::ui::messageBox("Delete the account?", "Tessaline", MB_YESNO), IDNO);
    platform::ui::progress("Synchronising Inbox");
    EXPECT_EQ(platform::ui::messageBox("Keep going?", "Tessaline", MB_YESNO | MB_DEFBUTTON2), IDYES);
    // Retry is not offered by an OK box: the default answers and the miss is recorded.
    EXPECT_EQ(platform::ui::messageBox("Done.", "Tessaline", MB_OK | MB_ICONINFORMATION), IDOK);
    // Script used up.
    EXPECT_EQ(platform::ui::messageBox("Again?", "Tessaline", MB_YESNO | MB_DEFBUTTON2), IDNO);

    const auto asked = ui.questions();
    ASSERT_EQ(asked.size(), 4u);
    EXPECT_EQ(asked[0].text, "Delete the account?");
    EXPECT_EQ(asked[0].caption, "Tessaline");
    EXPECT_EQ(asked[2].icon, platform::ui::Icon::Information);
    EXPECT_EQ(ui.progressLines(), std::vector<std::string>{"Synchronising Inbox"});
    const auto problems = ui.problems();
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_NE(problems[0].find("Done."), std::string::npos);
    EXPECT_NE(problems[1].find("Again?"), std::string::npos);
}

TEST(UiService, HeadlessAnswersDefaultsAndLogs) {
    FILE* log = std::tmpfile();
    ASSERT_NE(log, nullptr);
    platform::ui::HeadlessUi headless(log);
    {
        platform::ui::ScopedUi scope(headless);
        EXPECT_EQ(&platform::ui::current(), &headless);
        EXPECT_EQ(platform::ui::messageBox("Replace the file?", "Copy", MB_YESNOCANCEL | MB_DEFBUTTON2), IDNO);
        platform::ui::progress("step 2 of 5");
    }
    EXPECT_NE(&platform::ui::current(), &headless);
    std::rewind(log);
    char buf[256] = {};
    const size_t n = std::fread(buf, 1, sizeof buf - 1, log);
    std::fclose(log);
    const std::string text(buf, n);
    EXPECT_NE(text.find("Replace the file?"), std::string::npos) << text;
    EXPECT_NE(text.find("Copy"), std::string::npos) << text;
    EXPECT_NE(text.find("step 2 of 5"), std::string::npos) << text;
}

TEST(UiService, NestedScopesRestoreInOrder) {
    platform::ui::UiService& before = platform::ui::current();
    platform::ui::ScriptedUi outer, inner;
    {
        platform::ui::ScopedUi a(outer);
        {
            platform::ui::ScopedUi b(inner);
            platform::ui::progress("inner");
        }
        platform::ui::progress("outer");
    }
    EXPECT_EQ(&platform::ui::current(), &before);
    EXPECT_EQ(inner.progressLines(), std::vector<std::string>{"inner"});
    EXPECT_EQ(outer.progressLines(), std::vector<std::string>{"outer"});
}

}  // namespace
