#pragma once
// A button that shows a bitmap per state (normal, pressed, focused, disabled). Bitmaps are
// drawn on the classic light grey, which takes the button face colour of the current
// palette, so the picture sits on the dialog's own colour; a palette change recolours it.
#include <QAbstractButton>
#include <QImage>
#include <QPixmap>

#include "platform/ui/ui_service.h"

namespace platform::ui {

class BitmapButton : public QAbstractButton {
public:
    explicit BitmapButton(QWidget* parent = nullptr);
    // A null image leaves that state to the normal bitmap. False, with nothing shown, when
    // the normal bitmap is null. The button takes the normal bitmap's size.
    bool LoadBitmaps(const QImage& normal, const QImage& selected = {}, const QImage& focus = {},
                     const QImage& disabled = {});
    QSize sizeHint() const override;

    // The grey that stands for the button face in a bitmap.
    static constexpr QRgb kMappedGrey = 0xFFC0C0C0;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void Map();

    enum { kNormal, kSelected, kFocus, kDisabled, kStates };
    QImage sources_[kStates];
    QPixmap shown_[kStates];
};

// The picture of a form, drawn on the mapped grey; null for FormPicture::None.
QImage PaintFormPicture(FormPicture kind);

}  // namespace platform::ui
