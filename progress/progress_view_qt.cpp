// The progress window as a Qt dialog, laid out like the service's dialog template; the
// control ids are the widgets' object names.
#include <QApplication>
#include <QDialog>
#include <QFontMetrics>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QStyle>
#include <string>
#include <type_traits>

#include "platform/export.h"
#include "platform/ui/qt/qt_ui.h"
#include "progress/progress_dialog.h"

namespace tess::progress {
namespace {

// Where the controls sit, in dialog units of the template (x, y, width, height).
struct Place {
    const char* id;
    int x, y, width, height;
};
constexpr int kWidthUnits = 277, kHeightUnits = 102;
constexpr Place kIcon{"12000", 15, 16, 21, 20};
constexpr Place kMainText{"12001", 45, 19, 219, 17};
constexpr Place kMainBar{"12003", 14, 43, 247, 11};
constexpr Place kSubText{"12002", 14, 57, 247, 17};
constexpr Place kSubBar{"12004", 14, 77, 247, 11};

class QtProgressView : public ProgressView {
public:
    QtProgressView() {
        dialog_ = new QDialog(nullptr, Qt::Dialog | Qt::WindowTitleHint);
        dialog_->setObjectName("12004");
        dialog_->setModal(false);
        // Dialog units: a quarter of the font's average character width across, an
        // eighth of its height down.
        const QFontMetrics metrics(dialog_->font());
        unitX_ = metrics.averageCharWidth();
        unitY_ = metrics.height();
        icon_ = add<QLabel>(kIcon);
        mainText_ = add<QLabel>(kMainText);
        mainBar_ = add<QProgressBar>(kMainBar);
        subText_ = add<QLabel>(kSubText);
        subBar_ = add<QProgressBar>(kSubBar);
        for (QLabel* text : {mainText_, subText_}) {
            text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            text->setWordWrap(true);
        }
        dialog_->setFixedSize(toPixelsX(kWidthUnits), toPixelsY(kHeightUnits));
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
        setBar(mainBar_, s.mainUpper, s.mainPosition);
        setBar(subBar_, s.subUpper, s.subPosition);
        pump();
    }

private:
    int toPixelsX(int units) const { return units * unitX_ / 4; }
    int toPixelsY(int units) const { return units * unitY_ / 8; }

    template <typename W>
    W* add(const Place& place) {
        auto* w = new W(dialog_);
        w->setObjectName(place.id);
        w->setGeometry(toPixelsX(place.x), toPixelsY(place.y), toPixelsX(place.width), toPixelsY(place.height));
        if constexpr (std::is_same_v<W, QProgressBar>) w->setTextVisible(false);
        return w;
    }

    // An empty range shows an empty bar; the toolkit would animate one as busy.
    static void setBar(QProgressBar* bar, int upper, int position) {
        bar->setRange(0, upper > 0 ? upper : 1);
        bar->setValue(upper > 0 ? position : 0);
    }

    // The caller's thread drives the window; let it paint between steps.
    static void pump() { QApplication::processEvents(); }

    QPointer<QDialog> dialog_;
    QLabel* icon_ = nullptr;
    QLabel* mainText_ = nullptr;
    QLabel* subText_ = nullptr;
    QProgressBar* mainBar_ = nullptr;
    QProgressBar* subBar_ = nullptr;
    int unitX_ = 6, unitY_ = 13;
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
