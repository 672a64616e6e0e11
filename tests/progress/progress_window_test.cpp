// With a display the progress window is a Qt dialog whose controls carry the ids.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QProgressBar>

#include "progress/lampwick.h"
#include "tests/progress/progress_env.h"

namespace {

const auto* const gEnv = ::testing::AddGlobalTestEnvironment(new tess::test::ProgressEnvironment(/*display=*/true));

QDialog* ProgressDialog() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<QDialog*>(w); d && d->objectName() == "12004") return d;
    return nullptr;
}

TEST(ProgressWindow, QtDialogFollowsTheExports) {
    static int session = 1;
    IpesInitBlock block{&session, 0, 1, 0x61736333};
    ASSERT_EQ(IPES_InitializeLampwick(&block), 0);
    QDialog* dialog = ProgressDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->windowTitle().toStdString(), "Avanzamento Tessaline(TM)");

    ProgressStart start{3, "Konten", 70000, "Nachrichten"};
    ASSERT_EQ(PRGStartProgress(&start), 0);
    ASSERT_EQ(PRGUpdateMainEvent(), 0);
    EXPECT_TRUE(dialog->isVisible());
    auto* main = dialog->findChild<QProgressBar*>("12003");
    auto* sub = dialog->findChild<QProgressBar*>("12004");
    ASSERT_TRUE(main && sub);
    EXPECT_EQ(main->maximum(), 3);
    EXPECT_EQ(main->value(), 1);
    EXPECT_EQ(sub->maximum(), 4464);
    EXPECT_EQ(dialog->findChild<QLabel*>("12001")->text().toStdString(), "Konten");
    EXPECT_EQ(dialog->findChild<QLabel*>("12002")->text().toStdString(), "Nachrichten");

    ASSERT_EQ(PRGClose(), 0);
    EXPECT_FALSE(dialog->isVisible());
}

}  // namespace
