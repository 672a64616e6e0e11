#pragma once
// Binding Notes client calls by name from the loaded client library. A caller lists its
// calls once in an X-macro; the slots take their types from the client's header, and the
// binding fills them in the listed order, stopping at the first name the library lacks.
#include "platform/core/module.h"
#include "platform/notes/nnotes.h"

// One typed slot per call: X(name) -> `decltype(&::name) name = nullptr;`
#define TESS_NOTES_CALL_SLOT(name) decltype(&::name) name = nullptr;
// Inside a function with an HMODULE `module` that returns const char*: binds the call,
// or returns its name when the library does not export it.
#define TESS_NOTES_BIND_CALL(name)                                          \
    name = reinterpret_cast<decltype(name)>(GetProcAddress(module, #name)); \
    if (!name) return #name;
