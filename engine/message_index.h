#pragma once
// What a synchronisation needs of the handheld's messages database, kept on the desktop
// between syncs: each record's id, attributes and category and its bytes without the
// body text (HeadersOnlyRecord), in the records' index order. Reading every record whole
// to learn the same costs a sync with nothing to do most of its time once a handheld
// holds thousands of messages.
//
// The index stands for the database only in one state, which the file names: the
// database's epoch and count of changes and its number of records (SyncDbInfo). Any
// change by anyone else (the handheld, the data manager, another process) moves them, and
// the index is not used. This sync's own changes go through CDeviceDb, which reports each
// one here; the index is written back only when the database counts exactly those changes
// since the state it started from, so a change that went another way, one that failed
// half-way or one lost with its transaction leaves the index unwritten, and the next
// sync reads the records whole and builds it again. A state is never named twice (a new
// epoch is drawn at each change), so an index left from before a crash cannot be taken
// for a state the database reached again after it.
//
// The file is written whole under another name, synced and renamed over the old one,
// with a checksum of its contents; a file that is not whole is not used.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/handheld_records.h"
#include "platform/syncmgr/syncmgr.h"

namespace tess::engine {

class CMessageIndex {
public:
    // Takes the index in file when it stands for the database in the state info tells;
    // false otherwise (no file, damaged, another state), with the reason in why. Either
    // way the changes of this sync are followed from info's state on.
    bool Load(const std::filesystem::path& file, const SyncDbInfo& info, std::string& why);
    // Follows the database from info's state without an index: records are learnt as
    // they are read whole, in index order from the first.
    void Build(const SyncDbInfo& info);
    bool Loaded() const { return loaded_; }
    // The record at index, headers only; false past the end.
    bool At(uint32_t index, HandheldRecord& out) const;

    // A record read whole at index while building; the first index not yet learnt is the
    // only one that adds.
    void Learn(uint32_t index, const HandheldRecord& record);
    // The read at index found no record: at the first index not learnt, every record is.
    void Ended(uint32_t index);
    // This sync's changes, each as the database made it (a new record's id set).
    void Wrote(const HandheldRecord& record, bool added);
    void Deleted(uint32_t id);
    void DeletedAll();

    // Writes the index when it stands for the database in the state now tells (see
    // above) and differs from the file it was loaded from; false when it was not
    // written, with the reason in why (empty when there was nothing to write).
    bool Save(const std::filesystem::path& file, const SyncDbInfo& now, std::string& why);

private:
    struct Entry {
        uint32_t id = 0;
        uint8_t attributes = 0;
        int32_t category = 0;
        // The bytes: in the file read (loaded and not changed since), or its own.
        const uint8_t* kept = nullptr;
        uint32_t keptSize = 0;
        std::vector<uint8_t> own;
        const uint8_t* bytes() const { return kept ? kept : own.data(); }
        size_t size() const { return kept ? keptSize : own.size(); }
    };
    // Position of each id; rebuilt after a deletion moved the later entries up.
    std::unordered_map<uint32_t, uint32_t>& Positions();
    Entry Make(const HandheldRecord& record) const;

    std::vector<Entry> entries_;
    std::unique_ptr<uint8_t[]> file_;  // what Load read, which loaded entries point into
    std::unordered_map<uint32_t, uint32_t> positions_;
    bool positionsStale_ = true;
    bool loaded_ = false;
    // The entries are every record of the database (loaded, or built to the end): only
    // then is a record not among them a change not followed.
    bool complete_ = false;
    bool following_ = false;
    uint64_t startEpoch_ = 0, startChanges_ = 0;
    uint64_t changes_ = 0;
};

// The index's file in the user's conduit folder.
std::filesystem::path MessageIndexPath(const std::string& userDirectory);

}  // namespace tess::engine
