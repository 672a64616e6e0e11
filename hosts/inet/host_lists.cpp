#include "hosts/inet/host_lists.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "hosts/inet/host_session.h"
#include "platform/syncmgr/syncmgr.h"

namespace inet {

using tess::AttachmentTable;
using tess::FolderRecord;
using tess::FreeMailMsgBlock;
using tess::MailMsg;

int FreeMailMsgArray(MailMsg** items, int count) {
    if (!items) return kNullList;
    if (count == 0) return 0;
    for (int i = 0; i < count; ++i) FreeMailMsgBlock(items[i]);
    std::free(items);
    return 0;
}

int FreeFolderArray(FolderRecord** list, int count) {
    if (!list) return kNullList;
    if (count == 0) return 0;
    FreeFolderRecords(list, count < 0 ? 0 : count);
    return 0;
}

int MakeSingleFolderList(const char* name, FolderRecord*** out, int* count) {
    const size_t length = std::strlen(name);
    auto** list = static_cast<FolderRecord**>(std::calloc(1, sizeof(FolderRecord*)));
    auto* record = static_cast<FolderRecord*>(std::calloc(1, sizeof(FolderRecord)));
    char* copy = static_cast<char*>(std::calloc(length + 1, 1));
    if (!list || !record || !copy) {
        std::free(list);
        std::free(record);
        std::free(copy);
        return -1;
    }
    std::memcpy(copy, name, length);
    record->name = copy;
    list[0] = record;
    *out = list;
    *count = 1;
    return 0;
}

void FreeAttachmentTable(AttachmentTable** table) {
    if (!table || !*table) return;
    for (int i = 0; i < (*table)->count && i < 10; ++i) {
        (*table)->path[i][255] = '\0';
        std::remove((*table)->path[i]);
    }
    std::free(*table);
    *table = nullptr;
}

AttachmentTable* MakeAttachmentTable(const std::vector<std::string>& paths,
                                     const std::function<void(const std::string&)>& log) {
    auto* table = static_cast<AttachmentTable*>(std::calloc(1, sizeof(AttachmentTable)));
    if (!table) return nullptr;
    if (paths.size() > 10) {
        std::string line = "The message contains more attachments than allowable. Removing attachments:";
        for (size_t i = 10; i < paths.size(); ++i) {
            line += "\n" + paths[i];
            std::remove(paths[i].c_str());
        }
        if (log) log(line);
    }
    for (size_t i = 0; i < paths.size() && i < 10; ++i) {
        std::strncpy(table->path[i], paths[i].c_str(), 255);
        ++table->count;
        if (log) log("ATT: " + paths[i]);
    }
    return table;
}

std::string HostHelpFile() {
    char dir[260] = {};
    int size = sizeof dir;
    QuayGetSyncManagerDirectory(dir, &size);
    return std::string(dir) + "/LKConduit.hlp";
}

}  // namespace inet
