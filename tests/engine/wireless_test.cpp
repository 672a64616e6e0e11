// Wireless accounts and accounts served by the desktop relay: the part records that tell
// the handheld how much of a message or attachment it holds, the ids a relay account's
// copies are found by, and the notices the relay is left on the handheld.
#include "common/base64.h"
#include "common/handheld_records.h"
#include "tests/engine/engine_world.h"

namespace tess::engine::test {
namespace {

// The handheld's part records, by record id.
struct PartRecords {
    platform::syncmgr::HandheldStore store;
    platform::syncmgr::DatabaseEntry db{};
    explicit PartRecords(const std::string& handheld) : store(handheld) {
        store.findDatabase("Larkspur Part Plus", 0, &db);
    }

    bool Read(uint32_t id, CPartInfoRecord& out) {
        platform::syncmgr::RecordEntry e;
        if (id == 0 || store.readRecordById(db.id, id, &e) != SYNC_OK) return false;
        return out.Unpack(HandheldRecord{e.id, e.attributes, e.category, e.data}) == kRecordOk;
    }
    // What the handheld itself does when it holds less than the whole: it rewrites the
    // record with its own sizes and the id it gave the part.
    void HeldInPart(uint32_t id, uint32_t storedId, uint32_t delivered) {
        platform::syncmgr::RecordEntry e;
        ASSERT_EQ(store.readRecordById(db.id, id, &e), SYNC_OK);
        CPartInfoRecord info;
        ASSERT_EQ(info.Unpack(HandheldRecord{e.id, e.attributes, e.category, e.data}), kRecordOk);
        info.values[0] = storedId;
        info.values[1] = 0;
        info.values[2] = delivered;
        HandheldRecord r;
        ASSERT_EQ(info.Pack(r), kRecordOk);
        uint32_t same = id;
        ASSERT_EQ(store.writeRecord(db.id, &same, e.attributes, e.category, r.data.data(), r.data.size()), SYNC_OK);
    }
};

// The part record named by an attachment record's kind word.
uint32_t AttachmentPartRecord(const std::string& handheld, uint32_t attachmentRecord) {
    platform::syncmgr::HandheldStore store(handheld);
    platform::syncmgr::DatabaseEntry db;
    platform::syncmgr::RecordEntry e;
    if (store.findDatabase("Larkspur Attachments", 0, &db) != SYNC_OK ||
        store.readRecordById(db.id, attachmentRecord, &e) != SYNC_OK)
        return 0;
    AttachmentEntry entry;
    if (entry.Unpack(HandheldRecord{e.id, e.attributes, e.category, e.data}) != kRecordOk) return 0;
    return entry.kind >> 8;
}

void WirelessAccount(EngineWorld& w, int sizeKb) {
    DesktopAccount d;
    d.sizeKb = sizeKb;
    handheld_app::AccountSetup h;
    h.connectionType = 2;
    w.ImapAccount(0, d, h);
}

// A wireless message's part record tells the handheld whether it holds all of the
// message; once the message has been brought whole, the record says so, and the handheld
// keeps the same message record throughout.
TEST(WirelessParts, TheMessagesPartRecordShowsWhatTheHandheldHolds) {
    struct Case {
        const char* what;
        size_t bodyBytes;
        bool cut;
    };
    const Case cases[] = {
        {"a short message", 40, false},
        {"a message cut at the account's limit", 5000, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EngineWorld w;
        WirelessAccount(w, 1);
        w.HostMail("news").body = std::string(c.bodyBytes, 'x');
        ASSERT_EQ(w.Sync(), 0) << EngineWorld::Log();
        auto inbox = w.Folder(0);
        ASSERT_EQ(inbox.size(), 1u);
        const uint32_t record = inbox[0].recordId;
        const uint32_t partRecord = inbox[0].msg.partWord >> 8;
        PartRecords parts(w.handheld);
        CPartInfoRecord info;
        ASSERT_TRUE(parts.Read(partRecord, info)) << "the message names its part record";
        EXPECT_GT(info.values[3], c.bodyBytes) << "the whole message, headers included";
        if (c.cut) {
            EXPECT_EQ(info.values[2], 1024u) << "the handheld was given the account's limit";
            EXPECT_EQ(info.values[1], 0u);
        } else {
            EXPECT_EQ(info.values[2], info.values[3]);
            EXPECT_EQ(info.values[1], info.values[3]);
        }
        EXPECT_TRUE(info.FirstIdText().empty()) << "only relay accounts carry ids";

        ASSERT_EQ(w.Sync(), 0) << EngineWorld::Log();
        inbox = w.Folder(0);
        ASSERT_EQ(inbox.size(), 1u);
        EXPECT_EQ(inbox[0].recordId, record);
        CPartInfoRecord after;
        ASSERT_TRUE(parts.Read(inbox[0].msg.partWord >> 8, after));
        EXPECT_EQ(after.recordId, partRecord);
        EXPECT_EQ(after.values[2], after.values[3]) << "the record now shows the whole message";
        EXPECT_EQ(after.values[3], info.values[3]);
        EXPECT_EQ(handheld_app::RecordCount(w.handheld, "Larkspur Part Plus"), 1);
    }
}

// Each attachment of a wireless message has its own part record. When the handheld holds
// only part of one, the next synchronisation writes the attachment again whole, with the
// id the handheld gave it, and leaves no stale records behind.
TEST(WirelessParts, AnAttachmentHeldInPartIsWrittenAgainWithItsId) {
    struct Case {
        const char* what;
        bool heldInPart;
    };
    const Case cases[] = {{"held whole", false}, {"held in part", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EngineWorld w;
        WirelessAccount(w, 50);
        const std::string data = "a short note, kept whole";
        w.HostMail("with a file").attachments = {{"note.txt", data}};
        ASSERT_EQ(w.Sync(), 0) << EngineWorld::Log();
        auto inbox = w.Folder(0);
        ASSERT_EQ(inbox.size(), 1u);
        const uint32_t record = inbox[0].recordId;
        const uint32_t attachment = inbox[0].msg.partIds[0];
        const uint32_t partRecord = AttachmentPartRecord(w.handheld, attachment);
        PartRecords parts(w.handheld);
        CPartInfoRecord info;
        ASSERT_TRUE(parts.Read(partRecord, info)) << "the attachment names its part record";
        EXPECT_EQ(info.values[2], data.size());
        EXPECT_EQ(info.values[3], data.size());
        EXPECT_EQ(handheld_app::RecordCount(w.handheld, "Larkspur Part Plus"), 2) << "the message's and the file's";

        if (c.heldInPart) parts.HeldInPart(partRecord, 77, 5);
        ASSERT_EQ(w.Sync(), 0) << EngineWorld::Log();
        inbox = w.Folder(0);
        ASSERT_EQ(inbox.size(), 1u);
        EXPECT_EQ(inbox[0].recordId, record);
        const uint32_t nowAttachment = inbox[0].msg.partIds[0];
        CPartInfoRecord now;
        ASSERT_TRUE(parts.Read(AttachmentPartRecord(w.handheld, nowAttachment), now)) << EngineWorld::Log();
        EXPECT_EQ(now.values[2], data.size());
        EXPECT_EQ(now.values[3], data.size());
        EXPECT_EQ(now.values[0], c.heldInPart ? 77u : 0u) << "the handheld's id for the file is kept";
        EXPECT_EQ(nowAttachment != attachment, c.heldInPart) << "written again only when held in part";
        EXPECT_EQ(handheld_app::RecordCount(w.handheld, "Larkspur Part Plus"), 2);
        EXPECT_EQ(handheld_app::RecordCount(w.handheld, "Larkspur Attachments"), 2) << "the file and its end";
        EXPECT_EQ(scripted::state().openAttachmentFiles, 0);
    }
}

constexpr uint32_t kCreator = SYNC_FOURCC('a', 's', 'c', '6');
// A desktop entry id: 30 bytes, the two at 22 and 23 among them.
const std::string kEntryId = "entry-id-of-the-desktop-store";

void RelayAccount(EngineWorld& w, uint8_t connectionType, uint16_t appVersion) {
    platform::syncmgr::HandheldStore(w.handheld)
        .setRemoteAnswer(kCreator, 2, {0, 0, uint8_t(appVersion >> 8), uint8_t(appVersion)});
    DesktopAccount d;
    d.client = 5;
    d.profile = "Outlook";
    handheld_app::AccountSetup h;
    h.protocolWord = 4;
    h.connectionType = connectionType;
    w.ImapAccount(0, d, h);
    scripted::state().mapiLogon = true;
    // The desktop client lists whole messages by their entry ids.
    scripted::state().partial = false;
    w.HostMail("from the desktop").msgId = kEntryId;
}

// A relay account's handheld copy is found again by the ids in its part record: it keeps
// its record and the read mark the user gave it. Entry ids that differ only in bytes 22
// and 23 are the same message; a handheld too old for the ids gets the message anew.
TEST(RelayAccountMessages, TheHandheldCopyIsFoundAgainByItsIds) {
    struct Case {
        const char* what;
        uint8_t connectionType;
        uint16_t appVersion;
        std::vector<size_t> changedBytes;
        bool kept;
    };
    const Case cases[] = {
        {"wireless", 2, 1056, {}, true},
        {"synchronised by cable only", 0, 1056, {}, true},
        {"entry id differing in bytes 22 and 23", 2, 1056, {22, 23}, true},
        {"entry id differing in byte 21", 2, 1056, {21}, false},
        {"handheld application too old for the ids", 2, 1024, {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EngineWorld w;
        RelayAccount(w, c.connectionType, c.appVersion);
        ASSERT_EQ(w.Sync(), 0) << EngineWorld::Log();
        auto inbox = w.Folder(0);
        ASSERT_EQ(inbox.size(), 1u) << EngineWorld::Log();
        const uint32_t record = inbox[0].recordId;
        ASSERT_EQ(handheld_app::MarkRead(w.handheld, record, true), 0);
        std::string& id = scripted::state().find("Inbox")->msgs[0].msgId;
        for (size_t at : c.changedBytes) id[at] = '#';

        ASSERT_EQ(w.Sync(), 0) << EngineWorld::Log();
        inbox = w.Folder(0);
        ASSERT_EQ(inbox.size(), 1u) << "never two copies";
        EXPECT_EQ(inbox[0].recordId == record, c.kept);
        EXPECT_EQ((inbox[0].msg.status & kMsgStatusRead) != 0, c.kept) << "the user's read mark";
    }
}

// A change the desktop makes to a relay account's message on the handheld leaves the
// relay a notice naming the message; the notice is the relay's and stays on the handheld.
TEST(RelayAccountMessages, AChangedMessageLeavesTheRelayANotice) {
    struct Case {
        const char* what;
        uint8_t connectionType;
        bool readOnDesktop;
    };
    const Case cases[] = {
        {"wireless, read on the desktop", 2, true},
        {"cable only, read on the desktop", 0, true},
        {"unchanged", 2, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EngineWorld w;
        RelayAccount(w, c.connectionType, 1056);
        ASSERT_EQ(w.Sync(), 0) << EngineWorld::Log();
        scripted::state().find("Inbox")->msgs[0].read = c.readOnDesktop;
        for (int run = 0; run < 2; ++run) {
            ASSERT_EQ(w.Sync(), 0) << EngineWorld::Log();
            const auto inbox = w.Folder(0);
            ASSERT_EQ(inbox.size(), 1u);
            EXPECT_EQ((inbox[0].msg.status & kMsgStatusRead) != 0, c.readOnDesktop);
        }
        platform::syncmgr::HandheldStore store(w.handheld);
        platform::syncmgr::DatabaseEntry db;
        ASSERT_EQ(store.findDatabase("Larkspur Disconnected", 0, &db), SYNC_OK);
        const auto records = store.records(db.id);
        ASSERT_EQ(records.size(), c.readOnDesktop ? 1u : 0u) << "one notice, not loaded back" << EngineWorld::Log();
        if (records.empty()) continue;
        // Opcode and UID, big-endian, then two texts each ending in a NUL.
        const std::vector<uint8_t>& r = records[0].data;
        ASSERT_GE(r.size(), 10u);
        EXPECT_EQ(std::vector<uint8_t>(r.begin(), r.begin() + 8), (std::vector<uint8_t>{0, 0, 0, 14, 0, 0, 0, 0}));
        const std::string texts(r.begin() + 8, r.end());
        const std::string arg1 = texts.substr(0, texts.find('\0'));
        EXPECT_EQ(texts.substr(arg1.size()), std::string(2, '\0')) << "an empty second text";
        std::string decoded;
        ASSERT_EQ(tess::Base64DecodeString(arg1, decoded), 0);
        EXPECT_EQ(decoded, kEntryId);
        EXPECT_EQ(records[0].category, 0) << "the account's category";
    }
}

}  // namespace
}  // namespace tess::engine::test
