#pragma once
// The relay's own dialogs: the About box (100) and the address dialog (143).
#include <QDialog>
#include <QFont>
#include <string>

class QLineEdit;
class QLabel;

namespace tess::relay {

class CAboutDlg : public QDialog {
public:
    CAboutDlg();
    QLabel* Title() const { return title_; }

private:
    QLabel* title_;
    QFont font_;
};

// The relay's e-mail address and, when asked, an SMTP address. Every change of an edit is
// copied at once into the caller's text, OK or Cancel alike.
class CAddressDlg : public QDialog {
public:
    CAddressDlg(std::string* address, std::string* smtpAddress, bool showSmtp);

private:
    std::string* address_;
    std::string* smtp_;
};

}  // namespace tess::relay
