#include "platform/ui/qt/qt_form_dialogs.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QKeySequence>
#include <QPushButton>
#include <QShortcut>
#include <QThread>
#include <QVBoxLayout>

#include <iconv.h>

namespace platform::ui {

namespace {

bool onUiThread() {
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    return app && QThread::currentThread() == app->thread();
}

QString qtText(const std::string& ansi) { return QString::fromStdString(utf8FromAnsi(ansi)); }

// The modules' 8-bit text; characters it lacks become '?'.
std::string ansiText(const QString& text) {
    std::string utf8 = text.toStdString(), out(utf8.size() + 1, '\0');
    iconv_t cd = iconv_open("WINDOWS-1252//TRANSLIT", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) return utf8;
    char* in = utf8.data();
    char* o = out.data();
    size_t inLeft = utf8.size(), outLeft = out.size();
    while (inLeft > 0 && iconv(cd, &in, &inLeft, &o, &outLeft) == static_cast<size_t>(-1)) {
        if (outLeft == 0) break;
        *o++ = '?', --outLeft;  // skip what cannot be shown
        ++in, --inLeft;
        while (inLeft > 0 && (static_cast<unsigned char>(*in) & 0xC0) == 0x80) ++in, --inLeft;
    }
    iconv_close(cd);
    out.resize(out.size() - outLeft);
    return out;
}

// "ID files (*.id)|*.id|All (*.*)|*.*|" as Qt's "ID files (*.id);;All (*.*)".
QString qtFilter(const std::string& filter) {
    QStringList parts = qtText(filter).split('|');
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        const QString label = parts[i], pattern = parts[i + 1];
        out << (label.contains('(') ? label : label + " (" + QString(pattern).replace(';', ' ') + ")");
    }
    return out.join(";;");
}

}  // namespace

int QtFormDialogs::openFile(const OpenFileRequest& request, std::string& path) {
    if (!onUiThread()) return IDCANCEL;
    QFileDialog dialog(nullptr, qtText(request.title), qtText(request.startDirectory), qtFilter(request.filter));
    dialog.setObjectName("fileDialog");
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(request.mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return IDCANCEL;
    path = dialog.selectedFiles().first().toStdString();
    return IDOK;
}

int QtFormDialogs::credentials(CredentialsForm& form) {
    if (!onUiThread()) return IDCANCEL;
    QDialog dialog;
    dialog.setObjectName("credentials");
    dialog.setWindowTitle(qtText(form.caption));
    auto* id = new QLineEdit(qtText(form.idFile));
    id->setObjectName(QString::number(form.idEdit));
    auto* password = new QLineEdit(qtText(form.password));
    password->setObjectName(QString::number(form.passwordEdit));
    password->setEchoMode(QLineEdit::Password);
    auto* idLabel = new QLabel(qtText(form.idLabel.text));
    idLabel->setObjectName(QString::number(form.idLabel.id));
    auto* passwordLabel = new QLabel(qtText(form.passwordLabel.text));
    passwordLabel->setObjectName(QString::number(form.passwordLabel.id));
    auto* fields = new QFormLayout;
    fields->addRow(idLabel, id);
    fields->addRow(passwordLabel, password);
    auto* buttons = new QHBoxLayout;
    int answer = IDCANCEL;
    for (const auto* text : {&form.ok, &form.cancel, &form.help}) {
        auto* button = new QPushButton(qtText(text->text));
        button->setObjectName(QString::number(text->id));
        buttons->addWidget(button);
        if (text == &form.ok) {
            button->setDefault(true);
            QObject::connect(button, &QPushButton::clicked, &dialog, [&] {
                answer = IDOK;
                dialog.accept();
            });
        } else if (text == &form.cancel) {
            QObject::connect(button, &QPushButton::clicked, &dialog, &QDialog::reject);
        } else if (form.onHelp) {
            QObject::connect(button, &QPushButton::clicked, &dialog, [&] { form.onHelp(); });
        }
    }
    if (form.onHelp) {
        auto* help = new QShortcut(QKeySequence::HelpContents, &dialog);
        QObject::connect(help, &QShortcut::activated, &dialog, [&] { form.onHelp(); });
    }
    auto* layout = new QVBoxLayout(&dialog);
    layout->addLayout(fields);
    layout->addLayout(buttons);
    dialog.exec();
    if (answer != IDOK) return IDCANCEL;
    form.idFile = ansiText(id->text());
    form.password = ansiText(password->text());
    return IDOK;
}

bool installWindowedFormDialogs() {
    if (!onUiThread()) return false;
    static QtFormDialogs dialogs;
    installFormDialogs(&dialogs);
    return true;
}

}  // namespace platform::ui
