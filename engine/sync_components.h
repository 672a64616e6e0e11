#pragma once
// External sync components: libraries registered for the mail creator that synchronise an
// account themselves through the data manager, and the data manager's session they need.
#include <cstdint>
#include <string>

#include "common/ipes_init_block.h"

namespace tess::progress {
struct RegisteredType;
}  // namespace tess::progress
struct StoreHandle;

namespace tess::engine {

using tess::progress::RegisteredType;

enum : int {
    kComponentNoEntry = int(0x80000002u),
    kComponentUnsupported = int(0x80000003u),
    kComponentNotLoadable = int(0x8000000Au),
};
enum : int { kCapabilitySync = 9, kCapabilityErrorText = 11 };

// The registrations of the mail creator, fetched on first use.
class CRegisteredTypes {
public:
    CRegisteredTypes() = default;
    ~CRegisteredTypes();
    CRegisteredTypes(const CRegisteredTypes&) = delete;
    CRegisteredTypes& operator=(const CRegisteredTypes&) = delete;

    int Refresh();
    // Drops the cache; the next lookup fetches again.
    void Forget() {
        free();
        fetched_ = false;
    }
    RegisteredType* FindByType(int type);

private:
    void free();
    RegisteredType** types_ = nullptr;
    int count_ = 0;
    bool fetched_ = false;
};

void UnregisterSyncComponent(const RegisteredType& entry);
int QueryComponentCapability(const RegisteredType& entry, bool& supported, int capability);
int RunSyncComponent(const RegisteredType* entry, StoreHandle* account, int userId);
int LookupComponentErrorText(const RegisteredType& entry, int code, std::string& text);
int LookupErrorText(int code, std::string& text);
// Opens the progress service and then the data manager for the user; the block is the
// caller's and must outlive the session.
int OpenDataManagerSession(IpesInitBlock& block, int userId, bool sessionValue, bool noDialog);

}  // namespace tess::engine
