#pragma once
// CRelayApp: the relay program's start-up (one instance per desktop, the default mail
// client, the user and the settings, the log, the frame and the watcher), its
// reconfiguration and its shut-down.
#include <memory>
#include <optional>
#include <string>

#include "common/language_module.h"
#include "platform/core/os.h"
#include "relay/default_client.h"
#include "relay/mapi_redirect.h"
#include "relay/relay_config.h"

namespace tess::relay {

class CMainFrame;

// Set when the user closes the program while start-up still runs.
bool& ExitPending();

class CRelayApp {
public:
    CRelayApp();
    virtual ~CRelayApp();
    CRelayApp(const CRelayApp&) = delete;
    CRelayApp& operator=(const CRelayApp&) = delete;

    bool InitInstance();
    int ExitInstance();
    virtual int Reconfigure();
    virtual bool IsOutlookDefaultMailClient() { return relay::IsOutlookDefaultMailClient(); }

    void OnAppAbout();
    // The help file beside the user's directory, computed once per run.
    std::string SetHelpFilePath();
    // The frame closes: the watcher and the configuration go.
    void CloseDown();

    CRelayConfig* Config() const { return config_.get(); }
    CMAPIRedirect* Watcher() const { return watcher_.get(); }
    CMainFrame* Frame() const { return frame_.get(); }

private:
    int loadSettings(bool skipSetUp, bool reportSetUp);

    std::unique_ptr<CRelayConfig> config_;
    std::unique_ptr<CMAPIRedirect> watcher_;
    std::unique_ptr<CMainFrame> frame_;
    std::unique_ptr<CLanguageModule> language_;
    std::optional<platform::InstanceLock> instance_;
    bool helpPathSet_ = false;
    std::string helpPath_;
};

}  // namespace tess::relay
