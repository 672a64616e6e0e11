// The MTxn exports: the actions the handheld queued while disconnected, walked per
// account by an outside component that carries each out on the server and marks it
// complete. An action handle names its account and record; the action itself is looked up
// on each call, so a handle whose action was completed finds nothing.
#include <algorithm>

#include "datamgr/ledgerly.h"
#include "datamgr/store_handles.h"

using namespace tess::datamgr;

namespace {

// What MTxnGetType answers.
enum TxnType : int {
    kTxnMarkRead = 1,
    kTxnMarkUnread = 2,
    kTxnDeleteOrMove = 3,
    kTxnCopy = 4,
    kTxnSelectFolder = 5,
    kTxnAddFolder = 6,
    kTxnDeleteFolder = 7,
    kTxnRenameFolder = 8,
    kTxnOther = 9,
};

int TypeOf(const PendingAction* a) {
    if (!a) return kTxnOther;
    switch (a->opcode) {
    case 0: return kTxnAddFolder;
    case 1: return kTxnRenameFolder;
    case 2: return kTxnDeleteFolder;
    case 3: return kTxnCopy;
    case 4: return kTxnSelectFolder;
    case 5:
    case 7:
    case 8:
    case 10: return kTxnDeleteOrMove;
    case 6: return !a->arg1.empty() && a->arg1[0] == '0' ? kTxnMarkUnread : kTxnMarkRead;
    case 15: return kTxnMarkRead;
    case 16: return kTxnMarkUnread;
    default: return kTxnOther;
    }
}

bool OneOf(uint32_t opcode, std::initializer_list<uint32_t> set) {
    return std::find(set.begin(), set.end(), opcode) != set.end();
}

// The fields of a live action handle, or null.
const StoreHandle* ActionHandle(const StoreHandle* h) {
    return ValidHandle(h, kActionKind) ? HandleFields(h) : nullptr;
}

StoreAccount* AccountOfAction(const StoreHandle& fields) {
    return TheMailStore().AccountById(static_cast<int>(fields.owner));
}

// The action the handle names, or null when its account or the action has gone.
PendingAction* ActionOf(const StoreHandle* h, StoreAccount** account = nullptr) {
    const StoreHandle* fields = ActionHandle(h);
    StoreAccount* entry = fields ? AccountOfAction(*fields) : nullptr;
    if (!entry) return nullptr;
    if (account) *account = entry;
    for (PendingAction& a : entry->actions)
        if (a.recordId == fields->id) return &a;
    return nullptr;
}

StoreHandle* MakeActionHandle(const StoreAccount& account, const PendingAction& action) {
    return MakeHandle(kActionKind, static_cast<uint32_t>(account.id), action.recordId, nullptr);
}

int GiveOut(StoreHandle** out, StoreHandle* made) {
    *out = made;
    return made ? 0 : Code(LDG_E_NO_MEMORY);
}

// One of the action's texts when the opcode allows it.
int ActionText(StoreHandle* h, const char** out, bool first, bool (*allowed)(uint32_t)) {
    PendingAction* a = ActionOf(h);
    if (!a || !out || !allowed(a->opcode)) return Code(LDG_E_INVALID_PARAMETER);
    *out = first ? a->arg1.c_str() : a->arg2.c_str();
    return 0;
}

}  // namespace

int MTxnGetVersion(int* version) { return MAccGetVersion(version); }

int MTxnGetFirst(StoreHandle* account, StoreHandle** out) {
    StoreAccount* entry = AccountOf(account);
    if (!entry || !out) return Code(LDG_E_INVALID_PARAMETER);
    if (!TheMailStore().syncSession()) return Code(LDG_E_INVALID_OPERATION);
    if (entry->actions.empty()) return Code(LDG_E_END_OF_LIST);
    return GiveOut(out, MakeActionHandle(*entry, entry->actions.front()));
}

int MTxnGetNext(StoreHandle* action, StoreHandle** out) {
    StoreAccount* entry = nullptr;
    const PendingAction* current = ActionOf(action, &entry);
    if (!current || !out) return Code(LDG_E_INVALID_PARAMETER);
    const size_t next = static_cast<size_t>(current - entry->actions.data()) + 1;
    if (next >= entry->actions.size()) return Code(LDG_E_END_OF_LIST);
    return GiveOut(out, MakeActionHandle(*entry, entry->actions[next]));
}

int MTxnGetType(StoreHandle* action, int* type) {
    if (!ActionHandle(action) || !type) return Code(LDG_E_INVALID_PARAMETER);
    *type = TypeOf(ActionOf(action));
    return 0;
}

int MTxnGetMsgId(StoreHandle* action, const char** id) {
    return ActionText(action, id, true, [](uint32_t op) { return !OneOf(op, {0, 1, 2, 4, 13}); });
}

int MTxnGetSourceFld(StoreHandle* action, const char** folder) {
    return ActionText(action, folder, true, [](uint32_t op) { return op == 1; });
}

int MTxnGetDestFld(StoreHandle* action, const char** folder) {
    return ActionText(action, folder, false, [](uint32_t op) { return !OneOf(op, {2, 4, 6, 15, 16}); });
}

int MTxnMarkComplete(StoreHandle** action) {
    StoreAccount* entry = nullptr;
    const PendingAction* a = action ? ActionOf(*action, &entry) : nullptr;
    if (!a) return Code(LDG_E_INVALID_PARAMETER);
    if (const int rc = TheMailStore().CompleteAction(*entry, a->recordId); rc != 0) return rc;
    FreeHandle(action);
    return 0;
}

int MTxnRelease(StoreHandle** action) {
    if (!action || !ActionHandle(*action)) return Code(LDG_E_INVALID_PARAMETER);
    if (!TheMailStore().syncSession()) return Code(LDG_E_INVALID_OPERATION);
    FreeHandle(action);
    return 0;
}
