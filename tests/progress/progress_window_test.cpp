// With a display the progress window is a Qt dialog whose controls carry the ids.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QProgressBar>

#include "progress/lampwick.h"
#include "tests/progress/progress_env.h"

namespace {

const auto* const gEnv = ::testing::AddGlobalTestEnvironment(new tess::progress::test::ProgressEnvironment(/*display=*/true));

// Initialises the service for mail with a window; the window's dialog, or null.
QDialog* InitialisedDialog() {
    static int session = 1;
    IpesInitBlock block{&session, 0, 1, 0x61736333};
    if (IPES_InitializeLampwick(&block) != 0) return nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<QDialog*>(w); d && d->objectName() == "12004") return d;
    return nullptr;
}

TEST(ProgressWindow, QtDialogFollowsTheExports) {
    QDialog* dialog = InitialisedDialog();
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

    // A range of 0..0 is an empty bar, not the toolkit's busy animation.
    ASSERT_EQ(PRGSetSubEventCount(65536), 0);
    EXPECT_LT(sub->minimum(), sub->maximum());
    EXPECT_EQ(sub->value(), sub->minimum());
    ASSERT_EQ(PRGSetSubEventCount(2), 0);
    ASSERT_EQ(PRGUpdateSubEvent(), 0);
    EXPECT_EQ(sub->maximum(), 2);
    EXPECT_EQ(sub->value(), 1);

    ASSERT_EQ(PRGClose(), 0);
    EXPECT_FALSE(dialog->isVisible());
}

// The controls sit as in the dialog template: the creator's icon beside the main message,
// then the main bar, the sub message and the sub bar below one another, left-aligned and
// of one width; plain bars without a percentage; a window of fixed size.
TEST(ProgressWindow, LaidOutLikeTheTemplate) {
    QDialog* dialog = InitialisedDialog();
    ASSERT_NE(dialog, nullptr);
    auto* icon = dialog->findChild<QLabel*>("12000");
    auto* mainText = dialog->findChild<QLabel*>("12001");
    auto* mainBar = dialog->findChild<QProgressBar*>("12003");
    auto* subText = dialog->findChild<QLabel*>("12002");
    auto* subBar = dialog->findChild<QProgressBar*>("12004");
    ASSERT_TRUE(icon && mainText && mainBar && subText && subBar);

    const QRect i = icon->geometry(), mt = mainText->geometry(), mb = mainBar->geometry(), st = subText->geometry(),
                sb = subBar->geometry();
    EXPECT_LT(i.right(), mt.left());
    EXPECT_TRUE(i.top() < mt.bottom() && mt.top() < i.bottom()) << "icon and main message share a row";
    EXPECT_LE(mt.bottom(), mb.top());
    EXPECT_LE(mb.bottom(), st.top());
    EXPECT_LE(st.bottom(), sb.top());
    EXPECT_GE(i.left(), mb.left());
    for (const QRect& r : {mb, st, sb}) {
        EXPECT_EQ(r.left(), mb.left());
        EXPECT_EQ(r.width(), mb.width());
    }
    for (const QRect& r : {i, mt, mb, st, sb}) EXPECT_TRUE(dialog->rect().contains(r));
    EXPECT_FALSE(mainBar->isTextVisible());
    EXPECT_FALSE(subBar->isTextVisible());
    EXPECT_EQ(dialog->minimumSize(), dialog->maximumSize());
}

}  // namespace
