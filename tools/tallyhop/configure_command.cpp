#include "tools/tallyhop/configure_command.h"

#include "platform/core/module.h"
#include "tools/tallyhop/runtime_setup.h"

namespace tallyhop {

int runConfigure(const std::string& userName, bool haveDisplay, std::ostream& out, std::ostream& err) {
    int userId = 0;
    if (findUser(userName, &userId) != 0) {
        err << "tallyhop: no user '" << userName << "' (run tallyhop init)\n";
        return 1;
    }
    // The window's questions about missing settings would be answered by nobody, and
    // their default answers change the user's settings: nothing starts without a screen.
    if (!haveDisplay) {
        err << "tallyhop: configure needs a display (set DISPLAY or WAYLAND_DISPLAY); nothing was changed.\n"
               "         Use tallyhop account to set an account up without one.\n";
        return 1;
    }
    HMODULE engine = LoadLibraryA("Tidewater.dll");
    using ConfigureFn = int (*)(int);
    auto configure = engine ? reinterpret_cast<ConfigureFn>(GetProcAddress(engine, "ConfigureLarkspur")) : nullptr;
    if (!configure) {
        if (engine) FreeLibrary(engine);
        err << "tallyhop: the engine Tidewater cannot be loaded\n";
        return 1;
    }
    const int rc = configure(userId);
    FreeLibrary(engine);
    out << (rc == 0 ? "Configuration window closed.\n" : "The configuration window did not run.\n");
    return rc == 0 ? 0 : 1;
}

}  // namespace tallyhop
