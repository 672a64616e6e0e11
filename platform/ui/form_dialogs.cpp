#include "platform/ui/form_dialogs.h"

#include <atomic>

namespace platform::ui {

FormDialogs::~FormDialogs() = default;

int HeadlessFormDialogs::openFile(const OpenFileRequest&, std::string&) { return IDCANCEL; }

int HeadlessFormDialogs::credentials(CredentialsForm&) { return IDCANCEL; }

void ScriptedFormDialogs::answerFile(int answer, std::string path) {
    std::lock_guard lock(mutex_);
    files_.emplace_back(answer, std::move(path));
}

void ScriptedFormDialogs::answerCredentials(int answer, std::string idFile, std::string password) {
    std::lock_guard lock(mutex_);
    credentials_.push_back({answer, std::move(idFile), std::move(password)});
}

int ScriptedFormDialogs::openFile(const OpenFileRequest& request, std::string& path) {
    std::lock_guard lock(mutex_);
    fileRequests_.push_back(request);
    if (files_.empty()) {
        problems_.push_back("no scripted answer for the file dialog '" + request.title + "'");
        return IDCANCEL;
    }
    auto [answer, chosen] = files_.front();
    files_.pop_front();
    if (answer == IDOK) path = chosen;
    return answer;
}

int ScriptedFormDialogs::credentials(CredentialsForm& form) {
    std::unique_lock lock(mutex_);
    forms_.push_back(form);
    // Help presses, each answered by the form itself; the lock is not held while it runs.
    while (!credentials_.empty() && credentials_.front().answer == form.help.id) {
        credentials_.pop_front();
        if (!form.onHelp) continue;
        lock.unlock();
        form.onHelp();
        lock.lock();
    }
    if (credentials_.empty()) {
        problems_.push_back("no scripted answer for the form '" + form.caption + "'");
        return IDCANCEL;
    }
    const Credentials c = credentials_.front();
    credentials_.pop_front();
    if (c.answer == IDOK) {
        form.idFile = c.idFile;
        form.password = c.password;
    }
    return c.answer;
}

std::vector<OpenFileRequest> ScriptedFormDialogs::fileRequests() const {
    std::lock_guard lock(mutex_);
    return fileRequests_;
}

std::vector<CredentialsForm> ScriptedFormDialogs::forms() const {
    std::lock_guard lock(mutex_);
    return forms_;
}

std::vector<std::string> ScriptedFormDialogs::problems() const {
    std::lock_guard lock(mutex_);
    return problems_;
}

namespace {
HeadlessFormDialogs headless;
std::atomic<FormDialogs*> installed{nullptr};
}  // namespace

FormDialogs& currentFormDialogs() {
    FormDialogs* d = installed.load();
    return d ? *d : headless;
}

void installFormDialogs(FormDialogs* dialogs) { installed.store(dialogs); }

}  // namespace platform::ui
