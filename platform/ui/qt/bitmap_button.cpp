#include "platform/ui/qt/bitmap_button.h"

#include <QEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPolygon>
#include <algorithm>
#include <cstdlib>

namespace platform::ui {

BitmapButton::BitmapButton(QWidget* parent) : QAbstractButton(parent) {
    // It only shows a picture; there is nothing to do with the keyboard.
    setFocusPolicy(Qt::NoFocus);
}

bool BitmapButton::LoadBitmaps(const QImage& normal, const QImage& selected, const QImage& focus,
                               const QImage& disabled) {
    for (QImage& s : sources_) s = QImage();
    for (QPixmap& p : shown_) p = QPixmap();
    if (normal.isNull()) {
        update();
        return false;
    }
    sources_[kNormal] = normal;
    sources_[kSelected] = selected;
    sources_[kFocus] = focus;
    sources_[kDisabled] = disabled;
    Map();
    setFixedSize(normal.size());
    return true;
}

void BitmapButton::Map() {
    const QRgb face = palette().color(QPalette::Button).rgba();
    for (int i = 0; i < kStates; ++i) {
        if (sources_[i].isNull()) {
            shown_[i] = QPixmap();
            continue;
        }
        QImage image = sources_[i].convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < image.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x)
                if (line[x] == kMappedGrey) line[x] = face;
        }
        shown_[i] = QPixmap::fromImage(image);
    }
    update();
}

QSize BitmapButton::sizeHint() const { return sources_[kNormal].isNull() ? QSize(0, 0) : sources_[kNormal].size(); }

void BitmapButton::paintEvent(QPaintEvent*) {
    int state = kNormal;
    if (!isEnabled())
        state = kDisabled;
    else if (isDown())
        state = kSelected;
    else if (hasFocus())
        state = kFocus;
    const QPixmap& pixmap = shown_[state].isNull() ? shown_[kNormal] : shown_[state];
    if (pixmap.isNull()) return;
    QPainter painter(this);
    painter.drawPixmap(0, 0, pixmap);
}

void BitmapButton::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange) Map();
    QAbstractButton::changeEvent(event);
}

namespace {

// Pixel-exact drawing: no smoothing, so the grey around the figures stays exactly the
// mapped grey and nothing of it is left at the edges.
void Desktop(QPainter& p, int x, int y) {
    p.setPen(QColor(0x30, 0x30, 0x30));
    p.setBrush(QColor(0xE8, 0xE8, 0xE8));
    p.drawRect(x, y, 22, 15);  // the monitor's case
    p.setBrush(QColor(0x10, 0x40, 0x80));
    p.drawRect(x + 2, y + 2, 18, 11);  // its screen
    p.setBrush(QColor(0x80, 0x80, 0x80));
    p.drawRect(x + 9, y + 16, 4, 2);   // the stand
    p.drawRect(x + 5, y + 19, 12, 2);  // the foot
}

void Handheld(QPainter& p, int x, int y) {
    p.setPen(QColor(0x30, 0x30, 0x30));
    p.setBrush(QColor(0x50, 0x50, 0x58));
    p.drawRoundedRect(x, y, 12, 21, 2, 2);  // the case
    p.setBrush(QColor(0x90, 0xB0, 0x80));
    p.drawRect(x + 2, y + 2, 8, 10);  // the screen
    p.setBrush(QColor(0xE0, 0xE0, 0xE0));
    p.drawRect(x + 3, y + 15, 2, 2);  // two buttons
    p.drawRect(x + 7, y + 15, 2, 2);
}

void Arrow(QPainter& p, int fromX, int toX, int y, QColor colour) {
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    const int dir = toX > fromX ? 1 : -1;
    const int head = toX - dir * 5;
    p.drawRect(std::min(fromX, head), y - 1, std::abs(head - fromX) + 1, 3);
    p.drawPolygon(QPolygon({QPoint(head, y - 4), QPoint(toX, y), QPoint(head, y + 4)}));
}

}  // namespace

QImage PaintFormPicture(FormPicture kind) {
    if (kind == FormPicture::None) return {};
    QImage image(75, 23, QImage::Format_ARGB32);
    image.fill(BitmapButton::kMappedGrey);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    Desktop(p, 2, 0);
    Handheld(p, 60, 1);
    if (kind == FormPicture::DeviceSync) {
        Arrow(p, 28, 55, 7, QColor(0x10, 0x80, 0x20));   // mail to the handheld
        Arrow(p, 55, 28, 15, QColor(0x20, 0x50, 0xC0));  // and back to the desktop
    } else {
        // A broken line with a stop sign: nothing passes.
        p.setPen(QPen(QColor(0x70, 0x70, 0x70), 1, Qt::DashLine));
        p.drawLine(28, 11, 55, 11);
        p.setPen(QColor(0x80, 0x00, 0x00));
        p.setBrush(QColor(0xD0, 0x20, 0x20));
        p.drawEllipse(QPoint(41, 11), 7, 7);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawRect(37, 10, 9, 3);
    }
    return image;
}

}  // namespace platform::ui
