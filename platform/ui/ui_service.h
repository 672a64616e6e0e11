#pragma once
// The one road for message boxes, modal questions and progress lines. Code asks the
// current service; the desktop front-end installs its windowed service, tests install a
// ScriptedUi, and without either a HeadlessUi answers with the default button and logs.
#include <cstdio>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/export.h"

// Message-box types and answers with the platform's values, for callers written that way.
enum : unsigned {
    MB_OK = 0x0,
    MB_OKCANCEL = 0x1,
    MB_ABORTRETRYIGNORE = 0x2,
    MB_YESNOCANCEL = 0x3,
    MB_YESNO = 0x4,
    MB_RETRYCANCEL = 0x5,
    MB_ICONERROR = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONWARNING = 0x30,
    MB_ICONINFORMATION = 0x40,
    MB_DEFBUTTON1 = 0x000,
    MB_DEFBUTTON2 = 0x100,
    MB_DEFBUTTON3 = 0x200,
};
enum : int { IDOK = 1, IDCANCEL = 2, IDABORT = 3, IDRETRY = 4, IDIGNORE = 5, IDYES = 6, IDNO = 7 };

namespace platform::ui {

enum class Buttons { Ok, OkCancel, AbortRetryIgnore, YesNoCancel, YesNo, RetryCancel };
enum class Icon { None, Error, Question, Warning, Information };

struct TESS_EXPORT Question {
    std::string text;
    std::string caption;
    Buttons buttons = Buttons::Ok;
    Icon icon = Icon::None;
    int defaultButton = 0;  // index into the button set, left to right

    // The answers (IDOK, IDYES, ...) of the button set, left to right.
    std::vector<int> answers() const;
    // The answer of the default button (the first one when the index is out of range).
    int defaultAnswer() const;
    // From a message-box type word (MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2, ...).
    static Question fromType(std::string_view text, std::string_view caption, unsigned type);
};

class TESS_EXPORT UiService {
public:
    virtual ~UiService();
    // Shows the question modally; returns the answer (IDOK, IDYES, ...).
    virtual int ask(const Question& question) = 0;
    // One line of progress for whoever watches (status line, log).
    virtual void progress(std::string_view line) = 0;
};

// No display: every question gets its default answer; texts go to a log stream.
class TESS_EXPORT HeadlessUi : public UiService {
public:
    explicit HeadlessUi(FILE* log = stderr) : log_(log) {}
    int ask(const Question& question) override;
    void progress(std::string_view line) override;

private:
    std::mutex mutex_;
    FILE* log_;
};

// For tests: records every question and progress line, answers from a script in order.
// When the script is used up, or names an answer the question does not offer, the default
// answer is given and the miss is recorded in problems().
class TESS_EXPORT ScriptedUi : public UiService {
public:
    ScriptedUi() = default;
    explicit ScriptedUi(std::vector<int> script) : script_(script.begin(), script.end()) {}
    void answerNext(int answer);
    int ask(const Question& question) override;
    void progress(std::string_view line) override;

    std::vector<Question> questions() const;
    std::vector<std::string> progressLines() const;
    std::vector<std::string> problems() const;

private:
    mutable std::mutex mutex_;
    std::deque<int> script_;
    std::vector<Question> questions_;
    std::vector<std::string> progress_;
    std::vector<std::string> problems_;
};

// The process's current service; a HeadlessUi on stderr until someone installs another.
// The installer keeps the object alive while it is installed; null restores the default.
TESS_EXPORT UiService& current();
TESS_EXPORT void install(UiService* service);

// Shorthands through the current service.
TESS_EXPORT int messageBox(std::string_view text, std::string_view caption, unsigned type);
TESS_EXPORT void progress(std::string_view line);

// Installs a service for one scope and restores the previous one after.
class ScopedUi {
public:
    explicit ScopedUi(UiService& service) : previous_(&current()) { install(&service); }
    ~ScopedUi() { install(previous_); }
    ScopedUi(const ScopedUi&) = delete;
    ScopedUi& operator=(const ScopedUi&) = delete;

private:
    UiService* previous_;
};

}  // namespace platform::ui
