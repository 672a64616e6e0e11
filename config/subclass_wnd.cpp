#include "config/subclass_wnd.h"

#include <QWidget>

namespace tess::config {

CSubclassWnd::~CSubclassWnd() { HookWindow(nullptr); }

int CSubclassWnd::HookWindow(QWidget* window) {
    if (window_) {
        window_->removeEventFilter(this);
        disconnect(destroyed_);
        window_ = nullptr;
    }
    if (window) {
        window_ = window;
        // Qt asks the filter installed last first: the newest hook sees events first.
        window->installEventFilter(this);
        destroyed_ = connect(window, &QObject::destroyed, this, [this] { window_ = nullptr; });
    }
    return 1;
}

bool CSubclassWnd::WindowProc(QObject*, QEvent*) { return false; }

bool CSubclassWnd::eventFilter(QObject* watched, QEvent* event) {
    return watched == window_ && WindowProc(watched, event);
}

}  // namespace tess::config
