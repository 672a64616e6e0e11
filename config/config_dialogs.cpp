#include "config/config_dialogs.h"

#include <strings.h>

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>

#include "config/config_pages.h"
#include "config/config_text.h"
#include "config/user_config.h"
#include "platform/ui/ui_service.h"

namespace tess::config {

namespace {
constexpr size_t kMaxNewName = 13;

QDialogButtonBox* OkCancel(QDialog* d) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, d);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QString::number(IDOK));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QString::number(IDCANCEL));
    QObject::connect(buttons, &QDialogButtonBox::accepted, d, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, d, &QDialog::reject);
    return buttons;
}
}  // namespace

NewAccountDialog::NewAccountDialog(QWidget* parent) : QDialog(parent) {
    setObjectName("11006");
    setWindowTitle(LangQ(4131));
    auto* form = new QFormLayout(this);
    name_ = new QLineEdit(this);
    name_->setObjectName("11015");
    protocol_ = new QComboBox(this);
    protocol_->setObjectName("11097");
    protocol_->addItem("POP", 0);
    protocol_->addItem("IMAP", 1);
    protocol_->setCurrentIndex(0);
    auto* nameLabel = new QLabel(LangQ(4132), this);
    nameLabel->setObjectName("11014");
    auto* protocolLabel = new QLabel(LangQ(4428), this);
    protocolLabel->setObjectName("11016");
    form->addRow(nameLabel, name_);
    form->addRow(protocolLabel, protocol_);
    form->addRow(OkCancel(this));
}

void NewAccountDialog::accept() {
    const std::string text = Bytes(name_->text().trimmed());
    if (text.empty() || text.size() > kMaxNewName) {
        char buf[256];
        std::snprintf(buf, sizeof buf, LangText(4121).c_str(), int(kMaxNewName));
        platform::ui::messageBox(buf, LangText(4145), MB_OK | MB_ICONWARNING);
        return;
    }
    if (text.find_first_of("@-") != std::string::npos) {
        platform::ui::messageBox(LangText(4211), LangText(4145), MB_OK | MB_ICONWARNING);
        return;
    }
    name = text;
    protocol = uint16_t(protocol_->currentData().toInt());
    QDialog::accept();
}

DeleteAccountDialog::DeleteAccountDialog(const CUserConfig& model, QWidget* parent) : QDialog(parent) {
    setObjectName("11017");
    setWindowTitle(LangQ(4422));
    auto* form = new QFormLayout(this);
    accounts_ = new QComboBox(this);
    accounts_->setObjectName("11096");
    const std::string current = model.GetCurrentAccountName() ? model.GetCurrentAccountName() : "";
    int select = 0;
    for (size_t i = 0; i < model.Accounts().size(); ++i) {
        const auto& a = *model.Accounts()[i];
        const std::string name = a.AccountName();
        if (name.empty() || name.find("@@") != std::string::npos || strcasecmp(name.c_str(), "Business") == 0) continue;
        if (name == current) select = accounts_->count();
        accounts_->addItem(Bytes(name), int(i));
    }
    if (accounts_->count()) accounts_->setCurrentIndex(select);
    auto* label = new QLabel(LangQ(4424), this);
    label->setObjectName("11095");
    form->addRow(label, accounts_);
    QDialogButtonBox* buttons = OkCancel(this);
    buttons->button(QDialogButtonBox::Ok)->setText(LangQ(4423));
    form->addRow(buttons);
}

void DeleteAccountDialog::accept() {
    if (accounts_->currentIndex() >= 0) chosen = accounts_->currentData().toInt();
    QDialog::accept();
}

AccountListDialog::AccountListDialog(const std::vector<AccountListEntry>& accounts, QWidget* parent) : QDialog(parent) {
    setObjectName("11020");
    setWindowTitle(OwnQ(32774));
    auto* box = new QVBoxLayout(this);
    auto* list = new QTableWidget(int(accounts.size()), 3, this);
    list->setObjectName("11099");
    list->setHorizontalHeaderLabels({OwnQ(32782), OwnQ(32783), OwnQ(32791)});
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->verticalHeader()->hide();
    list->horizontalHeader()->setStretchLastSection(true);
    for (int row = 0; row < int(accounts.size()); ++row) {
        const AccountListEntry& e = accounts[size_t(row)];
        list->setItem(row, 0, new QTableWidgetItem(Bytes(e.name)));
        list->setItem(row, 1, new QTableWidgetItem(OwnQ(e.active ? 32785 : 32787)));
        list->setItem(row, 2, new QTableWidgetItem(DayText(e.lastSync)));
    }
    box->addWidget(list);
    auto* ok = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    ok->button(QDialogButtonBox::Ok)->setObjectName(QString::number(IDOK));
    connect(ok, &QDialogButtonBox::accepted, this, &QDialog::accept);
    box->addWidget(ok);
    resize(520, 260);
    // Name a third, the active mark a sixth, the time the other half of the list's width.
    const int width = 520 - 24;
    list->setColumnWidth(0, int(width * 0.3333) - 1);
    list->setColumnWidth(1, int(width * 0.1667) - 1);
    list->setColumnWidth(2, width / 2 - 1);
}

FolderSyncDialog::FolderSyncDialog(CUserConfig& model, QWidget* parent) : QDialog(parent), model_(model) {
    setObjectName("11021");
    setWindowTitle(OwnQ(57674));
    auto* box = new QVBoxLayout(this);
    list_ = new QTableWidget(0, 2, this);
    list_->setObjectName("11100");
    list_->setHorizontalHeaderLabels({OwnQ(57672), OwnQ(57673)});
    list_->verticalHeader()->hide();
    list_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    box->addWidget(list_);
    auto* buttons = OkCancel(this);
    auto* refresh = buttons->addButton(OwnQ(57678), QDialogButtonBox::ActionRole);
    refresh->setObjectName("3");
    refresh->setAutoDefault(false);
    connect(refresh, &QPushButton::clicked, this, [this] { Refresh(); });
    box->addWidget(buttons);
    resize(420, 420);
    const tess::accounts::CMailAccount* account = model_.FindAccount(model_.currentAccount);
    int inUse = 0, mapped = 0;
    if (account) account->CountFolders(&inUse, &mapped, nullptr, nullptr);
    if (!account || inUse == 0 || mapped == 0) {
        platform::ui::messageBox(Bytes(OwnQ(57675) + OwnQ(57680)), Bytes(OwnQ(57676)), MB_OK | MB_ICONWARNING);
        return;
    }
    account_ = model_.currentAccount;
    Fill();
}

void FolderSyncDialog::Fill() {
    constexpr int kRowsShown = 16;
    // The choices of the old rows go now, so that the new rows alone carry their names.
    for (int row = 0; row < list_->rowCount(); ++row) delete list_->cellWidget(row, 1);
    list_->setRowCount(0);
    rows_.clear();
    const tess::accounts::CMailAccount* account = model_.FindAccount(account_);
    for (const auto& f : account->Folders()) {
        std::string name = f.name;
        DoubleAmpersands(name);
        rows_.push_back({name, f.synchronised != 0});
    }
    list_->setRowCount(std::max<int>(kRowsShown, int(rows_.size())));
    for (int row = 0; row < int(rows_.size()); ++row) {
        auto* item = new QTableWidgetItem(Bytes(rows_[size_t(row)].first));
        item->setFlags(Qt::ItemIsEnabled);
        list_->setItem(row, 0, item);
        auto* choice = new QComboBox(list_);
        choice->setObjectName("row" + QString::number(row));
        choice->addItems({OwnQ(32785), OwnQ(32787)});
        choice->setCurrentIndex(rows_[size_t(row)].second ? 0 : 1);
        list_->setCellWidget(row, 1, choice);
    }
}

void FolderSyncDialog::Refresh() {
    // One refresh at a time in the process: the host's logon may run a message loop.
    static bool busy = false;
    if (busy || account_ < 0) return;
    busy = true;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    if (model_.GetServerFolders())
        Fill();
    else
        platform::ui::messageBox(Bytes(OwnQ(57681)), Bytes(OwnQ(57676)), MB_OK | MB_ICONINFORMATION);
    QApplication::restoreOverrideCursor();
    busy = false;
}

void FolderSyncDialog::accept() {
    for (int row = 0; account_ >= 0 && row < int(rows_.size()); ++row) {
        auto* choice = static_cast<QComboBox*>(list_->cellWidget(row, 1));
        const bool on = choice->currentIndex() == 0;
        if (on == rows_[size_t(row)].second) continue;
        std::string name = rows_[size_t(row)].first;
        StripAmpersands(name);
        if (!model_.SetFolderSync(name, on ? 1 : 0)) {
            choice->setCurrentIndex(1);
            rows_[size_t(row)].second = false;
            char text[512];
            std::snprintf(text, sizeof text, Bytes(OwnQ(57679)).c_str(), name.c_str(), 16);
            platform::ui::messageBox(text, Bytes(OwnQ(57676)), MB_OK | MB_ICONWARNING);
            return;
        }
        rows_[size_t(row)].second = on;
        if (strcasecmp(name.c_str(), "inbox") == 0) model_.SetInboxSync(on ? 1 : 0);
    }
    QDialog::accept();
}

}  // namespace tess::config
