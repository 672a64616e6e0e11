#pragma once
// The one road for message boxes, modal questions, progress lines and progress windows.
// Code asks the current service; the desktop front-end installs its windowed service,
// tests install a ScriptedUi, and without either a HeadlessUi answers with the default
// button and logs. Texts are the modules' 8-bit text (Windows-1252); each service turns
// them into what its screen speaks.
#include <cstdio>
#include <deque>
#include <functional>
#include <memory>
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

// A bar of `count` steps runs from 0 to count - 1, like the control it stands for.
struct TESS_EXPORT ProgressBar {
    int count = 0;
    int position = 0;
    bool operator==(const ProgressBar&) const = default;
};

// What a progress window shows.
struct TESS_EXPORT ProgressState {
    std::string title;
    std::string caption;
    ProgressBar overall;
    ProgressBar step;
    std::string text;  // shown literally
    bool operator==(const ProgressState&) const = default;

    // The one-line form, "<caption> [<phase>/<count>] [<done>/<count>] <text>": the
    // overall bar names the phase under way, the step bar the steps done; a bar without
    // steps is left out.
    std::string line() const;
};

// A modeless window with an overall bar, a step bar and a status text under a title and
// caption. Counts below 0 count as 0 and positions are kept within their bar; only a
// change that shows reaches the screen. After close() every call does nothing. Each kind
// closes itself when destroyed, and a window is closed before its service goes away.
class TESS_EXPORT ProgressWindow {
public:
    ProgressWindow(std::string_view title, std::string_view caption);
    virtual ~ProgressWindow();
    ProgressWindow(const ProgressWindow&) = delete;
    ProgressWindow& operator=(const ProgressWindow&) = delete;

    void setOverall(ProgressBar bar);
    void setStep(ProgressBar bar);
    void setText(std::string_view text);
    // All three at once, shown as one change.
    void update(ProgressBar overall, ProgressBar step, std::string_view text);
    void close();

    const ProgressState& state() const { return state_; }
    bool closed() const { return closed_; }

protected:
    // The state changed while open.
    virtual void shown(const ProgressState& state) = 0;
    // The window goes away (once).
    virtual void closing() = 0;

private:
    void apply(ProgressState next);

    ProgressState state_;
    bool closed_ = false;
};

// A picture that shows what a choice does: the desktop and the handheld exchanging mail,
// or the two side by side doing nothing.
enum class FormPicture { None, DeviceSync, DeviceIdle };

// A modal choice of one option out of several, with an optional check box, OK, Cancel and
// buttons that run an action without closing the dialog. Each text may carry a control id
// under which a windowed service names its control.
struct TESS_EXPORT ChoiceForm {
    struct Text {
        std::string text;
        int id = 0;
    };
    struct Action {
        Text label;
        std::function<void()> run;
        bool isDefault = false;  // the button that Return presses
    };
    std::string caption;
    Text group;                 // the frame around the options
    std::vector<Text> options;  // radio buttons, top to bottom
    int choice = 0;             // in: preselected; out (on OK): the option chosen
    Text check;                 // empty text: no check box
    bool checked = false;       // in: preset; out (on OK): the box's state
    Text ok{"OK", IDOK};
    Text cancel{"Cancel", IDCANCEL};
    std::vector<Action> actions;
    // Pictures beside the options, in the options' order; a picture has no command of its
    // own. A windowed service names each by its id.
    struct Picture {
        FormPicture kind = FormPicture::None;
        int id = 0;
    };
    std::vector<Picture> pictures;
};

// How a scripted user fills a choice form: the action buttons it presses (by index, in
// order) before it ends the form with `answer`; the choice and box apply on IDOK.
struct TESS_EXPORT ChoiceAnswer {
    int answer = IDCANCEL;
    int choice = 0;
    bool checked = false;
    std::vector<int> press;
};

class TESS_EXPORT UiService {
public:
    virtual ~UiService();
    // Shows the question modally; returns the answer (IDOK, IDYES, ...).
    virtual int ask(const Question& question) = 0;
    // Shows the form modally; returns IDOK (choice and check box filled in) or IDCANCEL
    // (form untouched). Without a screen nobody can choose: the form is cancelled.
    virtual int choose(ChoiceForm& form);
    // One line of progress for whoever watches (status line, log).
    virtual void progress(std::string_view line) = 0;
    // Opens a progress window. Without a screen of its own a service shows it as a
    // progress line on stderr, rewritten in place when stderr is a terminal.
    virtual std::unique_ptr<ProgressWindow> openProgress(std::string_view title, std::string_view caption);
};

class TerminalSink;

// No display: every question gets its default answer; texts go to a log stream (UTF-8),
// and a progress window is a progress line there.
class TESS_EXPORT HeadlessUi : public UiService {
public:
    explicit HeadlessUi(FILE* log = stderr);
    ~HeadlessUi() override;
    int ask(const Question& question) override;
    int choose(ChoiceForm& form) override;
    void progress(std::string_view line) override;
    std::unique_ptr<ProgressWindow> openProgress(std::string_view title, std::string_view caption) override;

private:
    std::shared_ptr<TerminalSink> sink_;
};

// For tests: records every question and progress line, answers from a script in order.
// A progress window records each state it shows and its line among the progress lines.
// When the script is used up, or names an answer the question does not offer, the default
// answer is given and the miss is recorded in problems().
class TESS_EXPORT ScriptedUi : public UiService {
public:
    ScriptedUi() = default;
    explicit ScriptedUi(std::vector<int> script) : script_(script.begin(), script.end()) {}
    void answerNext(int answer);
    void answerNextForm(ChoiceAnswer answer);
    int ask(const Question& question) override;
    int choose(ChoiceForm& form) override;
    void progress(std::string_view line) override;
    std::unique_ptr<ProgressWindow> openProgress(std::string_view title, std::string_view caption) override;

    std::vector<Question> questions() const;
    // The forms as they were shown (before the scripted user changed anything), their
    // actions without code.
    std::vector<ChoiceForm> forms() const;
    std::vector<std::string> progressLines() const;
    std::vector<std::string> problems() const;
    std::vector<ProgressState> progressStates() const;
    int openProgressWindows() const;

private:
    class Window;

    mutable std::mutex mutex_;
    std::deque<int> script_;
    std::deque<ChoiceAnswer> formScript_;
    std::vector<Question> questions_;
    std::vector<ChoiceForm> forms_;
    std::vector<std::string> progress_;
    std::vector<std::string> problems_;
    std::vector<ProgressState> states_;
    int openWindows_ = 0;
};

// The process's current service; a HeadlessUi on stderr until someone installs another.
// The installer keeps the object alive while it is installed; null restores the default.
TESS_EXPORT UiService& current();
TESS_EXPORT void install(UiService* service);

// The modules' 8-bit text (Windows-1252) as UTF-8, for terminals and toolkits.
TESS_EXPORT std::string utf8FromAnsi(std::string_view text);

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
