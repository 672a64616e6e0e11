#pragma once
// The relay's user working with Notes: a Notes installation (the client stand-in) in the
// test's runtime root whose notes.ini user is the relay's user, a memory store that stands
// for the store Notes provides, a frame that keeps the Notes address, and readers of
// mail.box and of the log.
#include <filesystem>

#include "platform/core/registry.h"
#include "platform/notes/nnotes.h"
#include "platform/notes/notes_admin.h"
#include "relay/notes_api.h"
#include "tests/relay/relay_test_support.h"

namespace tess::relay::test {

namespace fs = std::filesystem;
using relay::NotesApi;
using relay::NotesMessage;

inline const char* const k50 = "SOFTWARE\\Lotus\\Notes\\5.0";
inline const char* const k40 = "SOFTWARE\\Lotus\\Notes\\4.0";

inline std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void setNotesKey(const char* key, const std::string* path) {
    HKEY h = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, key, &h), ERROR_SUCCESS);
    if (path)
        RegSetValueExA(h, "Path", 0, REG_SZ, reinterpret_cast<const unsigned char*>(path->c_str()),
                       DWORD(path->size() + 1));
    RegCloseKey(h);
}

// A note of mail.box as the router will find it.
struct BoxNote {
    std::string sendTo, copyTo, blindCopyTo, recipients, from, subject, body, replyTo, inetReplyTo;
    bool hasCopyTo = false, hasFrom = false;
};

// The relay's user (the notes.ini user) and his Notes mode frame: the Notes address it
// keeps, and scripted answers of the address dialog.
struct NotesFrame : RecordingFrame {
    std::string notes;
    std::string wirelessSet;
    std::vector<std::pair<std::string, std::string>> answers;
    size_t asked = 0;
    std::string NotesAddress() const override { return notes; }
    void SetNotesAddress(const std::string& text) override { notes = text; }
    void SetWirelessAddress(const std::string& text) override { wirelessSet = text; }
    bool AskAddresses(std::string& wireless, std::string& notesAddress) override {
        if (asked >= answers.size()) return false;
        wireless = answers[asked].first;
        notesAddress = answers[asked].second;
        ++asked;
        return true;
    }
};

class NotesModeFixture : public RelayFixture {
protected:
    void SetUp() override {
        savedPath = std::getenv("PATH") ? std::getenv("PATH") : "";
        RelayFixture::SetUp();
        memory->setProviderDisplayName("Lotus Notes Message Store");
        std::string error;
        ASSERT_TRUE(platform::notes::createInstallation(home.path() / "notes", 50, inst, error)) << error;
        fs::path id;
        ASSERT_TRUE(platform::notes::addUser(inst, user, id, error)) << error;
        ASSERT_TRUE(platform::notes::addUser(inst, {"CN=Bo Kim/O=Tess", "bkim", "bkim@tess.test", "bo"}, id, error))
            << error;
        writeRelayIni(readFile(inst.iniPath));
        notesFrame.notes = me;
    }
    void TearDown() override {
        RelayFixture::TearDown();
        setenv("PATH", savedPath.c_str(), 1);
    }

    void writeRelayIni(const std::string& text) { std::ofstream(relay::RelayNotesIniPath(), std::ios::trunc) << text; }
    // The relay's notes.ini without the lines that begin with `drop`, with `extra` added.
    void rewriteRelayIni(const std::string& drop, const std::string& extra = {}) {
        std::istringstream in(readFile(inst.iniPath));
        std::string out, line;
        while (std::getline(in, line))
            if (drop.empty() || line.rfind(drop, 0) != 0) out += line + "\n";
        writeRelayIni(out + extra);
    }

    // The relay user's settings saved and taken up again by the configuration.
    void reloadSettings(int attachments, int detailed) {
        saveRelaySettings(1, attachments, detailed);
        config->UnInit();
        ASSERT_EQ(config->Init(), 0);
        ASSERT_EQ(config->LoadUserSettings(true, true), 0);
        config->GetLoggingOption();
    }

    void startNotes() {
        watcher = std::make_unique<relay::CMAPIRedirect>(&notesFrame, config.get(), wireless);
        ASSERT_GE(watcher->Initialize(), 0);
        ASSERT_TRUE(watcher->NotesMode());
    }

    // A mail in the user's mail file, seen through the store that Notes provides.
    NOTEID noteMail(const std::string& subject, const std::string& body, const std::string& from = "alice@example.test",
                    std::vector<std::pair<std::string, ULONG>> recipients = {{"tess@tess.test", MAPI_TO}},
                    std::vector<std::pair<std::string, std::string>> attachments = {}) {
        platform::notes::Mail mail;
        mail.from = from;
        for (const auto& r : recipients) (r.second == MAPI_CC ? mail.cc : mail.to).push_back(r.first);
        mail.subject = subject;
        mail.body = body;
        std::string error;
        const NOTEID id = platform::notes::addMail(inst, user.shortName, mail, error);
        EXPECT_NE(id, 0u) << error;
        deliver(subject, body, from, recipients, attachments, {}, id);
        return id;
    }

    std::vector<BoxNote> mailBox() {
        std::vector<BoxNote> out;
        char path[256] = {};
        OSPathNetConstruct(nullptr, inst.mailServer.c_str(), "mail.box", path);
        DBHANDLE db = 0;
        if (MailOpenMessageFile(path, &db) != NOERROR) return out;
        DHANDLE list = 0;
        WORD count = 0;
        EXPECT_EQ(MailCreateMessageList(db, &list, nullptr, &count), NOERROR);
        for (WORD i = 0; i < count; ++i) {
            NOTEHANDLE note = 0;
            if (MailOpenMessage(list, i, &note) != NOERROR) continue;
            std::vector<char> buffer(8192);
            auto item = [&](WORD number, bool* present = nullptr) {
                WORD length = 0;
                const bool found = MailGetMessageItem(note, number, buffer.data(), WORD(buffer.size() - 1), &length);
                if (present) *present = found;
                return std::string(buffer.data(), found ? length : 0);
            };
            auto text = [&](const char* name) {
                const WORD n = NSFItemGetText(note, name, buffer.data(), WORD(buffer.size()));
                return std::string(buffer.data(), n);
            };
            BoxNote b;
            b.sendTo = item(MAIL_SENDTO_ITEM_NUM);
            b.copyTo = item(MAIL_COPYTO_ITEM_NUM, &b.hasCopyTo);
            b.blindCopyTo = item(MAIL_BLINDCOPYTO_ITEM_NUM);
            b.recipients = item(MAIL_RECIPIENTS_ITEM_NUM);
            b.from = item(MAIL_FROM_ITEM_NUM, &b.hasFrom);
            b.subject = item(MAIL_SUBJECT_ITEM_NUM);
            b.replyTo = text("ReplyTo");
            b.inetReplyTo = text("$INetReplyTo");
            DHANDLE body = 0;
            DWORD length = 0;
            if (MailGetMessageBody(note, &body, &length) == NOERROR) {
                b.body.assign(static_cast<const char*>(OSLockObject(body)), length);
                OSUnlockObject(body);
                OSMemFree(body);
            }
            NSFNoteClose(note);
            out.push_back(b);
        }
        OSMemFree(list);
        MailCloseMessageFile(db);
        return out;
    }

    // The client loaded and the user's mail file open.
    std::unique_ptr<NotesApi> openClient() {
        auto api = std::make_unique<NotesApi>();
        EXPECT_TRUE(api->Load());
        EXPECT_TRUE(api->OpenMailFile());
        return api;
    }

    bool noteExists(NOTEID id) {
        std::string text;
        return watcher->Notes()->DescribeNote(id, text) == NOERROR;
    }

    bool loggedPrefix(const std::string& prefix) {
        for (const auto& e : logEntries())
            if (e.rfind(prefix, 0) == 0) return true;
        return false;
    }

    platform::notes::Installation inst;
    platform::notes::User user{"CN=Tess User/O=Tess", "tuser", "tess@tess.test", "tess-secret"};
    NotesFrame notesFrame;
    std::string savedPath;
};

}  // namespace tess::relay::test
