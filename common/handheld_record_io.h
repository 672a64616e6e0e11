#pragma once
// Attachment chains, part-information and id-cache records moved to and from the
// handheld's databases through the sync manager; the conduit registration and the list
// of desktop users read from it.
#include <cstdint>
#include <string>
#include <vector>

#include "common/handheld_records.h"
#include "platform/syncmgr/syncmgr.h"

namespace tess {

class CSyncProgress;

// Writes each entry as a new record (attributes 0x40) of the category, one progress step
// each with "File Attachment: <name>" (string 4475) shown. A failed write deletes the
// records already written. 0 with the first record's id in *firstId, or the sync
// manager's code.
int WriteAttachmentChain(SyncDbHandle db, CAttachmentChain& chain, int category, uint32_t* firstId,
                         CSyncProgress* progress);
// Reads the record; with readFollowing also the records after it in index order while
// they carry the same name, then the terminator when it comes. 0, the sync manager's
// code, or 16405 for a record that does not read as an attachment.
int ReadAttachmentChain(SyncDbHandle db, uint32_t recordId, bool readFollowing, CAttachmentChain& chain,
                        CSyncProgress* progress);
// Deletes the record of every entry that has one; the sum of their data lengths.
uint32_t DeleteAttachmentChain(SyncDbHandle db, const CAttachmentChain& chain);

int ReadPartInfoRecord(SyncDbHandle db, uint32_t recordId, CPartInfoRecord& record);
// recordId 0 writes a new record and keeps the id it gets.
int WritePartInfoRecord(SyncDbHandle db, int category, CPartInfoRecord& record);
// Always a new record; keeps its id.
int WriteIdCacheRecord(SyncDbHandle db, CIdCacheRecord& record);

// The conduit registration of a creator.
class CConduitInfo {
public:
    bool Load(uint32_t creator);
    bool loaded = false;
    uint32_t creator = 0;
    std::string name;
    int priority = 0;
    std::string library, directory, remoteDb, title, arguments, information;
};

// The desktop users; one whose reads fail is left out.
class CUserList {
public:
    struct Entry {
        int id = 0;
        std::string name, directory, folder, rootPath;
    };
    int Load();
    const Entry* FindUser(int id) const;
    const std::vector<Entry>& Users() const { return users_; }

private:
    std::vector<Entry> users_;
};

}  // namespace tess
