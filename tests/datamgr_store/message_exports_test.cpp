// Messages through the MMsg exports: the record limit guarding every change, the date
// text, body writes at an offset and cut to fit, saving and reading back, the record of an
// incomplete body kept in step, deletion, and the refusals.
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/handheld_records.h"
#include "translate/manager/hollowmere.h"
#include "datamgr/mail_store.h"
#include "datamgr/store_handles.h"
#include "tests/datamgr_store/handheld_load_fixture.h"

namespace tess::datamgr::test {
namespace {

constexpr int kTooLarge = static_cast<int>(0x80A00002u);
constexpr int kNoSession = static_cast<int>(0x80000009u);

struct MsgHandle {
    StoreHandle* h = nullptr;
    ~MsgHandle() {
        if (h) MMsgRelease(&h);
    }
    StoreHandle** out() { return &h; }
};

class MessageExports : public HandheldLoad {
protected:
    void SetUp() override {
        HandheldLoad::SetUp();
        ASSERT_EQ(
            handheld_->createDatabase("Larkspur Part Plus", kMail, SYNC_FOURCC('D', 'a', 't', '8'), 1, 0, 0, &parts_),
            0);
        ASSERT_EQ(open(&session, 0), 0);
        ASSERT_EQ(IPES_GetAccountById(kAccount, account_.out()), 0);
        ASSERT_EQ(MAccGetCommonFolder(account_.h, 3, folder_.out()), 0);
    }
    // A new message with the two addresses a save needs.
    void make(MsgHandle& m, StoreHandle* folder = nullptr) {
        ASSERT_EQ(MMsgCreate(folder ? folder : folder_.h, m.out()), 0);
        ASSERT_EQ(MMsgSetStringData(m.h, 0, "to@example.org"), 0);
        ASSERT_EQ(MMsgSetStringData(m.h, 1, "from@example.org"), 0);
    }
    std::string text(StoreHandle* m, int id) {
        const char* t = nullptr;
        int length = -1;
        EXPECT_EQ(MMsgGetStringData(m, id, &t, &length), 0);
        EXPECT_EQ(length, t ? int(std::strlen(t)) : -1);
        return t ? t : "";
    }
    std::string body(StoreHandle* m) {
        std::vector<char> buffer(63001);
        uint32_t length = 63000;
        return MMsgReadBody(m, 0, buffer.data(), &length) == 0 ? std::string(buffer.data(), length) : "";
    }
    bool complete(StoreHandle* m) {
        char c = 2;
        EXPECT_EQ(MMsgGetBoolData(m, 2, &c), 0);
        return c == 1;
    }
    uint32_t partRecordCount() { return handheld_->recordCount(parts_); }

    int64_t parts_ = 0;
    Handle account_, folder_;
};

TEST_F(MessageExports, StringsStayWithinTheRecordLimit) {
    MsgHandle m;
    make(m);
    ASSERT_EQ(MMsgSetStringData(m.h, 4, "old subject"), 0);
    // Fill the record to exactly 63,000 bytes with the body, then one byte more in the
    // subject is refused and the subject stays.
    const size_t fixed = datamgr::CMailStore::RecordSize(datamgr::MessageOf(m.h)->msg);
    const std::string filler(63000 - fixed, 'b');  // the empty body's terminator stays counted
    uint32_t length = uint32_t(filler.size());
    ASSERT_EQ(MMsgWriteBody(m.h, 0, filler.c_str(), &length), 0);
    EXPECT_EQ(datamgr::CMailStore::RecordSize(datamgr::MessageOf(m.h)->msg), 63000u);
    EXPECT_EQ(MMsgSetStringData(m.h, 4, "old subjecT"), 0);  // the same length fits
    EXPECT_EQ(MMsgSetStringData(m.h, 4, "old subject!"), kTooLarge);
    EXPECT_EQ(text(m.h, 4), "old subjecT");
    EXPECT_EQ(MMsgSetStringData(m.h, 7, "a server id that does not fit"), kTooLarge);
    EXPECT_EQ(MMsgSetStringData(m.h, 8, "x"), static_cast<int>(0x80000003u));
}

TEST_F(MessageExports, DateTextSetsTheDate) {
    MsgHandle m;
    make(m);
    ASSERT_EQ(MMsgSetStringData(m.h, 5, "Tue, 1 Jul 2003 10:52:37 +0200"), 0);
    uint32_t date = 0;
    ASSERT_EQ(MMsgGetUInt32Data(m.h, 2, &date), 0);
    EXPECT_EQ(date, 1057049557u);
    EXPECT_EQ(text(m.h, 5), "Tue, 1 Jul 2003 10:52:37 +0200");

    const uint32_t before = uint32_t(std::time(nullptr));
    EXPECT_EQ(MMsgSetStringData(m.h, 5, "sometime soon"), static_cast<int>(0x80A00005u));
    ASSERT_EQ(MMsgGetUInt32Data(m.h, 2, &date), 0);
    EXPECT_GE(date, before);
    EXPECT_LE(date, uint32_t(std::time(nullptr)));
    EXPECT_EQ(text(m.h, 5), "");

    uint32_t untouched = 77;
    EXPECT_EQ(MMsgGetUInt32Data(m.h, 9, &untouched), 0);
    EXPECT_EQ(untouched, 77u);
    EXPECT_EQ(MMsgSetUInt32Data(m.h, 9, 1), static_cast<int>(0x80000003u));
}

TEST_F(MessageExports, BodyWrites) {
    struct Case {
        const char* what;
        std::string start;
        uint32_t offset;
        std::string text;
        uint32_t length;  // as passed
        std::string body;
        uint32_t written;
    };
    const std::vector<Case> cases = {
        {"into an empty body at offset 10", "", 10, "abc", 3, std::string(10, ' ') + "abc", 4},
        {"over the start of a longer body", "hello world", 0, "HE", 2, std::string("HE\0lo world", 11), 3},
        {"a length short of the text", "", 0, "abcdef", 3, "ab", 3},
        {"past the end", "abc", 3, "def", 3, "abcdef", 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MsgHandle m;
        make(m);
        uint32_t length = uint32_t(c.start.size());
        if (!c.start.empty()) {
            ASSERT_EQ(MMsgWriteBody(m.h, 0, c.start.c_str(), &length), 0);
        }
        length = c.length;
        ASSERT_EQ(MMsgWriteBody(m.h, c.offset, c.text.c_str(), &length), 0);
        EXPECT_EQ(length, c.written);
        EXPECT_EQ(datamgr::MessageOf(m.h)->msg.Body, c.body);
        EXPECT_TRUE(complete(m.h));
    }
}

TEST_F(MessageExports, ABodyThatDoesNotFitIsCutAndIncomplete) {
    MsgHandle m;
    make(m);
    const std::string big(70000, 'x');
    uint32_t length = uint32_t(big.size());
    EXPECT_EQ(MMsgWriteBody(m.h, 0, big.c_str(), &length), static_cast<int>(0x00A00001u));
    EXPECT_LT(length, big.size());
    EXPECT_EQ(datamgr::CMailStore::RecordSize(datamgr::MessageOf(m.h)->msg), 63000u);
    EXPECT_FALSE(complete(m.h));
    // An offset past the room is refused; so is reading at the end.
    length = 1;
    EXPECT_EQ(MMsgWriteBody(m.h, 64000, "y", &length), static_cast<int>(0x80A00006u));
    char buffer[8];
    uint32_t size = 4;
    EXPECT_EQ(MMsgReadBody(m.h, uint32_t(datamgr::MessageOf(m.h)->msg.Body.size()), buffer, &size),
              static_cast<int>(0x80A00006u));
    // Clearing the body makes the message complete again.
    EXPECT_EQ(MMsgWriteBody(m.h, 0, nullptr, &length), 0);
    EXPECT_TRUE(complete(m.h));
    EXPECT_EQ(body(m.h), "");
}

// Saved, the message is on the handheld; the next session files it in its folder, and an
// incomplete body has its part record, which goes when the message is complete again.
TEST_F(MessageExports, SavedMessagesComeBackWithTheirCompleteness) {
    MsgHandle m;
    make(m);
    ASSERT_EQ(MMsgSetStringData(m.h, 4, "written here"), 0);
    uint32_t length = 5;
    ASSERT_EQ(MMsgWriteBody(m.h, 0, "parts", &length), 0);
    ASSERT_EQ(MMsgSetBoolData(m.h, 2, 0), 0);  // more of it is still on the server
    ASSERT_EQ(MMsgSetBoolData(m.h, 0, 1), 0);
    int id = 0;
    EXPECT_EQ(MMsgGetPersistentID(m.h, &id), static_cast<int>(0x8000000Du));
    ASSERT_EQ(MMsgSave(m.out()), 0);
    ASSERT_EQ(MMsgGetPersistentID(m.h, &id), 0);
    EXPECT_EQ(uint32_t(id) >> 24, uint32_t(kAccount));
    EXPECT_EQ(partRecordCount(), 1u);

    ASSERT_EQ(open(&session, 0), 0);
    MsgHandle again;
    ASSERT_EQ(MMsgGetHandle(id, again.out()), 0);
    EXPECT_EQ(text(again.h, 4), "written here");
    EXPECT_EQ(body(again.h), "parts");
    EXPECT_FALSE(complete(again.h));
    char read = 0;
    ASSERT_EQ(MMsgGetBoolData(again.h, 0, &read), 0);
    EXPECT_EQ(read, 1);

    ASSERT_EQ(MMsgSetBoolData(again.h, 2, 1), 0);
    ASSERT_EQ(MMsgSave(again.out()), 0);
    EXPECT_EQ(partRecordCount(), 0u);
    ASSERT_EQ(open(&session, 0), 0);
    MsgHandle third;
    ASSERT_EQ(MMsgGetHandle(id, third.out()), 0);
    EXPECT_TRUE(complete(third.h));

    // Deleted, it is gone from the folder and from the handheld.
    Handle account, folder;
    ASSERT_EQ(IPES_GetAccountById(kAccount, account.out()), 0);
    ASSERT_EQ(MAccGetCommonFolder(account.h, 3, folder.out()), 0);
    int before = 0, after = 0;
    ASSERT_EQ(MFldGetNumMsgs(folder.h, &before), 0);
    ASSERT_EQ(MMsgDelete(third.out()), 0);
    EXPECT_EQ(third.h, nullptr);
    ASSERT_EQ(MFldGetNumMsgs(folder.h, &after), 0);
    EXPECT_EQ(after, before - 1);
    ASSERT_EQ(open(&session, 0), 0);
    MsgHandle gone;
    EXPECT_EQ(MMsgGetHandle(id, gone.out()), kInvalid);
}

// A part record left by an earlier run that says less came over than the whole: the load
// files the message as incomplete.
TEST_F(MessageExports, TheLoadReadsThePartRecords) {
    CPartInfoRecord info;
    info.values[2] = 100;
    info.values[3] = 400;
    HandheldRecord r;
    ASSERT_EQ(info.Pack(r), kRecordOk);
    uint32_t partId = 0;
    ASSERT_EQ(handheld_->writeRecord(parts_, &partId, 0, 0, r.data.data(), r.data.size()), 0);
    platform::syncmgr::DatabaseEntry messages;
    ASSERT_EQ(handheld_->findDatabase("Larkspur Messages", 0, &messages), 0);
    const uint32_t cut = addMessage(messages.id, kAccount, 3, "cut", false, 0, 0, {}, partId);
    info.values[2] = 400;
    ASSERT_EQ(info.Pack(r), kRecordOk);
    uint32_t wholeId = 0;
    ASSERT_EQ(handheld_->writeRecord(parts_, &wholeId, 0, 0, r.data.data(), r.data.size()), 0);
    const uint32_t whole = addMessage(messages.id, kAccount, 3, "whole", false, 0, 0, {}, wholeId);

    ASSERT_EQ(open(&session, 0), 0);
    for (const auto& [record, expected] : {std::pair{cut, false}, std::pair{whole, true}}) {
        MsgHandle m;
        ASSERT_EQ(MMsgGetHandle(int(uint32_t(kAccount) << 24 | record), m.out()), 0);
        EXPECT_EQ(datamgr::MessageOf(m.h)->msg.pendingUpdate == 0, expected) << record;
        EXPECT_EQ(complete(m.h), expected) << record;
    }
}

struct AttHandle {
    StoreHandle* h = nullptr;
    ~AttHandle() {
        if (h) MAttRelease(&h);
    }
    StoreHandle** out() { return &h; }
};

// An attachment made from a file, saved with its message, read back in the next session
// byte for byte, then removed; the record goes when the store closes.
TEST_F(MessageExports, AttachmentsFromFilesAndBack) {
    int64_t attachments = 0;
    ASSERT_EQ(handheld_->createDatabase("Larkspur Attachments", kMail, SYNC_FOURCC('D', 'a', 't', '7'), 1, 0, 0,
                                        &attachments),
              0);
    std::string content;
    for (int i = 0; content.size() < 70000; ++i) content += "line " + std::to_string(i) + "\n";  // two pieces
    const std::filesystem::path file = home_->path() / "report.txt";
    std::ofstream(file, std::ios::binary) << content;

    MsgHandle m;
    make(m);
    AttHandle early;
    EXPECT_EQ(MMsgCreateAttachment(m.h, early.out()), static_cast<int>(0x8000000Du));  // message not saved
    ASSERT_EQ(MMsgSave(m.out()), 0);
    AttHandle a;
    ASSERT_EQ(MMsgCreateAttachment(m.h, a.out()), 0);
    ASSERT_EQ(MAttWrite(a.h, file.c_str(), 0), 0);
    EXPECT_EQ(MMsgSave(m.out()), static_cast<int>(0x80A00004u));  // its attachment is not saved
    ASSERT_EQ(MAttSave(a.out()), 0);
    ASSERT_EQ(MMsgSave(m.out()), 0);
    uint64_t attId = 0;
    int msgId = 0;
    ASSERT_EQ(MAttGetPersistentID(a.h, &attId), 0);
    ASSERT_EQ(MMsgGetPersistentID(m.h, &msgId), 0);
    EXPECT_EQ(attId >> 24, uint64_t(uint32_t(msgId)));

    ASSERT_EQ(open(&session, 0), 0);
    MsgHandle again;
    ASSERT_EQ(MMsgGetHandle(msgId, again.out()), 0);
    short count = 0;
    ASSERT_EQ(MMsgGetAttachmentCount(again.h, &count), 0);
    EXPECT_EQ(count, 1);
    AttHandle first, byId, none;
    ASSERT_EQ(MMsgGetFirstAttachment(again.h, first.out()), 0);
    EXPECT_EQ(MMsgGetNextAttachment(first.h, none.out()), static_cast<int>(0x8000000Cu));
    ASSERT_EQ(MAttGetHandle(attId, byId.out()), 0);
    char same = 0;
    ASSERT_EQ(MAttCompare(first.h, byId.h, &same), 0);
    EXPECT_EQ(same, 1);
    char* name = nullptr;
    int length = 0;
    ASSERT_EQ(MAttGetFilename(first.h, &name, &length), 0);
    EXPECT_STREQ(name, "report.txt");
    int size = 0;
    ASSERT_EQ(MAttGetSize(first.h, &size), 0);
    EXPECT_EQ(size_t(size), content.size());
    char* path = nullptr;
    ASSERT_EQ(MAttRead(first.h, &path, 0), 0);
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), content);
    std::free(path);

    // The same attachment given to a second message: once, and a reference more.
    Handle account, folder;  // the store was loaded again: new handles
    ASSERT_EQ(IPES_GetAccountById(kAccount, account.out()), 0);
    ASSERT_EQ(MAccGetCommonFolder(account.h, 0, folder.out()), 0);
    MsgHandle other;
    make(other, folder.h);
    ASSERT_EQ(MMsgSave(other.out()), 0);
    AttHandle cloned, twice;
    ASSERT_EQ(MMsgCloneAttachment(first.out(), other.out(), cloned.out()), 0);
    EXPECT_EQ(MMsgCloneAttachment(first.out(), other.out(), twice.out()), static_cast<int>(0x80A00003u));
    EXPECT_EQ(datamgr::TheMailStore().References(datamgr::AttachmentOf(first.h)->recordId), 2);
    ASSERT_EQ(MMsgGetAttachmentCount(other.h, &count), 0);
    EXPECT_EQ(count, 1);
    ASSERT_EQ(MMsgRemoveAttachment(other.h, cloned.h), 0);

    ASSERT_EQ(MMsgRemoveAttachment(again.h, first.h), 0);
    EXPECT_EQ(MMsgRemoveAttachment(again.h, first.h), kInvalid);  // no longer a part of it
    ASSERT_EQ(MMsgGetAttachmentCount(again.h, &count), 0);
    EXPECT_EQ(count, 0);
    ASSERT_EQ(MMsgSave(again.out()), 0);
    const uint32_t before = handheld_->recordCount(attachments);
    datamgr::TheMailStore().Close();
    EXPECT_LT(handheld_->recordCount(attachments), before);
}

// The user's translator plug-in for ".txt" (upper case toward the handheld, lower case
// back): used when the caller asks for it, its copies not left behind.
TEST_F(MessageExports, AttachmentsThroughTheTranslator) {
    int64_t attachments = 0;
    ASSERT_EQ(handheld_->createDatabase("Larkspur Attachments", kMail, SYNC_FOURCC('D', 'a', 't', '7'), 1, 0, 0,
                                        &attachments),
              0);
    ASSERT_EQ(AddExtensionSupport("txt", "Text"), 0);
    TranslatorInstallRecord r{1, "Lib", "Lib", "TestTranslator.DLL", "txt", "hh", "Maker"};
    ASSERT_EQ(InstallPlugin(&r), 0);
    ASSERT_EQ(_SetUserExtPlugin(userId_, "txt", "Lib"), 0);
    ASSERT_EQ(open(&session, 0), 0);  // the session makes the user's translator
    Handle account, folder;
    ASSERT_EQ(IPES_GetAccountById(kAccount, account.out()), 0);
    ASSERT_EQ(MAccGetCommonFolder(account.h, 3, folder.out()), 0);

    const std::filesystem::path file = home_->path() / "note.txt";
    std::ofstream(file, std::ios::binary) << "Quiet Words";
    for (const bool translate : {true, false}) {
        SCOPED_TRACE(translate ? "translated" : "as it is");
        MsgHandle m;
        make(m, folder.h);
        ASSERT_EQ(MMsgSave(m.out()), 0);
        AttHandle a;
        ASSERT_EQ(MMsgCreateAttachment(m.h, a.out()), 0);
        ASSERT_EQ(MAttWrite(a.h, file.c_str(), translate), 0);
        const auto& data = datamgr::AttachmentOf(a.h)->chain.entries.front().data;
        EXPECT_EQ(std::string(data.begin(), data.end()).substr(0, 11), translate ? "QUIET WORDS" : "Quiet Words");
        ASSERT_EQ(MAttSave(a.out()), 0);
        char* path = nullptr;
        ASSERT_EQ(MAttRead(a.h, &path, translate), 0);
        std::ifstream in(path, std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), translate ? "quiet words" : "Quiet Words");
        const std::filesystem::path read = path;
        std::free(path);
        size_t files = 0;
        for (const auto& e : std::filesystem::directory_iterator(read.parent_path())) files += e.is_regular_file();
        EXPECT_EQ(files, translate ? 1u : 2u) << "only the file given out stays";
    }
}

TEST_F(MessageExports, TenAttachmentsAtMost) {
    MsgHandle m;
    make(m);
    ASSERT_EQ(MMsgSave(m.out()), 0);
    std::vector<AttHandle> made(10);
    for (AttHandle& a : made) ASSERT_EQ(MMsgCreateAttachment(m.h, a.out()), 0);
    AttHandle eleventh;
    EXPECT_EQ(MMsgCreateAttachment(m.h, eleventh.out()), static_cast<int>(0x80B00003u));
    // An attachment without any piece has no type.
    int type = 0;
    EXPECT_EQ(MAttGetType(made[0].h, &type), kInvalid);
    const std::string longName(257, 'n');
    EXPECT_EQ(MAttSetFilename(made[0].h, longName.c_str()), static_cast<int>(0x80000005u));
}

TEST_F(MessageExports, Refusals) {
    MsgHandle m;
    make(m);
    ASSERT_EQ(MMsgSetStringData(m.h, 1, ""), 0);
    EXPECT_EQ(MMsgSave(m.out()), static_cast<int>(0x80A00007u));  // no From
    StoreHandle* stale = m.h;
    ASSERT_EQ(MMsgRelease(m.out()), 0);
    char c = 0;
    EXPECT_EQ(MMsgGetBoolData(stale, 0, &c), kInvalid);
    EXPECT_EQ(MMsgCreate(account_.h, m.out()), kInvalid);  // an account is no folder

    // The server id of a message fetched over IMAP, as text.
    datamgr::CMailMessage* first = nullptr;
    for (auto& f : datamgr::TheMailStore().AccountById(kAccount)->folders) {
        if (!f->messages.empty() && !first) first = f->messages.front().get();
    }
    ASSERT_NE(first, nullptr);
    ASSERT_NE(first->recordId, 0u) << first->msg.Subject << " cat " << first->msg.category << " n "
                                   << datamgr::TheMailStore().AccountById(kAccount)->folders.size();
    first->msg.hostId = NumberAsId(4711);
    MsgHandle fetched;
    ASSERT_EQ(MMsgGetHandle(int(uint32_t(kAccount) << 24 | first->recordId), fetched.out()), 0);
    EXPECT_EQ(text(fetched.h, 7), "4711");
    ASSERT_EQ(MMsgSetStringData(fetched.h, 7, "<id@host>"), 0);
    EXPECT_EQ(text(fetched.h, 7), "<id@host>");

    // Outside a synchronisation, after the handle check.
    IPES_SetTallyhopState(nullptr);
    EXPECT_EQ(MMsgGetBoolData(fetched.h, 0, &c), kNoSession);
    EXPECT_EQ(MMsgGetBoolData(nullptr, 0, &c), kInvalid);
    EXPECT_EQ(MMsgCreate(folder_.h, m.out()), kNoSession);
}

}  // namespace
}  // namespace tess::datamgr::test
