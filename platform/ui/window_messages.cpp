#include "platform/ui/window_messages.h"

#include <cctype>
#include <map>
#include <memory>
#include <mutex>

namespace {

// Handles are numbers that are never reused, so a stale handle cannot reach a newer
// window. The handler is copied out before it runs: it may send messages itself, or
// destroy its own window.
struct Windows {
    std::mutex mutex;
    std::map<uintptr_t, std::shared_ptr<platform::ui::MessageHandler>> handlers;
    std::map<uintptr_t, std::string> classNames;  // lower-cased, only for named windows
    uintptr_t next = 0x1000;
};

Windows& windows() {
    static Windows w;
    return w;
}

std::shared_ptr<platform::ui::MessageHandler> find(HWND window) {
    Windows& w = windows();
    std::lock_guard<std::mutex> lock(w.mutex);
    auto it = w.handlers.find(reinterpret_cast<uintptr_t>(window));
    return it == w.handlers.end() ? nullptr : it->second;
}

}  // namespace

LRESULT SendMessageA(HWND window, unsigned message, WPARAM wParam, LPARAM lParam) {
    auto handler = find(window);
    return handler && *handler ? (*handler)(message, wParam, lParam) : 0;
}

int IsWindow(HWND window) { return find(window) ? 1 : 0; }

HWND FindWindowA(const char* className, const char* /*title*/) {
    if (!className) return nullptr;
    std::string wanted(className);
    for (char& c : wanted) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    Windows& w = windows();
    std::lock_guard<std::mutex> lock(w.mutex);
    for (auto it = w.classNames.rbegin(); it != w.classNames.rend(); ++it)
        if (it->second == wanted) return reinterpret_cast<HWND>(it->first);
    return nullptr;
}

LRESULT SendMessageTimeoutA(HWND window, unsigned message, WPARAM wParam, LPARAM lParam, unsigned /*flags*/,
                            unsigned /*timeoutMs*/, uintptr_t* result) {
    auto handler = find(window);
    if (!handler) return 0;
    const LRESULT answer = *handler ? (*handler)(message, wParam, lParam) : 0;
    if (result) *result = static_cast<uintptr_t>(answer);
    return 1;
}

namespace platform::ui {

HWND createMessageWindow(MessageHandler handler, std::string className) {
    for (char& c : className) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    Windows& w = windows();
    std::lock_guard<std::mutex> lock(w.mutex);
    const uintptr_t id = w.next;
    w.next += 0x10;
    w.handlers[id] = std::make_shared<MessageHandler>(std::move(handler));
    if (!className.empty()) w.classNames[id] = std::move(className);
    return reinterpret_cast<HWND>(id);
}

bool destroyMessageWindow(HWND window) {
    Windows& w = windows();
    std::lock_guard<std::mutex> lock(w.mutex);
    w.classNames.erase(reinterpret_cast<uintptr_t>(window));
    return w.handlers.erase(reinterpret_cast<uintptr_t>(window)) != 0;
}

}  // namespace platform::ui
