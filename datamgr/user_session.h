#pragma once
// The data manager's session for one desktop user, its state shared between processes
// (section "SharedTL"), and the store it opens.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "common/ipes_init_block.h"

namespace tess::datamgr {

// initialised, creator, syncSession, noDialog, then the session's user id (so that other
// processes can learn it), the current user's entry and the attachment translator. The
// two pointers are meaningful only in ownerPid, the process that opened the session.
struct SharedTL {
    int32_t initialised;
    uint32_t creator;
    void* syncSession;
    int32_t noDialog;
    int32_t userId;
    void* currentUser;
    void* translator;
    int32_t ownerPid;
};
static_assert(offsetof(SharedTL, syncSession) == 8 && offsetof(SharedTL, noDialog) == 16 &&
                  offsetof(SharedTL, userId) == 20 && offsetof(SharedTL, currentUser) == 24 &&
                  offsetof(SharedTL, translator) == 32 && offsetof(SharedTL, ownerPid) == 40 && sizeof(SharedTL) == 48,
              "SharedTL layout on x86-64");

SharedTL* SharedSessionState();

// The current user of this process's session, or null.
struct DesktopUser {
    int id = 0;
};

// Opens the session (the store, the log, the handheld side, the translator).
int OpenSession(const IpesInitBlock* block);
// True when this process opened the session that the section describes.
bool SessionIsOurs();

}  // namespace tess::datamgr
