#pragma once
// The progress service's state shared by every process of the runtime root (section
// "SharedXS"). The dialog reference is the creating process's id plus its process-local
// pointer, so that no other process ever follows it.
#include <cstddef>
#include <cstdint>
#include <sys/types.h>

namespace tess::progress {

struct SharedXS {
    int32_t initialised;
    uint32_t creator;
    void* syncState;
    int32_t noDialog;
    int32_t dialogOwner;  // process id of the dialog's creator; 0 none
    void* dialog;         // meaningful only in dialogOwner
};
static_assert(offsetof(SharedXS, syncState) == 8 && offsetof(SharedXS, noDialog) == 16 &&
                  offsetof(SharedXS, dialogOwner) == 20 && offsetof(SharedXS, dialog) == 24 && sizeof(SharedXS) == 32,
              "SharedXS layout on x86-64");

// The process's view of the section; null when it cannot be opened.
SharedXS* SharedProgressState();

}  // namespace tess::progress
