// Writing an account's changes and resets to the handheld's preferences.
#include "accounts/block_fields.h"
#include "accounts/mail_account.h"

namespace tess::accounts {

using namespace layout;

namespace {

constexpr int kTextIds[] = {10, 11, 12, 13, 15, 17, 18, 20, 21, 22, 23, 24, 25, 350, 400, 410};

std::span<const uint8_t> textBytes(const std::string& text) {
    // NUL-terminated; an empty text is a single NUL.
    return {reinterpret_cast<const uint8_t*>(text.c_str()), text.size() + 1};
}

}  // namespace

int CMailAccount::FlushPendingChanges(HandheldPreferences& prefs, AccountRecord* record, const char* key) {
    if (!loaded_) return 0;
    const int n = init_.accountNumber;
    ByteView h(image_.handheld);
    std::vector<uint32_t> kept;
    for (uint32_t tag : image_.tags) {
        const PendingTag t = LookUpPendingTag(tag);
        int rc = 0;
        int id = 0;
        if (t.kind == PendingTag::none) continue;
        if (t.kind == PendingTag::text) {
            std::string text(h.text(t.blockOffset, t.width));
            std::string sealed;
            if (t.sealed && key && *key && EncryptPassword(text.c_str(), &sealed, key)) text = sealed;
            id = TextPrefId(n, t.target);
            rc = prefs.Write(kCreatorMail, id, textBytes(text));
        } else {
            if (!record) continue;  // no record to change: the change is dropped
            ByteSpan r(*record);
            const size_t at = size_t(t.target);
            switch (t.kind) {
            case PendingTag::switchByte: r.putU8(at, h.u32le(t.blockOffset) ? 1 : 0); break;
            case PendingTag::valueByte: r.putU8(at, uint8_t(h.u32le(t.blockOffset))); break;
            case PendingTag::word: r.putU16be(at, h.u16le(t.blockOffset)); break;
            case PendingTag::sizeKb:
                r.putU16be(at, uint16_t(std::min<uint32_t>(h.u32le(t.blockOffset) / 1024, 0xFFFF)));
                break;
            case PendingTag::folderName: r.putTextCut(at, 17, h.text(t.blockOffset, t.width)); break;
            default: break;
            }
            id = AccountRecordId(n);
            rc = prefs.Write(kCreatorMail, id, *record);
        }
        if (rc != 0) {
            // Kept for the next synchronisation rather than lost.
            kept.push_back(tag);
            env_.ProductLog("Unable to write change " + std::to_string(tag) + " of account " + AccountName() +
                            " to device preference " + std::to_string(id) + " (error " + std::to_string(rc) + ")");
        }
    }
    image_.tags = std::move(kept);
    SetHeadWord(kHeadPendingCount, uint32_t(image_.tags.size()));
    return 1;
}

void CMailAccount::WriteFreshAccountRecord(HandheldPreferences& prefs) {
    std::vector<uint8_t> rec;
    if (prefs.Read(kCreatorMail, AccountRecordId(init_.accountNumber), rec) != 0) return;
    if (rec.size() < kAccountRecordSize) rec.resize(kAccountRecordSize, 0);
    ResetAccountRecord(std::span<uint8_t, kAccountRecordSize>(rec.data(), kAccountRecordSize));
    prefs.Write(kCreatorMail, AccountRecordId(init_.accountNumber),
                std::span<const uint8_t>(rec).first(kAccountRecordSize));
}

void CMailAccount::ResetHandheldAccount(HandheldPreferences& prefs) {
    const int n = init_.accountNumber;
    const AccountRecord fresh = FreshAccountRecord();
    prefs.Write(kCreatorMail, AccountRecordId(n), fresh);

    std::vector<uint8_t> pref;
    if (prefs.Read(kCreatorMail, FolderPrefId(n), pref) == 0) {
        if (pref.size() < kFolderPrefSize) pref.resize(kFolderPrefSize, 0);
        ClearFolderPreference(std::span<uint8_t, kFolderPrefSize>(pref.data(), kFolderPrefSize));
        prefs.Write(kCreatorMail, FolderPrefId(n), pref);
    }
    const uint8_t empty[1] = {0};
    for (int k : kTextIds) prefs.Write(kCreatorMail, TextPrefId(n, k), empty);

    std::vector<uint8_t> second;
    if (prefs.Read(kCreatorSecond, n, second) == 0) {
        ByteSpan s(second);
        s.zero(28, std::min<size_t>(6, second.size() > 28 ? second.size() - 28 : 0));
        if (second.size() > 36) s.zero(36, std::min<size_t>(28, second.size() - 36));
        prefs.Write(kCreatorSecond, n, second);
    }
}

}  // namespace tess::accounts
