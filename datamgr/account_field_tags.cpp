#include "datamgr/account_field_tags.h"

#include <strings.h>

#include <algorithm>

#include "accounts/account_layout.h"
#include "accounts/block_fields.h"
#include "accounts/handheld_account_records.h"

namespace tess::datamgr {
namespace {

using namespace accounts::layout;

constexpr int kProtocolTag = 5;
constexpr int kIncomingServerTag = 20;
constexpr uint32_t kFolderTableTag = 29;
constexpr uint32_t kNameTag = 30;
constexpr uint32_t kTag31 = 31;
constexpr uint32_t kTag32 = 32;

// Tags 31 and 32 are switches of the handheld record (bytes 146 and 150) kept in the
// block at 3508 and 3516.
constexpr size_t kTag31Offset = kValue3508;
constexpr size_t kTag32Offset = 3516;
// Tag 23 is never sent to the handheld: it lives in the desktop block, after the
// desktop-client selection.
constexpr size_t kTag23Offset = kDesktopSwitch23;

std::span<uint8_t> Block(accounts::CMailAccount& a, const FieldTag& t) {
    return t.inDesktopBlock ? std::span<uint8_t>(a.MutableImage().desktop)
                            : std::span<uint8_t>(a.MutableImage().handheld);
}
std::span<const uint8_t> Block(const accounts::CMailAccount& a, const FieldTag& t) {
    return t.inDesktopBlock ? std::span<const uint8_t>(a.Image().desktop)
                            : std::span<const uint8_t>(a.Image().handheld);
}

// The change list: each tag once, in the order first changed.
void NoteChange(accounts::CMailAccount& a, int tag) {
    const auto& tags = a.Image().tags;
    if (std::find(tags.begin(), tags.end(), static_cast<uint32_t>(tag)) == tags.end())
        a.AddPendingChange(static_cast<uint32_t>(tag));
    if (tag == kIncomingServerTag && TagNumber(a, kProtocolTag) < 256) a.SetHeadWord(kHeadServerChanged, 1);
}

}  // namespace

FieldTag LookUpFieldTag(int tag) {
    if (tag == 30) return {TagKind::text, 14, kAccountName.offset, kAccountName.width, true};
    if (tag == 23) return {TagKind::int32, 4, kTag23Offset, 0, true};
    if (tag == 31) return {TagKind::int32, 4, kTag31Offset, 0, false};
    if (tag == 32) return {TagKind::int32, 4, kTag32Offset, 0, false};
    if (tag < 0 || tag > static_cast<int>(accounts::kMaxPendingTag)) return {};
    const accounts::PendingTag p = accounts::LookUpPendingTag(static_cast<uint32_t>(tag));
    using K = accounts::PendingTag;
    switch (p.kind) {
    case K::text:
    case K::folderName: return {TagKind::text, p.width, p.blockOffset, p.width, false};
    case K::word: return {TagKind::int16, 2, p.blockOffset, 0, false};
    case K::valueByte: return {TagKind::int16, 2, p.blockOffset, 0, false};
    case K::switchByte: return {TagKind::int32, 4, p.blockOffset, 0, false};
    case K::sizeKb: return {TagKind::u32, 4, p.blockOffset, 0, false};
    default: return {};
    }
}

std::string_view TagText(const accounts::CMailAccount& a, int tag) {
    const FieldTag t = LookUpFieldTag(tag);
    if (t.kind != TagKind::text) return {};
    return accounts::ByteView(Block(a, t)).text(t.offset, t.width);
}

int64_t TagNumber(const accounts::CMailAccount& a, int tag) {
    const FieldTag t = LookUpFieldTag(tag);
    accounts::ByteView v(Block(a, t));
    switch (t.kind) {
    case TagKind::int16: return static_cast<int16_t>(v.u16le(t.offset));
    case TagKind::int32: return static_cast<int32_t>(v.u32le(t.offset));
    case TagKind::u32: return v.u32le(t.offset);
    default: return 0;
    }
}

SetResult SetTagText(accounts::CMailAccount& a, int tag, std::string_view text) {
    const FieldTag t = LookUpFieldTag(tag);
    if (t.kind != TagKind::text) return SetResult::noField;
    if (text.size() + 1 > std::min(t.size, t.width)) return SetResult::tooLong;
    const std::string_view old = TagText(a, tag);
    const bool same = tag == kIncomingServerTag
                          ? old.size() == text.size() && strncasecmp(old.data(), text.data(), text.size()) == 0
                          : old == text;
    accounts::ByteSpan(Block(a, t)).putText(t.offset, t.width, text);
    if (same) return SetResult::unchanged;
    NoteChange(a, tag);
    return SetResult::changed;
}

SetResult SetTagNumber(accounts::CMailAccount& a, int tag, int64_t value) {
    const FieldTag t = LookUpFieldTag(tag);
    accounts::ByteSpan block(Block(a, t));
    const int64_t old = TagNumber(a, tag);
    switch (t.kind) {
    case TagKind::int16:
        if (static_cast<int16_t>(old) == static_cast<int16_t>(value)) return SetResult::unchanged;
        block.putU16le(t.offset, static_cast<uint16_t>(value));
        break;
    case TagKind::int32:
    case TagKind::u32:
        if (static_cast<uint32_t>(old) == static_cast<uint32_t>(value)) return SetResult::unchanged;
        block.putU32le(t.offset, static_cast<uint32_t>(value));
        break;
    default: return SetResult::noField;
    }
    NoteChange(a, tag);
    return SetResult::changed;
}

int RefreshMainRecord(accounts::HandheldPreferences& prefs, int accountIndex) {
    std::vector<uint8_t> record;
    const int id = accounts::AccountRecordId(accountIndex);
    if (const int rc = prefs.Read(accounts::kCreatorMail, id, record); rc != 0) return rc;
    if (record.size() < accounts::kAccountRecordSize) record.resize(accounts::kAccountRecordSize, 0);
    accounts::ByteSpan r(record);
    for (size_t at : {38, 40, 52, 133, 139, 140, 154}) r.putU8(at, 1);
    for (size_t at : {50, 136, 141, 151}) r.putU8(at, 0);
    r.putU16be(62, 0);
    r.putU16be(64, 1);
    r.putU16be(66, 0xFFFF);
    r.putU16be(68, 0xFFFF);
    r.putU16be(54, 99);
    r.putU16be(56, 61);
    r.putU8(148, 7);
    r.putText(79, 5, "Sent");
    r.putText(96, 6, "Trash");
    return prefs.Write(accounts::kCreatorMail, id, record);
}

int WriteChangedTags(accounts::CMailAccount& a, int accountIndex, accounts::HandheldPreferences& prefs,
                     accounts::AccountRecord& record, const char* key) {
    const std::vector<uint32_t> listed = a.Image().tags;
    if (a.AccountName().empty() || listed.empty()) return 0;
    // The account code writes tags up to 28; the name, the folder table and the two
    // switches beyond them are written here.
    std::vector<uint32_t> common, own;
    for (uint32_t tag : listed) (tag >= kFolderTableTag && tag <= kTag32 ? own : common).push_back(tag);
    a.MutableImage().tags = common;
    a.SetHeadWord(kHeadPendingCount, uint32_t(common.size()));
    a.FlushPendingChanges(prefs, &record, key);
    std::vector<uint32_t> kept = a.Image().tags;

    const uint32_t creator = accounts::kCreatorMail;
    for (uint32_t tag : own) {
        int rc = 0;
        if (tag == kNameTag) {
            const std::string name = a.AccountName();
            rc = prefs.Write(creator, accounts::TextPrefId(accountIndex, accounts::kNameText),
                             std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(name.c_str()), name.size() + 1));
        } else if (tag == kFolderTableTag) {
            rc = prefs.Write(creator, accounts::FolderPrefId(accountIndex),
                             std::span<const uint8_t>(a.Image().handheld).subspan(kFolderPrefCopy, kFolderPrefSize));
        } else {
            record[tag == kTag31 ? 146 : 150] = TagNumber(a, int(tag)) != 0 ? 1 : 0;
            rc = prefs.Write(creator, accounts::AccountRecordId(accountIndex), record);
        }
        if (rc != 0) kept.push_back(tag);
    }
    // The kept tags in their first order.
    std::vector<uint32_t> ordered;
    for (uint32_t tag : listed)
        if (std::find(kept.begin(), kept.end(), tag) != kept.end()) ordered.push_back(tag);
    a.MutableImage().tags = ordered;
    a.SetHeadWord(kHeadPendingCount, uint32_t(ordered.size()));
    return int(ordered.size());
}

}  // namespace tess::datamgr
