#pragma once
// Window messages without windows: a handle that stands for one owner's message handler,
// and SendMessage, which runs that handler on the caller's thread and returns its answer.
// The owner makes the handle and destroys it before the handler goes away; a message sent
// to a handle that is null or already destroyed reaches nobody and answers 0.
#include <cstdint>
#include <functional>
#include <string>

#include "platform/export.h"

typedef struct WindowObject* HWND;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;

TESS_API LRESULT SendMessageA(HWND window, unsigned message, WPARAM wParam, LPARAM lParam);
// Nonzero while the handle stands for a live handler.
TESS_API int IsWindow(HWND window);
// The newest live window made with that class name (title ignored), or null.
TESS_API HWND FindWindowA(const char* className, const char* title);
#define SMTO_ABORTIFHUNG 0x0002u
// Handlers run on the caller's thread, so none hangs: the answer goes to *result and the
// call reports success (nonzero) unless the handle is not live.
TESS_API LRESULT SendMessageTimeoutA(HWND window, unsigned message, WPARAM wParam, LPARAM lParam, unsigned flags,
                                     unsigned timeoutMs, uintptr_t* result);

namespace platform::ui {

using MessageHandler = std::function<LRESULT(unsigned message, WPARAM wParam, LPARAM lParam)>;

// A new handle for the handler (never null); FindWindowA finds it by its class name.
TESS_EXPORT HWND createMessageWindow(MessageHandler handler, std::string className = {});
// The handle stops reaching its handler; false when it was not a live handle.
TESS_EXPORT bool destroyMessageWindow(HWND window);

}  // namespace platform::ui
