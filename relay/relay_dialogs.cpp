#include "relay/relay_dialogs.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "platform/ui/ui_service.h"
#include "relay/main_frame.h"

namespace tess::relay {

namespace {
QLabel* appIcon(QWidget* parent) {
    auto* icon = new QLabel(parent);
    icon->setPixmap(CTrayIcon::IconFor(kIconRunning).pixmap(32, 32));
    return icon;
}
}  // namespace

CAboutDlg::CAboutDlg() {
    setObjectName("100");
    setWindowTitle("Corvid(TM) Wayfarer");
    auto* layout = new QGridLayout(this);
    layout->addWidget(appIcon(this), 0, 0, 2, 1, Qt::AlignTop);
    title_ = new QLabel("Corvid(TM) Wayfarer 1.2", this);
    title_->setObjectName("1001");
    title_->setTextFormat(Qt::PlainText);
    font_ = title_->font();
    font_.setBold(true);
    font_.setPixelSize(15);
    title_->setFont(font_);
    layout->addWidget(title_, 0, 1);
    layout->addWidget(new QLabel("Forwards new desktop mail to your handheld while it is away.", this), 1, 1);
    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("1");
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(ok, 2, 1, Qt::AlignRight);
}

CAddressDlg::CAddressDlg(std::string* address, std::string* smtpAddress, bool showSmtp)
    : address_(address), smtp_(smtpAddress) {
    setObjectName("143");
    setWindowTitle("Corvid(TM) Wayfarer");
    auto* layout = new QGridLayout(this);
    layout->addWidget(appIcon(this), 0, 0);
    layout->addWidget(new QLabel("Corvid(TM) Wayfarer 1.2", this), 0, 1);
    layout->addWidget(new QLabel("Enter Wayfarer eMail Address:", this), 1, 1);
    auto* edit = new QLineEdit(QString::fromStdString(platform::ui::utf8FromAnsi(*address_)), this);
    edit->setObjectName("1002");
    layout->addWidget(edit, 2, 1);
    auto* smtpLabel = new QLabel("Enter your SMTP eMail Address:", this);
    smtpLabel->setObjectName("1005");
    layout->addWidget(smtpLabel, 3, 1);
    auto* smtp = new QLineEdit(QString::fromStdString(platform::ui::utf8FromAnsi(*smtp_)), this);
    smtp->setObjectName("1003");
    layout->addWidget(smtp, 4, 1);
    smtpLabel->setVisible(showSmtp);
    smtp->setVisible(showSmtp);
    auto* buttons = new QVBoxLayout;
    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("1");
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setObjectName("2");
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    buttons->addStretch();
    layout->addLayout(buttons, 0, 2, 5, 1);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(edit, &QLineEdit::textChanged, [this](const QString& t) { *address_ = t.toLatin1().toStdString(); });
    connect(smtp, &QLineEdit::textChanged, [this](const QString& t) { *smtp_ = t.toLatin1().toStdString(); });
    if (!address_->empty())
        smtp->setFocus();
    else
        edit->setFocus();
}

}  // namespace tess::relay
