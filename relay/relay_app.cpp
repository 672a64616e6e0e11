#include "relay/relay_app.h"

#include <cstring>

#include "platform/ui/ui_service.h"
#include "relay/main_frame.h"
#include "relay/relay_dialogs.h"
#include "relay/relay_log.h"
#include "relay/relay_text.h"
#include "relay/relay_util.h"

namespace tess::relay {

using tess::relaycfg::RelayUserSettings;

bool& ExitPending() {
    static bool pending = false;
    return pending;
}

CRelayApp::CRelayApp() = default;

CRelayApp::~CRelayApp() {
    watcher_.reset();
    if (config_) config_->UnInit();
    config_.reset();
    LogWrite(kLogInformation, Text(57383));
}

int CRelayApp::ExitInstance() { return 0; }

void CRelayApp::CloseDown() {
    watcher_.reset();
    if (config_) config_->UnInit();
}

int CRelayApp::loadSettings(bool skipSetUp, bool reportSetUp) {
    return config_->LoadUserSettings(skipSetUp, reportSetUp);
}

bool CRelayApp::InitInstance() {
    language_ = std::make_unique<CLanguageModule>("LKDLLANG.DLL", nullptr);
    // One relay per desktop: a lock the kernel drops with its holder, so a relay that was
    // killed never keeps the next one out.
    std::error_code ec;
    instance_ = platform::InstanceLock::acquire("Wayfarer", ec);
    if (!instance_) {
        platform::ui::messageBox(Text(57406), Caption(), MB_ICONINFORMATION);
        return false;
    }
    if (!IsOutlookDefaultMailClient()) {
        Box(Text(57397));
        return false;
    }
    config_ = std::make_unique<CRelayConfig>(0);
    if (config_->DoSuicide()) {
        Box(Text(57396));
        config_.reset();
        return false;
    }
    int init = config_->Init();
    if (init == 4) {
        Box(Text(57385));
        return false;
    }
    if (init != 0 && init != 2) {
        Box(Text(57386));
        return false;
    }
    bool firstChoice = true;
    bool retryAllowed = true;
    std::string lastShown;
    for (;;) {
        // Step 9: choose the user.
        const int loaded = loadSettings(init != 2, true);
        if (loaded == 11 && init == 2) {
            if (firstChoice) {
                lastShown = Text(57471);
                Box(lastShown);
                firstChoice = false;
                continue;
            }
            Box(Text(57472));
            return false;
        }
        if (loaded == 2) {
            Box(Text(57472));
            return false;
        }
        if (loaded != 0 && loaded != 12 && loaded != 11) {
            Box(lastShown);
            return false;
        }
        // Step 10: the settings record.
        const RelayUserSettings* s = config_->settings();
        if (!s || s->userFolder.IsEmpty()) {
            Box(Text(57389));
            return false;
        }
        if (s->profileOrIdFile.IsEmpty()) {
            lastShown = Text(57470);
            Box(lastShown);
            firstChoice = false;
            init = 2;
            continue;
        }
        std::string folder = s->userFolder.str();
        if (LogOpen(folder + "/") == kLogCannotCreate) {
            Box(Format(57391, folder));
            return false;
        }
        config_->GetLoggingOption();
        if (s->emailAddress.IsEmpty()) {
            Box(Text(57447));
            return false;
        }
        const std::string address = s->emailAddress.str();
        if (!frame_) {
            frame_ = std::make_unique<CMainFrame>(this);
            if (!frame_->OnCreate()) return false;
        }
        frame_->address = address;
        watcher_ = std::make_unique<CMAPIRedirect>(frame_.get(), config_.get(), address);
        const HRESULT hr = watcher_->Initialize();
        if (hr >= 0 && hr != MAPI_W_ERRORS_RETURNED) {
            frame_->Watch(watcher_.get());
            break;
        }
        if (!retryAllowed) {
            LogWrite(kLogFatal, Text(57393));
            Box(Text(57452));
            return false;
        }
        if (!IsOutlookDefaultMailClient()) {
            Box(Text(57397));
            return false;
        }
        loadSettings(false, false);
        config_->GetLoggingOption();
        retryAllowed = false;
        watcher_.reset();
        if (config_->settings() && config_->settings()->mailSubsystem == 0) break;
    }
    frame_->ready = true;
    return !ExitPending();
}

int CRelayApp::Reconfigure() {
    frame_->ready = false;
    const int result = loadSettings(false, false);
    config_->GetLoggingOption();
    if (result == 11) {
        if (config_->settings() && !config_->settings()->profileOrIdFile.IsEmpty()) {
            frame_->ready = true;
            return 11;
        }
        watcher_.reset();
        LogWrite(kLogFatal, Text(57348));
        frame_->ready = true;
        return 2;
    }
    if (result == 12) {
        frame_->ready = true;
        return 12;
    }
    if (result != 0) {
        LogWrite(kLogFatal, Text(57394));
        watcher_.reset();
        frame_->ready = true;
        return result;
    }
    watcher_.reset();
    const RelayUserSettings* s = config_->settings();
    if (!s || s->emailAddress.IsEmpty()) {
        Box(Text(57447));
        frame_->RequestClose();
        return 8;
    }
    frame_->address = s->emailAddress.str();
    watcher_ = std::make_unique<CMAPIRedirect>(frame_.get(), config_.get(), frame_->address);
    watcher_->MarkKeyNew();
    config_->TurnOffNewKey();
    if (watcher_->Initialize() < 0) {
        frame_->SetIcon(kIconError);
        LogWrite(kLogFatal, Text(57393));
        frame_->ready = true;
        return 8;
    }
    frame_->Watch(watcher_.get());
    LogWrite(kLogTrace, Text(57395));
    frame_->ready = true;
    return 0;
}

void CRelayApp::OnAppAbout() {
    CAboutDlg about;
    about.exec();
}

std::string CRelayApp::SetHelpFilePath() {
    if (!helpPathSet_) {
        helpPathSet_ = true;
        std::string dir = config_ && config_->settings() ? config_->settings()->userFolder.str() : std::string();
        const size_t slash = dir.rfind('/');
        if (slash != std::string::npos) dir.resize(slash);
        helpPath_ = dir + "/wayfarer.hlp";
    }
    return helpPath_;
}

}  // namespace tess::relay
