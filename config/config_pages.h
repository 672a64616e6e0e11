#pragma once
// The form pages of the right-hand pane. Each page reads its record from the model when
// it is made, and stores every change into the model at once (Apply), so that the frame
// can save or drop the whole edit when the window closes. Controls are named by their
// resource ids.
#include <QWidget>
#include <functional>
#include <string>

#include "config/user_config.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QGridLayout;
class QRadioButton;
class QPlainTextEdit;

namespace tess::config {

enum PageId : int {
    kPageGlobal = 101,
    kPagePlugIns = 11002,
    kPageAccountSettings = 11007,
    kPageAccountOptions = 11008,
    kPageDevicePreference = 11014,
    kPageDeviceServers = 11015,
    kPageAccountOverview = 11022,
    kPageHandheldOverview = 11023,
};

// The window-wide state pages consult: the switch of users in progress, and the frame's
// refresh after a stored change.
struct PageHost {
    bool changingUser = false;
    std::function<void()> pageChanged;
    QWidget* owner = nullptr;  // owner of the pages' message boxes
};

class ConfigPage : public QWidget {
public:
    ConfigPage(CUserConfig& model, PageHost& host, int pageId);
    // Stores the controls into the model: true; nothing while the user is being switched.
    virtual bool Apply() { return true; }

protected:
    QLabel* heading(int id, const std::string& text);
    QLabel* label(int id, const std::string& text, int row, int column = 0, int span = 1);
    QCheckBox* check(int id, const std::string& text, int row, int span = 2);
    QLineEdit* edit(int id, const std::string& label, int labelId, int row, int maxLength, bool password = false);
    // A whole number kept within min..max while the user types.
    QLineEdit* number(int id, const std::string& label, int labelId, int row, int min, int max);
    QPlainTextEdit* notes(int id, const std::string& text, int row);
    // Applies and tells the frame.
    void changed();
    std::string accountTitle(unsigned stringId, const char* format) const;

    CUserConfig& model_;
    PageHost& host_;
    QGridLayout* grid_;
};

// Text of the language library for a control; account values keep their bytes.
QString LangQ(unsigned id);
QString OwnQ(unsigned id);
QString Bytes(const std::string& text);
std::string Bytes(const QString& text);
// A synchronisation time as the local day ("Monday, May 04, 2026"); 0: unknown.
QString DayText(int time);

ConfigPage* CreatePage(int pageId, CUserConfig& model, PageHost& host);

}  // namespace tess::config
