#include "relay/main_frame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QPainter>
#include <QPixmap>
#include <QUrl>
#include <cstdio>

#include "platform/ui/ui_service.h"
#include "relay/relay_app.h"
#include "relay/relay_dialogs.h"
#include "relay/relay_log.h"
#include "relay/relay_text.h"
#include "relay/relay_util.h"

namespace tess::relay {

// ---- CTrayIcon ---------------------------------------------------------------------------

CTrayIcon::CTrayIcon(QObject* parent) : QObject(parent) {
    QObject::connect(&animation_, &QTimer::timeout, [this] { StepAnimation(); });
}

QIcon CTrayIcon::IconFor(int iconId) {
    // Drawn, not loaded: a round badge whose ring turns while mail is handled; red for
    // an error or a pending exit.
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const bool error = iconId == kIconError;
    p.setBrush(error ? QColor(190, 40, 40) : QColor(30, 90, 170));
    p.setPen(Qt::NoPen);
    p.drawEllipse(2, 2, 28, 28);
    if (!error && iconId >= kIconRunning && iconId <= kIconAnimationLast) {
        p.setPen(QPen(QColor(250, 200, 60), 4));
        p.drawArc(5, 5, 22, 22, (iconId - kIconRunning) * 90 * 16, 90 * 16);
    }
    p.setPen(Qt::white);
    QFont f = p.font();
    f.setBold(true);
    f.setPixelSize(16);
    p.setFont(f);
    p.drawText(QRect(0, 0, 32, 32), Qt::AlignCenter, error ? "!" : "W");
    return QIcon(pixmap);
}

bool CTrayIcon::Create(QMenu* menu, const std::string& tip, int iconId) {
    tray_ = std::make_unique<QSystemTrayIcon>();
    tray_->setContextMenu(menu);
    tip_ = tip.substr(0, 63);
    icon_ = iconId;
    tray_->setIcon(IconFor(iconId));
    tray_->setToolTip(QString::fromStdString(platform::ui::utf8FromAnsi(tip_)));
    enabled_ = QSystemTrayIcon::isSystemTrayAvailable();
    if (enabled_) tray_->show();
    return true;
}

void CTrayIcon::RemoveIcon() {
    if (tray_) tray_->hide();
    enabled_ = false;
}

void CTrayIcon::HideIcon() {
    if (enabled_ && !hidden_ && tray_) tray_->hide();
    hidden_ = true;
}

void CTrayIcon::ShowIcon() {
    if (enabled_ && hidden_ && tray_) tray_->show();
    hidden_ = false;
}

void CTrayIcon::SetIcon(int iconId) {
    icon_ = iconId;
    if (enabled_ && tray_) tray_->setIcon(IconFor(iconId));
}

bool CTrayIcon::SetIconList(int first, int last) {
    if (first > last) return false;
    list_.clear();
    for (int id = first; id <= last; ++id) list_.push_back(id);
    return true;
}

void CTrayIcon::Animate(int intervalMs) {
    StopAnimation();
    index_ = 0;
    shownBefore_ = icon_;
    animation_.start(intervalMs);
}

void CTrayIcon::StepAnimation() {
    if (list_.empty()) return;
    index_ = (index_ + 1) % list_.size();
    SetIcon(list_[index_]);
}

void CTrayIcon::StopAnimation() {
    if (!animation_.isActive()) return;
    animation_.stop();
    SetIcon(shownBefore_);
}

void CTrayIcon::SetTooltipText(const std::string& text) {
    tip_ = text.substr(0, 63);
    if (tray_) tray_->setToolTip(QString::fromStdString(platform::ui::utf8FromAnsi(tip_)));
}

void CTrayIcon::SetMenuDefaultItem(int item, bool byPosition) {
    defaultItem_ = item;
    defaultByPosition_ = byPosition;
}

// ---- CMainFrame --------------------------------------------------------------------------

CMainFrame::CMainFrame(CRelayApp* app) : app_(app), tray_(this) {
    setObjectName("130");
    setWindowTitle(QString::fromStdString(platform::ui::utf8FromAnsi(Text(57449))));
}

CMainFrame::~CMainFrame() { tray_.RemoveIcon(); }

bool CMainFrame::OnCreate() {
    QAction* settings = menu_.addAction("Settings");
    settings->setObjectName("32771");
    QObject::connect(settings, &QAction::triggered, [this] { OnSettings(); });
    QObject::connect(&menu_, &QMenu::aboutToShow, [this, settings] { settings->setEnabled(settingsEnabled); });
    menu_.addSeparator();
    QAction* about = menu_.addAction("About...");
    about->setObjectName("57664");
    QObject::connect(about, &QAction::triggered, [this] { app_->OnAppAbout(); });
    QAction* help = menu_.addAction("Help...");
    help->setObjectName("32772");
    QObject::connect(help, &QAction::triggered, [this] { OnHelp(); });
    menu_.addSeparator();
    QAction* exit = menu_.addAction("Exit");
    exit->setObjectName("57665");
    QObject::connect(exit, &QAction::triggered, [this] { RequestClose(); });
    menu_.setObjectName("menu130");

    if (!tray_.Create(&menu_, Text(57346), kIconRunning)) return false;
    // Without a notification area (no tray host, or the offscreen platform) the relay runs
    // on unseen and its menu cannot be reached: say once how it ends.
    if (!tray_.IsEnabled())
        std::fputs(
            "wayfarer: no system tray here; running without an icon until a shut-down control mail "
            "or SIGTERM ends it\n",
            stderr);
    tray_.SetMenuDefaultItem(4, true);
    if (tray_.Icon()) {
        QObject::connect(tray_.Icon(), &QSystemTrayIcon::activated, [this](QSystemTrayIcon::ActivationReason reason) {
            // A double click runs the command at the menu's default position (4); an item
            // without a command (a separator) does nothing.
            if (reason != QSystemTrayIcon::DoubleClick) return;
            const QList<QAction*> items = menu_.actions();
            if (items.size() > 4 && !items[4]->isSeparator()) items[4]->trigger();
        });
    }
    QObject::connect(&poll_, &QTimer::timeout, [this] { OnTimer(); });
    poll_.start(5000);
    return true;
}

void CMainFrame::SetIcon(int iconId) {
    tray_.SetIconList(iconId, iconId);
    tray_.SetIcon(iconId);
}

void CMainFrame::Animate(int first, int last, int intervalMs) {
    tray_.SetIconList(first, last);
    tray_.Animate(intervalMs);
}

void CMainFrame::PostQuit(int exitCode) {
    QMetaObject::invokeMethod(
        qApp, [exitCode] { QCoreApplication::exit(exitCode); }, Qt::QueuedConnection);
}

void CMainFrame::Watch(CMAPIRedirect* watcher) {
    notifier_.reset();
    mailPoll_.disconnect();
    mailPoll_.stop();
    if (!watcher) return;
    const int fd = watcher->NotificationFd();
    if (fd >= 0) {
        notifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
            // Quiet while the batch is handled: a box shown meanwhile runs a nested loop,
            // which would otherwise be woken by the same readable descriptor again and again.
            QSocketNotifier* notifier = notifier_.get();
            notifier->setEnabled(false);
            if (app_->Watcher()) app_->Watcher()->DispatchNotifications();
            if (notifier_.get() == notifier) notifier->setEnabled(true);
        });
    }
    // Without a descriptor, and to catch what a lost event hides, look now and then.
    QObject::connect(&mailPoll_, &QTimer::timeout, [this] {
        if (app_->Watcher()) app_->Watcher()->DispatchNotifications();
    });
    mailPoll_.start(fd >= 0 ? 2000 : 500);
}

void CMainFrame::OnSettings() {
    if (!ready || busy) return;
    busy = true;
    const std::string caption = Text(57344);
    if (!app_->IsOutlookDefaultMailClient()) {
        platform::ui::messageBox(Text(57454), caption, 0);
    } else {
        const int result = app_->Reconfigure();
        int icon = kIconRunning;
        if (result == 11 || result == 12) {
            tray_.SetTooltipText(Text(57350));
        } else if (result == 0) {
            platform::ui::messageBox(Text(57349), caption, 0);
            tray_.SetTooltipText(Text(57350));
        } else {
            platform::ui::messageBox(Text(57390), caption, 0);
            tray_.SetTooltipText(Text(57348));
            icon = kIconError;
        }
        tray_.SetIconList(icon, icon);
        tray_.Animate(50);
    }
    busy = false;
}

void CMainFrame::OnHelp() {
    if (!ready) return;
    const std::string path = app_->SetHelpFilePath();
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
}

void CMainFrame::OnTimer() {
    if (!ready || busy) return;
    CRelayConfig* config = app_->Config();
    if ((config && config->DoSuicide()) || Road().stopRequested) {
        poll_.stop();
        RequestClose();
        return;
    }
    if (app_->Watcher()) app_->Watcher()->RetryPendingForwards();
    if (!config || config->IsNewKeyPresent() == 0) return;
    const std::string profile = config->settings() ? config->settings()->profileOrIdFile.str() : "";
    const std::string password = config->settings() ? config->settings()->password.str() : "";
    const int result = config->LoadUserSettings(true, false);
    if (result != 0 && result != 11 && result != 12) {
        LogWrite(kLogFatal, Text(57394));
        platform::ui::messageBox(Text(57396), Text(57449), 0);
        RequestClose();
        return;
    }
    if (app_->Watcher()) app_->Watcher()->MarkKeyNew();
    config->TurnOffNewKey();
    const std::string nowProfile = config->settings() ? config->settings()->profileOrIdFile.str() : "";
    const std::string nowPassword = config->settings() ? config->settings()->password.str() : "";
    if (EqualNoCase(profile, nowProfile) && EqualNoCase(password, nowPassword)) return;
    busy = true;
    const int again = app_->Reconfigure();
    if (again != 0 && again != 11 && again != 12) {
        platform::ui::messageBox(Text(57390), Text(57449), 0);
        busy = false;
        RequestClose();
        return;
    }
    busy = false;
}

void CMainFrame::RequestClose() {
    if (busy || ExitPending()) return;
    if (!ready) {
        platform::ui::messageBox(Text(57455), Text(57449), 0);
        tray_.SetTooltipText(Text(57456));
        SetIcon(kIconError);
        tray_.Animate(50);
        ExitPending() = true;
        return;
    }
    if (closing_) return;
    closing_ = true;
    notifier_.reset();
    mailPoll_.stop();
    poll_.stop();
    app_->CloseDown();
    QCoreApplication::exit(0);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    event->ignore();
    RequestClose();
}

bool CMainFrame::AskAddresses(std::string& wireless, std::string& notes) {
    // The dialog copies every edit into the texts, whichever button ends it.
    CAddressDlg dialog(&wireless, &notes, true);
    dialog.exec();
    return true;
}

}  // namespace tess::relay
