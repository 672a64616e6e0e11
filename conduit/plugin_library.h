#pragma once
// The libraries one call of the conduit loads from the registry lists, freed when the
// call returns.
#include <memory>
#include <string>
#include <vector>

#include "platform/core/module.h"

namespace tess::conduit {

class PluginLibrary {
public:
    // Loads the library; the value name is kept only when it loaded.
    PluginLibrary(const std::string& valueName, const std::string& path);

    const std::string& name() const { return name_; }
    HMODULE module() const { return module_.handle(); }

private:
    std::string name_;
    platform::LoadedModule module_;
};

// Owned libraries in load order; released in index order.
class PluginLibraryArray {
public:
    PluginLibraryArray() = default;
    ~PluginLibraryArray() { Clear(); }
    PluginLibraryArray(const PluginLibraryArray&) = delete;
    PluginLibraryArray& operator=(const PluginLibraryArray&) = delete;

    // Loads every library of the list (a registry value name and its text); libraries
    // that do not load are skipped. Returns how many loaded.
    size_t LoadList(const char* listKey);
    // The module of the first library of that value name, letter case aside; null if none.
    HMODULE Find(const char* valueName) const;
    void Clear();
    size_t size() const { return items_.size(); }

private:
    std::vector<std::unique_ptr<PluginLibrary>> items_;
};

class ConduitLoader {
public:
    ConduitLoader() = default;
    ConduitLoader(const ConduitLoader&) = delete;
    ConduitLoader& operator=(const ConduitLoader&) = delete;
    // The engine and the other sync libraries go before the hosts they use.
    virtual ~ConduitLoader() { sync.Clear(); }

    PluginLibraryArray hosts;
    PluginLibraryArray sync;
};

}  // namespace tess::conduit
