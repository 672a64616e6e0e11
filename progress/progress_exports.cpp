// The PRG exports and the service's initialisation over SharedXS.
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <system_error>

#include "platform/core/os.h"
#include "progress/lampwick.h"
#include "progress/progress_dialog.h"
#include "progress/shared_progress_state.h"

namespace tess::progress {
namespace {

constexpr size_t kMaxMainText = 1024;

// The section stays mapped for the life of the process; a stand-in block keeps the
// service answering (for this process only) when it cannot be opened.
struct SectionHolder {
    std::optional<platform::SharedSection> section;
    SharedXS fallback{};
    SharedXS* state = nullptr;
    SectionHolder() {
        std::error_code ec;
        section = platform::SharedSection::open("SharedXS", sizeof(SharedXS), ec);
        state = section ? static_cast<SharedXS*>(section->data()) : &fallback;
    }
};

// The window object of this process. Unloading destroys it and withdraws the shared
// reference when it is still ours.
struct LocalWindow {
    std::unique_ptr<CProgressDialog> dialog;
    pid_t maker = 0;  // the process that made `dialog`
    ~LocalWindow() {
        SharedXS* s = SharedProgressState();
        if (dialog && s && s->dialogOwner == static_cast<int32_t>(getpid()) && s->dialog == dialog.get()) {
            s->dialog = nullptr;
            s->dialogOwner = 0;
        }
    }
};

LocalWindow& Local() {
    SharedProgressState();  // made first, so that it outlives the window at exit
    static LocalWindow local;
    return local;
}

// Destroys the window at exit; registered after the first view was made, so it runs
// before the clean-up of what that view set up.
void DestroyLocalWindow() {
    LocalWindow& local = Local();
    if (local.maker != getpid()) return;
    SharedXS* s = SharedProgressState();
    if (s && s->dialogOwner == static_cast<int32_t>(getpid()) && s->dialog == local.dialog.get()) {
        s->dialog = nullptr;
        s->dialogOwner = 0;
    }
    if (local.dialog) local.dialog->DetachAtExit();
    local.dialog.reset();
}

// The window when it belongs to this process (a forked child inherits the object but
// not the window).
CProgressDialog* Window() {
    SharedXS* s = SharedProgressState();
    CProgressDialog* d = Local().dialog.get();
    if (!s || !d || s->dialogOwner != static_cast<int32_t>(getpid()) || s->dialog != d) return nullptr;
    return d;
}

void EnsureWindow(SharedXS* s) {
    LocalWindow& local = Local();
    if (local.dialog && local.maker != getpid()) {
        // Inherited from the process we were forked from: its window belongs to that
        // process, so the copy is left alone rather than torn down here.
        (void)local.dialog.release();
    }
    if (!local.dialog) {
        try {
            local.dialog = std::make_unique<CProgressDialog>(MakeProgressView());
            local.maker = getpid();
            static const bool atExit = std::atexit(&DestroyLocalWindow) == 0;
            (void)atExit;
        } catch (...) {
            return;
        }
    }
    CProgressDialog* d = local.dialog.get();
    if (!d->created()) d->Create();
    d->Show(false);
    s->dialogOwner = static_cast<int32_t>(getpid());
    s->dialog = d;
    d->ShowCreator(s->creator);
}

// The checks of every call but the start: the window first, then the state.
int Check(CProgressDialog*& d) {
    d = Window();
    if (!d) return PRG_NO_WINDOW;
    SharedXS* s = SharedProgressState();
    if (!s->syncState) return PRG_NO_TALLYHOP;
    return 0;
}

template <typename Fn>
int WithWindow(Fn fn) {
    CProgressDialog* d = nullptr;
    if (int rc = Check(d)) return rc;
    fn(*d);
    return 0;
}

}  // namespace

SharedXS* SharedProgressState() {
    static SectionHolder holder;
    return holder.state;
}

ProgressSnapshot CurrentProgress() {
    CProgressDialog* d = Window();
    return d ? d->Snapshot() : ProgressSnapshot{};
}

}  // namespace tess::progress

using namespace tess::progress;

int IPES_InitializeLampwick(IpesInitBlock* block) {
    if (!block) return PRG_BAD_ARGUMENT;
    SharedXS* s = SharedProgressState();
    s->syncState = nullptr;
    s->noDialog = 0;
    s->initialised = 0;
    s->creator = block->creator;
    s->syncState = block->syncSession;
    s->noDialog = block->noDialog;
    if (s->noDialog == 0 && s->syncState) EnsureWindow(s);
    s->initialised = 1;
    return 0;
}

void* IPES_SetTallyhopStateLampwick(void* state) {
    SharedProgressState()->syncState = state;
    return state;
}

void* IPES_GetTallyhopStateLampwick(void) { return SharedProgressState()->syncState; }

int PRGStartProgress(ProgressStart* start) {
    if (!start) return PRG_BAD_ARGUMENT;
    if (!SharedProgressState()->syncState) return PRG_NO_TALLYHOP;
    CProgressDialog* d = Window();
    if (!d) return PRG_BAD_ARGUMENT;
    d->Start(start->mainCount, start->mainText, start->subCount, start->subText);
    return 0;
}

int PRGUpdateMainMessage(const char* text) {
    CProgressDialog* d = nullptr;
    if (int rc = Check(d)) return rc;
    if (text && std::strlen(text) > kMaxMainText) return PRG_BAD_ARGUMENT;
    d->SetMainText(text);
    return 0;
}

int PRGSetMainEventCount(int count) {
    return WithWindow([count](CProgressDialog& d) { d.SetMainCount(count); });
}
int PRGUpdateMainEvent(void) {
    return WithWindow([](CProgressDialog& d) { d.StepMain(); });
}
int PRGUpdateSubMessage(const char* text) {
    return WithWindow([text](CProgressDialog& d) { d.SetSubText(text); });
}
int PRGSetSubEventCount(int count) {
    return WithWindow([count](CProgressDialog& d) { d.SetSubCount(count); });
}
int PRGUpdateSubEvent(void) {
    return WithWindow([](CProgressDialog& d) { d.StepSub(); });
}
int PRGCacheState(void) {
    return WithWindow([](CProgressDialog& d) { d.CacheState(); });
}
int PRGRestoreState(void) {
    return WithWindow([](CProgressDialog& d) { d.RestoreState(); });
}
int PRGClose(void) {
    return WithWindow([](CProgressDialog& d) { d.Show(false); });
}
