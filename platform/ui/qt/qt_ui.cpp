#include "platform/ui/qt/qt_ui.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QThread>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/ui/qt/bitmap_button.h"
#include "platform/ui/qt/qt_form_dialogs.h"

#ifdef TESS_HAVE_XCB
#include <xcb/xcb.h>
#endif

namespace platform::ui {
namespace {

QString qtText(std::string_view ansi) { return QString::fromStdString(utf8FromAnsi(ansi)); }

bool onGuiThread() {
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    return app && QThread::currentThread() == app->thread();
}

QMessageBox::StandardButton standardButton(int answer) {
    switch (answer) {
    case IDOK: return QMessageBox::Ok;
    case IDCANCEL: return QMessageBox::Cancel;
    case IDABORT: return QMessageBox::Abort;
    case IDRETRY: return QMessageBox::Retry;
    case IDIGNORE: return QMessageBox::Ignore;
    case IDYES: return QMessageBox::Yes;
    case IDNO: return QMessageBox::No;
    }
    return QMessageBox::NoButton;
}

QMessageBox::Icon boxIcon(Icon icon) {
    switch (icon) {
    case Icon::Error: return QMessageBox::Critical;
    case Icon::Question: return QMessageBox::Question;
    case Icon::Warning: return QMessageBox::Warning;
    case Icon::Information: return QMessageBox::Information;
    case Icon::None: break;
    }
    return QMessageBox::NoIcon;
}

// Lets the dialog paint and move while the caller keeps its thread busy, without running
// anything the user clicks in the meantime.
void paint() { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); }

// The engine's progress dialog; the controls keep their resource ids as object names.
class ProgressDialog : public QDialog {
public:
    ProgressDialog(const QString& title, const QString& caption) {
        setObjectName("209");
        setWindowTitle(title);
        // No close button: the sync ends the dialog, not the user.
        setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
        setModal(false);
        setMinimumWidth(440);

        auto* icon = new QLabel(this);
        icon->setObjectName("211");
        icon->setPixmap(style()->standardIcon(QStyle::SP_BrowserReload).pixmap(32, 32));
        caption_ = new QLabel(caption, this);
        caption_->setObjectName("1075");
        caption_->setTextFormat(Qt::PlainText);
        overall_ = newBar("1074");
        text_ = new QLabel(this);
        text_->setObjectName("1073");
        text_->setTextFormat(Qt::PlainText);
        step_ = newBar("1076");

        auto* head = new QHBoxLayout;
        head->addWidget(icon);
        head->addWidget(caption_, 1);
        auto* column = new QVBoxLayout(this);
        column->addLayout(head);
        column->addWidget(overall_);
        column->addWidget(text_);
        column->addWidget(step_);
        adjustSize();
    }

    void showCentred() {
        if (QScreen* screen = this->screen()) move(screen->availableGeometry().center() - rect().center());
        show();
        raise();
    }

    void display(const ProgressState& state) {
        setBar(overall_, state.overall);
        setBar(step_, state.step);
        text_->setText(qtText(state.text));
    }

protected:
    // Escape does not end it either.
    void reject() override {}

private:
    QProgressBar* newBar(const char* id) {
        auto* bar = new QProgressBar(this);
        bar->setObjectName(id);
        bar->setTextVisible(false);
        bar->setRange(0, 1);
        bar->setValue(0);
        return bar;
    }

    static void setBar(QProgressBar* bar, ProgressBar state) {
        // A range of 0 to 0 would make Qt animate a busy bar; a bar of one step or none
        // shows empty instead.
        const int last = state.count - 1;
        bar->setRange(0, last > 0 ? last : 1);
        bar->setValue(last > 0 ? state.position : 0);
    }

    QLabel* caption_;
    QLabel* text_;
    QProgressBar* overall_;
    QProgressBar* step_;
};

class QtProgressWindow : public ProgressWindow {
public:
    QtProgressWindow(std::string_view title, std::string_view caption)
        : ProgressWindow(title, caption), dialog_(std::make_unique<ProgressDialog>(qtText(title), qtText(caption))) {
        dialog_->showCentred();
        paint();
    }
    ~QtProgressWindow() override { close(); }

protected:
    void shown(const ProgressState& state) override {
        dialog_->display(state);
        paint();
    }
    void closing() override {
        dialog_->accept();
        dialog_.reset();
        paint();
    }

private:
    std::unique_ptr<ProgressDialog> dialog_;
};

bool waylandReachable(const char* name) {
    std::string path = name;
    if (path.empty()) return false;
    if (path.front() != '/') {
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        if (!runtime || !*runtime) return false;
        path = std::string(runtime) + "/" + path;
    }
    sockaddr_un address{};
    if (path.size() >= sizeof address.sun_path) return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

bool x11Reachable() {
#ifdef TESS_HAVE_XCB
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    const bool ok = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    return ok;
#else
    return true;  // nothing to ask without libxcb; Qt finds out
#endif
}

bool hasPlatformPlugin(const char* name) {
    const QDir dir(QLibraryInfo::path(QLibraryInfo::PluginsPath) + "/platforms");
    return !dir.entryList({QString("libq%1*.so").arg(name)}, QDir::Files).isEmpty();
}

// The Qt platforms to try, best first; empty when no display can be reached. Qt aborts the
// process when none of the platforms it is given works, so only reachable ones are named.
QString reachablePlatforms() {
    const char* chosen = std::getenv("QT_QPA_PLATFORM");
    if (chosen && *chosen) return QString::fromLocal8Bit(chosen);
    QStringList platforms;
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (wayland && *wayland && hasPlatformPlugin("wayland") && waylandReachable(wayland)) platforms << "wayland";
    const char* x11 = std::getenv("DISPLAY");
    if (x11 && *x11 && x11Reachable()) platforms << "xcb";
    return platforms.join(';');
}

// Takes the service down with the process, before the libraries' own statics go.
struct Windowed {
    std::unique_ptr<QtUi> ui;

    ~Windowed() {
        if (ui && &current() == ui.get()) install(nullptr);
    }
};

}  // namespace

QtUi::QtUi(FILE* log) : headless_(log) {}

QtUi::~QtUi() = default;

int QtUi::ask(const Question& question) {
    if (!onGuiThread()) return headless_.ask(question);
    QMessageBox box(boxIcon(question.icon), qtText(question.caption), qtText(question.text));
    box.setTextFormat(Qt::PlainText);
    std::vector<std::pair<QPushButton*, int>> buttons;
    const int fallback = question.defaultAnswer();
    for (const int answer : question.answers()) {
        QPushButton* button = box.addButton(standardButton(answer));
        button->setObjectName(QString::number(answer));
        buttons.emplace_back(button, answer);
        if (answer == fallback) box.setDefaultButton(button);
    }
    box.exec();
    for (const auto& [button, answer] : buttons)
        if (box.clickedButton() == button) return answer;
    return fallback;
}

int QtUi::choose(ChoiceForm& form) {
    if (!onGuiThread()) return headless_.choose(form);
    QDialog dialog;
    dialog.setObjectName("choice");
    dialog.setWindowTitle(qtText(form.caption));
    auto named = [](QWidget* widget, const ChoiceForm::Text& text) {
        if (text.id) widget->setObjectName(QString::number(text.id));
        return widget;
    };

    auto* frame = new QGroupBox(qtText(form.group.text), &dialog);
    named(frame, form.group);
    // Each option on its row, its picture (if any) before it.
    auto* options = new QGridLayout(frame);
    QButtonGroup group(&dialog);
    for (size_t i = 0; i < form.options.size(); ++i) {
        const int row = static_cast<int>(i);
        auto* radio = new QRadioButton(qtText(form.options[i].text), frame);
        named(radio, form.options[i]);
        group.addButton(radio, row);
        options->addWidget(radio, row, 1);
        if (i >= form.pictures.size() || form.pictures[i].kind == FormPicture::None) continue;
        auto* picture = new BitmapButton(frame);
        named(picture, {std::string(), form.pictures[i].id});
        picture->LoadBitmaps(PaintFormPicture(form.pictures[i].kind));
        options->addWidget(picture, row, 0);
    }
    options->setColumnStretch(1, 1);
    if (QAbstractButton* preset = group.button(form.choice))
        preset->setChecked(true);
    else if (QAbstractButton* first = group.button(0))
        first->setChecked(true);

    auto* buttons = new QVBoxLayout;
    auto addButton = [&](const ChoiceForm::Text& text) {
        auto* button = new QPushButton(qtText(text.text), &dialog);
        named(button, text);
        button->setAutoDefault(false);
        buttons->addWidget(button);
        return button;
    };
    QObject::connect(addButton(form.ok), &QPushButton::clicked, &dialog, &QDialog::accept);
    QObject::connect(addButton(form.cancel), &QPushButton::clicked, &dialog, &QDialog::reject);
    for (const auto& action : form.actions) {
        QPushButton* button = addButton(action.label);
        button->setDefault(action.isDefault);
        QObject::connect(button, &QPushButton::clicked, &dialog, [run = action.run] {
            if (run) run();
        });
    }
    QCheckBox* check = nullptr;
    if (!form.check.text.empty()) {
        check = new QCheckBox(qtText(form.check.text), &dialog);
        named(check, form.check);
        check->setChecked(form.checked);
    }
    buttons->addStretch(1);
    if (check) buttons->addWidget(check);

    auto* row = new QHBoxLayout(&dialog);
    row->addWidget(frame, 1);
    row->addLayout(buttons);
    if (dialog.exec() != QDialog::Accepted) return IDCANCEL;
    form.choice = std::max(group.checkedId(), 0);
    form.checked = check && check->isChecked();
    return IDOK;
}

void QtUi::progress(std::string_view line) { headless_.progress(line); }

std::unique_ptr<ProgressWindow> QtUi::openProgress(std::string_view title, std::string_view caption) {
    if (!onGuiThread()) return headless_.openProgress(title, caption);
    return std::make_unique<QtProgressWindow>(title, caption);
}

bool ensureWindowedApplication() {
    if (QCoreApplication::instance()) return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
    const QString platforms = reachablePlatforms();
    if (platforms.isEmpty()) return false;
    // QApplication keeps argc and argv for its lifetime, which is the process's: it is
    // never destroyed, since Qt cannot tear it down once the statics of its own libraries
    // are going at exit.
    static std::string platformArg = platforms.toStdString();
    static char name[] = "tessaline";
    static char option[] = "-platform";
    static char* argv[] = {name, option, platformArg.data(), nullptr};
    static int argc = 3;
    static QApplication* const app = new QApplication(argc, argv);
    return app != nullptr;
}

bool installWindowedIfDisplay() {
    static Windowed windowed;
    if (!windowed.ui) {
        if (!ensureWindowedApplication()) return false;
        windowed.ui = std::make_unique<QtUi>();
    }
    install(windowed.ui.get());
    return true;
}

}  // namespace platform::ui

int TessInstallWindowedUi() {
    if (!platform::ui::installWindowedIfDisplay()) return 0;
    platform::ui::installWindowedFormDialogs();
    return 1;
}
