#pragma once
// ConfigSettingsDlg: the relay's settings dialog behind ConfigSetUp. The user it serves,
// the MAPI profile and password of that user's account, informational logging, whether
// the relay starts with the desktop session, and two hidden options (Shift with Help
// toggles debug logging, Shift with Cancel shows "Uses Attachments").
#include <QDialog>
#include <functional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace tess::relaycfg {

// One relay user as the dialog shows it, and how its choices are stored.
struct SettingsUser {
    std::string name;
    bool selected = false;
    bool attachments = false;
    bool logInformational = false;
    bool logDebug = false;
    std::string profile;
    std::string password;
    // Writes the options at once; flipDebug turns "Log Debug" over.
    std::function<void(bool attachments, bool logInformational, bool flipDebug)> storeOptions;
    std::function<void(const std::string& profile, const std::string& password)> storeAccount;
};

class ConfigSettingsDlg : public QDialog {
public:
    // profiles: the desktop's MAPI profile names (the list shows "Not Selected" first).
    ConfigSettingsDlg(std::vector<SettingsUser>& users, std::vector<std::string> profiles,
                      std::function<void()> mailDue);

    bool changed = false;  // settings were stored
    int chosen = -1;       // -1 the list was not touched; 0 "Not Selected"; else user index + 1
    int current = -1;      // the user shown (index), -1 none
    bool notSelectedChosen = false;

    void OnOK();
    void OnCancel();
    void OnHelp();

private:
    void showUser(int index);
    void showPage(const std::string& profile, const std::string& password);
    void storeSettings();
    std::string pageProfile() const;

    std::vector<SettingsUser>& users_;
    std::vector<std::string> profiles_;
    std::function<void()> mailDue_;
    QComboBox* userList_;
    QComboBox* profileList_;
    QLineEdit* password_;
    QCheckBox* informational_;
    QCheckBox* attachments_;
    QCheckBox* startup_;
    bool hiddenDebug_ = false;
    bool atOpenAttachments_ = false, atOpenInformational_ = false, atOpenDebug_ = false;
    std::string firstProfile_, firstPassword_;
    std::string shortcutFile_;
};

}  // namespace tess::relaycfg
