#include "common/standard_folders.h"

#include <cstdlib>
#include <cstring>

namespace tess {

void NameStandardFolders(FolderRecord** folders, int count, const std::function<std::string(unsigned)>& text) {
    static constexpr unsigned kNames[] = {4470, 4471, 4473, 4472, 4474};
    for (int i = 0; folders && i < count; ++i) {
        FolderRecord* f = folders[i];
        if (!f || f->type < 0 || f->type > 4) continue;
        const std::string name = text(kNames[f->type]);
        if (name.empty()) continue;
        char* copy = static_cast<char*>(std::malloc(name.size() + 1));
        if (!copy) continue;
        std::memcpy(copy, name.c_str(), name.size() + 1);
        std::free(f->name);
        f->name = copy;
    }
}

}  // namespace tess
