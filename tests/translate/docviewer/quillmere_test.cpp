// The document translator against stand-ins of the viewer's library, one per version,
// found through the registry as an installed viewer would be.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/core/registry.h"
#include "platform/ui/ui_service.h"
#include "platform/ui/window_messages.h"
#include "tests/support/test_home.h"
#include "translate/docviewer/quillmere.h"
#include "translate/manager/hollowmere.h"

namespace tess::translate::docviewer::test {

using platform::mfc::CString;

using tess::test::TempHome;

namespace {

namespace fs = std::filesystem;

constexpr const char* kAppPaths = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\LeafCarry.exe";
constexpr const char* kDesktopKey = "Software\\Harrow Systems\\Skiff Desktop\\ApplicationLEAF";

std::string ReadFile(const fs::path& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

// The folder holding the viewer library of that version ("4-0-5-301").
fs::path ViewerFolder(const std::string& tag) { return fs::path(std::getenv("VIEWER_DOUBLES")) / ("viewer-" + tag); }

void SetText(HKEY hive, const char* path, const char* value, const std::string& text) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyA(hive, path, &key), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, value, 0, REG_SZ, reinterpret_cast<const unsigned char*>(text.c_str()),
                             static_cast<DWORD>(text.size() + 1)),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

class DocumentTranslator : public ::testing::Test {
protected:
    void SetUp() override {
        home_.emplace();
        const char* tmp = std::getenv("TMPDIR");
        if (tmp) previousTmp_ = tmp;
        setenv("TMPDIR", home_->path().c_str(), 1);
        startFolder_ = fs::current_path();
    }
    void TearDown() override {
        if (previousTmp_)
            setenv("TMPDIR", previousTmp_->c_str(), 1);
        else
            unsetenv("TMPDIR");
        home_.reset();
    }

    void installViewer(const std::string& tag) {
        SetText(HKEY_LOCAL_MACHINE, kAppPaths, nullptr, (ViewerFolder(tag) / "LeafCarry.exe").string());
    }
    std::string source(const std::string& name) {
        const fs::path p = home_->path() / name;
        std::ofstream(p) << "document\n";
        return p.string();
    }
    std::vector<std::string> calls() {
        std::vector<std::string> lines;
        std::istringstream in(ReadFile(home_->path() / "viewer.log"));
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
    bool called(const std::string& prefix) {
        for (const std::string& line : calls())
            if (line.rfind(prefix, 0) == 0) return true;
        return false;
    }
    // Translates and checks the folder the caller had is current again.
    int translate(const std::string& path, char* output) {
        const int rc = TranslateFromOriginal(path.c_str(), output, nullptr);
        EXPECT_EQ(fs::current_path(), startFolder_);
        return rc;
    }

    std::optional<TempHome> home_;
    std::optional<std::string> previousTmp_;
    fs::path startFolder_;
    platform::ui::ScriptedUi ui_;
    platform::ui::ScopedUi scoped_{ui_};
};

TEST_F(DocumentTranslator, VersionsAndKinds) {
    struct Case {
        const char* tag;
        const char* file;
        int result;
        const char* content;  // the handheld file; null when none is made
    } cases[] = {
        {"4-0-0-283", "report.doc", 4, nullptr},
        {"4-0-0-284", "report.doc", 0, "size=592 creator=LCVR version=04000000 title=report app=Larkspur flags=0\n"},
        {"5-0-0-0", "report.doc", 0, "size=592 creator=LCVR version=05000000 title=report app=Larkspur flags=0\n"},
        {"4-1-0-300", "slides.ppt", 0, "size=592 creator=LCSH version=04010000 title=slides app=Larkspur flags=0\n"},
        {"4-0-5-301", "sheet.xls", 0, "size=592 creator=LCVB version=04000000 title=sheet app=Larkspur flags=0\n"},
        {"4-0-5-301", "slides.ppt", 0, "size=592 creator=LCSH version=04000000 title=slides app=Larkspur flags=0\n"},
        {"4-0-5-301", "picture.bmp", 0, "size=592 creator=PZGR version=04000000 title=picture app=Larkspur flags=0\n"},
        {"4-0-5-301", "notes.txt", 0, "size=592 creator=---- version=04000000 title= app= flags=0\n"},
        {"4-0-5-301", "archive.zip", 5, nullptr},  // the viewer cannot show it
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.tag) + " " + c.file);
        installViewer(c.tag);
        char output[260] = {};
        EXPECT_EQ(translate(source(c.file), output), c.result);
        const fs::path expected = home_->path() / fs::path(c.file).replace_extension("pdb");
        if (c.result == 4) {
            EXPECT_STREQ(output, "");
            EXPECT_FALSE(called("viewable"));
        } else {
            EXPECT_EQ(fs::path(output), expected);
        }
        if (c.content)
            EXPECT_EQ(ReadFile(expected), c.content);
        else
            EXPECT_FALSE(fs::exists(expected));
        EXPECT_FALSE(called("database"));  // these versions and kinds go to the viewer directly
        fs::remove(home_->path() / "viewer.log");
    }
    // Only the refused version brought up the box.
    const auto questions = ui_.questions();
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0].text,
              "The Larkspur Plug-In is incompatible with Leafcarry 4.001.  You must upgrade to Leafcarry 4.002.");
    EXPECT_EQ(questions[0].caption, "Compatibility Warning");
    EXPECT_EQ(questions[0].buttons, platform::ui::Buttons::Ok);
}

TEST_F(DocumentTranslator, OlderPresentationGoesThroughTheDatabase) {
    std::vector<unsigned> messages;
    HWND window = platform::ui::createMessageWindow(
        [&](unsigned message, WPARAM, LPARAM) -> LRESULT {
            messages.push_back(message);
            return 0;
        },
        "LeafCarry");
    installViewer("4-0-4-290");
    const std::string path = source("slides.ppt");
    char output[260] = {};
    ASSERT_EQ(translate(path, output), 0);
    EXPECT_EQ(ReadFile(output), "database source=" + path + "\n");
    EXPECT_FALSE(fs::exists(path + ".lcitem"));  // the viewer's working copy is gone
    EXPECT_EQ(calls(), (std::vector<std::string>{"viewable " + path, "database", "prepared", "open 2", "item list",
                                                 "add " + path, "read record", "write " + std::string(output),
                                                 "release item", "release list", "close", "release database"}));
    EXPECT_EQ(messages, (std::vector<unsigned>{0x465, 0x466}));
    platform::ui::destroyMessageWindow(window);
}

TEST_F(DocumentTranslator, DatabaseRouteUnprepared) {
    installViewer("4-0-4-290");
    const std::string path = source("drawing.bmp");
    std::ofstream(home_->path() / "unprepared") << "";
    char output[260] = {};
    ASSERT_EQ(translate(path, output), 0);
    const auto lines = calls();
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 2, lines.begin() + 5),
              (std::vector<std::string>{"needs preparing", "prepare start", "prepare finish"}));
    EXPECT_EQ(ReadFile(output), "database source=" + path + "\n");
}

// Whenever the database route writes nothing, the request goes to the viewer directly; a
// translation is never reported done without a handheld file.
TEST_F(DocumentTranslator, DatabaseRouteFallsBackToTheDirectCall) {
    constexpr LRESULT kNoWindow = -1;
    const std::string direct = "size=592 creator=PZGR version=04000000 title= app= flags=4\n";
    struct Case {
        const char* name;
        std::vector<const char*> controls;  // files that steer the viewer stand-in
        LRESULT busyAnswer;                 // the window's answer to 0x465
        int result;
        std::string content;  // the handheld file; empty when none is made
        std::vector<unsigned> messages;
    } cases[] = {
        // The viewer is using its database: left alone, but told that the translator is done.
        {"busy viewer", {}, 1, 0, direct, {0x465, 0x466}},
        {"no database object", {"no-database"}, kNoWindow, 0, direct, {}},
        // A throwing database: the request goes without the database flag.
        {"database throws",
         {"database-throws"},
         0,
         0,
         "size=592 creator=PZGR version=04000000 title= app= flags=0\n",
         {0x465, 0x466}},
        {"direct call throws", {"no-database", "translate-throws"}, kNoWindow, 5, "", {}},
    };
    installViewer("4-0-4-290");
    const std::string path = source("drawing.bmp");
    const fs::path expected = home_->path() / "drawing.pdb";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const char* control : c.controls) std::ofstream(home_->path() / control) << "";
        std::vector<unsigned> messages;
        HWND window = nullptr;
        if (c.busyAnswer != kNoWindow)
            window = platform::ui::createMessageWindow(
                [&](unsigned message, WPARAM, LPARAM) -> LRESULT {
                    messages.push_back(message);
                    return message == 0x465 ? c.busyAnswer : 0;
                },
                "LeafCarry");
        char output[260] = {};
        EXPECT_EQ(translate(path, output), c.result);
        EXPECT_EQ(fs::path(output), expected);
        if (c.content.empty())
            EXPECT_FALSE(fs::exists(expected));
        else
            EXPECT_EQ(ReadFile(expected), c.content);
        EXPECT_TRUE(called("database"));
        EXPECT_TRUE(called("translate " + path));
        EXPECT_EQ(messages, c.messages);
        if (c.busyAnswer == 1) {
            EXPECT_FALSE(called("open"));
        }
        // Whatever the route met, a database object the viewer lent is given back.
        const bool lent = std::find_if(c.controls.begin(), c.controls.end(), [](const char* control) {
                              return std::string(control) == "no-database";
                          }) == c.controls.end();
        EXPECT_EQ(called("release database"), lent);
        if (window) platform::ui::destroyMessageWindow(window);
        for (const char* control : c.controls) fs::remove(home_->path() / control);
        fs::remove(home_->path() / "viewer.log");
        fs::remove(expected);
    }
}

TEST_F(DocumentTranslator, LongNameCutToTheTitle) {
    installViewer("4-0-5-301");
    const std::string name(40, 'n');
    char output[260] = {};
    ASSERT_EQ(translate(source(name + ".doc"), output), 0);
    EXPECT_EQ(ReadFile(output),
              "size=592 creator=LCVR version=04000000 title=" + name.substr(0, 31) + " app=Larkspur flags=0\n");
}

TEST_F(DocumentTranslator, WhereTheViewerIsFound) {
    const std::string path = source("report.doc");
    char output[260] = {};
    EXPECT_EQ(translate(path, output), 0);  // nothing installed
    EXPECT_STREQ(output, "");
    EXPECT_FALSE(fs::exists(home_->path() / "viewer.log"));

    // The desktop's own entry names the viewer when the system's does not.
    SetText(HKEY_CURRENT_USER, kDesktopKey, "Conduit", (ViewerFolder("4-0-5-301") / "LeafCarry.exe").string());
    EXPECT_EQ(translate(path, output), 0);
    EXPECT_EQ(fs::path(output), home_->path() / "report.pdb");
    EXPECT_TRUE(fs::exists(output));

    // The system's entry wins; one that names a folder without the library fails.
    SetText(HKEY_LOCAL_MACHINE, kAppPaths, nullptr, (home_->path() / "LeafCarry.exe").string());
    EXPECT_EQ(translate(path, output), 5);
}

TEST_F(DocumentTranslator, PathsThatDoNotFit) {
    installViewer("4-0-5-301");
    char output[260] = {};
    EXPECT_EQ(TranslateFromOriginal(nullptr, output, nullptr), 5);
    EXPECT_EQ(TranslateFromOriginal(source("report.doc").c_str(), nullptr, nullptr), 5);
    // A source whose path would be cut in the request is refused before the viewer sees it.
    const std::string path = source(std::string(250, 'x') + ".doc");
    ASSERT_GE(path.size(), 260u);
    EXPECT_EQ(translate(path, output), 5);
    EXPECT_STREQ(output, "");
    EXPECT_FALSE(fs::exists(home_->path() / "viewer.log"));
}

TEST_F(DocumentTranslator, ThroughThePluginManager) {
    int version = 0;
    EXPECT_EQ(GetPlugInVersion(&version), 0);
    EXPECT_EQ(version, 1);
    const TranslatorInstallRecord record{
        1, "PrismaticaDLL", "Documents", "Quillmere.dll", "doc,xls,ppt", "pdb,pdb,pdb", "Maker"};
    ASSERT_EQ(InstallPlugin(&record), 0);
    const std::string path = source("report.doc");
    int context = 0;
    CString output;
    EXPECT_EQ(_TranslateFile("PrismaticaDLL", path.c_str(), &output, &context, 1), 4);  // no viewer: no file

    installViewer("4-0-5-301");
    ASSERT_EQ(_TranslateFile("PrismaticaDLL", path.c_str(), &output, &context, 1), 0);
    EXPECT_EQ(fs::path(output.str()), home_->path() / "report.pdb");
    EXPECT_EQ(_TranslateFile("PrismaticaDLL", output.str().c_str(), &output, &context, 0), 4);  // one way only
}

}  // namespace
}  // namespace tess::translate::docviewer::test
