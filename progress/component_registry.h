#pragma once
// The registry of external sync components: one key per component under the creator's
// key "Software\Harrow Systems\Skiff Desktop\XSP\<creator>\".
#include <cstdint>
#include <string>
#include <vector>

#include "platform/core/registry.h"
#include "progress/lampwick.h"

namespace tess::progress {

// Sets one value of a component's key; a seam so that a failing write can be shown.
using ValueWriter = LSTATUS (*)(HKEY key, const char* name, DWORD type, const unsigned char* data, DWORD size);

class CComponentTypeStore {
public:
    CComponentTypeStore() = default;
    CComponentTypeStore(const CComponentTypeStore&) = delete;
    CComponentTypeStore& operator=(const CComponentTypeStore&) = delete;
    virtual ~CComponentTypeStore();

    // The key path of a creator: "<base>\" and the four characters of the code, most
    // significant first, and "\".
    static std::string CreatorKeyPath(uint32_t creator);

    int Register(uint32_t creator, const char* name, uint32_t type, const char* display, const char* hostPath,
                 const char* configPath, ValueWriter writer = nullptr);
    int UnRegister(uint32_t creator, const char* name);
    int List(uint32_t creator, std::vector<RegisteredType>& out);

private:
    bool openCreator(uint32_t creator);
    bool readEntry(const char* name, RegisteredType& entry);
    bool writeEntry(const RegisteredType& entry, bool create, ValueWriter writer);
    void removeKey(const char* name);

    HKEY creatorKey_ = nullptr;
};

// The store of the service (one per process).
CComponentTypeStore& ComponentStore();

}  // namespace tess::progress
