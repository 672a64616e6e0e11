#pragma once
// Lets an object see every event of a window it does not own. Several hooks on one window
// form a chain, the most recently hooked first; each passes on what it does not handle
// (WindowProc returns false) to the next, the last to the window itself. A window that
// goes away unhooks every hook first.
#include <QObject>
#include <QPointer>

class QWidget;

namespace tess::config {

class CSubclassWnd : public QObject {
public:
    ~CSubclassWnd() override;
    // With a window: this hook goes in front of the window's chain. With null: it leaves
    // its window's chain. Always 1.
    int HookWindow(QWidget* window);
    QWidget* HookedWindow() const { return window_; }

protected:
    // The hook's view of one event: true when handled (the chain stops), false to pass it on.
    virtual bool WindowProc(QObject* window, QEvent* event);

private:
    bool eventFilter(QObject* watched, QEvent* event) override;
    QPointer<QWidget> window_;
    QMetaObject::Connection destroyed_;
};

}  // namespace tess::config
