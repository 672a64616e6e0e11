#include "platform/ui/ui_service.h"

#include <algorithm>
#include <atomic>

namespace platform::ui {

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
    return defaultButton >= 0 && static_cast<size_t>(defaultButton) < all.size() ? all[static_cast<size_t>(defaultButton)]
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

int HeadlessUi::ask(const Question& question) {
    const int answer = question.defaultAnswer();
    std::lock_guard lock(mutex_);
    if (log_) {
        std::fprintf(log_, "[%.*s] %.*s (answered %d)\n", static_cast<int>(question.caption.size()),
                     question.caption.data(), static_cast<int>(question.text.size()), question.text.data(), answer);
        std::fflush(log_);
    }
    return answer;
}

void HeadlessUi::progress(std::string_view line) {
    std::lock_guard lock(mutex_);
    if (log_) {
        std::fprintf(log_, "%.*s\n", static_cast<int>(line.size()), line.data());
        std::fflush(log_);
    }
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

void ScriptedUi::progress(std::string_view line) {
    std::lock_guard lock(mutex_);
    progress_.emplace_back(line);
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
