// IPES_Initialize and the session state shared between processes.
#include "datamgr/user_session.h"

#include <unistd.h>

#include <optional>
#include <system_error>

#include "datamgr/ledgerly_translator.h"
#include "datamgr/ledgerly.h"
#include "datamgr/ledgerly_store.h"
#include "datamgr/log_header.h"
#include "datamgr/mail_store.h"
#include "datamgr/product_log.h"
#include "datamgr/store_handles.h"
#include "datamgr/store_texts.h"
#include "platform/core/os.h"
#include "platform/syncmgr/syncmgr.h"
#include "progress/lampwick.h"

namespace tess::datamgr {
namespace {

struct SectionHolder {
    std::optional<platform::SharedSection> section;
    SharedTL fallback{};
    SharedTL* state = nullptr;
    SectionHolder() {
        std::error_code ec;
        section = platform::SharedSection::open("SharedTL", sizeof(SharedTL), ec);
        state = section ? static_cast<SharedTL*>(section->data()) : &fallback;
    }
};

// What lives in the process that opened the session.
struct LocalSession {
    DesktopUser user;
    std::unique_ptr<CAttachmentTranslator> translator;
    ~LocalSession() {
        SharedTL* s = SharedSessionState();
        if (s->ownerPid == static_cast<int32_t>(getpid()) && s->initialised) {
            TheMailStore().Close();
            s->translator = nullptr;
            tess::datamgr::TheProductLog().WriteRunningTime();
        }
        translator.reset();
    }
};

LocalSession& Local() {
    // The store and the log are made first so that they outlive the session's close.
    TheMailStore();
    tess::datamgr::TheProductLog();
    static LocalSession local;
    return local;
}

bool UserExists(int userId) {
    char name[256];
    int size = sizeof name;
    return RosterGetUserName(userId, name, &size) == SYNC_OK;
}

int StartSession(SharedTL* s) {
    CMailStore& store = TheMailStore();
    ProgressStart start{2, StoreText(kTextInitialising), 0, nullptr};
    PRGStartProgress(&start);
    if (const int rc = store.Load(s->userId, s->syncSession, s->noDialog); rc != 0) {
        PRGClose();
        return rc;
    }
    PRGUpdateMainEvent();
    if (store.general().enableLogging)
        tess::datamgr::TheProductLog().Start(store.desktopDirectory(), store.conduitDirectory(), true,
                                             GatherLogHeader());
    if (s->syncSession) {
        if (const int rc = store.LoadHandheld(); rc != 0) {
            PRGClose();
            return rc;
        }
    }
    PRGUpdateMainEvent();
    if (s->currentUser) {
        LocalSession& local = Local();
        local.translator.reset();
        local.translator = std::make_unique<CAttachmentTranslator>(s->userId);
        s->translator = local.translator.get();
    }
    PRGUpdateMainMessage(StoreText(kTextProduct));
    PRGSetMainEventCount(0);
    PRGUpdateSubMessage("");
    PRGSetSubEventCount(0);
    return 0;
}

}  // namespace

SharedTL* SharedSessionState() {
    static SectionHolder holder;
    return holder.state;
}

bool SessionIsOurs() {
    const SharedTL* s = SharedSessionState();
    return s->initialised && s->ownerPid == static_cast<int32_t>(getpid());
}

int OpenSession(const IpesInitBlock* block) {
    if (!block) return Code(LDG_E_INVALID_PARAMETER);
    SharedTL* s = SharedSessionState();
    s->currentUser = nullptr;
    s->syncSession = nullptr;
    s->noDialog = 0;
    s->initialised = 0;
    s->userId = 0;
    s->creator = block->creator;
    s->syncSession = block->syncSession;
    s->noDialog = block->noDialog;
    s->ownerPid = static_cast<int32_t>(getpid());
    LocalSession& local = Local();
    if (block->userId == 0 || !UserExists(block->userId)) return Code(LDG_E_INVALID_PARAMETER);
    local.user.id = block->userId;
    s->userId = block->userId;
    s->currentUser = &local.user;
    if (block->creator != IPES_CREATOR_MAIL) return Code(LDG_E_INVALID_PARAMETER);
    const int rc = StartSession(s);
    if (rc == 0) s->initialised = 1;
    return rc;
}

}  // namespace tess::datamgr

using namespace tess::datamgr;

int IPES_Initialize(IpesInitBlock* block) { return OpenSession(block); }

int IPES_IsInitialized(int* userId) {
    const SharedTL* s = SharedSessionState();
    if (s->currentUser && userId) *userId = s->userId;
    return s->initialised;
}

void* IPES_SetTallyhopState(void* state) {
    SharedSessionState()->syncSession = state;
    TheMailStore().setSyncSession(state);
    return state;
}

void* IPES_GetTallyhopState(void) { return SharedSessionState()->syncSession; }

int IPES_CloseDatabase(void) {
    TheMailStore().handheld().Close();
    return 1;
}

int IPES_GetFirstAccount(StoreHandle** out) {
    if (!out) return Code(LDG_E_INVALID_PARAMETER);
    CMailStore& store = TheMailStore();
    if (!store.loaded() || store.accounts().empty()) return Code(LDG_E_NOT_INITIALIZED);
    *out = MakeAccountHandle(store.accounts().front().get(), store);
    return *out ? 0 : Code(LDG_E_NO_MEMORY);
}

int IPES_GetNextAccount(StoreHandle* previous, StoreHandle** out) {
    StoreAccount* account = AccountOf(previous);
    if (!account || !out) return Code(LDG_E_INVALID_PARAMETER);
    StoreAccount* next = TheMailStore().AccountAfter(account);
    if (!next) return Code(LDG_E_END_OF_LIST);
    *out = MakeAccountHandle(next, TheMailStore());
    return *out ? 0 : Code(LDG_E_NO_MEMORY);
}

int IPES_GetAccountById(int accountId, StoreHandle** out) {
    if (!out) return Code(LDG_E_INVALID_PARAMETER);
    CMailStore& store = TheMailStore();
    StoreAccount* account = store.loaded() ? store.AccountById(accountId) : nullptr;
    if (!account) return Code(LDG_E_INVALID_PARAMETER);
    *out = MakeAccountHandle(account, store);
    return *out ? 0 : Code(LDG_E_NO_MEMORY);
}

int IPES_FreeAccountHandle(StoreHandle** handle) { return FreeHandle(handle) ? 0 : Code(LDG_E_INVALID_PARAMETER); }
