#pragma once
// The window's modal dialogs. Controls are named by their resource ids.
#include <QDialog>
#include <cstdint>
#include <string>

#include <vector>

class QComboBox;
class QLineEdit;
class QTableWidget;

namespace tess::config {

// Asks for a new account's name and handheld protocol (0 POP, 1 IMAP). OK keeps the
// dialog open, with a message, while the name is empty, longer than 13 characters or has
// an '@' or '-'.
class NewAccountDialog : public QDialog {
public:
    explicit NewAccountDialog(QWidget* parent);
    void accept() override;
    std::string name;       // 8-bit text, trimmed
    uint16_t protocol = 0;  // 0 POP, 1 IMAP

private:
    QLineEdit* name_;
    QComboBox* protocol_;
};

class CUserConfig;

// Picks the account to delete among the named accounts (never one named "Business");
// the current account is preselected. chosen: its id after OK, else -1.
class DeleteAccountDialog : public QDialog {
public:
    DeleteAccountDialog(const CUserConfig& model, QWidget* parent);
    void accept() override;
    int chosen = -1;

private:
    QComboBox* accounts_;
};

struct AccountListEntry {
    std::string name;
    int active = 0;
    int lastSync = 0;
};

// The read-only quick reference of the accounts: name, active, last synchronisation.
class AccountListDialog : public QDialog {
public:
    AccountListDialog(const std::vector<AccountListEntry>& accounts, QWidget* parent);
};

// Which server folders of the current account go to the handheld. OK switches the changed
// rows (a folder not yet on the handheld only while a handheld slot is free); Cancel
// changes nothing; the refresh button (3) reads the list afresh from the server. With no
// folders known yet the dialog says so and ends at once.
class FolderSyncDialog : public QDialog {
public:
    FolderSyncDialog(CUserConfig& model, QWidget* parent);
    // False when there was nothing to choose from (the dialog has already said so).
    bool HasFolders() const { return account_ >= 0; }
    void accept() override;

private:
    void Fill();
    // Reads the folder list afresh from the server; on failure says so and keeps the list.
    void Refresh();
    CUserConfig& model_;
    int account_ = -1;
    QTableWidget* list_;
    std::vector<std::pair<std::string, bool>> rows_;  // display name, initial value
};

}  // namespace tess::config
