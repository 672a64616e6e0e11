#include "config/config_frame.h"

#include <cstdio>

#include <QAction>
#include <QDialog>
#include <QPushButton>
#include <QShortcut>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>
#include <filesystem>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QMenuBar>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeWidget>

#include "accounts/account_layout.h"
#include "common/handheld_record_io.h"
#include "config/config_dialogs.h"
#include "config/config_text.h"
#include "platform/core/os.h"
#include "platform/syncmgr/syncmgr.h"
#include "platform/ui/ui_service.h"

namespace tess::config {

namespace {

constexpr const char* kProductVersion = "1.0";

// Item data of a tree item: the account in the top 8 bits, the page below.
int ItemData(int pageId, int accountId) { return int((uint32_t(accountId) << 24) | (uint32_t(pageId) & 0xFFFFFF)); }
int PageOf(int data) { return data & 0xFFFFFF; }
int AccountOf(int data) { return data >> 24; }

QString Format(unsigned id, const QString& arg) { return OwnQ(id).replace("%s", arg); }
QString Format(unsigned id, int arg) { return OwnQ(id).replace("%d", QString::number(arg)); }

}  // namespace

std::vector<ConfigPageEntry> BuildPages(CUserConfig& model) {
    std::vector<ConfigPageEntry> pages;
    pages.push_back({LangText(4000), 0, kPageGlobal, -1, 0});
    for (size_t i = 0; i < model.Accounts().size(); ++i) {
        const auto& a = *model.Accounts()[i];
        const int id = int(i);
        const std::string name = a.AccountName();
        if (name.empty() || name.find("@@") != std::string::npos || a.MailClient() == 255) continue;
        const int select = model.newAccounts.erase(id) ? 1 : 0;
        pages.push_back({name, 0, kPageAccountOverview, id, 0});
        pages.push_back({LangText(4429), 1, kPageAccountSettings, id, select});
        pages.push_back({LangText(4430), 1, kPageAccountOptions, id, 0});
        pages.push_back({LangText(4431), 1, kPageHandheldOverview, id, 0});
        pages.push_back({LangText(4432), 2, kPageDevicePreference, id, 0});
        pages.push_back({LangText(4433), 2, kPageDeviceServers, id, 0});
    }
    pages.push_back({LangText(4434), 0, kPagePlugIns, -1, 0});
    return pages;
}

ConfigFrame::ConfigFrame(CUserConfig& model) : model_(model) {
    setObjectName("ConfigFrame");
    setAttribute(Qt::WA_DeleteOnClose, false);
    setFixedSize(806, 540);
    host_.owner = this;
    host_.pageChanged = [this] {
        UpdateStatusBar();
        UpdateToolBar();
    };

    auto action = [this](int id, const QString& fallback) {
        const QStringList prompt = OwnQ(unsigned(id)).split('\n');
        QAction* a = new QAction(prompt.size() > 1 ? prompt[1] : fallback, this);
        a->setObjectName(QString::number(id));
        a->setStatusTip(prompt[0]);
        return a;
    };
    save_ = action(32772, "Save");
    newAccount_ = action(32776, "New account");
    deleteAccount_ = action(32792, "Delete account");
    QAction* reference = action(32781, "Quick reference");
    QAction* exit = action(57665, "Exit");
    QAction* help = action(32773, "Help");
    QAction* web = action(32790, "On the web");
    QAction* about = action(32780, "About");
    connect(help, &QAction::triggered, this, [this] { ShowHelp(); });
    connect(web, &QAction::triggered, this, [this] { OpenWebPage(); });
    connect(about, &QAction::triggered, this, [this] { ShowAbout(); });
    connect(reference, &QAction::triggered, this, [this] { QuickReference(); });
    connect(save_, &QAction::triggered, this, [this] { SaveAll(); });
    connect(newAccount_, &QAction::triggered, this, [this] { NewAccount(); });
    connect(deleteAccount_, &QAction::triggered, this, [this] { DeleteAccount(); });
    connect(exit, &QAction::triggered, this, &QWidget::close);
    QMenu* file = menuBar()->addMenu("&Archivo");
    file->setObjectName("menu0");
    file->addActions({save_, newAccount_, deleteAccount_, reference});
    file->addSeparator();
    file->addAction(exit);
    QMenu* helpMenu = menuBar()->addMenu("A&yuda");
    helpMenu->setObjectName("menu1");
    helpMenu->addActions({help, web, about});

    // Menu images from the tool bar's commands and the frame's accelerator keys.
    auto icon = [this](QStyle::StandardPixmap p) { return style()->standardIcon(p); };
    menus_.LoadToolbar(16, 16,
                       {{32772, icon(QStyle::SP_DialogSaveButton)},
                        {32776, icon(QStyle::SP_FileIcon)},
                        {32792, icon(QStyle::SP_TrashIcon)},
                        {32781, icon(QStyle::SP_FileDialogDetailedView)},
                        {32773, icon(QStyle::SP_DialogHelpButton)}});
    const std::vector<Accel> accelerators = {
        {FVIRTKEY | FCONTROL, 'S', 32772}, {FVIRTKEY | FCONTROL, 'N', 32776}, {FVIRTKEY, 0x70, 32773}};
    menus_.SetAccelerators(accelerators);
    menus_.Install(this);
    const std::pair<QKeySequence, QAction*> keys[] = {{QKeySequence(Qt::CTRL | Qt::Key_S), save_},
                                                      {QKeySequence(Qt::CTRL | Qt::Key_N), newAccount_},
                                                      {QKeySequence(Qt::Key_F1), help}};
    for (const auto& [sequence, target] : keys)
        connect(new QShortcut(sequence, this), &QShortcut::activated, target, &QAction::trigger);

    QToolBar* tools = addToolBar("tools");
    tools->setObjectName("32779");
    tools->setMovable(false);
    users_ = new QComboBox(tools);
    users_->setObjectName("32777");
    users_->setMinimumWidth(200);
    CUserList list;
    list.Load();
    for (const auto& u : list.Users()) {
        users_->addItem(Bytes(u.name), u.id);
        if (u.id == model_.userId) users_->setCurrentIndex(users_->count() - 1);
    }
    users_->setToolTip(OwnQ(32777).split('\n').value(1));
    connect(users_, &QComboBox::activated, this, [this](int index) { ChangeUser(index); });
    tools->addWidget(users_);
    tools->addSeparator();
    tools->addActions({save_, newAccount_, deleteAccount_, reference, help});

    for (int i = 0; i < 3; ++i) {
        counts_[i] = new QLabel(this);
        counts_[i]->setObjectName(QString::number(0xE701 + i));
        counts_[i]->setMinimumWidth(161);
        statusBar()->addPermanentWidget(counts_[i]);
    }

    splitter_ = new QSplitter(this);
    tree_ = new QTreeWidget(splitter_);
    tree_->setObjectName("tree");
    tree_->setHeaderHidden(true);
    splitter_->addWidget(tree_);
    setCentralWidget(splitter_);
    connect(tree_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (!item || host_.changingUser) return;
        const int data = item->data(0, Qt::UserRole).toInt();
        ShowPage(PageOf(data), AccountOf(data));
    });
    RefillTree();
    setWindowTitle(Format(57666, Bytes(model_.userName)));
    ShowPage(kPageGlobal, -1);
    const int w = width() / 4;
    splitter_->setSizes({w, 3 * w});
}

ConfigFrame::~ConfigFrame() = default;

void ConfigFrame::RefillTree() {
    const bool was = host_.changingUser;
    host_.changingUser = true;  // filling selects items: no page switches meanwhile
    tree_->clear();
    QTreeWidgetItem *top = nullptr, *handheld = nullptr, *show = nullptr;
    for (const ConfigPageEntry& p : BuildPages(model_)) {
        QTreeWidgetItem* parent = p.level == 0 ? nullptr : p.level == 1 ? top : handheld;
        QTreeWidgetItem* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree_);
        item->setText(0, p.level == 0 && p.accountId >= 0
                             ? Bytes(p.title)
                             : QString::fromStdString(platform::ui::utf8FromAnsi(p.title)));
        item->setData(0, Qt::UserRole, ItemData(p.pageId, p.accountId));
        if (p.level == 0) top = item;
        if (p.pageId == kPageHandheldOverview) handheld = item;
        if (p.select) show = item;
    }
    tree_->expandAll();
    host_.changingUser = was;
    if (show) tree_->setCurrentItem(show);
}

bool ConfigFrame::ShowPage(int pageId, int accountId) {
    const bool account = pageId != kPageGlobal && pageId != kPagePlugIns;
    const int code = account ? model_.GetAccountProtocol(accountId) : 0;
    bool refused = false;
    if ((pageId == kPageAccountOptions || pageId == kPageDevicePreference || pageId == kPageDeviceServers) &&
        code > 256)
        refused = true;
    if (pageId == kPageDeviceServers && accountId == model_.relayAccount && !refused) {
        platform::ui::messageBox(LangText(4420), LangText(4418), MB_OK | MB_ICONINFORMATION);
        refused = true;
    }
    ConfigPage* next = nullptr;
    if (!refused) {
        ApplyPage();
        if (account) model_.currentAccount = accountId;
        next = CreatePage(pageId, model_, host_);
    }
    if (next) {
        // The old page leaves the pane at once (it may be the sender of this call, so it
        // is deleted later); the pane keeps its sizes.
        const QList<int> sizes = splitter_->sizes();
        if (page_) {
            page_->hide();
            page_->setParent(nullptr);
            page_->deleteLater();
        }
        page_ = next;
        splitter_->addWidget(page_);
        if (sizes.size() >= 2) splitter_->setSizes({sizes[0], sizes[1]});
        shown_ = pageId;
    }
    UpdateStatusBar();
    UpdateToolBar();
    return next != nullptr;
}

void ConfigFrame::ApplyPage() {
    if (page_) page_->Apply();
}

void ConfigFrame::SaveAll() {
    ApplyPage();
    model_.Save(nullptr);
    UpdateToolBar();
}

void ConfigFrame::UpdateStatusBar() {
    counts_[0]->setText(Format(57667, model_.CountAccounts()));
    counts_[1]->setText(Format(57668, model_.CountReadyAccounts()));
    counts_[2]->setText(Format(57669, model_.CountSyncAccounts()));
}

void ConfigFrame::UpdateToolBar() {
    newAccount_->setEnabled(model_.slotCount > model_.CountAccounts());
    save_->setEnabled(model_.changed != 0);
    deleteAccount_->setEnabled(model_.HasSeveralAccounts() != 0);
}

bool ConfigFrame::AskSave() {
    char text[512];
    std::snprintf(text, sizeof text, LangText(4419).c_str(), model_.userName.c_str());
    if (platform::ui::messageBox(text, LangText(4418), MB_YESNO | MB_ICONQUESTION) != IDYES) return false;
    model_.Save(nullptr);
    return true;
}

void ConfigFrame::closeEvent(QCloseEvent* event) {
    ApplyPage();
    if (model_.changed) AskSave();
    UpdateToolBar();
    if (!model_.HasAccountToSync() && model_.NextActionIsSync()) {
        const std::string text = LangText(4436) + LangText(model_.activeMask ? 4459 : 4437) + LangText(4438);
        if (platform::ui::messageBox(text, LangText(4145), MB_YESNO | MB_ICONQUESTION) == IDYES) {
            event->ignore();
            return;
        }
    }
    event->accept();
}

void ConfigFrame::ChangeUser(int index) {
    const int id = users_->itemData(index).toInt();
    if (host_.changingUser || id == model_.userId) return;
    ApplyPage();
    if (model_.changed) AskSave();
    if (model_.ChangeUser(id)) {
        host_.changingUser = true;
        RefillTree();
        setWindowTitle(Format(57666, Bytes(model_.userName)));
        host_.changingUser = false;
        ShowPage(kPageGlobal, -1);
        return;
    }
    for (int i = 0; i < users_->count(); ++i)
        if (users_->itemData(i).toInt() == model_.userId) users_->setCurrentIndex(i);
}

void ConfigFrame::NewAccount() {
    NewAccountDialog dialog(this);
    if (dialog.exec() != QDialog::Accepted) return;
    const int id = model_.AddAccount(dialog.name.c_str(), dialog.protocol);
    if (id < 0) return;
    RefillTree();
    ShowPage(kPageAccountSettings, id);
}

void ConfigFrame::DeleteAccount() {
    DeleteAccountDialog dialog(model_, this);
    if (dialog.exec() != QDialog::Accepted) return;
    if (platform::ui::messageBox(LangText(4426), LangText(4425), MB_YESNO | MB_ICONQUESTION) == IDNO) return;
    model_.DeleteAccount(dialog.chosen);
    RefillTree();
    ShowPage(kPageGlobal, 0);
}

void ConfigFrame::ShowHelp() {
    // There is no help file in this build unless one was put beside the sync manager.
    char dir[260];
    int size = sizeof dir;
    if (QuayGetSyncManagerDirectory(dir, &size) != SYNC_OK) dir[0] = 0;
    std::string pattern = LangText(4219);
    std::replace(pattern.begin(), pattern.end(), '\\', '/');
    char path[600];
    std::snprintf(path, sizeof path, pattern.c_str(), dir);
    std::error_code ec;
    if (std::filesystem::is_regular_file(path, ec) && platform::openWithDesktop(path)) return;
    platform::ui::messageBox(Bytes(QString::fromUtf8("No se encuentra el archivo de ayuda:\n")) + path, LangText(4145),
                             MB_OK | MB_ICONINFORMATION);
}

void ConfigFrame::OpenWebPage() {
    std::string address;
    GetWebPageAddress(address);
    if (!platform::openWithDesktop(address))
        platform::ui::messageBox(LangText(4469), LangText(4145), MB_OK | MB_ICONWARNING);
}

void ConfigFrame::ShowAbout() {
    QDialog about(this);
    about.setObjectName("11019");
    auto* box = new QVBoxLayout(&about);
    auto* name = new QLabel(LangQ(4441) + "  " + QString::fromLatin1(kProductVersion), &about);
    box->addWidget(name);
    auto* ok = new QPushButton("OK", &about);
    ok->setObjectName(QString::number(IDOK));
    connect(ok, &QPushButton::clicked, &about, &QDialog::accept);
    box->addWidget(ok, 0, Qt::AlignRight);
    about.exec();
}

void ConfigFrame::QuickReference() {
    if (QApplication::keyboardModifiers() & Qt::ShiftModifier) {
        const int on = model_.ToggleDebugLogging();
        platform::ui::messageBox(LangText(on ? 4175 : 4176), LangText(4177), MB_OK | MB_ICONINFORMATION);
        UpdateToolBar();
        return;
    }
    std::vector<AccountListEntry> list;
    for (const auto& a : model_.Accounts()) {
        const std::string name = a->AccountName();
        if (name.empty() || name.find('@') != std::string::npos) continue;
        list.push_back({name, a->Active(), int(a->HeadWord(tess::accounts::layout::kHeadLastSync))});
    }
    AccountListDialog dialog(list, this);
    dialog.exec();
}

}  // namespace tess::config
