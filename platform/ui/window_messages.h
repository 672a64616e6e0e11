#pragma once
// Window messages without windows: a handle that stands for one owner's message handler,
// and SendMessage, which runs that handler on the caller's thread and returns its answer.
// The owner makes the handle and destroys it before the handler goes away; a message sent
// to a handle that is null or already destroyed reaches nobody and answers 0.
#include <cstdint>
#include <functional>

#include "platform/export.h"

typedef struct WindowObject* HWND;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;

TESS_API LRESULT SendMessageA(HWND window, unsigned message, WPARAM wParam, LPARAM lParam);
// Nonzero while the handle stands for a live handler.
TESS_API int IsWindow(HWND window);

namespace platform::ui {

using MessageHandler = std::function<LRESULT(unsigned message, WPARAM wParam, LPARAM lParam)>;

// A new handle for the handler (never null).
TESS_EXPORT HWND createMessageWindow(MessageHandler handler);
// The handle stops reaching its handler; false when it was not a live handle.
TESS_EXPORT bool destroyMessageWindow(HWND window);

}  // namespace platform::ui
