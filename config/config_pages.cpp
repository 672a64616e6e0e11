#include "config/config_pages.h"

#include <cstdio>

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QRadioButton>
#include <ctime>

#include "config/config_dialogs.h"
#include "config/config_text.h"
#include "platform/ui/ui_service.h"
#include "translate/manager/hollowmere.h"

namespace tess::config {

using tess::translate::manager::ExtensionChoice;

using platform::mfc::CAutoDeleteList;

QString LangQ(unsigned id) { return QString::fromStdString(platform::ui::utf8FromAnsi(LangText(id))); }
QString OwnQ(unsigned id) { return QString::fromStdString(OwnText(id)); }
// Account values are 8-bit text; Latin-1 keeps every byte as it is.
QString Bytes(const std::string& text) { return QString::fromLatin1(text.data(), qsizetype(text.size())); }
std::string Bytes(const QString& text) { return text.toLatin1().toStdString(); }

QString DayText(int time) {
    if (!time) return OwnQ(32789);
    char buf[128];
    const time_t t = time;
    std::tm tm{};
    localtime_r(&t, &tm);
    std::strftime(buf, sizeof buf, "%A, %B %d, %Y", &tm);
    return QString::fromLocal8Bit(buf);
}

static QString Lang(const std::string& ansi) { return QString::fromStdString(platform::ui::utf8FromAnsi(ansi)); }
static QString YesNo(int value) { return OwnQ(value ? 32785 : 32787); }

ConfigPage::ConfigPage(CUserConfig& model, PageHost& host, int pageId) : model_(model), host_(host) {
    setObjectName(QString::number(pageId));
    grid_ = new QGridLayout(this);
    grid_->setColumnStretch(1, 1);
}

QLabel* ConfigPage::heading(int id, const std::string& text) {
    QLabel* l = new QLabel(Lang(text), this);
    l->setObjectName(QString::number(id));
    QFont bold = l->font();
    bold.setWeight(QFont::Bold);
    l->setFont(bold);
    grid_->addWidget(l, 0, 0, 1, 2);
    return l;
}

QLabel* ConfigPage::label(int id, const std::string& text, int row, int column, int span) {
    QLabel* l = new QLabel(Lang(text), this);
    l->setObjectName(QString::number(id));
    l->setWordWrap(true);
    grid_->addWidget(l, row, column, 1, span);
    return l;
}

QCheckBox* ConfigPage::check(int id, const std::string& text, int row, int span) {
    QCheckBox* c = new QCheckBox(Lang(text), this);
    c->setObjectName(QString::number(id));
    grid_->addWidget(c, row, 0, 1, span);
    return c;
}

QLineEdit* ConfigPage::edit(int id, const std::string& text, int labelId, int row, int maxLength, bool password) {
    label(labelId, text, row);
    QLineEdit* e = new QLineEdit(this);
    e->setObjectName(QString::number(id));
    // Longer text is cut to the field's length as it is typed or pasted.
    if (maxLength > 0) e->setMaxLength(maxLength);
    if (password) e->setEchoMode(QLineEdit::Password);
    grid_->addWidget(e, row, 1);
    return e;
}

QLineEdit* ConfigPage::number(int id, const std::string& text, int labelId, int row, int min, int max) {
    QLineEdit* e = edit(id, text, labelId, row, 0);
    QObject::connect(e, &QLineEdit::textEdited, this, [e, min, max](const QString& now) {
        std::string t = now.toStdString();
        if (ClampNumberText(t, min, max)) e->setText(QString::fromStdString(t));
    });
    return e;
}

QPlainTextEdit* ConfigPage::notes(int id, const std::string& text, int row) {
    QPlainTextEdit* n = new QPlainTextEdit(Lang(text), this);
    n->setObjectName(QString::number(id));
    n->setReadOnly(true);
    grid_->addWidget(n, row, 0, 1, 2);
    return n;
}

void ConfigPage::changed() {
    Apply();
    if (host_.pageChanged) host_.pageChanged();
}

std::string ConfigPage::accountTitle(unsigned stringId, const char* format) const {
    std::string name = model_.GetCurrentAccountName() ? model_.GetCurrentAccountName() : "";
    DoubleAmpersands(name);
    char buf[512];
    std::snprintf(buf, sizeof buf, format, LangText(stringId).c_str(), name.c_str());
    return buf;
}

namespace {

int Int(const QLineEdit* e) { return e->text().toInt(); }

// ---- Global settings -------------------------------------------------------------------------------

class GlobalSettingsPage : public ConfigPage {
public:
    GlobalSettingsPage(CUserConfig& m, PageHost& h) : ConfigPage(m, h, kPageGlobal) {
        model_.GetSyncActions(&record_);
        heading(11055, LangText(4377));
        sync_ = radio(11056, 4378, 1);
        nothing_ = radio(11057, 4379, 2);
        permanentBox_ = check(11058, LangText(4380), 3);
        label(11059, LangText(4381), 4)->setStyleSheet("font-weight: bold");
        label(11060, LangText(4382), 5);
        permanentText_ = label(11062, "", 5, 1);
        label(11061, LangText(4383), 6);
        nextText_ = label(11063, "", 6, 1);
        logging_ = check(11064, LangText(4440), 7);
        grid_->setRowStretch(8, 1);
        logging_->setChecked(record_.logging != 0);
        (record_.permanentAction > 0 ? nothing_ : sync_)->setChecked(true);
        permanentBox_->setChecked(true);
        showActions();
        for (QAbstractButton* b : {static_cast<QAbstractButton*>(sync_), static_cast<QAbstractButton*>(nothing_),
                                   static_cast<QAbstractButton*>(permanentBox_)})
            connect(b, &QAbstractButton::clicked, this, [this] { choose(); });
        connect(logging_, &QCheckBox::clicked, this, [this] { changed(); });
    }
    bool Apply() override {
        if (host_.changingUser) return true;
        record_.logging = logging_->isChecked() ? 1 : 0;
        model_.SetSyncActions(&record_);
        model_.GetSyncActions(&record_);
        return true;
    }

private:
    QRadioButton* radio(int id, unsigned text, int row) {
        QRadioButton* r = new QRadioButton(LangQ(text), this);
        r->setObjectName(QString::number(id));
        grid_->addWidget(r, row, 0, 1, 2);
        return r;
    }
    void choose() {
        const int value = nothing_->isChecked() ? 1 : 0;
        (permanentBox_->isChecked() ? record_.permanentAction : record_.nextAction) = value;
        showActions();
        changed();
    }
    void showActions() {
        permanentText_->setText(LangQ(record_.permanentAction > 0 ? 4379 : 4378));
        nextText_->setText(LangQ(record_.nextAction > 0 ? 4379 : 4378));
    }
    SyncActionRecord record_;
    QRadioButton *sync_, *nothing_;
    QCheckBox *permanentBox_, *logging_;
    QLabel *permanentText_, *nextText_;
};

// ---- Account overview ------------------------------------------------------------------------------

class AccountOverviewPage : public ConfigPage {
public:
    AccountOverviewPage(CUserConfig& m, PageHost& h) : ConfigPage(m, h, kPageAccountOverview) {
        AccountOverviewRecord r;
        model_.GetAccountOverview(&r);
        heading(11108, "")->setText(
            QString::fromStdString(OwnText(57700)) + " " +
            Bytes(std::string(model_.GetCurrentAccountName() ? model_.GetCurrentAccountName() : "")));
        const QString values[] = {YesNo(r.active),        YesNo(r.synchronised),
                                  DayText(r.lastSync),    r.clientText.empty() ? LangQ(4120) : Bytes(r.clientText),
                                  YesNo(r.clientChanged), YesNo(r.serverChanged)};
        for (int i = 0; i < 6; ++i) {
            QLabel* l = new QLabel(OwnQ(57686 + unsigned(i)), this);
            l->setObjectName(QString::number(11109 + i));
            l->setWordWrap(true);
            grid_->addWidget(l, 1 + i, 0);
            QLabel* v = label(11115 + i, "", 1 + i, 1);
            v->setText(values[i]);
            v->setStyleSheet("font-weight: bold");
        }
        grid_->setRowStretch(8, 1);
    }
};

// ---- Handheld overview -----------------------------------------------------------------------------

class HandheldOverviewPage : public ConfigPage {
public:
    HandheldOverviewPage(CUserConfig& m, PageHost& h) : ConfigPage(m, h, kPageHandheldOverview) {
        HandheldOverviewRecord r;
        model_.GetHandheldOverview(&r);
        heading(11107, "")->setText(
            OwnQ(57701) + " " +
            Bytes(std::string(model_.GetCurrentAccountName() ? model_.GetCurrentAccountName() : "")));
        auto orUnknown = [](const std::string& s) { return s.empty() ? OwnQ(32789) : Bytes(s); };
        const std::pair<int, QString> rows[] = {{11129, orUnknown(r.protocol)},
                                                {11123, Bytes(r.displayName)},
                                                {11124, orUnknown(r.emailAddress)},
                                                {11125, orUnknown(r.incomingServer)},
                                                {11126, YesNo(r.apop)},
                                                {11127, orUnknown(r.outgoingServer)},
                                                {11128, YesNo(r.esmtp)}};
        int row = 1;
        for (const auto& [id, value] : rows) {
            QLabel* l = new QLabel(OwnQ(57692 + unsigned(row - 1)), this);
            l->setObjectName(QString::number(11116 + row - 1));
            grid_->addWidget(l, row, 0);
            QLabel* v = label(id, "", row, 1);
            v->setText(value);
            v->setStyleSheet("font-weight: bold");
            ++row;
        }
        grid_->setRowStretch(row, 1);
    }
};

// ---- Account settings ------------------------------------------------------------------------------

class AccountSettingsPage : public ConfigPage {
public:
    AccountSettingsPage(CUserConfig& m, PageHost& h) : ConfigPage(m, h, kPageAccountSettings) {
        model_.GetAccountSettings(&record_);
        heading(11103, accountTitle(4429, "%s: %s"));
        label(11088, LangText(4417), 1, 0, 2);
        active_ = check(11019, LangText(4343), 2);
        label(11025, LangText(4087), 3);
        client_ = new QComboBox(this);
        client_->setObjectName("11028");
        grid_->addWidget(client_, 3, 1);
        profileLabel_ = label(11027, LangText(4287), 4);
        profile_ = new QComboBox(this);
        profile_->setObjectName("11030");
        grid_->addWidget(profile_, 4, 1);
        id_ = edit(11031, LangText(4344), 11033, 5, 127);
        // The catalogue's 4088 is "Mail Profile:" (the relay's dialog shows it beside its
        // profile list); beside the password edit it would mislabel the field.
        password_ = edit(11032, "Password:", 11026, 6, 127, true);
        find_ = new QPushButton(Lang(LangText(4239)), this);
        find_->setObjectName("11029");
        grid_->addWidget(find_, 5, 2);
        find_->hide();
        replica_ = check(11130, "", 7, 3);
        replica_->setText(OwnQ(57699));
        replica_->hide();
        notes_ = notes(11034, "", 8);
        layoutStep();
        connect(find_, &QPushButton::clicked, this, [this] { chooseIdFile(); });
        connect(replica_, &QCheckBox::clicked, this, [this] { changed(); });
        connect(id_, &QLineEdit::textEdited, this, [this] { changed(); });
        connect(client_, &QComboBox::activated, this, [this] { chooseClient(); });
        connect(active_, &QCheckBox::clicked, this, [this] {
            if (active_->isChecked()) conflictCheck();
            changed();
        });
        connect(password_, &QLineEdit::textEdited, this, [this] { changed(); });
        connect(profile_, &QComboBox::activated, this, [this] { changed(); });
    }
    bool Apply() override {
        if (host_.changingUser) return true;
        record_.active = active_->isChecked() ? 1 : 0;
        record_.password = Bytes(password_->text());
        record_.clientText = Bytes(client_->currentText());
        record_.clientCode = client_->currentData().toInt();
        if (record_.clientCode == -1) record_.clientCode = 0;
        record_.localReplica = replica_->isChecked() ? 1 : 0;
        if (record_.clientCode == 6) {
            record_.profile = Bytes(id_->text());
            record_.profileIndex = -1;
        }
        if (IsExtendedMapiProtocol(record_.clientCode)) {
            record_.profileIndex = profile_->currentIndex();
            record_.profile = record_.profileIndex >= 0 ? Bytes(profile_->currentText()) : std::string();
        }
        if (record_.clientCode == 0) {
            record_.clientText.clear();
            record_.active = 0;
        }
        model_.SetAccountSettings(&record_);
        return true;
    }

private:
    void layoutStep() {
        active_->setChecked(record_.active != 0);
        replica_->setChecked(record_.localReplica != 0);
        password_->setText(Bytes(record_.password));
        id_->setText(Bytes(record_.profile));
        model_.BuildMailClientList();
        client_->clear();
        int chosen = 0;
        for (const MailClientEntry& e : model_.MailClients()) {
            if (e.code == record_.clientCode) chosen = client_->count();
            client_->addItem(Lang(e.name), e.code);
        }
        client_->setCurrentIndex(chosen);
        const int code = record_.clientCode;
        const bool mapi = IsExtendedMapiProtocol(code);
        profile_->setVisible(mapi);
        profileLabel_->setVisible(mapi);
        id_->setVisible(!mapi);
        id_->setEnabled(false);
        password_->setEnabled(mapi);
        if (code == 7 || code == 8) {
            id_->clear();
            password_->clear();
            notes_->setPlainText(LangQ(4147));
        }
        const bool notesClient = code == 6;
        find_->setVisible(notesClient);
        replica_->setVisible(notesClient);
        if (QLabel* idLabel = findChild<QLabel*>("11033")) idLabel->setText(Lang(LangText(notesClient ? 4245 : 4344)));
        if (!notesClient) return;
        const bool ready = model_.IsNotesClientReady() != 0;
        id_->setEnabled(ready);
        find_->setEnabled(ready);
        password_->setEnabled(ready);
        notes_->setPlainText(Lang(ready ? LangText(4375) + " " + LangText(4376)
                                        : LangText(4250) + "\r\n\r\n" + LangText(4251) + "\r\n" + LangText(4252) +
                                              "\r\n" + LangText(4253) + "\r\n\r\n" + LangText(4254)));
    }
    void chooseIdFile() {
        std::string user, file, password;
        if (!model_.ChooseNotesIdFile(this, user, file, password)) return;
        record_.profile = user;
        record_.password = password;
        record_.notesIdFile = file;
        layoutStep();
        changed();
    }
    void chooseClient() {
        const int code = client_->currentData().toInt();
        const bool active = active_->isChecked();
        record_ = {};
        record_.clientCode = code == -1 ? 0 : code;
        model_.GetAccountSettings(&record_);
        record_.clientCode = code;
        if (active) conflictCheck();
        record_.active = active_->isChecked() ? 1 : 0;
        notes_->clear();
        layoutStep();
        changed();
    }
    void conflictCheck() {
        const int code = client_->currentData().toInt();
        std::string other;
        unsigned text = 0;
        if (IsExtendedMapiProtocol(code) && model_.FindOtherExtendedMapiAccount(other))
            text = 4435;
        else if (IsSimpleMapiProtocol(code) && model_.FindOtherSimpleMapiAccount(other))
            text = 4218;
        if (!text) return;
        char buf[1024];
        std::snprintf(buf, sizeof buf, LangText(text).c_str(), other.c_str());
        platform::ui::messageBox(buf, LangText(4145), MB_OK | MB_ICONINFORMATION);
        active_->setChecked(false);
    }
    AccountSettingsRecord record_;
    QCheckBox* active_;
    QComboBox *client_, *profile_;
    QLabel* profileLabel_;
    QLineEdit *id_, *password_;
    QPushButton* find_;
    QCheckBox* replica_;
    QPlainTextEdit* notes_;
};

// ---- Account options ----------------------------------------------------------------------------------

class AccountOptionsPage : public ConfigPage {
public:
    AccountOptionsPage(CUserConfig& m, PageHost& h) : ConfigPage(m, h, kPageAccountOptions) {
        model_.GetAccountOptions(&record_);
        heading(11104, accountTitle(4430, "%s: %s"));
        inbox_ = check(11036, LangText(4406), 1);
        outbox_ = check(11037, LangText(4407), 2);
        unread_ = check(11050, LangText(4408), 3);
        attachments_ = check(11051, LangText(4439), 4);
        days_ = number(11020, LangText(4345), 11093, 5, 0, 999);
        size_ = number(11040, LangText(4346), 11042, 6, 1, 5120);
        label(11095, LangText(4409) + LangText(4410) + LangText(4411), 7, 0, 2);
        expiryOff_ = check(11047, LangText(4304), 8);
        expiry_ = number(11023, LangText(4405), 11063, 9, 0, 999);
        keyText_ = label(11035, "", 10, 0, 2);
        label(11094, LangText(4413) + LangText(4414), 11, 0, 2);
        folders_ = new QPushButton(OwnQ(57677), this);
        folders_->setObjectName("11101");
        grid_->addWidget(folders_, 12, 0, 1, 2, Qt::AlignLeft);
        grid_->setRowStretch(13, 1);
        // Only accounts whose host lists server folders have folders to choose.
        folders_->setEnabled(model_.CanFetchServerFolders() != 0);
        connect(folders_, &QPushButton::clicked, this, [this] { chooseFolders(); });

        inbox_->setChecked(record_.syncInbox);
        outbox_->setChecked(record_.sendOutbox);
        unread_->setChecked(record_.unreadOnly);
        attachments_->setChecked(record_.attachments);
        days_->setText(QString::number(record_.daysToSync));
        size_->setText(QString::number(record_.sizeLimitKb));
        if (record_.isRelayAccount) {
            expiryOff_->setChecked(record_.keyExpiryDisabled);
            expiry_->setText(QString::number(record_.keyExpiryDays));
            char buf[512];
            std::snprintf(buf, sizeof buf, LangText(4289).c_str(), record_.keyCreated.c_str());
            keyText_->setText(Lang(buf));
        } else {
            expiryOff_->setEnabled(false);
            expiry_->setEnabled(false);
        }
        for (QCheckBox* c : {outbox_, unread_, attachments_, expiryOff_})
            connect(c, &QCheckBox::clicked, this, [this] { changed(); });
        connect(inbox_, &QCheckBox::clicked, this, [this] {
            Apply();
            model_.SetInboxSync(inbox_->isChecked() ? 1 : 0);
            if (host_.pageChanged) host_.pageChanged();
        });
        for (QLineEdit* e : {days_, size_, expiry_}) connect(e, &QLineEdit::textEdited, this, [this] { changed(); });
    }
    bool Apply() override {
        if (host_.changingUser) return true;
        record_.syncInbox = inbox_->isChecked();
        record_.sendOutbox = outbox_->isChecked();
        record_.unreadOnly = unread_->isChecked();
        record_.attachments = attachments_->isChecked();
        record_.daysToSync = Int(days_);
        record_.sizeLimitKb = Int(size_);
        if (record_.isRelayAccount) {
            record_.keyExpiryDisabled = expiryOff_->isChecked();
            record_.keyExpiryDays = Int(expiry_);
        }
        model_.SetAccountOptions(&record_);
        return true;
    }

private:
    void chooseFolders() {
        Apply();
        FolderSyncDialog dialog(model_, host_.owner);
        if (dialog.HasFolders()) dialog.exec();
        AccountOptionsRecord now;
        model_.GetAccountOptions(&now);
        if (now.syncInbox != record_.syncInbox) {
            record_.syncInbox = now.syncInbox;
            inbox_->setChecked(now.syncInbox != 0);
        }
        if (host_.pageChanged) host_.pageChanged();
    }
    QPushButton* folders_;
    AccountOptionsRecord record_;
    QCheckBox *inbox_, *outbox_, *unread_, *attachments_, *expiryOff_;
    QLineEdit *days_, *size_, *expiry_;
    QLabel* keyText_;
};

// ---- Handheld preferences -------------------------------------------------------------------------------

class DevicePreferencePage : public ConfigPage {
public:
    DevicePreferencePage(CUserConfig& m, PageHost& h) : ConfigPage(m, h, kPageDevicePreference) {
        model_.GetDevicePreferences(&record_);
        heading(11102, accountTitle(4432, "%s: %s"));
        label(11064, LangText(4404), 1);
        label(11065, record_.protocolKeyword, 1, 1);
        display_ = edit(11078, LangText(4400), 11072, 2, TagTextLimit(3, 80));
        email_ = edit(11079, LangText(4401), 11073, 3, TagTextLimit(0, 128));
        user_ = edit(11080, LangText(4402), 11074, 4, TagTextLimit(1, 80));
        password_ = edit(11081, LangText(4403), 11075, 5, TagTextLimit(2, 80), true);
        char first[1024];
        std::snprintf(first, sizeof first, OwnText(57682).c_str(), platform::ui::utf8FromAnsi(LangText(4432)).c_str(),
                      platform::ui::utf8FromAnsi(LangText(4433)).c_str());
        QPlainTextEdit* n = notes(11103, "", 6);
        n->setPlainText(
            QString::fromStdString(std::string(first) + OwnText(57683) + "\n\n" + OwnText(57684) + OwnText(57685)));
        display_->setText(Bytes(record_.displayName));
        email_->setText(Bytes(record_.emailAddress));
        user_->setText(Bytes(record_.userName));
        password_->setText(Bytes(record_.password));
        for (QLineEdit* e : {display_, email_, user_, password_})
            connect(e, &QLineEdit::textEdited, this, [this] { changed(); });
    }
    bool Apply() override {
        if (host_.changingUser) return true;
        record_.displayName = Bytes(display_->text());
        record_.emailAddress = Bytes(email_->text());
        record_.userName = Bytes(user_->text());
        record_.password = Bytes(password_->text());
        model_.SetDevicePreferences(&record_);
        return true;
    }

private:
    DevicePreferencesRecord record_;
    QLineEdit *display_, *email_, *user_, *password_;
};

// ---- Handheld servers --------------------------------------------------------------------------------------

class DeviceServersPage : public ConfigPage {
public:
    DeviceServersPage(CUserConfig& m, PageHost& h) : ConfigPage(m, h, kPageDeviceServers) {
        model_.GetDeviceServers(&record_);
        heading(11106, accountTitle(4433, "%s: %s"));
        label(11087, LangText(4384), 1, 0, 2)->setStyleSheet("font-weight: bold");
        incoming_ = edit(11083, LangText(4385), 11079, 2, TagTextLimit(20, 80));
        incomingPort_ = number(11084, LangText(4386), 11080, 3, 1, 32767);
        apop_ = check(11066, LangText(4387), 4);
        label(11088, LangText(4388), 5, 0, 2)->setStyleSheet("font-weight: bold");
        outgoing_ = edit(11085, LangText(4389), 11081, 6, TagTextLimit(22, 80));
        outgoingPort_ = number(11086, LangText(4390), 11082, 7, 1, 32767);
        esmtp_ = check(11067, LangText(4391), 8);
        smtpUser_ = edit(11070, LangText(4392), 11068, 9, TagTextLimit(13, 80));
        smtpPassword_ = edit(11071, LangText(4393), 11069, 10, TagTextLimit(14, 80), true);
        label(11091, LangText(4394) + LangText(4395) + LangText(4396), 11, 0, 2);
        grid_->setRowStretch(12, 1);

        incoming_->setText(Bytes(record_.incomingServer));
        previousServer_ = incoming_->text();
        incomingPort_->setText(QString::number(record_.incomingPort));
        apop_->setChecked(record_.apop);
        outgoing_->setText(Bytes(record_.outgoingServer));
        outgoingPort_->setText(QString::number(record_.outgoingPort));
        esmtp_->setChecked(record_.esmtp);
        smtpUser_->setText(Bytes(record_.smtpUser));
        smtpPassword_->setText(Bytes(record_.smtpPassword));
        smtpUser_->setEnabled(record_.esmtp);
        smtpPassword_->setEnabled(record_.esmtp);

        connect(esmtp_, &QCheckBox::clicked, this, [this](bool on) {
            smtpUser_->setEnabled(on);
            smtpPassword_->setEnabled(on);
            changed();
        });
        connect(apop_, &QCheckBox::clicked, this, [this] { changed(); });
        for (QLineEdit* e : {incomingPort_, outgoingPort_, outgoing_, smtpUser_, smtpPassword_})
            connect(e, &QLineEdit::textEdited, this, [this] { changed(); });
        connect(incoming_, &QLineEdit::textEdited, this, [this](const QString& now) { incomingEdited(now); });
    }
    bool Apply() override {
        if (host_.changingUser) return true;
        record_.incomingServer = Bytes(incoming_->text());
        record_.incomingPort = Int(incomingPort_);
        record_.apop = apop_->isChecked();
        record_.outgoingServer = Bytes(outgoing_->text());
        record_.outgoingPort = Int(outgoingPort_);
        record_.esmtp = esmtp_->isChecked();
        record_.smtpUser = Bytes(smtpUser_->text());
        record_.smtpPassword = Bytes(smtpPassword_->text());
        model_.SetDeviceServers(&record_);
        return true;
    }

private:
    // A new incoming server drops the account's mail on the handheld at the next
    // synchronisation: the user confirms that once per page.
    void incomingEdited(const QString& now) {
        const QString previous = previousServer_;
        if (now != previous && !confirmed_) {
            if (previous.isEmpty()) {
                confirmed_ = true;
                previousServer_ = now;
                return;
            }
            // Message boxes take the modules' 8-bit text.
            const std::string text = Bytes(OwnQ(57670) + OwnQ(57671));
            if (platform::ui::messageBox(text, LangText(4145), MB_YESNO | MB_ICONINFORMATION) != IDYES) {
                incoming_->setText(previous);
                return;
            }
        }
        previousServer_ = now;
        confirmed_ = true;
        changed();
    }
    DeviceServersRecord record_;
    QLineEdit *incoming_, *incomingPort_, *outgoing_, *outgoingPort_, *smtpUser_, *smtpPassword_;
    QCheckBox *apop_, *esmtp_;
    QString previousServer_;
    bool confirmed_ = false;
};

// ---- Attachment plug-ins -----------------------------------------------------------------------------------

class PlugInPage : public ConfigPage {
public:
    PlugInPage(CUserConfig& m, PageHost& h) : ConfigPage(m, h, kPagePlugIns) {
        heading(11017, LangText(4197));
        list_ = new QTableWidget(0, 2, this);
        list_->setObjectName("11016");
        list_->horizontalHeader()->hide();
        list_->verticalHeader()->hide();
        list_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
        grid_->addWidget(list_, 1, 0, 1, 2);
        notes(11041,
              LangText(4291) + "\r\n\r\n" + LangText(4292) + LangText(4293) + "\r\n\r\n" + LangText(4294) + "\r\n\r\n",
              2);
        grid_->setRowStretch(1, 3);
        grid_->setRowStretch(2, 1);
        _LoadUIPluginSettings(model_.userId, &entries_);
        for (const ExtensionChoice* e : entries_) {
            const int row = list_->rowCount();
            list_->insertRow(row);
            auto* name = new QTableWidgetItem(Lang(e->label.str()));
            name->setFlags(Qt::ItemIsEnabled);
            list_->setItem(row, 0, name);
            auto* choice = new QComboBox(list_);
            choice->setObjectName("row" + QString::number(row));
            choice->addItem(LangQ(4120));
            for (int i = 0; i < e->choices.GetSize(); ++i) {
                const std::string c = e->choices.GetAt(i).str();
                choice->addItem(Lang(c.substr(0, c.find(','))));
            }
            const QString shown = e->chosen.GetLength() ? Lang(e->chosen.str()) : LangQ(4120);
            choice->setCurrentIndex(std::max(0, choice->findText(shown)));
            list_->setCellWidget(row, 1, choice);
            rows_.push_back({e, shown, choice});
        }
    }
    // The choices go to the translator manager at once; the rows keep their first values,
    // so a later store repeats the same calls.
    bool Apply() override {
        if (host_.changingUser) return true;
        for (const Row& r : rows_) {
            const QString now = r.choice->currentText();
            if (now == r.initial) continue;
            const std::string extensions = r.entry->extensions.str();
            if (now == LangQ(4120)) {
                _DeleteUserExtPlugin(model_.userId, extensions.c_str());
                continue;
            }
            const std::string first = extensions.substr(0, extensions.find('|'));
            for (int i = 0; i < r.entry->choices.GetSize(); ++i) {
                const std::string c = r.entry->choices.GetAt(i).str();
                const size_t comma = c.find(',');
                if (comma == std::string::npos || !Lang(c).contains(now)) continue;
                _SetUserExtPlugin(model_.userId, first.c_str(), c.substr(comma + 1).c_str());
            }
        }
        return true;
    }

private:
    struct Row {
        const ExtensionChoice* entry;
        QString initial;
        QComboBox* choice;
    };
    CAutoDeleteList<ExtensionChoice> entries_;
    std::vector<Row> rows_;
    QTableWidget* list_;
};

}  // namespace

ConfigPage* CreatePage(int pageId, CUserConfig& model, PageHost& host) {
    switch (pageId) {
    case kPageGlobal: return new GlobalSettingsPage(model, host);
    case kPageAccountOverview: return new AccountOverviewPage(model, host);
    case kPageHandheldOverview: return new HandheldOverviewPage(model, host);
    case kPageAccountSettings: return new AccountSettingsPage(model, host);
    case kPageAccountOptions: return new AccountOptionsPage(model, host);
    case kPageDevicePreference: return new DevicePreferencePage(model, host);
    case kPageDeviceServers: return new DeviceServersPage(model, host);
    case kPagePlugIns: return new PlugInPage(model, host);
    default: return nullptr;
    }
}

}  // namespace tess::config
