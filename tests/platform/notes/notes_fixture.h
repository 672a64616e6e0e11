#pragma once
// A Notes installation in a private runtime root with two users, Ann (the notes.ini user)
// and Bo, and the client library started as Ann.
#include <gtest/gtest.h>

#include <string>

#include "platform/notes/nnotes.h"
#include "platform/notes/notes_admin.h"
#include "tests/support/test_home.h"

namespace platform::notes::test {

using tess::test::TempHome;

class NotesInstallation {
public:
    explicit NotesInstallation(int version = 60) {
        std::string error;
        if (!platform::notes::createInstallation(home.path() / "notes", version, inst, error) ||
            !platform::notes::addUser(inst, ann, annId, error) || !platform::notes::addUser(inst, bo, boId, error))
            throw std::runtime_error(error);
    }
    TempHome home;
    platform::notes::Installation inst;
    platform::notes::User ann{"CN=Ann Lee/O=Tess", "alee", "alee@tess.test", "ann-secret"};
    platform::notes::User bo{"CN=Bo Kim/O=Tess", "bkim", "bkim@tess.test", "bo-secret"};
    std::filesystem::path annId, boId;
};

class NotesClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(NotesInitIni(notes.inst.iniPath.c_str()), NOERROR);
        char name[256];
        ASSERT_EQ(SECKFMSwitchToIDFile(notes.annId.c_str(), "ann-secret", name, sizeof name, 0, nullptr), NOERROR);
    }
    void TearDown() override { NotesTerm(); }

    // Opens Ann's mail file as the host does: the server path of notes.ini's MailFile.
    DBHANDLE openMailFile(const char* file = "mail\\alee.nsf") {
        char path[256];
        EXPECT_EQ(OSPathNetConstruct(nullptr, notes.inst.mailServer.c_str(), file, path), NOERROR);
        DBHANDLE db = 0;
        EXPECT_EQ(MailOpenMessageFile(path, &db), NOERROR);
        return db;
    }

    NotesInstallation notes;
};

}  // namespace platform::notes::test
