// The progress window as a Qt dialog, laid out like the service's dialog template; the
// control ids are the widgets' object names.
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QStyle>
#include <QVBoxLayout>
#include <string>

#include "platform/export.h"
#include "platform/ui/qt/qt_ui.h"
#include "progress/progress_dialog.h"

namespace tess::progress {
namespace {

class QtProgressView : public ProgressView {
public:
    QtProgressView() {
        dialog_ = new QDialog(nullptr, Qt::Dialog | Qt::WindowTitleHint);
        dialog_->setObjectName("12004");
        dialog_->setModal(false);
        auto* layout = new QVBoxLayout(dialog_);
        icon_ = add<QLabel>(layout, "12000");
        mainText_ = add<QLabel>(layout, "12001");
        mainBar_ = add<QProgressBar>(layout, "12003");
        subText_ = add<QLabel>(layout, "12002");
        subBar_ = add<QProgressBar>(layout, "12004");
        dialog_->resize(460, 170);
    }
    ~QtProgressView() override { delete dialog_.data(); }

    // At exit some of the toolkit's globals are already gone; its windows go with the
    // process, so the dialog is left to it.
    void detachAtExit() override { dialog_.clear(); }

    void setVisible(bool visible) override {
        if (!dialog_) return;
        dialog_->setVisible(visible);
        pump();
    }
    void setCaption(const std::string& caption) override {
        if (dialog_) dialog_->setWindowTitle(QString::fromStdString(caption));
    }
    void setIcon(int iconId) override {
        if (!dialog_) return;
        icon_->setPixmap(dialog_->style()->standardIcon(QStyle::SP_BrowserReload).pixmap(32, 32));
        icon_->setProperty("iconId", iconId);
    }
    void show(const ProgressSnapshot& s) override {
        if (!dialog_) return;
        mainText_->setText(QString::fromStdString(s.mainText));
        subText_->setText(QString::fromStdString(s.subText));
        mainBar_->setRange(0, s.mainUpper);
        mainBar_->setValue(s.mainPosition);
        subBar_->setRange(0, s.subUpper);
        subBar_->setValue(s.subPosition);
        pump();
    }

private:
    template <typename W>
    W* add(QVBoxLayout* layout, const char* id) {
        auto* w = new W(dialog_);
        w->setObjectName(id);
        layout->addWidget(w);
        return w;
    }
    // The caller's thread drives the window; let it paint between steps.
    static void pump() { QApplication::processEvents(); }

    QPointer<QDialog> dialog_;
    QLabel* icon_ = nullptr;
    QLabel* mainText_ = nullptr;
    QLabel* subText_ = nullptr;
    QProgressBar* mainBar_ = nullptr;
    QProgressBar* subBar_ = nullptr;
};

}  // namespace

}  // namespace tess::progress

// Loaded by Lampwick only when a display may be there, so that processes without one
// never map the toolkit. Null without a reachable display.
TESS_API tess::progress::ProgressView* LampwickCreateQtView() {
    using namespace tess::progress;
    if (!platform::ui::ensureWindowedApplication()) return nullptr;
    return new QtProgressView();
}
