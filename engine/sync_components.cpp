#include "engine/sync_components.h"

#include "datamgr/ledgerly.h"
#include "datamgr/ledgerly_store.h"
#include "engine/device_database.h"
#include "platform/core/module.h"
#include "progress/lampwick.h"

namespace tess::engine {

using tess::progress::RegisteredType;

namespace {

extern "C" {
typedef int (*CapSupportsFn)(uint32_t creator, int capability);
struct ComponentSyncRequest {
    int32_t userId;
    uint32_t creator;
    StoreHandle* account;
};
typedef int (*ComponentSyncFn)(ComponentSyncRequest* request);
typedef int (*ComponentErrorFn)(int code, char* buffer, int size);
}

// The component's library for one call; a library that does not load is unregistered, so
// the next synchronisation does not meet it again.
class ComponentLibrary : public platform::LoadedModule {
public:
    explicit ComponentLibrary(const RegisteredType& entry) : LoadedModule(entry.hostPath.GetString()) {
        if (!*this) UnregisterSyncComponent(entry);
    }
};

}  // namespace

CRegisteredTypes::~CRegisteredTypes() { free(); }

void CRegisteredTypes::free() {
    if (types_) REGFreeRegisteredTypes(types_, count_);
    types_ = nullptr;
    count_ = 0;
}

int CRegisteredTypes::Refresh() {
    free();
    fetched_ = true;
    return REGGetRegisteredTypes(kCreatorMail, &types_, &count_) == 0 ? 1 : 0;
}

RegisteredType* CRegisteredTypes::FindByType(int type) {
    if (!fetched_) Refresh();
    for (int i = 0; i < count_ && types_; ++i)
        if (types_[i] && types_[i]->type == type) return types_[i];
    return nullptr;
}

void UnregisterSyncComponent(const RegisteredType& entry) { REGUnRegister(kCreatorMail, entry.name.GetString()); }

int QueryComponentCapability(const RegisteredType& entry, bool& supported, int capability) {
    supported = false;
    ComponentLibrary lib(entry);
    if (!lib) return kComponentNotLoadable;
    auto caps = lib.Bind<CapSupportsFn>("SCapSupports");
    if (!caps) return kComponentUnsupported;
    supported = caps(kCreatorMail, capability) == 0;
    return 0;
}

int RunSyncComponent(const RegisteredType* entry, StoreHandle* account, int userId) {
    if (!entry) return kComponentNoEntry;
    bool supported = false;
    if (int rc = QueryComponentCapability(*entry, supported, kCapabilitySync)) return rc;
    if (!supported) return kComponentUnsupported;
    ComponentLibrary lib(*entry);
    if (!lib) return kComponentNotLoadable;
    auto run = lib.Bind<ComponentSyncFn>("SSYNCSyncrhonize");
    if (!run) return kComponentUnsupported;
    ComponentSyncRequest request{userId, kCreatorMail, account};
    return run(&request);
}

int LookupComponentErrorText(const RegisteredType& entry, int code, std::string& text) {
    bool supported = false;
    if (int rc = QueryComponentCapability(entry, supported, kCapabilityErrorText)) return rc;
    if (!supported) return kComponentUnsupported;
    ComponentLibrary lib(entry);
    if (!lib) return kComponentNotLoadable;
    auto lookup = lib.Bind<ComponentErrorFn>("SERRExtLookupError");
    if (!lookup) return 0;
    char buffer[1024] = {};
    if (lookup(code, buffer, sizeof buffer) != 0) return 0;
    buffer[sizeof buffer - 1] = '\0';
    text = buffer;
    return 1;
}

int LookupErrorText(int code, std::string& text) {
    char buffer[1024] = {};
    int size = sizeof buffer;
    if (ERRLookupError(code, buffer, &size) != 0) return 0;
    buffer[sizeof buffer - 1] = '\0';
    text = buffer;
    return 1;
}

int OpenDataManagerSession(IpesInitBlock& block, int userId, bool sessionValue, bool noDialog) {
    // The session value is only ever tested for null.
    block.syncSession = sessionValue ? &block : nullptr;
    block.noDialog = noDialog ? 1 : 0;
    block.userId = userId;
    block.creator = kCreatorMail;
    if (int rc = IPES_InitializeLampwick(&block)) return rc;
    return IPES_Initialize(&block);
}

}  // namespace tess::engine
