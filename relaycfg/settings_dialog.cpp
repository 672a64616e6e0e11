#include "relaycfg/settings_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "common/language_module.h"
#include "platform/syncmgr/syncmgr.h"
#include "platform/ui/ui_service.h"
#include "relaycfg/startup_shortcut.h"

namespace tess::relaycfg {

namespace {

QString text(unsigned id) { return QString::fromStdString(platform::ui::utf8FromAnsi(LoadLangString(id))); }

bool shiftHeld() { return QApplication::keyboardModifiers() & Qt::ShiftModifier; }

// The relay program the start-up entry starts: in the sync manager's directory.
std::string relayProgram() {
    char dir[1024];
    int size = sizeof dir;
    if (QuayGetSyncManagerDirectory(dir, &size) != 0) return {};
    return std::string(dir) + "/wayfarer";
}

}  // namespace

ConfigSettingsDlg::ConfigSettingsDlg(std::vector<SettingsUser>& users, std::vector<std::string> profiles,
                                     std::function<void()> mailDue)
    : users_(users), profiles_(std::move(profiles)), mailDue_(std::move(mailDue)) {
    setObjectName("7000");
    setWindowTitle(text(4187));
    auto* grid = new QGridLayout(this);
    auto* userLabel = new QLabel(text(4188), this);
    userLabel->setObjectName("7009");
    userList_ = new QComboBox(this);
    userList_->setObjectName("7006");
    grid->addWidget(userLabel, 0, 0);
    grid->addWidget(userList_, 0, 1);
    informational_ = new QCheckBox(text(4191), this);
    informational_->setObjectName("7007");
    grid->addWidget(informational_, 1, 0, 1, 2);
    startup_ = new QCheckBox(text(4222), this);
    startup_->setObjectName("7011");
    grid->addWidget(startup_, 2, 0, 1, 2);
    attachments_ = new QCheckBox(text(4204), this);
    attachments_->setObjectName("7008");
    attachments_->setVisible(false);
    grid->addWidget(attachments_, 3, 0, 1, 2);
    auto* group = new QGroupBox(text(4229), this);
    group->setObjectName("7016");
    auto* page = new QGridLayout(group);
    auto* profileLabel = new QLabel(text(4088), group);
    profileLabel->setObjectName("7018");
    profileList_ = new QComboBox(group);
    profileList_->setObjectName("7019");
    auto* passwordLabel = new QLabel(text(4095), group);
    passwordLabel->setObjectName("7020");
    password_ = new QLineEdit(group);
    password_->setObjectName("7021");
    password_->setEchoMode(QLineEdit::Password);
    page->addWidget(profileLabel, 0, 0);
    page->addWidget(profileList_, 0, 1);
    page->addWidget(passwordLabel, 1, 0);
    page->addWidget(password_, 1, 1);
    grid->addWidget(group, 4, 0, 1, 2);
    auto* buttons = new QHBoxLayout;
    auto* ok = new QPushButton(text(4129), this);
    ok->setObjectName("7002");
    ok->setDefault(true);
    auto* cancel = new QPushButton(text(4130), this);
    cancel->setObjectName("7010");
    auto* help = new QPushButton(text(4133), this);
    help->setObjectName("2");
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    buttons->addWidget(help);
    grid->addLayout(buttons, 5, 0, 1, 2);
    connect(ok, &QPushButton::clicked, [this] { OnOK(); });
    connect(cancel, &QPushButton::clicked, [this] { OnCancel(); });
    connect(help, &QPushButton::clicked, [this] { OnHelp(); });

    // The profile list: "Not Selected" and the desktop's profiles, or the note that there
    // are none to be had.
    profileList_->addItem(text(4196));
    if (profiles_.empty()) {
        profileList_->addItem(text(4241));
        profileList_->setCurrentIndex(1);
        profileList_->setEnabled(false);
        password_->setEnabled(false);
    }
    for (const std::string& p : profiles_) profileList_->addItem(QString::fromStdString(platform::ui::utf8FromAnsi(p)));

    for (size_t i = 0; i < users_.size(); ++i)
        if (users_[i].selected && current < 0) current = int(i);
    if (current >= 0) showUser(current);
    userList_->addItem(text(4196));
    for (const SettingsUser& u : users_) userList_->addItem(QString::fromStdString(platform::ui::utf8FromAnsi(u.name)));
    userList_->setCurrentIndex(current + 1);
    StartupShortcut shortcut;
    startup_->setChecked(shortcut.Find(LoadLangString(4221), shortcutFile_) == 1);
    connect(userList_, &QComboBox::activated, [this](int index) {
        chosen = index;
        if (index == 0) {
            notSelectedChosen = true;
            informational_->setChecked(false);
            attachments_->setChecked(false);
            firstProfile_.clear();
            firstPassword_.clear();
            if (profileList_->count() > 0) profileList_->setCurrentIndex(0);
            password_->clear();
            return;
        }
        notSelectedChosen = false;
        showUser(index - 1);
    });
}

void ConfigSettingsDlg::showUser(int index) {
    const SettingsUser& u = users_[size_t(index)];
    hiddenDebug_ = atOpenDebug_ = u.logDebug;
    informational_->setChecked(atOpenInformational_ = u.logInformational);
    attachments_->setChecked(atOpenAttachments_ = u.attachments);
    firstProfile_ = u.profile;
    firstPassword_ = u.password;
    showPage(u.profile, u.password);
}

void ConfigSettingsDlg::showPage(const std::string& profile, const std::string& password) {
    if (!profileList_->isEnabled()) return;
    const int at = profileList_->findText(QString::fromStdString(platform::ui::utf8FromAnsi(profile)));
    if (!profile.empty() && at > 0) {
        profileList_->setCurrentIndex(at);
        password_->setText(QString::fromStdString(platform::ui::utf8FromAnsi(password)));
    } else {
        profileList_->setCurrentIndex(0);
    }
}

std::string ConfigSettingsDlg::pageProfile() const {
    if (!profileList_->isEnabled() || profileList_->currentIndex() <= 0) return {};
    return profileList_->currentText().toLatin1().toStdString();
}

void ConfigSettingsDlg::storeSettings() {
    if (current < 0) return;
    const std::string profile = pageProfile();
    const std::string password = password_->text().toLatin1().toStdString();
    const bool same = informational_->isChecked() == atOpenInformational_ &&
                      attachments_->isChecked() == atOpenAttachments_ && hiddenDebug_ == atOpenDebug_ &&
                      profile == firstProfile_ && password == firstPassword_;
    if (same) return;
    SettingsUser& u = users_[size_t(current)];
    if (u.storeOptions)
        u.storeOptions(attachments_->isChecked(), informational_->isChecked(), hiddenDebug_ != atOpenDebug_);
    if ((profile != firstProfile_ || password != firstPassword_) && mailDue_) mailDue_();
    changed = true;
}

void ConfigSettingsDlg::OnOK() {
    if (chosen < 0) {
        storeSettings();
    } else if (chosen == 0) {
        if (current >= 0) users_[size_t(current)].selected = false;
        current = -1;
    } else if (chosen - 1 != current) {
        if (current >= 0) users_[size_t(current)].selected = false;
        current = chosen - 1;
        users_[size_t(current)].selected = true;
        storeSettings();
        changed = true;
        if (mailDue_) mailDue_();
    }
    if (current >= 0 && users_[size_t(current)].storeAccount)
        users_[size_t(current)].storeAccount(pageProfile(), password_->text().toLatin1().toStdString());
    StartupShortcut shortcut;
    std::string existing;
    const bool exists = shortcut.Find(LoadLangString(4221), existing) == 1;
    if (!startup_->isChecked() && exists)
        shortcut.Delete(existing);
    else if (startup_->isChecked() && !exists)
        shortcut.Create(LoadLangString(4221), relayProgram());
    done(1);
}

void ConfigSettingsDlg::OnCancel() {
    if (shiftHeld()) {
        attachments_->setVisible(!attachments_->isVisible());
        return;
    }
    storeSettings();
    done(2);
}

void ConfigSettingsDlg::OnHelp() {
    if (shiftHeld() && current >= 0) {
        hiddenDebug_ = !hiddenDebug_;
        platform::ui::messageBox(LoadLangString(hiddenDebug_ ? 4198 : 4199), LoadLangString(4200),
                                 MB_OK | MB_ICONINFORMATION);
    }
    // Without Shift the help file would open; there is none in this build.
}

}  // namespace tess::relaycfg
