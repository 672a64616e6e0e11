// A second process of the progress service: it loads the library itself and meets the
// first process only through the shared section of the runtime root both are given.
// Exit status: 0 when every step gave what was expected, else the number of the first
// step that did not.
#include <cstdint>
#include <cstring>

#include "progress/lampwick.h"

namespace {

constexpr uint32_t kMail = 0x61736333;   // 'asc3'
constexpr uint32_t kDates = 0x64617465;  // 'date'
int gSession = 1;

// Sees the first process's state, never its window, then initialises without a window.
int Observe() {
    if (IPES_GetTallyhopStateLampwick() == nullptr) return 1;
    if (PRGUpdateSubEvent() != PRG_NO_WINDOW) return 2;
    ProgressStart start{1, "x", 1, "y"};
    if (PRGStartProgress(&start) != PRG_BAD_ARGUMENT) return 3;
    IpesInitBlock other{nullptr, 1, 3, kDates};
    if (IPES_InitializeLampwick(&other) != 0) return 4;
    return 0;
}

int SetState() { return IPES_SetTallyhopStateLampwick(&gSession) == &gSession ? 0 : 1; }

// Makes a window of its own, uses it, and exits (which takes the window away again).
int OwnWindow() {
    IpesInitBlock own{&gSession, 0, 3, kMail};
    if (IPES_InitializeLampwick(&own) != 0) return 1;
    ProgressStart start{2, "peer", 2, "sub"};
    if (PRGStartProgress(&start) != 0) return 2;
    if (PRGUpdateSubEvent() != 0) return 3;
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 100;
    if (std::strcmp(argv[1], "observe") == 0) return Observe();
    if (std::strcmp(argv[1], "set-state") == 0) return SetState();
    if (std::strcmp(argv[1], "own-window") == 0) return OwnWindow();
    return 101;
}
