// wayfarer: the tray relay. Runs for the relay user chosen in the relay configuration
// until its tray menu's Exit, a shut-down control mail, the configuration or SIGTERM ends it.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "platform/ui/qt/qt_ui.h"
#include "relay/main_frame.h"
#include "relay/relay_app.h"

namespace {

int gSignalPipe[2] = {-1, -1};

void onEndSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(gSignalPipe[1], &byte, 1);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    application.setQuitOnLastWindowClosed(false);
    // SIGTERM and SIGINT end the relay as its tray menu's Exit does (a desktop without a
    // notification area has no menu): the handler only wakes the event loop.
    std::optional<QSocketNotifier> endSignal;
    if (::pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        struct sigaction action {};
        action.sa_handler = onEndSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(SIGTERM, &action, nullptr);
        sigaction(SIGINT, &action, nullptr);
        endSignal.emplace(gSignalPipe[0], QSocketNotifier::Read);
    }
    // On the offscreen platform nobody can answer a box: the headless service logs the
    // texts and answers with the default button.
    const char* qpa = std::getenv("QT_QPA_PLATFORM");
    std::optional<platform::ui::QtUi> ui;
    if (!qpa || std::strcmp(qpa, "offscreen") != 0) ui.emplace();
    std::optional<platform::ui::ScopedUi> scope;
    if (ui) scope.emplace(*ui);
    int code = 1;
    {
        tess::relay::CRelayApp relay;
        if (endSignal)
            QObject::connect(&*endSignal, &QSocketNotifier::activated, [&relay] {
                char drained[16];
                while (::read(gSignalPipe[0], drained, sizeof drained) > 0) {
                }
                if (relay.Frame())
                    relay.Frame()->RequestClose();
                else
                    tess::relay::ExitPending() = true;
            });
        if (relay.InitInstance()) code = application.exec();
        relay.ExitInstance();
        if (endSignal) endSignal->disconnect();
    }
    return code;
}
