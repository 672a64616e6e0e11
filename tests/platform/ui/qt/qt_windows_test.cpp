#include <gtest/gtest.h>

#include <QApplication>
#include <QAbstractButton>
#include <QCheckBox>
#include <QGroupBox>
#include <QImage>
#include <QKeyEvent>
#include <QRadioButton>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <ostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/sync_progress_dialog.h"
#include "platform/ui/qt/qt_ui.h"

using tess::CSyncProgressDlg;
using tess::kProgressAdvanceOverall;
using tess::kProgressAdvanceStep;
using tess::kProgressClose;
using tess::kProgressRestoreStep;
using tess::kProgressSaveStep;
using tess::kProgressSetOverallCount;
using tess::kProgressSetStepCount;
using tess::kProgressSetText;

// Readable failures: QString is in the global namespace.
void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

namespace {

class QtWindows : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(platform::ui::installWindowedIfDisplay()); }
};

// Runs `act` on the first modal message box once its event loop is running.
void whenBoxShows(std::function<void(QMessageBox&)> act) {
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        timer->stop();
        timer->deleteLater();
        act(*box);
    });
    timer->start(5);
}

void press(QWidget& widget, int key) {
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(&widget, &down);
}

TEST_F(QtWindows, MessageBoxesOfferTheButtonSetAndAnswerTheButtonPressed) {
    struct Case {
        unsigned type;
        std::vector<QString> buttons;  // object names, which are the answers
        QString defaultButton;
        QMessageBox::Icon icon;
        QString click;  // object name to click; "Return" or "Escape" for a key
        int answer;
    } cases[] = {
        {MB_OK | MB_ICONINFORMATION, {"1"}, "1", QMessageBox::Information, "Return", IDOK},
        {MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2, {"6", "7"}, "7", QMessageBox::Question, "Return", IDNO},
        {MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2, {"6", "7"}, "7", QMessageBox::Question, "6", IDYES},
        {MB_YESNOCANCEL | MB_ICONWARNING, {"6", "7", "2"}, "6", QMessageBox::Warning, "Escape", IDCANCEL},
        {MB_ABORTRETRYIGNORE | MB_ICONERROR | MB_DEFBUTTON3, {"3", "4", "5"}, "5", QMessageBox::Critical, "4", IDRETRY},
        {MB_RETRYCANCEL, {"4", "2"}, "4", QMessageBox::NoIcon, "Return", IDRETRY},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.type) + " " + c.click.toStdString());
        QString title, text;
        std::vector<QString> offered;
        QString shownDefault;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        whenBoxShows([&](QMessageBox& box) {
            title = box.windowTitle();
            text = box.text();
            icon = box.icon();
            for (QAbstractButton* b : box.buttons()) offered.push_back(b->objectName());
            if (box.defaultButton()) shownDefault = box.defaultButton()->objectName();
            if (c.click == "Return")
                press(box, Qt::Key_Return);
            else if (c.click == "Escape")
                press(box, Qt::Key_Escape);
            else
                box.findChild<QPushButton*>(c.click)->click();
        });
        EXPECT_EQ(platform::ui::messageBox("Replace <b>Inbox</b> & more?", "Tallyhop\xAE", c.type), c.answer);
        EXPECT_EQ(title, QString::fromUtf8("Tallyhop\u00AE"));
        EXPECT_EQ(text, "Replace <b>Inbox</b> & more?");
        EXPECT_EQ(icon, c.icon);
        std::sort(offered.begin(), offered.end());
        std::vector<QString> expected = c.buttons;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(offered, expected);
        EXPECT_EQ(shownDefault, c.defaultButton);
    }
}

// A sync thread other than the one owning the application must not touch widgets: it gets
// the default answer and a terminal progress line.
TEST_F(QtWindows, OtherThreadsGetHeadlessAnswers) {
    int answer = 0;
    std::unique_ptr<platform::ui::ProgressWindow> window;
    std::thread worker([&] {
        answer = platform::ui::messageBox("Keep going?", "Tallyhop", MB_YESNO | MB_DEFBUTTON2);
        window = platform::ui::current().openProgress("T", "Sync");
        window->setOverall({3, 1});
    });
    worker.join();
    EXPECT_EQ(answer, IDNO);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->state().overall, (platform::ui::ProgressBar{3, 1}));
    for (QWidget* w : QApplication::topLevelWidgets()) EXPECT_NE(w->objectName(), "209");
}

QDialog* progressDialog() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == "209" && w->isVisible()) return qobject_cast<QDialog*>(w);
    return nullptr;
}

TEST_F(QtWindows, ProgressDialogFollowsItsMessages) {
    ASSERT_EQ(progressDialog(), nullptr);
    CSyncProgressDlg dlg("Tessaline (TM)", "Tessaline (TM) Tallyhop\xAE Progress");
    QDialog* window = progressDialog();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle(), "Tessaline (TM)");
    auto* caption = window->findChild<QLabel*>("1075");
    auto* text = window->findChild<QLabel*>("1073");
    auto* overall = window->findChild<QProgressBar*>("1074");
    auto* step = window->findChild<QProgressBar*>("1076");
    ASSERT_TRUE(caption && text && overall && step);
    EXPECT_EQ(caption->text(), QString::fromUtf8("Tessaline (TM) Tallyhop\u00AE Progress"));

    struct Step {
        unsigned message;
        uintptr_t count;
        const char* text;
        int overallMax, overallValue, stepMax, stepValue;
        QString shown;
    } steps[] = {
        // Before any step count the step bar is empty rather than a busy animation.
        {kProgressSetOverallCount, 11, nullptr, 10, 0, 1, 0, ""},
        {kProgressAdvanceOverall, 0, nullptr, 10, 1, 1, 0, ""},
        {kProgressSetStepCount, 4, nullptr, 10, 1, 3, 0, ""},
        {kProgressAdvanceStep, 0, nullptr, 10, 1, 3, 1, ""},
        {kProgressSetText, 0, "Mail && <i>Calendar</i>", 10, 1, 3, 1, "Mail & <i>Calendar</i>"},
        {kProgressSaveStep, 0, nullptr, 10, 1, 3, 1, "Mail & <i>Calendar</i>"},
        {kProgressSetStepCount, 2, nullptr, 10, 1, 1, 0, "Mail & <i>Calendar</i>"},
        {kProgressAdvanceStep, 0, nullptr, 10, 1, 1, 1, "Mail & <i>Calendar</i>"},
        {kProgressAdvanceStep, 0, nullptr, 10, 1, 1, 1, "Mail & <i>Calendar</i>"},
        {kProgressSetText, 0, "Listing Inbox", 10, 1, 1, 1, "Listing Inbox"},
        {kProgressRestoreStep, 0, nullptr, 10, 1, 3, 1, "Mail & <i>Calendar</i>"},
        {kProgressSetStepCount, 0, nullptr, 10, 1, 3, 1, "Mail & <i>Calendar</i>"},
        {kProgressSetStepCount, 1, nullptr, 10, 1, 1, 0, "Mail & <i>Calendar</i>"},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(std::to_string(s.message) + " " + std::to_string(s.count));
        EXPECT_EQ(dlg.SendMessage(s.message, s.count, reinterpret_cast<intptr_t>(s.text)), 0);
        EXPECT_EQ(overall->maximum(), s.overallMax);
        EXPECT_EQ(overall->value(), s.overallValue);
        EXPECT_EQ(step->maximum(), s.stepMax);
        EXPECT_EQ(step->value(), s.stepValue);
        EXPECT_EQ(text->text(), s.shown);
        EXPECT_EQ(overall->minimum(), 0);
        EXPECT_EQ(step->minimum(), 0);
    }
    EXPECT_TRUE(window->isVisible());
    dlg.SendMessage(kProgressClose, 0, 0);
    EXPECT_EQ(progressDialog(), nullptr);
}

// Runs `act` on the modal choice dialog once its event loop is running.
void whenChoiceShows(std::function<void(QDialog&)> act) {
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || dialog->objectName() != "choice") return;
        timer->stop();
        timer->deleteLater();
        act(*dialog);
    });
    timer->start(5);
}

TEST_F(QtWindows, ChoiceDialogRunsActionsAndReturnsTheChoiceOnOk) {
    int configured = 0;
    auto makeForm = [&] {
        platform::ui::ChoiceForm form;
        form.caption = "Tallyhop\xAE action";
        form.group = {"What next", 1003};
        form.options = {{"Synchronise", 1004}, {"Do nothing", 1005}};
        form.choice = 1;
        form.check = {"As default", 1008};
        form.actions.push_back({{"Configure...", 1006}, [&] { ++configured; }, true});
        return form;
    };

    struct Case {
        const char* name;
        std::function<void(QDialog&)> user;
        int answer, choice;
        bool checked;
    } cases[] = {
        {"ok after configuring",
         [](QDialog& d) {
             d.findChild<QPushButton*>("1006")->click();  // runs the action, stays open
             EXPECT_TRUE(d.isVisible());
             d.findChild<QRadioButton*>("1004")->click();
             d.findChild<QCheckBox*>("1008")->setChecked(true);
             d.findChild<QPushButton*>("1")->click();
         },
         IDOK, 0, true},
        {"escape cancels", [](QDialog& d) { press(d, Qt::Key_Escape); }, IDCANCEL, 1, false},
        {"cancel button",
         [](QDialog& d) {
             d.findChild<QRadioButton*>("1004")->click();
             d.findChild<QPushButton*>("2")->click();
         },
         IDCANCEL, 1, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        configured = 0;
        auto form = makeForm();
        QString title, group;
        bool presetShown = false;
        whenChoiceShows([&](QDialog& d) {
            title = d.windowTitle();
            group = d.findChild<QGroupBox*>("1003")->title();
            presetShown = d.findChild<QRadioButton*>("1005")->isChecked();
            c.user(d);
        });
        EXPECT_EQ(platform::ui::current().choose(form), c.answer);
        EXPECT_EQ(title, QString::fromUtf8("Tallyhop\u00AE action"));
        EXPECT_EQ(group, "What next");
        EXPECT_TRUE(presetShown);
        EXPECT_EQ(form.choice, c.choice);
        EXPECT_EQ(form.checked, c.checked);
        EXPECT_EQ(configured, c.answer == IDOK ? 1 : 0);
    }
}

TEST_F(QtWindows, ChoicePicturesSitBesideTheirOptionsOnTheFaceColourAndDoNothing) {
    platform::ui::ChoiceForm form;
    form.caption = "Pictures";
    form.group = {"What next", 1003};
    form.options = {{"Synchronise", 1004}, {"Do nothing", 1005}};
    form.choice = 1;
    form.pictures = {{platform::ui::FormPicture::DeviceSync, 1010}, {platform::ui::FormPicture::DeviceIdle, 1011}};
    const QColor face(0x12, 0x34, 0x56);
    bool checked = false;
    whenChoiceShows([&](QDialog& d) {
        const struct { const char *picture, *option; } pairs[] = {{"1010", "1004"}, {"1011", "1005"}};
        std::vector<QImage> drawn;
        for (const auto& pair : pairs) {
            SCOPED_TRACE(pair.picture);
            auto* picture = d.findChild<QAbstractButton*>(pair.picture);
            auto* radio = d.findChild<QRadioButton*>(pair.option);
            ASSERT_NE(picture, nullptr);
            ASSERT_NE(radio, nullptr);
            EXPECT_EQ(picture->parentWidget(), radio->parentWidget());
            EXPECT_LT(picture->geometry().right(), radio->geometry().left()) << "the picture stands before its option";
            EXPECT_GE(radio->geometry().center().y(), picture->geometry().top());
            EXPECT_LE(radio->geometry().center().y(), picture->geometry().bottom()) << "on the option's row";
            EXPECT_EQ(picture->size(), QSize(75, 23)) << "sized to its bitmap";
            EXPECT_EQ(picture->focusPolicy(), Qt::NoFocus);

            const QImage before = picture->grab().toImage();
            EXPECT_EQ(before.pixelColor(0, 0), picture->palette().color(QPalette::Button))
                << "the grey is the face colour";
            QPalette p = picture->palette();
            p.setColor(QPalette::Button, face);
            picture->setPalette(p);
            const QImage after = picture->grab().toImage();
            EXPECT_EQ(after.pixelColor(0, 0), face) << "a new face colour recolours the picture";
            int faceSeen = 0, greyLeft = 0;
            for (int y = 0; y < after.height(); ++y)
                for (int x = 0; x < after.width(); ++x) {
                    const QRgb px = after.pixel(x, y) | 0xFF000000;
                    faceSeen += px == face.rgba();
                    greyLeft += px == 0xFFC0C0C0;
                }
            EXPECT_EQ(greyLeft, 0);
            EXPECT_GT(faceSeen, 0);
            EXPECT_LT(faceSeen, after.width() * after.height()) << "something is drawn on it";
            drawn.push_back(after);

            picture->click();  // a picture, not a command
        }
        ASSERT_EQ(drawn.size(), 2u);
        EXPECT_NE(drawn[0], drawn[1]) << "each choice has its own picture";
        EXPECT_TRUE(d.isVisible());
        checked = d.findChild<QRadioButton*>("1005")->isChecked();
        d.findChild<QPushButton*>("1")->click();
    });
    EXPECT_EQ(platform::ui::current().choose(form), IDOK);
    EXPECT_TRUE(checked) << "clicking the pictures changes no choice";
    EXPECT_EQ(form.choice, 1);
}

}  // namespace
