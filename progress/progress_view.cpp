#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/core/module.h"
#include "platform/ui/ui_service.h"
#include "progress/progress_dialog.h"

namespace tess::progress {

namespace {

// The Qt view lives in its own library, loaded on first need and kept for the life of
// the process (the toolkit cannot be unloaded cleanly).
std::unique_ptr<ProgressView> MakeQtProgressView() {
    auto set = [](const char* name) {
        const char* v = std::getenv(name);
        return v && *v;
    };
    if (!set("QT_QPA_PLATFORM") && !set("DISPLAY") && !set("WAYLAND_DISPLAY")) return nullptr;
    static HMODULE library = LoadLibraryA("LampwickQt.dll");
    if (!library) return nullptr;
    using Create = ProgressView* (*)();
    static auto create = reinterpret_cast<Create>(GetProcAddress(library, "LampwickCreateQtView"));
    return std::unique_ptr<ProgressView>(create ? create() : nullptr);
}

// Without a display the window is one progress line per change, through the UI service.
class TerminalProgressView : public ProgressView {
public:
    void setVisible(bool visible) override { visible_ = visible; }
    void setCaption(const std::string& caption) override { caption_ = caption; }
    void setIcon(int) override {}
    void show(const ProgressSnapshot& s) override {
        if (!visible_) return;
        char bars[96];
        std::snprintf(bars, sizeof bars, " [%d/%d] | ", s.mainPosition, s.mainUpper);
        std::string line = caption_ + ": " + s.mainText + bars + s.subText;
        std::snprintf(bars, sizeof bars, " [%d/%d]", s.subPosition, s.subUpper);
        line += bars;
        if (line == last_) return;
        last_ = line;
        platform::ui::progress(line);
    }

private:
    bool visible_ = false;
    std::string caption_;
    std::string last_;
};

}  // namespace

std::unique_ptr<ProgressView> MakeProgressView() {
    if (auto view = MakeQtProgressView()) return view;
    return std::make_unique<TerminalProgressView>();
}

}  // namespace tess::progress
