#include "engine/message_index.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <string_view>

#include "common/byte_io.h"
#include "common/message_record_codec.h"
#include "platform/core/os.h"

namespace tess::engine {
namespace {

// Magic, format, then the state (epoch, changes, record count), the entries (id,
// attributes, category, length, bytes) and last the FNV-1a hash of all before it.
constexpr char kMagic[8] = {'t', 'e', 's', 's', 'm', 'i', 'd', 'x'};
constexpr uint32_t kFormat = 1;
constexpr size_t kHeadBytes = sizeof kMagic + 4 + 8 + 8 + 4;
constexpr size_t kEntryHead = 4 + 1 + 4 + 4;

void PutU32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
}
void PutU64(std::string& out, uint64_t v) {
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
}

bool GetU64(ByteReader& r, uint64_t& v) {
    uint32_t low = 0, high = 0;
    if (!r.u32le(low) || !r.u32le(high)) return false;
    v = uint64_t{high} << 32 | low;
    return true;
}

}  // namespace

std::filesystem::path MessageIndexPath(const std::string& userDirectory) {
    return std::filesystem::path(userDirectory) / "handheld-messages.idx";
}

bool CMessageIndex::Load(const std::filesystem::path& file, const SyncDbInfo& info, std::string& why) {
    Build(info);
    std::ifstream in(file, std::ios::binary | std::ios::ate);
    if (!in) {
        why = "no index kept";
        return false;
    }
    const size_t size = static_cast<size_t>(std::max<std::streamoff>(in.tellg(), 0));
    // Read as it is, without clearing first: a large index is read at every sync.
    std::unique_ptr<uint8_t[]> bytes(new uint8_t[std::max<size_t>(size, 1)]);
    in.seekg(0);
    if (!in.read(reinterpret_cast<char*>(bytes.get()), static_cast<std::streamsize>(size))) {
        why = "unreadable";
        return false;
    }
    const std::string_view text(reinterpret_cast<const char*>(bytes.get()), size);
    if (text.size() < kHeadBytes + 8 || std::memcmp(text.data(), kMagic, sizeof kMagic) != 0) {
        why = "not an index file";
        return false;
    }
    ByteReader r(text.data(), text.size());
    r.skip(sizeof kMagic);
    uint32_t format = 0, count = 0;
    uint64_t epoch = 0, changes = 0, sum = 0;
    r.u32le(format);
    GetU64(r, epoch);
    GetU64(r, changes);
    r.u32le(count);
    {
        ByteReader tail(text.data() + text.size() - 8, 8);
        GetU64(tail, sum);
    }
    if (format != kFormat) {
        why = "another format";
        return false;
    }
    if (sum != platform::fnv1a(text.substr(0, text.size() - 8))) {
        why = "checksum does not match";
        return false;
    }
    if (epoch != info.epoch || changes != info.modNumber || count != info.recordCount) {
        why = "kept for another state of the database";
        return false;
    }
    // Each entry takes at least its head: a count past what the file can hold is refused
    // before anything is reserved for it.
    if (count > (text.size() - kHeadBytes - 8) / kEntryHead) {
        why = "more entries counted than the file holds";
        return false;
    }
    ByteReader body(text.data() + kHeadBytes, text.size() - kHeadBytes - 8);
    std::vector<Entry> entries(count);
    for (Entry& e : entries) {
        uint8_t attributes = 0;
        int32_t category = 0;
        uint32_t length = 0;
        if (!body.u32le(e.id) || !body.u8(attributes) || !body.i32le(category) || !body.u32le(length) ||
            length > body.remaining()) {
            why = "an entry cut short";
            return false;
        }
        e.attributes = attributes;
        e.category = category;
        e.kept = body.cursor();
        e.keptSize = length;
        body.skip(length);
    }
    if (!body.atEnd()) {
        why = "bytes after the last entry";
        return false;
    }
    entries_ = std::move(entries);
    file_ = std::move(bytes);
    positionsStale_ = true;
    loaded_ = true;
    complete_ = true;
    return true;
}

void CMessageIndex::Build(const SyncDbInfo& info) {
    entries_.clear();
    file_.reset();
    positions_.clear();
    positionsStale_ = true;
    loaded_ = false;
    complete_ = false;
    following_ = true;
    startEpoch_ = info.epoch;
    startChanges_ = info.modNumber;
    changes_ = 0;
}

bool CMessageIndex::At(uint32_t index, HandheldRecord& out) const {
    if (index >= entries_.size()) return false;
    const Entry& e = entries_[index];
    out.id = e.id;
    out.attributes = e.attributes;
    out.category = e.category;
    out.data.assign(e.bytes(), e.bytes() + e.size());
    return true;
}

CMessageIndex::Entry CMessageIndex::Make(const HandheldRecord& record) const {
    HandheldRecord headers;
    HeadersOnlyRecord(record, headers);
    Entry e;
    e.id = headers.id;
    e.attributes = headers.attributes;
    e.category = static_cast<int32_t>(headers.category);
    e.own = std::move(headers.data);
    return e;
}

std::unordered_map<uint32_t, uint32_t>& CMessageIndex::Positions() {
    if (positionsStale_) {
        positions_.clear();
        positions_.reserve(entries_.size());
        for (uint32_t i = 0; i < entries_.size(); ++i) positions_[entries_[i].id] = i;
        positionsStale_ = false;
    }
    return positions_;
}

void CMessageIndex::Ended(uint32_t index) {
    if (following_ && index == entries_.size()) complete_ = true;
}

void CMessageIndex::Learn(uint32_t index, const HandheldRecord& record) {
    if (!following_ || complete_ || index < entries_.size()) return;
    if (index > entries_.size()) {
        following_ = false;  // a record passed over: the index would not be the database's
        return;
    }
    entries_.push_back(Make(record));
    if (!positionsStale_) positions_[record.id] = index;
}

void CMessageIndex::Wrote(const HandheldRecord& record, bool added) {
    if (!following_) return;
    ++changes_;
    auto& positions = Positions();
    if (added) {
        // A new record goes last: after every record, read or not.
        if (!complete_ || positions.count(record.id)) {
            following_ = false;
            return;
        }
        positions[record.id] = static_cast<uint32_t>(entries_.size());
        entries_.push_back(Make(record));
        return;
    }
    auto at = positions.find(record.id);
    if (at == positions.end()) {
        // While building, a record not read yet may be written: it is learnt when read.
        if (complete_) following_ = false;
        return;
    }
    entries_[at->second] = Make(record);
}

void CMessageIndex::Deleted(uint32_t id) {
    if (!following_) return;
    ++changes_;
    auto& positions = Positions();
    auto at = positions.find(id);
    if (at == positions.end()) {
        if (complete_) following_ = false;  // while building, one not read yet
        return;
    }
    entries_.erase(entries_.begin() + at->second);
    positionsStale_ = true;
}

void CMessageIndex::DeletedAll() {
    if (!following_) return;
    ++changes_;
    entries_.clear();
    positions_.clear();
    positionsStale_ = true;
    // Nothing is left to learn.
    complete_ = true;
}

bool CMessageIndex::Save(const std::filesystem::path& file, const SyncDbInfo& now, std::string& why) {
    why.clear();
    if (!following_) {
        why = "a change of the database was not followed";
        return false;
    }
    if (!complete_) {
        why = "the records were not all read";
        return false;
    }
    if (now.modNumber != startChanges_ + changes_ || now.recordCount != entries_.size()) {
        why = "the database changed in ways not followed";
        return false;
    }
    // Loaded and not changed: the file already says as much.
    if (loaded_ && changes_ == 0 && now.epoch == startEpoch_) return false;
    std::string text(kMagic, sizeof kMagic);
    size_t bytes = kHeadBytes + 8;
    for (const Entry& e : entries_) bytes += kEntryHead + e.size();
    text.reserve(bytes);
    PutU32(text, kFormat);
    PutU64(text, now.epoch);
    PutU64(text, now.modNumber);
    PutU32(text, static_cast<uint32_t>(entries_.size()));
    for (const Entry& e : entries_) {
        PutU32(text, e.id);
        text.push_back(static_cast<char>(e.attributes));
        PutU32(text, static_cast<uint32_t>(e.category));
        PutU32(text, static_cast<uint32_t>(e.size()));
        text.append(reinterpret_cast<const char*>(e.bytes()), e.size());
    }
    PutU64(text, platform::fnv1a(text));
    return platform::replaceFile(file, text, ".new", why);
}

}  // namespace tess::engine
