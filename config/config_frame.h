#pragma once
// The configuration window: the page tree on the left, one form page on the right, the
// menu and tool bar with the user selector, and the account counts in the status bar.
// Closing asks to save a changed model; answering No leaves every file as it was.
#include <QMainWindow>
#include <memory>
#include <string>
#include <vector>

#include "config/config_pages.h"
#include "config/menu_manager.h"

class QAction;
class QComboBox;
class QLabel;
class QSplitter;
class QTreeWidget;

namespace tess::config {

// One item of the page tree.
struct ConfigPageEntry {
    std::string title;  // 8-bit text
    int level = 0;      // 0 top, 1 under an account, 2 under its handheld overview
    int pageId = 0;
    int accountId = -1;
    int select = 0;
};

// The page list the tree shows, from the model's accounts.
std::vector<ConfigPageEntry> BuildPages(CUserConfig& model);

class ConfigFrame : public QMainWindow {
public:
    explicit ConfigFrame(CUserConfig& model);
    ~ConfigFrame() override;

    // Shows the page for the account (-1 for the user's pages); false when refused.
    bool ShowPage(int pageId, int accountId);
    int ShownPage() const { return shown_; }
    ConfigPage* Page() const { return page_; }
    // Stores the shown page's controls into the model.
    void ApplyPage();
    // The Save command: the shown page, then every file of the user.
    void SaveAll();
    void RefillTree();
    void UpdateStatusBar();
    void UpdateToolBar();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    bool AskSave();
    void ChangeUser(int index);
    void NewAccount();
    void DeleteAccount();
    void QuickReference();
    void ShowHelp();
    void OpenWebPage();
    void ShowAbout();

    CUserConfig& model_;
    PageHost host_;
    QSplitter* splitter_;
    QTreeWidget* tree_;
    ConfigPage* page_ = nullptr;
    int shown_ = kPageGlobal;
    QLabel* counts_[3];
    QAction *save_, *newAccount_, *deleteAccount_;
    QComboBox* users_;
    CCoolMenuManager menus_;
};

}  // namespace tess::config
