// The windowed ID-and-password form and file dialog on Qt's offscreen platform, filled in
// by a scripted user through the controls' names.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <functional>

#include "platform/ui/qt/qt_form_dialogs.h"

namespace {

// Runs `act` on the first modal dialog once it shows.
void whenShown(std::function<void(QWidget*)> act) {
    QTimer::singleShot(0, [act] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal) return whenShown(act);
        act(modal);
    });
}

class QtFormDialogsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "test";
        static char* argv[] = {name, nullptr};
        if (!QCoreApplication::instance()) new QApplication(argc, argv);
    }
    platform::ui::QtFormDialogs dialogs;
};

TEST_F(QtFormDialogsTest, CredentialsFormShowsItsTextsAndReturnsWhatWasTyped) {
    platform::ui::CredentialsForm form;
    form.caption = "Lotus Notes ID File Validator";
    form.idLabel = {"Lotus Notes ID:", 1068};
    form.passwordLabel = {"Password:", 1069};
    form.ok = {"Validate", 1};
    form.idEdit = 1070;
    form.passwordEdit = 1071;
    form.idFile = "/home/ann/alee.id";
    QString shownId, title;
    QLineEdit::EchoMode echo = QLineEdit::Normal;
    whenShown([&](QWidget* dialog) {
        title = dialog->windowTitle();
        auto* id = dialog->findChild<QLineEdit*>("1070");
        auto* password = dialog->findChild<QLineEdit*>("1071");
        shownId = id->text();
        echo = password->echoMode();
        id->setText("/home/ann/other.id");
        password->setText("s\xC3\xA9same");  // UTF-8 on screen, Windows-1252 in the form
        dialog->findChild<QPushButton*>("1")->click();
    });
    ASSERT_EQ(dialogs.credentials(form), IDOK);
    EXPECT_EQ(title, "Lotus Notes ID File Validator");
    EXPECT_EQ(shownId, "/home/ann/alee.id");
    EXPECT_EQ(echo, QLineEdit::Password);
    EXPECT_EQ(form.idFile, "/home/ann/other.id");
    EXPECT_EQ(form.password, "s\xE9same");

    whenShown([](QWidget* dialog) { dialog->findChild<QPushButton*>("2")->click(); });
    form.password = "kept";
    EXPECT_EQ(dialogs.credentials(form), IDCANCEL);
    EXPECT_EQ(form.password, "kept");
}

// Help (its button, or F1) runs the form's help and leaves the form open.
TEST_F(QtFormDialogsTest, HelpButtonAndF1RunTheFormsHelpAndKeepItOpen) {
    platform::ui::CredentialsForm form;
    form.idEdit = 1070;
    form.passwordEdit = 1071;
    int helped = 0;
    form.onHelp = [&] { ++helped; };
    bool openAfterHelp = false;
    whenShown([&](QWidget* dialog) {
        dialog->findChild<QPushButton*>("3")->click();
        if (auto* f1 = dialog->findChild<QShortcut*>()) {
            EXPECT_EQ(f1->key(), QKeySequence(QKeySequence::HelpContents));
            emit f1->activated();
        } else {
            ADD_FAILURE() << "no F1 shortcut";
        }
        openAfterHelp = dialog->isVisible();
        dialog->findChild<QPushButton*>("2")->click();
    });
    EXPECT_EQ(dialogs.credentials(form), IDCANCEL);
    EXPECT_EQ(helped, 2);
    EXPECT_TRUE(openAfterHelp);

    // A form without help leaves its Help button doing nothing.
    form.onHelp = nullptr;
    whenShown([&](QWidget* dialog) {
        dialog->findChild<QPushButton*>("3")->click();
        dialog->findChild<QPushButton*>("2")->click();
    });
    EXPECT_EQ(dialogs.credentials(form), IDCANCEL);
}

TEST_F(QtFormDialogsTest, FileDialogTakesTitleFilterAndStartDirectory) {
    const std::string dir = ::testing::TempDir();
    QString title, filter;
    whenShown([&](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(dialog, nullptr);
        title = dialog->windowTitle();
        filter = dialog->nameFilters().join(";;");
        dialog->reject();
    });
    std::string path = "untouched";
    EXPECT_EQ(dialogs.openFile({"Locate Your Lotus Notes ID", "Lotus Notes ID (*.id)|*.id|", dir, true}, path),
              IDCANCEL);
    EXPECT_EQ(path, "untouched");
    EXPECT_EQ(title, "Locate Your Lotus Notes ID");
    EXPECT_EQ(filter, "Lotus Notes ID (*.id)");
    EXPECT_TRUE(platform::ui::installWindowedFormDialogs());
}

}  // namespace
