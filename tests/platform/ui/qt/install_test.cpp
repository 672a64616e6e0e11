#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <cstdlib>
#include <string>

#include "platform/ui/qt/qt_ui.h"

namespace {

// One test: the process has no QApplication until the last case makes one.
TEST(InstallWindowed, OnlyWithAReachableDisplay) {
    const std::string offscreen = std::getenv("QT_QPA_PLATFORM") ? std::getenv("QT_QPA_PLATFORM") : "";
    ASSERT_EQ(offscreen, "offscreen");
    platform::ui::UiService& headless = platform::ui::current();

    struct Case {
        const char* display;
        const char* wayland;
    } unreachable[] = {
        {nullptr, nullptr}, {"", ""}, {nullptr, "tess-no-such-compositor"}, {nullptr, "/nonexistent/wayland-0"},
#ifdef TESS_HAVE_XCB
        {":4711", nullptr},  // Qt would abort on it; the probe answers first
#endif
    };
    ASSERT_EQ(unsetenv("QT_QPA_PLATFORM"), 0);
    std::string runtime = ::testing::TempDir() + "tess-runtime-XXXXXX";  // private, as Qt wants it
    ASSERT_NE(mkdtemp(runtime.data()), nullptr);
    ASSERT_EQ(setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1), 0);
    for (const auto& c : unreachable) {
        SCOPED_TRACE(std::string(c.display ? c.display : "-") + " " + (c.wayland ? c.wayland : "-"));
        c.display ? setenv("DISPLAY", c.display, 1) : unsetenv("DISPLAY");
        c.wayland ? setenv("WAYLAND_DISPLAY", c.wayland, 1) : unsetenv("WAYLAND_DISPLAY");
        EXPECT_FALSE(platform::ui::installWindowedIfDisplay());
        EXPECT_EQ(&platform::ui::current(), &headless);
        EXPECT_EQ(QCoreApplication::instance(), nullptr);
    }

    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    ASSERT_EQ(setenv("QT_QPA_PLATFORM", offscreen.c_str(), 1), 0);
    ASSERT_TRUE(platform::ui::installWindowedIfDisplay());
    platform::ui::UiService& windowed = platform::ui::current();
    EXPECT_NE(dynamic_cast<platform::ui::QtUi*>(&windowed), nullptr);
    EXPECT_NE(qobject_cast<QApplication*>(QCoreApplication::instance()), nullptr);
    EXPECT_EQ(QGuiApplication::platformName(), "offscreen");

    // Again after someone else took over: the same service comes back.
    platform::ui::install(nullptr);
    ASSERT_TRUE(platform::ui::installWindowedIfDisplay());
    EXPECT_EQ(&platform::ui::current(), &windowed);
    rmdir(runtime.c_str());
}

}  // namespace
