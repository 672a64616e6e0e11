#include "platform/ui/ui_service.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>

namespace platform::ui {

std::string utf8FromAnsi(std::string_view text) {
    // 0x80 to 0x9F are where Windows-1252 leaves Latin-1; its five holes show as U+FFFD.
    static constexpr char16_t kHigh[32] = {
        0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178,
    };
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const auto byte = static_cast<unsigned char>(ch);
        const unsigned code = byte >= 0x80 && byte < 0xA0 ? kHigh[byte - 0x80] : byte;
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return out;
}

// One output stream shared by whole lines and a progress line. On a terminal the progress
// line is rewritten in place, cut to the width so that it never wraps, and ended before
// any other line is written; elsewhere each progress line is a line of its own.
//
// A counter moving on its own (only the step's position changed) is shown at most every
// kCounterEvery: thousands of lines a second are more than anyone can read and cost the
// run a write each. The newest withheld line is shown before anything else is written, so
// every other line, every change of step or text, and the last state of each step appear.
class TerminalSink {
public:
    static constexpr std::chrono::milliseconds kCounterEvery{200};

    explicit TerminalSink(FILE* out) : out_(out), inPlace_(out && isatty(fileno(out))) {}

    void line(std::string_view text) {
        std::lock_guard lock(mutex_);
        if (!out_) return;
        showHeld();
        endInPlace();
        write(utf8FromAnsi(text) + "\n");
    }

    // counterOnly: the line differs from its window's last one by the step's position alone.
    void progressLine(const void* window, std::string_view text, bool counterOnly) {
        std::lock_guard lock(mutex_);
        if (!out_) return;
        const auto now = std::chrono::steady_clock::now();
        if (counterOnly && now - lastShown_ < kCounterEvery) {
            // A newer count of the same window replaces the one withheld.
            if (heldWindow_ != window) showHeld();
            held_.assign(text);
            heldWindow_ = window;
            return;
        }
        if (counterOnly && heldWindow_ == window) held_.clear();
        showHeld();
        show(text);
        lastShown_ = now;
    }

    void endProgress() {
        std::lock_guard lock(mutex_);
        if (!out_) return;
        showHeld();
        endInPlace();
    }

private:
    void show(std::string_view text) {
        std::string flat(text);
        std::replace_if(
            flat.begin(), flat.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }, ' ');
        if (!inPlace_) {
            write(utf8FromAnsi(flat) + "\n");
            return;
        }
        winsize size{};
        if (ioctl(fileno(out_), TIOCGWINSZ, &size) == 0 && size.ws_col > 1 && flat.size() >= size.ws_col)
            flat.resize(size.ws_col - 1u);
        write("\r" + utf8FromAnsi(flat) + "\x1b[K");
        pending_ = true;
    }
    void showHeld() {
        if (!heldWindow_) return;
        heldWindow_ = nullptr;
        show(held_);
        held_.clear();
    }
    void write(const std::string& bytes) {
        std::fwrite(bytes.data(), 1, bytes.size(), out_);
        std::fflush(out_);
    }
    void endInPlace() {
        if (pending_) write("\n");
        pending_ = false;
    }

    std::mutex mutex_;
    FILE* out_;
    const bool inPlace_;
    bool pending_ = false;
    std::chrono::steady_clock::time_point lastShown_{};
    std::string held_;
    const void* heldWindow_ = nullptr;
};

namespace {

class TerminalWindow : public ProgressWindow {
public:
    TerminalWindow(std::string_view title, std::string_view caption, std::shared_ptr<TerminalSink> sink)
        : ProgressWindow(title, caption), sink_(std::move(sink)) {}
    ~TerminalWindow() override { close(); }

protected:
    void shown(const ProgressState& state) override {
        std::string line = state.line();
        if (line == last_) return;
        const bool counterOnly = !last_.empty() && state.overall == lastState_.overall &&
                                 state.step.count == lastState_.step.count && state.text == lastState_.text &&
                                 state.caption == lastState_.caption;
        last_ = std::move(line);
        lastState_ = state;
        sink_->progressLine(this, last_, counterOnly);
    }
    void closing() override { sink_->endProgress(); }

private:
    std::shared_ptr<TerminalSink> sink_;
    std::string last_;
    ProgressState lastState_;
};

ProgressBar kept(ProgressBar bar) {
    bar.count = std::max(bar.count, 0);
    bar.position = std::clamp(bar.position, 0, std::max(bar.count - 1, 0));
    return bar;
}

}  // namespace

std::string ProgressState::line() const {
    std::string out = caption;
    auto add = [&out](std::string_view part) {
        if (part.empty()) return;
        if (!out.empty()) out += ' ';
        out += part;
    };
    if (overall.count > 0)
        add("[" + std::to_string(std::min(overall.position + 1, overall.count)) + "/" + std::to_string(overall.count) +
            "]");
    if (step.count > 0) add("[" + std::to_string(step.position) + "/" + std::to_string(step.count) + "]");
    add(text);
    return out;
}

ProgressWindow::ProgressWindow(std::string_view title, std::string_view caption) {
    state_.title = title;
    state_.caption = caption;
}

ProgressWindow::~ProgressWindow() = default;

void ProgressWindow::setOverall(ProgressBar bar) {
    ProgressState next = state_;
    next.overall = kept(bar);
    apply(std::move(next));
}

void ProgressWindow::setStep(ProgressBar bar) {
    ProgressState next = state_;
    next.step = kept(bar);
    apply(std::move(next));
}

void ProgressWindow::setText(std::string_view text) {
    ProgressState next = state_;
    next.text = text;
    apply(std::move(next));
}

void ProgressWindow::update(ProgressBar overall, ProgressBar step, std::string_view text) {
    // Called for every step of thousands: compared in place, copied only when it changed.
    overall = kept(overall);
    step = kept(step);
    if (closed_ || (overall == state_.overall && step == state_.step && text == state_.text)) return;
    state_.overall = overall;
    state_.step = step;
    if (text != state_.text) state_.text = text;
    shown(state_);
}

void ProgressWindow::close() {
    if (closed_) return;
    closed_ = true;
    closing();
}

void ProgressWindow::apply(ProgressState next) {
    if (closed_ || next == state_) return;
    state_ = std::move(next);
    shown(state_);
}

std::vector<int> Question::answers() const {
    switch (buttons) {
    case Buttons::Ok: return {IDOK};
    case Buttons::OkCancel: return {IDOK, IDCANCEL};
    case Buttons::AbortRetryIgnore: return {IDABORT, IDRETRY, IDIGNORE};
    case Buttons::YesNoCancel: return {IDYES, IDNO, IDCANCEL};
    case Buttons::YesNo: return {IDYES, IDNO};
    case Buttons::RetryCancel: return {IDRETRY, IDCANCEL};
    }
    return {IDOK};
}

int Question::defaultAnswer() const {
    const auto all = answers();
    return defaultButton >= 0 && static_cast<size_t>(defaultButton) < all.size()
               ? all[static_cast<size_t>(defaultButton)]
               : all.front();
}

Question Question::fromType(std::string_view text, std::string_view caption, unsigned type) {
    Question q;
    q.text = text;
    q.caption = caption;
    const unsigned set = type & 0xF;
    q.buttons = set <= 5 ? static_cast<Buttons>(set) : Buttons::Ok;
    switch (type & 0xF0) {
    case MB_ICONERROR: q.icon = Icon::Error; break;
    case MB_ICONQUESTION: q.icon = Icon::Question; break;
    case MB_ICONWARNING: q.icon = Icon::Warning; break;
    case MB_ICONINFORMATION: q.icon = Icon::Information; break;
    default: q.icon = Icon::None;
    }
    q.defaultButton = static_cast<int>((type & 0xF00) >> 8);
    return q;
}

UiService::~UiService() = default;

int UiService::choose(ChoiceForm&) { return IDCANCEL; }

std::unique_ptr<ProgressWindow> UiService::openProgress(std::string_view title, std::string_view caption) {
    static const auto stderrSink = std::make_shared<TerminalSink>(stderr);
    return std::make_unique<TerminalWindow>(title, caption, stderrSink);
}

HeadlessUi::HeadlessUi(FILE* log) : sink_(std::make_shared<TerminalSink>(log)) {}

HeadlessUi::~HeadlessUi() = default;

int HeadlessUi::ask(const Question& question) {
    const int answer = question.defaultAnswer();
    sink_->line("[" + question.caption + "] " + question.text + " (answered " + std::to_string(answer) + ")");
    return answer;
}

int HeadlessUi::choose(ChoiceForm& form) {
    sink_->line("[" + form.caption + "] " + form.group.text + " (cancelled: no display to choose on)");
    return IDCANCEL;
}

void HeadlessUi::progress(std::string_view line) { sink_->line(line); }

std::unique_ptr<ProgressWindow> HeadlessUi::openProgress(std::string_view title, std::string_view caption) {
    return std::make_unique<TerminalWindow>(title, caption, sink_);
}

void ScriptedUi::answerNext(int answer) {
    std::lock_guard lock(mutex_);
    script_.push_back(answer);
}

int ScriptedUi::ask(const Question& question) {
    std::lock_guard lock(mutex_);
    questions_.push_back(question);
    if (script_.empty()) {
        problems_.push_back("unscripted question: " + question.text);
        return question.defaultAnswer();
    }
    const int answer = script_.front();
    script_.pop_front();
    const auto offered = question.answers();
    if (std::find(offered.begin(), offered.end(), answer) == offered.end()) {
        problems_.push_back("answer " + std::to_string(answer) + " not offered by: " + question.text);
        return question.defaultAnswer();
    }
    return answer;
}

void ScriptedUi::answerNextForm(ChoiceAnswer answer) {
    std::lock_guard lock(mutex_);
    formScript_.push_back(std::move(answer));
}

int ScriptedUi::choose(ChoiceForm& form) {
    ChoiceAnswer answer;
    {
        std::lock_guard lock(mutex_);
        // Kept without the actions' code, which may belong to a library unloaded later.
        ChoiceForm shown = form;
        for (auto& action : shown.actions) action.run = nullptr;
        forms_.push_back(std::move(shown));
        if (formScript_.empty()) {
            problems_.push_back("unscripted form: " + form.caption);
            return IDCANCEL;
        }
        answer = std::move(formScript_.front());
        formScript_.pop_front();
    }
    // Actions run unlocked: they may well ask questions of their own.
    for (const int index : answer.press) {
        if (index < 0 || index >= static_cast<int>(form.actions.size())) {
            std::lock_guard lock(mutex_);
            problems_.push_back("form " + form.caption + " has no action " + std::to_string(index));
            continue;
        }
        if (form.actions[static_cast<size_t>(index)].run) form.actions[static_cast<size_t>(index)].run();
    }
    if (answer.answer != IDOK) {
        if (answer.answer != IDCANCEL) {
            std::lock_guard lock(mutex_);
            problems_.push_back("form answer " + std::to_string(answer.answer) + " is neither OK nor Cancel");
        }
        return IDCANCEL;
    }
    if (answer.choice < 0 || answer.choice >= static_cast<int>(form.options.size())) {
        std::lock_guard lock(mutex_);
        problems_.push_back("form " + form.caption + " has no option " + std::to_string(answer.choice));
        return IDCANCEL;
    }
    form.choice = answer.choice;
    form.checked = !form.check.text.empty() && answer.checked;
    return IDOK;
}

std::vector<ChoiceForm> ScriptedUi::forms() const {
    std::lock_guard lock(mutex_);
    return forms_;
}

void ScriptedUi::progress(std::string_view line) {
    std::lock_guard lock(mutex_);
    progress_.emplace_back(line);
}

class ScriptedUi::Window : public ProgressWindow {
public:
    Window(ScriptedUi& ui, std::string_view title, std::string_view caption) : ProgressWindow(title, caption), ui_(ui) {
        std::lock_guard lock(ui_.mutex_);
        ++ui_.openWindows_;
    }
    ~Window() override { close(); }

protected:
    void shown(const ProgressState& state) override {
        std::string line = state.line();
        std::lock_guard lock(ui_.mutex_);
        ui_.states_.push_back(state);
        if (line == last_) return;
        last_ = line;
        ui_.progress_.push_back(std::move(line));
    }
    void closing() override {
        std::lock_guard lock(ui_.mutex_);
        --ui_.openWindows_;
    }

private:
    ScriptedUi& ui_;
    std::string last_;
};

std::unique_ptr<ProgressWindow> ScriptedUi::openProgress(std::string_view title, std::string_view caption) {
    return std::make_unique<Window>(*this, title, caption);
}

std::vector<ProgressState> ScriptedUi::progressStates() const {
    std::lock_guard lock(mutex_);
    return states_;
}

int ScriptedUi::openProgressWindows() const {
    std::lock_guard lock(mutex_);
    return openWindows_;
}

std::vector<Question> ScriptedUi::questions() const {
    std::lock_guard lock(mutex_);
    return questions_;
}

std::vector<std::string> ScriptedUi::progressLines() const {
    std::lock_guard lock(mutex_);
    return progress_;
}

std::vector<std::string> ScriptedUi::problems() const {
    std::lock_guard lock(mutex_);
    return problems_;
}

namespace {
HeadlessUi& fallback() {
    static HeadlessUi headless;
    return headless;
}
std::atomic<UiService*> gCurrent{nullptr};
}  // namespace

UiService& current() {
    UiService* s = gCurrent.load();
    return s ? *s : fallback();
}

void install(UiService* service) { gCurrent.store(service == &fallback() ? nullptr : service); }

int messageBox(std::string_view text, std::string_view caption, unsigned type) {
    return current().ask(Question::fromType(text, caption, type));
}

void progress(std::string_view line) { current().progress(line); }

}  // namespace platform::ui
