// The configuration entry: a small start-up dialog shows while the model loads the user;
// once the frame exists the dialog hides, and the entry's modal loop waits for the frame
// to go away.
#include <QApplication>
#include <QDialog>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QStyle>
#include <QTimer>
#include <memory>

#include "common/language_module.h"
#include "config/config_frame.h"
#include "config/panelwright.h"
#include "platform/ui/qt/qt_ui.h"

using tess::CLanguageModule;

namespace tess::config {
namespace {

constexpr int kStartTickMs = 100;
constexpr int kPollMs = 500;

class StartDialog : public QDialog {
public:
    explicit StartDialog(int userId) {
        setObjectName("11012");
        auto* row = new QHBoxLayout(this);
        auto* icon = new QLabel(this);
        icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(32, 32));
        auto* text = new QLabel(LangQ(4427), this);
        text->setObjectName("11051");
        row->addWidget(icon);
        row->addWidget(text);
        model_ = std::make_unique<CUserConfig>(userId);
        QTimer::singleShot(kStartTickMs, this, [this] { start(); });
    }

private:
    void start() {
        frame_ = new ConfigFrame(*model_);
        frame_->setAttribute(Qt::WA_DeleteOnClose);
        // Modal to the caller, as the entry's own loop is.
        frame_->setWindowModality(Qt::ApplicationModal);
        frame_->show();
        hide();
        auto* poll = new QTimer(this);
        connect(poll, &QTimer::timeout, this, [this, poll] {
            if (frame_) return;
            poll->stop();
            accept();
        });
        poll->start(kPollMs);
    }

    std::unique_ptr<CUserConfig> model_;
    QPointer<ConfigFrame> frame_;
};

}  // namespace
}  // namespace tess::config

TESS_API int Configure(int userId) {
    CLanguageModule language("LKSYNCLANG.DLL", nullptr);
    if (!platform::ui::ensureWindowedApplication()) return 1;
    tess::config::StartDialog dialog(userId);
    // A loop of its own rather than the dialog's: hiding a dialog ends its exec().
    QEventLoop loop;
    QObject::connect(&dialog, &QDialog::finished, &loop, &QEventLoop::quit);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.show();
    loop.exec();
    return 1;
}
