#include "common/sync_progress_dialog.h"

#include <algorithm>

#include "common/language_module.h"
#include "common/sync_report.h"
#include "platform/ui/ui_service.h"

namespace tess {

CSyncProgressDlg::CSyncProgressDlg(std::string title, std::string caption)
    : title_(std::move(title)),
      caption_(std::move(caption)),
      window_(platform::ui::current().openProgress(title_, caption_)),
      hwnd_(platform::ui::createMessageWindow(
          [this](unsigned message, WPARAM wParam, LPARAM lParam) { return SendMessage(message, wParam, lParam); })) {}

CSyncProgressDlg::~CSyncProgressDlg() { platform::ui::destroyMessageWindow(hwnd_); }

std::string CSyncProgressDlg::ShownText() const {
    // A static control shows "&&" as one "&" (and a lone "&" not at all).
    std::string shown;
    for (size_t i = 0; i < text_.size(); ++i) {
        if (text_[i] == '&') {
            if (i + 1 < text_.size() && text_[i + 1] == '&') shown += '&', ++i;
            continue;
        }
        shown += text_[i];
    }
    return shown;
}

void CSyncProgressDlg::Show() const {
    if (!window_) return;
    window_->update({overall_.count, overall_.position}, {step_.count, step_.position}, ShownText());
    if (closed_) window_->close();
}

intptr_t CSyncProgressDlg::SendMessage(unsigned message, uintptr_t wParam, intptr_t lParam) {
    auto setBar = [](Bar& bar, int count) {
        bar.count = count;
        bar.last = count - 1;
        bar.position = 0;
    };
    switch (message) {
    case kProgressSetOverallCount: setBar(overall_, static_cast<int>(wParam)); break;
    case kProgressAdvanceOverall:
        overall_.position = std::min(overall_.position + 1, std::max(overall_.last, 0));
        break;
    case kProgressSetStepCount:
        if (static_cast<int>(wParam) <= 0) return 0;
        setBar(step_, static_cast<int>(wParam));
        break;
    case kProgressSetText: text_ = lParam ? reinterpret_cast<const char*>(lParam) : ""; break;
    case kProgressAdvanceStep: step_.position = std::min(step_.position + 1, std::max(step_.last, 0)); break;
    case kProgressSaveStep:
        cache_.count = step_.count;
        cache_.position = step_.position;
        cache_.text = text_;
        cache_.set = true;
        return 0;
    case kProgressRestoreStep:
        if (!cache_.set) return 0;
        text_ = cache_.text;
        step_.count = cache_.count;
        step_.last = cache_.count - 1;
        step_.position = cache_.position;
        break;
    case kProgressClose:
        overall_.position = std::max(overall_.last, 0);
        step_.position = std::max(step_.last, 0);
        closed_ = true;
        break;
    default: return -1;
    }
    Show();
    return 0;
}

void CSyncProgress::ShowProgress() {
    if (!dlg_)
        dlg_ =
            std::make_unique<CSyncProgressDlg>(LoadLangString(kStrProgressTitle), LoadLangString(kStrProgressCaption));
    dlg_->SendMessage(kProgressSetOverallCount, 11, 0);
}

void CSyncProgress::AdvanceOverall() {
    if (dlg_) dlg_->SendMessage(kProgressAdvanceOverall, 0, 0);
}

void CSyncProgress::SetStepCount(int n) {
    if (dlg_) dlg_->SendMessage(kProgressSetStepCount, static_cast<uintptr_t>(n > 0 ? n : 0), 0);
}

void CSyncProgress::SetProgressText(const std::string& text) {
    if (!dlg_) return;
    std::string doubled;
    for (char c : text) {
        doubled += c;
        if (c == '&') doubled += '&';
    }
    dlg_->SendMessage(kProgressSetText, 0, reinterpret_cast<intptr_t>(doubled.c_str()));
}

void CSyncProgress::SetProgressTextId(unsigned id) {
    if (dlg_) SetProgressText(LoadLangString(id));
}

void CSyncProgress::AdvanceStep() {
    if (dlg_) dlg_->SendMessage(kProgressAdvanceStep, 0, 0);
}

void CSyncProgress::SaveStepState() {
    if (dlg_) dlg_->SendMessage(kProgressSaveStep, 0, 0);
}

void CSyncProgress::RestoreStepState() {
    if (dlg_) dlg_->SendMessage(kProgressRestoreStep, 0, 0);
}

void CSyncProgress::CloseProgress() {
    if (!dlg_) return;
    dlg_->SendMessage(kProgressClose, 0, 0);
    dlg_.reset();
}

}  // namespace tess
