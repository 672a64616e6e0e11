#include <gtest/gtest.h>
#include <fcntl.h>
#include <iconv.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/ui_service.h"
#include "platform/ui/window_messages.h"

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
        {0xE, {IDOK}, IDOK, platform::ui::Icon::None},                    // unknown set: OK
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

TEST(UiService, ScriptedDoubleFillsFormsOnlyWhenTheAnswerFits) {
    platform::ui::ScriptedUi ui;
    int runs = 0;
    auto form = [&] {
        platform::ui::ChoiceForm f;
        f.caption = "Action";
        f.options = {{"Synchronise", 1004}, {"Do nothing", 1005}};
        f.check = {"As default", 1008};
        f.actions.push_back({{"Configure", 1006}, [&] { ++runs; }, true});
        return f;
    };
    struct Case {
        platform::ui::ChoiceAnswer answer;
        int result, choice;
        bool checked;
        int runs;
        bool problem;
    } cases[] = {
        {{IDOK, 1, true, {0, 0}}, IDOK, 1, true, 2, false},   {{IDCANCEL, 1, true, {}}, IDCANCEL, 0, false, 0, false},
        {{IDOK, 2, false, {}}, IDCANCEL, 0, false, 0, true},  // no such option
        {{IDOK, 0, false, {3}}, IDOK, 0, false, 0, true},     // no such action: pressed nothing
        {{IDYES, 0, false, {}}, IDCANCEL, 0, false, 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer.choice);
        runs = 0;
        const size_t problemsBefore = ui.problems().size();
        ui.answerNextForm(c.answer);
        auto f = form();
        EXPECT_EQ(ui.choose(f), c.result);
        EXPECT_EQ(f.choice, c.choice);
        EXPECT_EQ(f.checked, c.checked);
        EXPECT_EQ(runs, c.runs);
        EXPECT_EQ(ui.problems().size() > problemsBefore, c.problem);
    }
    auto unscripted = form();
    unscripted.choice = 1;
    EXPECT_EQ(ui.choose(unscripted), IDCANCEL);
    EXPECT_EQ(unscripted.choice, 1);
    EXPECT_EQ(ui.forms().size(), std::size(cases) + 1);
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

// Every byte of the 8-bit set against iconv; the five holes of Windows-1252 show as U+FFFD.
TEST(UiText, Utf8FromAnsiAgreesWithIconv) {
    iconv_t cd = iconv_open("UTF-8", "WINDOWS-1252");
    ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
    for (int b = 1; b < 256; ++b) {
        char in[1] = {static_cast<char>(b)};
        char out[8] = {};
        char* src = in;
        char* dst = out;
        size_t srcLeft = 1, dstLeft = sizeof out;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        const bool mapped = iconv(cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<size_t>(-1);
        const std::string expected = mapped ? std::string(out, dst) : "\xEF\xBF\xBD";
        EXPECT_EQ(platform::ui::utf8FromAnsi(std::string(1, static_cast<char>(b))), expected) << std::hex << b;
    }
    iconv_close(cd);
    EXPECT_EQ(platform::ui::utf8FromAnsi("Tallyhop\xAE \x80 5"), "Tallyhop\xC2\xAE \xE2\x82\xAC 5");
}

// What a headless UI writes off a terminal while run uses it.
std::string headlessOutput(const std::function<void(platform::ui::HeadlessUi&)>& run) {
    char* buffer = nullptr;
    size_t size = 0;
    FILE* stream = open_memstream(&buffer, &size);
    if (!stream) return "(no stream)";
    {
        platform::ui::HeadlessUi headless(stream);
        run(headless);
    }
    std::fclose(stream);
    std::string text(buffer, size);
    std::free(buffer);
    return text;
}

// Off a terminal each change that shows is one line; repeats, clamped positions that land
// where they were, and calls after close write nothing.
TEST(UiProgressWindow, HeadlessWritesOneLinePerShownChange) {
    const std::string text = headlessOutput([](platform::ui::HeadlessUi& headless) {
        auto window = headless.openProgress("Tessaline (TM)", "Tallyhop\xAE Progress");
        using Bar = platform::ui::ProgressBar;
        window->setOverall({11, 0});
        window->setOverall({11, 0});
        window->setStep({5, 0});
        window->setText("Collecting mail from Inbox");
        window->update({11, 2}, {5, 2}, "Collecting mail from Inbox");
        window->update({11, 2}, {5, 2}, "Collecting mail from Inbox");
        window->setStep({5, 9});  // past the end: the last position
        window->setStep({5, 4});
        headless.progress("a plain line");
        window->setText("two\nlines");
        window->setOverall(Bar{-3, 2});  // no overall bar
        window->close();
        window->setText("after close");
        EXPECT_EQ(window->state().overall, (Bar{0, 0}));
        EXPECT_EQ(window->state().step, (Bar{5, 4}));
    });
    EXPECT_EQ(text,
              "Tallyhop\xC2\xAE Progress [1/11]\n"
              "Tallyhop\xC2\xAE Progress [1/11] [0/5]\n"
              "Tallyhop\xC2\xAE Progress [1/11] [0/5] Collecting mail from Inbox\n"
              "Tallyhop\xC2\xAE Progress [3/11] [2/5] Collecting mail from Inbox\n"
              "Tallyhop\xC2\xAE Progress [3/11] [4/5] Collecting mail from Inbox\n"
              "a plain line\n"
              "Tallyhop\xC2\xAE Progress [3/11] [4/5] two lines\n"
              "Tallyhop\xC2\xAE Progress [4/5] two lines\n");
}

// A counter moving faster than anyone reads shows only now and then, yet every change of
// step or text, every line written between, and the last count of each step still show,
// in order.
TEST(UiProgressWindow, FastCounterKeepsEveryChangeAndTheLastCount) {
    const std::string text = headlessOutput([](platform::ui::HeadlessUi& headless) {
        auto window = headless.openProgress("T", "Sync");
        for (int i = 0; i < 1000; ++i) window->update({3, 0}, {1000, i}, "Inbox");
        headless.progress("between");
        for (int i = 0; i < 1000; ++i) window->update({3, 1}, {1000, i}, "Sent");
        // The next step follows at once: the last count of this one shows first.
        for (int i = 0; i < 500; ++i) window->update({3, 2}, {1000, i}, "Drafts");
        window->close();
    });
    std::vector<std::string> lines;
    for (size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
        lines.emplace_back(text, at, end - at);
    ASSERT_FALSE(lines.empty());
    EXPECT_LT(lines.size(), 100u) << "one line per count";
    EXPECT_EQ(lines.front(), "Sync [1/3] [0/1000] Inbox");
    EXPECT_EQ(lines.back(), "Sync [3/3] [499/1000] Drafts");
    auto at = [&](const std::string& line) { return std::find(lines.begin(), lines.end(), line) - lines.begin(); };
    const std::vector<std::string> inOrder = {"Sync [1/3] [999/1000] Inbox", "between", "Sync [2/3] [0/1000] Sent",
                                              "Sync [2/3] [999/1000] Sent", "Sync [3/3] [0/1000] Drafts"};
    for (size_t i = 0; i < inOrder.size(); ++i) {
        ASSERT_LT(at(inOrder[i]), static_cast<long>(lines.size())) << inOrder[i];
        if (i) {
            EXPECT_EQ(at(inOrder[i]), at(inOrder[i - 1]) + 1) << inOrder[i];
        }
    }
}

// On a terminal the line is rewritten in place, cut to the width, and ended before any
// other line and at close.
TEST(UiProgressWindow, TerminalRewritesInPlace) {
    int master = -1, slave = -1;
    winsize size{};
    size.ws_col = 24;
    size.ws_row = 10;
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, &size), 0);
    termios raw{};
    ASSERT_EQ(tcgetattr(slave, &raw), 0);
    cfmakeraw(&raw);
    ASSERT_EQ(tcsetattr(slave, TCSANOW, &raw), 0);
    FILE* terminal = fdopen(slave, "w");
    ASSERT_NE(terminal, nullptr);
    {
        platform::ui::HeadlessUi headless(terminal);
        auto window = headless.openProgress("T", "Sync");
        window->setOverall({3, 0});
        window->setText("Collecting mail from a long folder name");
        EXPECT_EQ(headless.ask(Question::fromType("Go on?", "Q", MB_YESNO)), IDYES);
        window->setOverall({3, 1});
    }  // destroyed: closed
    std::fclose(terminal);
    std::string text;
    char chunk[256];
    ASSERT_EQ(fcntl(master, F_SETFL, O_NONBLOCK), 0);
    for (ssize_t n; (n = read(master, chunk, sizeof chunk)) > 0;) text.append(chunk, static_cast<size_t>(n));
    close(master);
    EXPECT_EQ(text,
              "\rSync [1/3]\x1b[K"
              "\rSync [1/3] Collecting m\x1b[K"
              "\n[Q] Go on? (answered 6)\n"
              "\rSync [2/3] Collecting m\x1b[K"
              "\n");
}

TEST(UiProgressWindow, ScriptedDoubleRecordsStatesAndOpenWindows) {
    platform::ui::ScriptedUi ui;
    platform::ui::ScopedUi scope(ui);
    auto first = platform::ui::current().openProgress("T", "One");
    {
        auto second = platform::ui::current().openProgress("T", "Two");
        EXPECT_EQ(ui.openProgressWindows(), 2);
        second->setStep({2, 1});
    }  // destroyed without close: closed all the same
    EXPECT_EQ(ui.openProgressWindows(), 1);
    first->update({4, 1}, {0, 0}, "x&y");
    first->update({4, 1}, {0, 0}, "x&y");
    first->close();
    first->close();
    EXPECT_EQ(ui.openProgressWindows(), 0);

    const auto states = ui.progressStates();
    ASSERT_EQ(states.size(), 2u);
    EXPECT_EQ(states[0].caption, "Two");
    EXPECT_EQ(states[0].step, (platform::ui::ProgressBar{2, 1}));
    EXPECT_EQ(states[1].overall, (platform::ui::ProgressBar{4, 1}));
    EXPECT_EQ(states[1].text, "x&y");
    EXPECT_EQ(ui.progressLines(), (std::vector<std::string>{"Two [1/2]", "One [2/4] x&y"}));
}

TEST(WindowMessages, FoundByClassNameWhileLive) {
    const auto answer = [](LRESULT value) { return [value](unsigned, WPARAM, LPARAM) -> LRESULT { return value; }; };
    HWND unnamed = platform::ui::createMessageWindow(answer(1));
    HWND older = platform::ui::createMessageWindow(answer(2), "ViewerClass");
    HWND newer = platform::ui::createMessageWindow(answer(3), "ViewerClass");
    EXPECT_EQ(FindWindowA("viewerclass", nullptr), newer);  // class names ignore letter case
    EXPECT_EQ(FindWindowA("Other", nullptr), nullptr);
    EXPECT_EQ(FindWindowA(nullptr, nullptr), nullptr);

    uintptr_t result = 7;
    EXPECT_NE(SendMessageTimeoutA(newer, 0x465, 0, 0, SMTO_ABORTIFHUNG, 30000, &result), 0);
    EXPECT_EQ(result, 3u);
    platform::ui::destroyMessageWindow(newer);
    EXPECT_EQ(FindWindowA("ViewerClass", nullptr), older);
    result = 7;
    EXPECT_EQ(SendMessageTimeoutA(newer, 0x465, 0, 0, SMTO_ABORTIFHUNG, 30000, &result), 0);
    EXPECT_EQ(result, 7u);  // a dead handle answers nothing
    platform::ui::destroyMessageWindow(older);
    EXPECT_EQ(FindWindowA("ViewerClass", nullptr), nullptr);
    platform::ui::destroyMessageWindow(unnamed);
}

}  // namespace
