// Mail written on the handheld going out through the host, and attachments coming in.
#include <filesystem>
#include <fstream>

#include "tests/engine/engine_world.h"

namespace tess::engine::test {
namespace {

std::string WriteFile(const std::filesystem::path& dir, const std::string& name, const std::string& data) {
    std::filesystem::create_directories(dir);
    const std::filesystem::path p = dir / name;
    std::ofstream(p, std::ios::binary) << data;
    return p.string();
}

std::string Pattern(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = char('a' + (i * 7 + i / 251) % 26);
    return s;
}

TEST(Outbox, SentWithAndWithoutAttachmentsThenMovedToSent) {
    EngineWorld w;
    w.ImapAccount();
    const auto dir = w.home.path() / "files";
    const std::vector<std::string> files = {WriteFile(dir, "a.txt", "first"), WriteFile(dir, "b.txt", Pattern(70000)),
                                            WriteFile(dir, "c.txt", "third")};
    ASSERT_EQ(handheld_app::ComposeOutbox(w.handheld, 0, "carol@example.org", "plain", "no files", {}, nullptr), 0);
    ASSERT_EQ(handheld_app::ComposeOutbox(w.handheld, 0, "dave@example.org", "three files", "see", files, nullptr), 0);

    ASSERT_EQ(w.Sync(), 0) << EngineWorld::Log();
    const auto& sent = scripted::state().sent;
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].subject, "plain");
    EXPECT_EQ(sent[0].from, "alice@example.org") << "the handheld wrote the account's address";
    EXPECT_TRUE(sent[0].attachments.empty());
    ASSERT_EQ(sent[1].attachments.size(), 3u) << "in part order";
    EXPECT_EQ(sent[1].attachments[0].data, "first");
    EXPECT_EQ(sent[1].attachments[1].data, Pattern(70000)) << "a file in two pieces comes back whole";
    EXPECT_EQ(sent[1].attachments[2].data, "third");
    EXPECT_TRUE(w.Folder(1).empty());
    EXPECT_EQ(w.Subjects(3), (std::vector<std::string>{"plain", "three files"}));
    // Every file written for sending is gone again.
    const auto tmp = w.home.path() / "tmp";
    size_t left = 0;
    if (std::filesystem::exists(tmp))
        for (auto it = std::filesystem::recursive_directory_iterator(tmp);
             it != std::filesystem::recursive_directory_iterator(); ++it)
            left += it->is_regular_file();
    EXPECT_EQ(left, 0u);

    ASSERT_EQ(w.Sync(), 0);
    EXPECT_EQ(scripted::state().sent.size(), 2u) << "nothing sent twice";
}

TEST(Outbox, RefusedMailStaysAndGoesNextTime) {
    EngineWorld w;
    w.ImapAccount();
    ASSERT_EQ(handheld_app::ComposeOutbox(w.handheld, 0, "carol@example.org", "later", "body", {}, nullptr), 0);
    scripted::state().failures["SendMsg"] = 212;
    ASSERT_EQ(w.Sync(), 0);
    EXPECT_EQ(w.Subjects(1), (std::vector<std::string>{"later"}));
    EXPECT_TRUE(EngineWorld::Logged("Could not send the following message")) << EngineWorld::Log();

    scripted::state().failures.clear();
    ASSERT_EQ(w.Sync(), 0);
    EXPECT_EQ(scripted::state().sent.size(), 1u);
    EXPECT_EQ(w.Subjects(3), (std::vector<std::string>{"later"}));
}

TEST(Outbox, SentMailWhoseRecordCannotBeRewrittenIsNotSentAgain) {
    EngineWorld w;
    w.ImapAccount();
    ASSERT_EQ(handheld_app::ComposeOutbox(w.handheld, 0, "carol@example.org", "once", "body", {}, nullptr), 0);
    // Sending works; moving the record to Sent does not (the handheld went away).
    scripted::state().failures.clear();
    platform::syncmgr::HandheldStore(w.handheld).injectFailure("SyncWriteRecord", 1);
    ASSERT_EQ(w.Sync(), 0) << EngineWorld::Log();
    ASSERT_EQ(scripted::state().sent.size(), 1u);
    EXPECT_EQ(w.Subjects(1), (std::vector<std::string>{"once"}));

    ASSERT_EQ(w.Sync(), 0);
    EXPECT_EQ(scripted::state().sent.size(), 1u) << "the mail went out once";
    EXPECT_EQ(w.Subjects(3), (std::vector<std::string>{"once"}));
    EXPECT_TRUE(w.Folder(1).empty());
}

TEST(Attachments, LargeOneInPiecesAndSizeLimit) {
    EngineWorld w;
    DesktopAccount d;
    d.sizeKb = 200;
    w.ImapAccount(0, d);
    scripted::Message& big = w.HostMail("big");
    big.attachments = {{"report.txt", Pattern(150000)}};
    scripted::Message& two = w.HostMail("two files");
    two.attachments = {{"small.txt", "tiny"}, {"huge.txt", Pattern(300000)}};

    ASSERT_EQ(w.Sync(), 0) << EngineWorld::Log();
    const int records = handheld_app::RecordCount(w.handheld, "Larkspur Attachments");
    // 150000 bytes in pieces of at most 62739 (3) and its terminator, the small file and its
    // terminator; the huge one exceeds the limit.
    EXPECT_EQ(records, 3 + 1 + 1 + 1);
    EXPECT_TRUE(EngineWorld::Logged("huge.txt", 22)) << EngineWorld::Log();
    for (auto& m : w.Folder(0)) {
        EXPECT_NE(m.msg.partIds[0], 0u) << m.msg.Subject;
        if (m.msg.Subject == "two files") {
            EXPECT_EQ(m.msg.partIds[1], 0u);
            EXPECT_NE(m.msg.Body.find("huge.txt"), std::string::npos) << "the note names the file left behind";
        }
    }
    EXPECT_EQ(scripted::state().openAttachmentFiles, 0) << "every fetched file was freed";

    // The message deleted on the handheld, and the one deleted on the host, take their
    // attachment records with them.
    ASSERT_EQ(handheld_app::DeleteMessage(w.handheld, w.RecordOf("big")), 0);
    ASSERT_EQ(w.Sync(), 0);
    EXPECT_EQ(handheld_app::RecordCount(w.handheld, "Larkspur Attachments"), 2);
    scripted::state().find("Inbox")->msgs.clear();
    ASSERT_EQ(w.Sync(), 0);
    EXPECT_EQ(handheld_app::RecordCount(w.handheld, "Larkspur Attachments"), 0);
}

}  // namespace
}  // namespace tess::engine::test

namespace tess::engine::test {
namespace {

// A dial-up account gets as much of a long message as its limit allows, and a part
// record telling the handheld how much more there is; a message that fits has none.
TEST(PartRecords, DialUpMessagesBeyondTheLimit) {
    EngineWorld w;
    DesktopAccount d;
    d.sizeKb = 1;
    handheld_app::AccountSetup h;
    h.connectionType = 1;
    w.ImapAccount(0, d, h);
    w.HostMail("short");
    w.HostMail("long").body = Pattern(5000);
    ASSERT_EQ(w.Sync(), 0) << EngineWorld::Log();
    EXPECT_EQ(handheld_app::RecordCount(w.handheld, "Larkspur Part Plus"), 1);
    for (auto& m : w.Folder(0)) EXPECT_EQ((m.msg.partWord >> 8) != 0, m.msg.Subject == "long") << m.msg.Subject;
    EXPECT_EQ(handheld_app::RecordCount(w.handheld, "LKIDCache0"), 2) << "each message added is in the id cache";

    // The message removed on the host takes its part record along.
    scripted::state().find("Inbox")->msgs.clear();
    ASSERT_EQ(w.Sync(), 0);
    EXPECT_TRUE(w.Folder(0).empty());
    EXPECT_EQ(handheld_app::RecordCount(w.handheld, "Larkspur Part Plus"), 0);
}

}  // namespace
}  // namespace tess::engine::test

#include "common/handheld_records.h"
#include "translate/manager/hollowmere.h"

namespace tess::engine::test {
namespace {

// The user's translator plug-in for ".txt": upper case toward the handheld, lower case
// back to the desktop; the translated copies do not stay behind.
TEST(Attachments, TranslatedBothWays) {
    EngineWorld w;
    w.ImapAccount();
    ASSERT_EQ(AddExtensionSupport("txt", "Text"), 0);
    TranslatorInstallRecord r{1, "Lib", "Lib", "TestTranslator.DLL", "txt", "hh", "Maker"};
    ASSERT_EQ(InstallPlugin(&r), 0);
    ASSERT_EQ(_SetUserExtPlugin(w.userId, "txt", "Lib"), 0);

    w.HostMail("with a note").attachments = {{"note.txt", "Quiet words"}};
    const auto dir = w.home.path() / "out";
    ASSERT_EQ(handheld_app::ComposeOutbox(w.handheld, 0, "bob@example.org", "reply", "see",
                                          {WriteFile(dir, "draft.hh", "LOUD WORDS")}, nullptr),
              0);
    ASSERT_EQ(w.Sync(), 0) << EngineWorld::Log();

    // Toward the handheld.
    platform::syncmgr::HandheldStore store(w.handheld);
    platform::syncmgr::DatabaseEntry db;
    ASSERT_EQ(store.findDatabase("Larkspur Attachments", 0, &db), SYNC_OK);
    bool found = false;
    for (const auto& rec : store.records(db.id)) {
        AttachmentEntry e;
        if (e.Unpack(HandheldRecord{rec.id, rec.attributes, rec.category, rec.data}) != 0 || e.IsTerminator()) continue;
        if (std::string(e.data.begin(), e.data.end()).rfind("QUIET WORDS", 0) == 0) found = true;
    }
    EXPECT_TRUE(found) << "the note reached the handheld translated";
    // Back to the desktop: the sent file is the lower-cased one.
    ASSERT_EQ(scripted::state().sent.size(), 1u);
    ASSERT_EQ(scripted::state().sent[0].attachments.size(), 1u);
    EXPECT_EQ(scripted::state().sent[0].attachments[0].data, "loud words");
    EXPECT_EQ(scripted::state().openAttachmentFiles, 0);
    size_t left = 0;
    for (const auto& dirToCheck : {w.home.path() / "scripted_host", w.home.path() / "tmp"})
        if (std::filesystem::exists(dirToCheck))
            for (auto it = std::filesystem::recursive_directory_iterator(dirToCheck);
                 it != std::filesystem::recursive_directory_iterator(); ++it)
                left += it->is_regular_file();
    EXPECT_EQ(left, 0u) << "no translated copy stays behind";
}

}  // namespace
}  // namespace tess::engine::test
