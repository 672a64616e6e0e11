#pragma once
// CMainFrame: the relay's hidden main window. Owns the tray icon and its menu, polls the
// relay configuration (shut-down request, new security key), drives the mailbox watcher's
// notifications from the event loop, and handles closing.
#include <QIcon>
#include <QMenu>
#include <QSocketNotifier>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "relay/mapi_redirect.h"

namespace tess::relay {

class CRelayApp;

// The notification-area icon with its tip, its icon animation and its popup menu.
class CTrayIcon : public QObject {
public:
    explicit CTrayIcon(QObject* parent);
    // False only when the icon cannot be made at all; a desktop without a tray host
    // leaves the icon disabled (IsEnabled false) and the program runs on.
    bool Create(QMenu* menu, const std::string& tip, int iconId);
    void RemoveIcon();
    void HideIcon();
    void ShowIcon();
    void SetIcon(int iconId);
    int GetIcon() const { return icon_; }
    bool SetIconList(int first, int last);
    void Animate(int intervalMs);
    void StepAnimation();
    void StopAnimation();
    void SetTooltipText(const std::string& text);
    const std::string& GetTooltipText() const { return tip_; }
    void SetMenuDefaultItem(int item, bool byPosition);
    bool IsEnabled() const { return enabled_; }
    QSystemTrayIcon* Icon() { return tray_.get(); }
    // The icon drawn for a resource id (130 to 133 running, 140 error).
    static QIcon IconFor(int iconId);

private:
    std::unique_ptr<QSystemTrayIcon> tray_;
    bool enabled_ = false;
    bool hidden_ = false;
    std::string tip_;
    int icon_ = 0;
    std::vector<int> list_;
    QTimer animation_;
    size_t index_ = 0;
    int shownBefore_ = 0;
    int defaultItem_ = 0;
    bool defaultByPosition_ = false;
};

class CMainFrame : public QWidget, public RelayFrame {
public:
    explicit CMainFrame(CRelayApp* app);
    ~CMainFrame() override;
    bool OnCreate();

    // RelayFrame
    void SetTooltip(const std::string& text) override { tray_.SetTooltipText(text); }
    void SetIcon(int iconId) override;
    void Animate(int first, int last, int intervalMs) override;
    void StopAnimation() override { tray_.StopAnimation(); }
    void PostQuit(int exitCode) override;
    std::string NotesAddress() const override { return notesAddress; }
    void SetNotesAddress(const std::string& text) override { notesAddress = text; }
    void SetWirelessAddress(const std::string& text) override { address = text; }
    bool AskAddresses(std::string& wireless, std::string& notes) override;

    void OnSettings();
    void OnHelp();
    void OnTimer();
    // The tray menu's Exit and a shut-down request end here.
    void RequestClose();
    // Starts listening to the watcher's new-mail source.
    void Watch(CMAPIRedirect* watcher);

    std::string address;       // the handheld's e-mail address
    std::string notesAddress;  // kept across watchers
    bool settingsEnabled = true;
    bool ready = false;
    bool busy = false;

    CTrayIcon& Tray() { return tray_; }
    QMenu& Menu() { return menu_; }
    QTimer& PollTimer() { return poll_; }

protected:
    void closeEvent(class QCloseEvent* event) override;

private:
    CRelayApp* app_;
    CTrayIcon tray_;
    QMenu menu_;
    QTimer poll_;
    QTimer mailPoll_;
    std::unique_ptr<QSocketNotifier> notifier_;
    bool closing_ = false;
};

}  // namespace tess::relay
