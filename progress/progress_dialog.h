#pragma once
// The progress window of one process: its texts, its two bars and the one saved state,
// shown through a view (a Qt dialog with a display, a terminal line without one).
#include <cstdint>
#include <memory>
#include <string>

#include "progress/progress_snapshot.h"

namespace tess::progress {

// Where the window's state is shown.
class ProgressView {
public:
    virtual ~ProgressView() = default;
    virtual void setVisible(bool visible) = 0;
    virtual void setCaption(const std::string& caption) = 0;
    virtual void setIcon(int iconId) = 0;
    virtual void show(const ProgressSnapshot& state) = 0;
    // The process is exiting: let go of what the window system tears down itself.
    virtual void detachAtExit() {}
};

// A Qt dialog when a display is there, else a line through the UI service.
std::unique_ptr<ProgressView> MakeProgressView();

struct ProgressBar {
    int upper = 0;  // 0..upper; only the low 16 bits of a count are kept
    int position = 0;

    void setRange(int count);
    void setPosition(int value);  // clamped to the range
    void step();
};

class CProgressDialog {
public:
    explicit CProgressDialog(std::unique_ptr<ProgressView> view) : view_(std::move(view)) {}
    CProgressDialog(const CProgressDialog&) = delete;
    CProgressDialog& operator=(const CProgressDialog&) = delete;

    bool Create();
    void DetachAtExit() {
        if (view_) view_->detachAtExit();
    }
    bool created() const { return created_; }
    void Show(bool visible);
    // Icon and caption of a known creator code ('asc3', 'addr', 'date'); others change nothing.
    void ShowCreator(uint32_t creator);

    void Start(int mainCount, const char* mainText, int subCount, const char* subText);
    void SetMainText(const char* text);
    void SetSubText(const char* text);
    void SetMainCount(int count);
    void SetSubCount(int count);
    void StepMain();
    void StepSub();
    void CacheState();
    void RestoreState();

    ProgressSnapshot Snapshot() const;

private:
    void refresh();

    struct Saved {
        ProgressBar main, sub;
        std::string mainText, subText;
    };

    std::unique_ptr<ProgressView> view_;
    bool created_ = false;
    bool visible_ = false;
    ProgressBar sub_, main_;
    std::string mainText_, subText_;
    uint32_t creator_ = 0;
    int icon_ = 0;
    std::string caption_;
    Saved saved_;
};

}  // namespace tess::progress
