// CNotesClient and the ID dialog against the Notes client stand-in: finding the
// installation, loading and starting the library, ID switches, PATH and the working
// notes.ini, and browsing for an ID file through scripted dialogs.
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "common/language_module.h"
#include "common/notes_client.h"
#include "common/notes_password_dialog.h"
#include "platform/core/registry.h"
#include "platform/core/runtime.h"
#include "platform/ui/form_dialogs.h"
#include "tests/platform/notes/notes_fixture.h"

namespace tess::test {

using platform::mfc::CString;

using platform::notes::test::NotesClientTest;
using platform::notes::test::NotesInstallation;

namespace {

namespace fs = std::filesystem;

std::string iniValue(const fs::path& ini, const std::string& key) {
    std::ifstream in(ini);
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
    return {};
}

void setIniValue(const fs::path& ini, const std::string& key, const std::string& value) {
    std::ifstream in(ini);
    std::string line, out;
    while (std::getline(in, line))
        if (line.rfind(key + "=", 0) != 0) out += line + "\n";
    in.close();
    std::ofstream(ini, std::ios::trunc) << out << key << "=" << value << "\n";
}

void setPath(const char* key, const std::string& dir) {
    HKEY h = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, key, &h), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(h, "Path", 0, REG_SZ, reinterpret_cast<const unsigned char*>(dir.c_str()),
                             static_cast<DWORD>(dir.size() + 1)),
              ERROR_SUCCESS);
    RegCloseKey(h);
}

// Keeps PATH as it was around a test.
class PathGuard {
public:
    PathGuard() : saved_(std::getenv("PATH") ? std::getenv("PATH") : "") { setenv("PATH", "/usr/bin:/bin", 1); }
    ~PathGuard() { setenv("PATH", saved_.c_str(), 1); }

private:
    std::string saved_;
};

TEST(NotesClientLocate, RegistryKeysGiveVersionAndInstallationIni) {
    {
        NotesInstallation notes(60);
        CNotesClient client;
        EXPECT_EQ(client.version(), 60);
        EXPECT_EQ(client.flags(), CNotesClient::kFound);
        EXPECT_EQ(client.programDirectory(), notes.inst.programDir.string());
        EXPECT_EQ(fs::path(client.installIni()), notes.inst.programDir / "notes.ini");
    }
    {
        // Only the older key: notes.ini lies in the Windows system directory.
        NotesInstallation notes(50);
        CNotesClient client;
        EXPECT_EQ(client.version(), 50);
        EXPECT_EQ(fs::path(client.installIni()), platform::windowsSystemDir() / "notes.ini");
        PathGuard path;
        ASSERT_EQ(client.Initialize(nullptr), 0);
        EXPECT_EQ(fs::path(client.dataDirectory()), notes.inst.dataDir);
    }
    {
        TempHome home;
        CNotesClient none;
        EXPECT_EQ(none.version(), CNotesClient::kNotInstalled);
        EXPECT_EQ(none.Initialize(nullptr), 1);
        HKEY h = nullptr;
        ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Lotus\\Notes\\6.0", &h), ERROR_SUCCESS);
        RegCloseKey(h);
        CNotesClient noPath;
        EXPECT_EQ(noPath.version(), CNotesClient::kNoPath);
        EXPECT_EQ(noPath.flags(), 0u);
        EXPECT_EQ(noPath.Initialize(nullptr), 1);
    }
}

class NotesClientTestBase : public ::testing::Test {
protected:
    PathGuard path;
    NotesInstallation notes;
};

TEST_F(NotesClientTestBase, StartsInPlaceWithTheInstallationsUser) {
    {
        CNotesClient client;
        ASSERT_EQ(client.Initialize(nullptr), 0);
        EXPECT_EQ(client.flags(), CNotesClient::kFound | CNotesClient::kLibrary | CNotesClient::kInitialised |
                                      CNotesClient::kMailServerKnown);
        EXPECT_EQ(client.workingIni(), client.installIni());
        EXPECT_EQ(client.fullUserName(), "CN=Ann Lee/O=Tess");
        EXPECT_EQ(client.userName(), "Ann Lee");
        EXPECT_EQ(client.mailServer(), "CN=Mailhub/O=Tess");
        EXPECT_EQ(fs::path(client.idFile()), notes.annId);
        EXPECT_TRUE(client.pathChanged());
        EXPECT_NE(std::string(std::getenv("PATH")).find(notes.inst.programDir.string()), std::string::npos);
        // A second start does not start Notes again: it works without the file.
        fs::rename(notes.inst.iniPath, notes.home.path() / "moved.ini");
        EXPECT_EQ(client.Initialize(nullptr), 0);
        fs::rename(notes.home.path() / "moved.ini", notes.inst.iniPath);
    }
    EXPECT_STREQ(std::getenv("PATH"), "/usr/bin:/bin");
    EXPECT_TRUE(fs::exists(notes.inst.iniPath));  // the installation's own file stays
}

TEST_F(NotesClientTestBase, KeyFileNameIsJoinedToTheDataDirectoryOnlyWithoutADirectory) {
    struct Case {
        std::string key;
        std::string expected;
    };
    const Case cases[] = {
        {"alee.id", (notes.inst.dataDir / "alee.id").string()},
        {notes.annId.string(), notes.annId.string()},
        {"a.i", ""},  // three characters or fewer: ignored
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        setIniValue(notes.inst.iniPath, "KeyFilename", c.key);
        CNotesClient client;
        ASSERT_EQ(client.Initialize(nullptr), 0);
        EXPECT_EQ(client.idFile(), c.expected);
    }
}

TEST_F(NotesClientTestBase, LogonWithAnIdFileUsesAWorkingCopyOfNotesIni) {
    const fs::path work = notes.home.path() / "work";
    fs::create_directories(work);
    fs::path copy;
    {
        CNotesClient client;
        const NotesLogonInfo info{work.string(), notes.boId.string(), "bo-secret"};
        ASSERT_EQ(client.Initialize(&info), 0);
        EXPECT_TRUE(client.flags() & CNotesClient::kUserKnown);
        EXPECT_EQ(client.userName(), "Bo Kim");
        copy = client.workingIni();
        EXPECT_EQ(fs::path(copy), work / "notes.ini");
        // The switch went into the copy, not the installation's file.
        EXPECT_EQ(iniValue(copy, "KeyFilename"), notes.boId.string());
        EXPECT_EQ(iniValue(notes.inst.iniPath, "KeyFilename"), notes.annId.string());
    }
    EXPECT_FALSE(fs::exists(copy));

    struct Case {
        const char* what;
        NotesLogonInfo info;
        int result;
        bool userKnown;
    };
    const Case cases[] = {
        {"wrong password: started without a user", {work.string(), notes.boId.string(), "nope"}, 0, false},
        {"a path naming notes.ini", {(work / "NOTES.INI").string(), notes.annId.string(), "ann-secret"}, 0, true},
        {"empty password", {work.string(), notes.boId.string(), ""}, 6, false},
        {"copy impossible", {(notes.home.path() / "missing/dir").string(), notes.boId.string(), "bo-secret"}, 4, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CNotesClient client;
        EXPECT_EQ(client.Initialize(&c.info), c.result);
        EXPECT_EQ((client.flags() & CNotesClient::kUserKnown) != 0, c.userKnown);
    }
}

TEST_F(NotesClientTestBase, SwitchIdFileRefusesBadPairsAndMissingCopies) {
    const NotesLogonInfo bo{platform::windowsDir().string(), notes.boId.string(), "bo-secret"};
    fs::create_directories(platform::windowsDir());
    CNotesClient client;
    EXPECT_EQ(client.SwitchIdFile(bo), 3);  // not started
    ASSERT_EQ(client.Initialize(nullptr), 0);
    struct Case {
        const char* what;
        NotesLogonInfo info;
        int result;
    };
    const Case cases[] = {
        {"empty ID file", {bo.notesDirectory, "", "bo-secret"}, 6},
        {"refused pair", {bo.notesDirectory, notes.boId.string(), "ann-secret"}, 7},
        {"no such ID file", {bo.notesDirectory, (notes.home.path() / "x.id").string(), "bo-secret"}, 7},
        {"copy impossible", {(notes.home.path() / "nowhere/at/all").string(), notes.boId.string(), "bo-secret"}, 4},
        {"accepted", bo, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(client.SwitchIdFile(c.info), c.result);
    }
    EXPECT_EQ(client.fullUserName(), "CN=Bo Kim/O=Tess");
    EXPECT_EQ(client.password(), "bo-secret");
    EXPECT_TRUE(fs::exists(platform::windowsDir() / "notes.ini"));
    CString common;
    ASSERT_EQ(client.GetCommonName("CN=Cy Dee/OU=Ops/O=Tess", &common), 1);
    EXPECT_STREQ(common.GetString(), "Cy Dee");
}

TEST_F(NotesClientTestBase, LibraryWithoutAnEntryPointIsRefused) {
    // A program directory whose library lacks DNParse, and one without a library.
    const fs::path partial = notes.home.path() / "partial";
    fs::create_directories(partial);
    fs::copy_file(notes.inst.iniPath, partial / "notes.ini");
    fs::create_symlink(libDir() / "libnnotes_partial.so", partial / "nnotes.dll");
    setPath("SOFTWARE\\Lotus\\Notes\\6.0", partial.string());
    CNotesClient client;
    EXPECT_EQ(client.Initialize(nullptr), 2);
    EXPECT_FALSE(client.flags() & CNotesClient::kLibrary);
    fs::remove(partial / "nnotes.dll");
    CNotesClient noLibrary;
    EXPECT_EQ(noLibrary.Initialize(nullptr), 2);
}

class NotesBrowseTest : public NotesClientTestBase {
protected:
    NotesBrowseTest() : language("LKSYNCLANG.DLL", nullptr), scoped(dialogs) {}
    CLanguageModule language;
    platform::ui::ScriptedFormDialogs dialogs;
    platform::ui::ScopedFormDialogs scoped;
};

TEST_F(NotesBrowseTest, BrowseShowsTheFileDialogThenValidatesThePair) {
    CNotesClient client;
    ASSERT_EQ(client.Initialize(nullptr), 0);
    dialogs.answerFile(IDOK, notes.boId.string());
    dialogs.answerCredentials(IDOK, notes.boId.string(), "bo-secret");
    CString id, password;
    int result = -1;
    ASSERT_EQ(client.BrowseForIdFile(nullptr, &id, &password, &result), 1);
    EXPECT_EQ(result, IDOK);
    EXPECT_STREQ(id.GetString(), notes.boId.c_str());
    EXPECT_STREQ(password.GetString(), "bo-secret");
    ASSERT_EQ(dialogs.fileRequests().size(), 1u);
    const auto request = dialogs.fileRequests()[0];
    EXPECT_EQ(request.title, "Locate Your Lotus Notes ID");
    EXPECT_EQ(request.filter, "Lotus Notes ID (*.id)|*.id|");
    EXPECT_EQ(fs::path(request.startDirectory), notes.inst.dataDir);
    EXPECT_TRUE(request.mustExist);
    ASSERT_EQ(dialogs.forms().size(), 1u);
    const auto form = dialogs.forms()[0];
    EXPECT_EQ(form.caption, "Lotus Notes ID File Validator");
    EXPECT_EQ(form.idFile, notes.boId.string());  // the chosen file is filled in
    EXPECT_EQ(form.ok.text, "Validate");
    EXPECT_EQ(form.idLabel.text, "Lotus Notes ID:");
    EXPECT_EQ(form.passwordEdit, 1071);

    // A refused pair, a cancelled file dialog, a cancelled ID dialog.
    dialogs.answerFile(IDOK, notes.boId.string());
    dialogs.answerCredentials(IDOK, notes.boId.string(), "wrong");
    EXPECT_EQ(client.BrowseForIdFile(nullptr, &id, &password, &result), 7);
    EXPECT_EQ(result, IDOK);
    dialogs.answerFile(IDCANCEL);
    EXPECT_EQ(client.BrowseForIdFile(nullptr, &id, &password, &result), 0);
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(dialogs.forms().size(), 2u);  // no ID dialog after a cancelled file dialog
    dialogs.answerFile(IDOK, notes.boId.string());
    dialogs.answerCredentials(IDCANCEL);
    EXPECT_EQ(client.BrowseForIdFile(nullptr, &id, &password, &result), 0);
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_TRUE(dialogs.problems().empty());
}

TEST_F(NotesBrowseTest, WithoutADisplayBrowsingIsCancelled) {
    platform::ui::HeadlessFormDialogs headless;
    platform::ui::ScopedFormDialogs noDisplay(headless);
    CNotesClient client;
    ASSERT_EQ(client.Initialize(nullptr), 0);
    CString id, password;
    int result = -1;
    EXPECT_EQ(client.BrowseForIdFile(nullptr, &id, &password, &result), 0);
    EXPECT_EQ(result, IDCANCEL);
    CNotesClient notStarted;
    EXPECT_EQ(notStarted.BrowseForIdFile(nullptr, &id, &password, &result), 0);
}

TEST_F(NotesBrowseTest, PasswordDialogValidatesWithItsOwnClient) {
    struct Case {
        const char* what;
        int answer;
        const char* password;
        int end;
        bool validated;
    };
    const Case cases[] = {
        {"right password", IDOK, "ann-secret", IDOK, true},
        {"wrong password ends with OK, not validated", IDOK, "bo-secret", IDOK, false},
        {"cancel", IDCANCEL, "", IDCANCEL, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        dialogs.answerCredentials(c.answer, notes.annId.string(), c.password);
        CNotesPasswordDlg dialog(notes.annId.string(), nullptr);
        EXPECT_EQ(dialog.DoModal(), c.end);
        EXPECT_EQ(dialog.validated(), c.validated);
    }
    // The dialog's check leaves no working notes.ini behind in the Windows directory.
    EXPECT_FALSE(fs::exists(platform::windowsDir() / "notes.ini"));
}

}  // namespace
}  // namespace tess::test
