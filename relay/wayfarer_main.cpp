// wayfarer: the tray relay. Runs for the relay user chosen in the relay configuration
// until its tray menu's Exit, a shut-down control mail or the configuration ends it.
#include <QApplication>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "platform/ui/qt/qt_ui.h"
#include "relay/relay_app.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    application.setQuitOnLastWindowClosed(false);
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
        if (relay.InitInstance()) code = application.exec();
        relay.ExitInstance();
    }
    return code;
}
