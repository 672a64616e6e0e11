// The translator plug-in manager over a private registry, with a plug-in library and a
// registered translator class built for the tests.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "datamgr/ledgerly_translator.h"
#include "platform/core/registry.h"
#include "platform/core/runtime.h"
#include "tests/support/test_home.h"
#include "translate/manager/hollowmere.h"
#include "translate/manager/plugin_store.h"

namespace tess::translate::manager::test {

using tess::datamgr::CAttachmentTranslator;

using platform::mfc::CAutoDeleteList;
using platform::mfc::CString;

using tess::test::TempHome;
using tess::test::libDir;

namespace {

constexpr const char* kClassId = "{6A0B7C2E-1D3F-4A5B-9C8D-7E6F5A4B3C2D}";
constexpr int kUser = 42;

std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

// The registry refuses every write of the named values (SQL list of lower-case names)
// while this lives, as a full disk or a locked store would.
class RefusedWrites {
public:
    explicit RefusedWrites(const std::string& names) {
        translate::manager::Store().Lists();  // the registry's tables exist from its first use
        for (const char* event : {"INSERT", "UPDATE"})
            exec(std::string("CREATE TRIGGER refuse_") + event + " BEFORE " + event +
                 " ON reg_values WHEN NEW.lname IN (" + names + ") BEGIN SELECT RAISE(ABORT, 'refused'); END;");
    }
    ~RefusedWrites() { exec("DROP TRIGGER refuse_INSERT; DROP TRIGGER refuse_UPDATE;"); }

private:
    static void exec(const std::string& sql) {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open((platform::runtimeRoot() / "registry.db").c_str(), &db), SQLITE_OK);
        sqlite3_busy_timeout(db, 15000);
        EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
        sqlite3_close(db);
    }
};

// Component, ConvertFrom and ConvertTo of a plug-in as the manager sees them.
std::vector<std::string> Registration(const char* plugin) {
    auto& store = translate::manager::Store();
    return {store.Text(plugin, "Component"), store.Text(plugin, "ConvertFrom"), store.Text(plugin, "ConvertTo")};
}

class Translators : public ::testing::Test {
protected:
    void SetUp() override {
        home_.emplace();
        translate::manager::Store().ClearCache();
    }
    void TearDown() override {
        translate::manager::Store().ClearCache();
        home_.reset();
    }

    static int install(const char* name, const char* component, const char* from, const char* to) {
        TranslatorInstallRecord r{1, name, name, component, from, to, "Maker"};
        return InstallPlugin(&r);
    }
    void registerClass(const char* progId) {
        setDefault((std::string(progId) + "\\CLSID").c_str(), kClassId);
        setDefault((std::string("CLSID\\") + kClassId + "\\InprocServer32").c_str(),
                   (libDir() / "libTestTranslator.so").string());
    }
    static void setDefault(const char* key, const std::string& text) {
        HKEY k = nullptr;
        ASSERT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, key, &k), ERROR_SUCCESS);
        RegSetValueExA(k, nullptr, 0, REG_SZ, reinterpret_cast<const unsigned char*>(text.c_str()),
                       static_cast<DWORD>(text.size() + 1));
        RegCloseKey(k);
    }
    std::string file(const char* name, const std::string& text) {
        const auto p = home_->path() / name;
        std::ofstream(p, std::ios::binary) << text;
        return p.string();
    }
    std::vector<std::pair<std::string, std::string>> userMap() {
        CAutoDeleteList<ExtensionPluginPair> list;
        lastLoad = _LoadUserPluginConfiguration(kUser, &list);
        std::vector<std::pair<std::string, std::string>> out;
        for (const ExtensionPluginPair* p : list) out.emplace_back(p->extension.str(), p->plugin.str());
        return out;
    }

    std::optional<TempHome> home_;
    int lastLoad = 0;
};

TEST_F(Translators, InstallAndSettings) {
    EXPECT_EQ(install("Docs", "Docs.dll", "doc,rtf", "pdb"), 1);  // two sources, one target
    EXPECT_EQ(install("Docs", "", "doc", "pdb"), 1);
    uint32_t number = 0;
    char text[32] = {};
    int textSize = 31;
    PluginSettingRecord get{"Docs", "ConvertFrom", 0, &number, text, &textSize};
    EXPECT_EQ(GetPluginSetting(&get), 5);  // nothing was written

    ASSERT_EQ(install("Docs", "Docs.dll", "doc,rtf", "pdb,txt"), 0);
    EXPECT_EQ(GetPluginSetting(&get), 0);
    EXPECT_STREQ(text, "doc,rtf");
    get.name = "Version";
    EXPECT_EQ(GetPluginSetting(&get), 0);
    EXPECT_EQ(get.type, 4);
    EXPECT_EQ(number, 1u);

    // The capacity counts without the terminator.
    uint32_t dword = 7;
    PluginSettingRecord add{"Docs", "Quality", 1, nullptr, const_cast<char*>("0123456789"), nullptr};
    ASSERT_EQ(AddPluginSetting(&add), 0);
    char ten[11];
    int capacity = 9;
    PluginSettingRecord read{"Docs", "Quality", 0, &number, ten, &capacity};
    EXPECT_EQ(GetPluginSetting(&read), 6);
    capacity = 10;
    EXPECT_EQ(GetPluginSetting(&read), 0);
    EXPECT_STREQ(ten, "0123456789");
    EXPECT_EQ(capacity, 10);
    PluginSettingRecord addNumber{"Docs", "Pages", 4, &dword, nullptr, nullptr};
    ASSERT_EQ(AddPluginSetting(&addNumber), 0);

    // Reserved names stay; a deleted setting is gone from the cache too.
    PluginSettingRecord del{"Docs", "Display", 0, nullptr, nullptr, nullptr};
    EXPECT_EQ(DeletePluginSetting(&del), 3);
    del.name = "Quality";
    EXPECT_EQ(DeletePluginSetting(&del), 0);
    EXPECT_EQ(GetPluginSetting(&read), 5);
    EXPECT_EQ(DeletePluginSetting(&del), 3);

    EXPECT_EQ(UnInstallPlugin(""), 1);
    EXPECT_EQ(UnInstallPlugin("Docs"), 0);
    get.name = "ConvertFrom";
    EXPECT_EQ(GetPluginSetting(&get), 5);
    EXPECT_EQ(UnInstallPlugin("Docs"), 7);
}

TEST_F(Translators, FailedWritesLeaveTheRegistrationAsItWas) {
    ASSERT_EQ(install("Docs", "Docs.dll", "doc,rtf", "pdb,txt"), 0);
    {
        RefusedWrites refused("'convertto', 'quality'");
        EXPECT_EQ(install("Docs", "Docs2.dll", "doc,rtf,wri", "pdb,txt,txt"), 2);
        EXPECT_EQ(install("Fresh", "Fresh.dll", "wri", "txt"), 2);
        PluginSettingRecord add{"Docs", "Quality", 1, nullptr, const_cast<char*>("high"), nullptr};
        EXPECT_EQ(AddPluginSetting(&add), 2);
        EXPECT_EQ(translate::manager::Store().GetValue("Docs", "Quality"), nullptr);
    }
    for (const bool reloaded : {false, true}) {
        if (reloaded) translate::manager::Store().ClearCache();
        EXPECT_EQ(Registration("Docs"), (std::vector<std::string>{"Docs.dll", "doc,rtf", "pdb,txt"})) << reloaded;
        EXPECT_EQ(translate::manager::Store().Find("Fresh"), nullptr) << reloaded;
    }
    EXPECT_EQ(install("Docs", "Docs2.dll", "doc,rtf,wri", "pdb,txt,txt"), 0);
    EXPECT_EQ(Registration("Docs"), (std::vector<std::string>{"Docs2.dll", "doc,rtf,wri", "pdb,txt,txt"}));
}

TEST_F(Translators, DefaultTableWrittenWholeAfterARefusedRow) {
    const auto supported = [] {
        std::vector<int> out;
        for (const char* e : {"doc", "pdf", "jpg"}) out.push_back(_ClientSupportsFormat(e));
        return out;
    };
    CAutoDeleteList<ExtensionChoice> choices;
    {
        RefusedWrites refused("'pdf'");
        ASSERT_EQ(_LoadUIPluginSettings(kUser, &choices), 8);
        EXPECT_EQ(supported(), (std::vector<int>{1, 0, 1}));
    }
    choices.RemoveAll();
    ASSERT_EQ(_LoadUIPluginSettings(kUser, &choices), 8);
    EXPECT_EQ(supported(), (std::vector<int>{1, 1, 1}));
}

TEST_F(Translators, SettingsFollowTheRegistry) {
    ASSERT_EQ(install("Docs", "Docs.dll", "doc,rtf", "pdb,txt"), 0);
    PluginSettingRecord add{"Docs", "Quality", 1, nullptr, const_cast<char*>("high"), nullptr};
    ASSERT_EQ(AddPluginSetting(&add), 0);
    // Value names ignore letter case, so no spelling of a registration value deletes it.
    struct Case {
        const char* name;
        int expected;
    };
    for (const Case& c : {Case{"Display", 3}, Case{"component", 3}, Case{"CONVERTTO", 3}, Case{"version", 3},
                          Case{"quality", 0}, Case{"Quality", 3}}) {
        PluginSettingRecord del{"Docs", c.name, 0, nullptr, nullptr, nullptr};
        EXPECT_EQ(DeletePluginSetting(&del), c.expected) << c.name;
    }
    translate::manager::Store().ClearCache();
    EXPECT_EQ(Registration("Docs"), (std::vector<std::string>{"Docs.dll", "doc,rtf", "pdb,txt"}));

    // A long plug-in name hides none of the plug-ins listed after it.
    const std::string longName(200, 'L');
    ASSERT_EQ(install(longName.c_str(), "Long.dll", "wri", "txt"), 0);
    ASSERT_EQ(install("After", "After.dll", "wri", "txt"), 0);
    translate::manager::Store().ClearCache();
    EXPECT_EQ(Registration(longName.c_str()), (std::vector<std::string>{"Long.dll", "wri", "txt"}));
    EXPECT_EQ(Registration("After"), (std::vector<std::string>{"After.dll", "wri", "txt"}));

    // A long text comes back whole from the registry.
    const std::string longText(3000, 'x');
    PluginSettingRecord addLong{"Docs", "Notes", 1, nullptr, const_cast<char*>(longText.c_str()), nullptr};
    ASSERT_EQ(AddPluginSetting(&addLong), 0);
    translate::manager::Store().ClearCache();
    uint32_t number = 0;
    std::string buffer(4000, '\0');
    int capacity = 3999;
    PluginSettingRecord get{"Docs", "Notes", 0, &number, buffer.data(), &capacity};
    ASSERT_EQ(GetPluginSetting(&get), 0);
    EXPECT_EQ(capacity, 3000);
    EXPECT_EQ(std::string(buffer.c_str()), longText);

    // Deleted in the registry by someone else: gone from the cache once the manager finds out.
    const std::string key = "Software\\Harrow Systems\\Skiff Desktop\\Larkspur\\ApplicationPlugins\\Docs";
    HKEY k = nullptr;
    ASSERT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, key.c_str(), &k), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteValueA(k, "Notes"), ERROR_SUCCESS);
    RegCloseKey(k);
    PluginSettingRecord del{"Docs", "Notes", 0, nullptr, nullptr, nullptr};
    EXPECT_EQ(DeletePluginSetting(&del), 3);
    EXPECT_EQ(GetPluginSetting(&get), 5);
    ASSERT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str()), ERROR_SUCCESS);
    EXPECT_EQ(UnInstallPlugin("Docs"), 7);
    CString out;
    int calls = 0;
    EXPECT_EQ(_TranslateFile("Docs", "in.doc", &out, &calls, 1), 4);  // no Component any more
}

TEST_F(Translators, ExtensionTableAndWholeTokens) {
    CAutoDeleteList<ExtensionChoice> choices;
    ASSERT_EQ(install("Web", "Web.dll", "html", "hweb"), 0);
    ASSERT_EQ(_LoadUIPluginSettings(kUser, &choices), 8);  // writes the default table
    std::vector<std::string> labels;
    for (const ExtensionChoice* c : choices) labels.push_back(c->label.str());
    EXPECT_EQ(labels,
              (std::vector<std::string>{"Microsoft Word (*.doc)", "Microsoft Excel (*.xls | *.xlt)",
                                        "Power Point Presentation (*.ppt)", "Web Page (*.html | *.htm)",
                                        "Adobe Acrobat (*.pdf)", "Compressed File (*.zip)", "Sound File (*.wav)",
                                        "GIF Image (*.gif)", "Bitmap Image (*.bmp)", "JPG Image (*.jpeg | *.jpg)"}));
    const ExtensionChoice* web = nullptr;
    for (const ExtensionChoice* c : choices)
        if (c->extensions == CString("html|htm")) web = c;
    ASSERT_NE(web, nullptr);
    ASSERT_EQ(web->choices.GetSize(), 1);
    EXPECT_EQ(web->choices.GetAt(0), CString("Web,Web"));

    struct Case {
        const char* extension;
        int supported;
    };
    for (const Case& c : {Case{"htm", 1}, Case{"HTML", 1}, Case{"ht", 0}, Case{"docx", 0}, Case{"xlt", 1}, Case{"", 0}})
        EXPECT_EQ(_ClientSupportsFormat(c.extension), c.supported) << c.extension;
    EXPECT_EQ(AddExtensionSupport("DOCX", "Word 2007"), 0);
    EXPECT_EQ(AddExtensionSupport("docx", "again"), 2);
    EXPECT_EQ(_ClientSupportsFormat("docx"), 1);

    // A display name with a comma in it keeps the user's choice.
    TranslatorInstallRecord acme{1, "AcmePdf", "Acme, Inc.", "Acme.dll", "pdf", "apdf", "Acme"};
    ASSERT_EQ(InstallPlugin(&acme), 0);
    ASSERT_EQ(_SetUserExtPlugin(kUser, "pdf", "AcmePdf"), 0);
    choices.RemoveAll();
    ASSERT_EQ(_LoadUIPluginSettings(kUser, &choices), 8);
    const ExtensionChoice* pdf = nullptr;
    for (const ExtensionChoice* c : choices)
        if (c->extensions == CString("pdf")) pdf = c;
    ASSERT_NE(pdf, nullptr);
    ASSERT_EQ(pdf->choices.GetSize(), 1);
    EXPECT_EQ(pdf->choices.GetAt(0), CString("Acme, Inc.,AcmePdf"));
    EXPECT_EQ(pdf->chosen, CString("Acme, Inc."));
    ASSERT_NE(choices.GetTail(), nullptr);
    EXPECT_EQ(choices.GetTail()->label, CString("Word 2007 (*.DOCX)"));  // as the extension was given
    translate::manager::Store().ClearCache();
    EXPECT_NE(translate::manager::Store().GetValue(std::to_string(kUser), "pdf"), nullptr);

    EXPECT_EQ(_IsOriginalFormat("Web", "hweb"), 0);
    EXPECT_NE(_IsOriginalFormat("Web", "hwe"), 0);  // not a whole item
    EXPECT_NE(_IsOriginalFormat("Web", "html"), 0);
}

TEST_F(Translators, UserMapFromChoices) {
    EXPECT_EQ(userMap().size(), 0u);
    EXPECT_EQ(lastLoad, 5);  // the user key is made now
    CAutoDeleteList<ExtensionChoice> choices;
    ASSERT_EQ(_LoadUIPluginSettings(kUser, &choices), 8);
    ASSERT_EQ(install("Docs", "Docs.dll", "doc,rtf", "pdb,txt"), 0);
    ASSERT_EQ(install("Web", "Web.dll", "html", "hweb"), 0);

    ASSERT_EQ(_SetUserExtPlugin(kUser, "rtf", "Docs"), 0);
    EXPECT_EQ(userMap(), (std::vector<std::pair<std::string, std::string>>{{"txt", "Docs"}}));
    EXPECT_EQ(lastLoad, 8);

    ASSERT_EQ(_DeleteUserExtPlugin(kUser, "rtf"), 0);
    ASSERT_EQ(_SetUserExtPlugin(kUser, "doc", "Docs"), 0);
    EXPECT_EQ(userMap(), (std::vector<std::pair<std::string, std::string>>{{"pdb", "Docs"}, {"doc", "Docs"}}));

    // "htm" is not "html": the choice is dropped, in the registry too.
    ASSERT_EQ(_SetUserExtPlugin(kUser, "htm", "Web"), 0);
    EXPECT_EQ(userMap(), (std::vector<std::pair<std::string, std::string>>{{"pdb", "Docs"}, {"doc", "Docs"}}));
    translate::manager::Store().ClearCache();
    EXPECT_EQ(translate::manager::Store().GetValue(std::to_string(kUser), "htm"), nullptr);

    // Blanks after the commas are not part of the extensions.
    ASSERT_EQ(install("Spaced", "Spaced.dll", "wri, rtf", "pdb, txt"), 0);
    ASSERT_EQ(_SetUserExtPlugin(kUser, "rtf", "Spaced"), 0);
    EXPECT_EQ(userMap(),
              (std::vector<std::pair<std::string, std::string>>{{"pdb", "Docs"}, {"doc", "Docs"}, {"txt", "Spaced"}}));

    // A user key with choices but no "Created": dated today, nothing loaded yet.
    CAutoDeleteList<ExtensionPluginPair> list;
    ASSERT_EQ(_SetUserExtPlugin(kUser + 2, "doc", "Docs"), 0);
    EXPECT_EQ(_LoadUserPluginConfiguration(kUser + 2, &list), 5);
    EXPECT_TRUE(list.IsEmpty());
    const std::time_t now = std::time(nullptr);
    char today[16];
    std::strftime(today, sizeof today, "%m/%d/%Y", std::localtime(&now));
    EXPECT_EQ(translate::manager::Store().Text(std::to_string(kUser + 2), "Created"), today);
    EXPECT_EQ(_LoadUserPluginConfiguration(kUser + 2, &list), 8);

    EXPECT_EQ(_DeleteUserExtPlugin(kUser + 1, "doc"), 5);  // no such user key
    EXPECT_EQ(_DeleteUserExtPlugin(0, "doc"), 3);
    EXPECT_EQ(_SetUserExtPlugin(kUser, "", "Docs"), 3);
}

TEST_F(Translators, TranslateThroughLibraryAndClassBothWays) {
    ASSERT_EQ(install("Lib", "TestTranslator.DLL", "txt", "hh"), 0);  // capitals: still a library
    ASSERT_EQ(install("Cls", "Tess.TestTranslator", "txt", "hh"), 0);
    registerClass("Tess.TestTranslator");
    const std::string input = file("note.txt", "Hello World");
    int calls = 0;

    // The library counts a call by one, the class by a hundred.
    struct Route {
        const char* plugin;
        int fromOriginal;
        const char* suffix;
        const char* text;
        int calls;
    };
    CString out;
    for (const Route& r :
         {Route{"Lib", 1, ".hh", "HELLO WORLD", 1}, Route{"Lib", 0, ".desk", "hello world", 1},
          Route{"Cls", 1, ".class-hh", "HELLO WORLD", 100}, Route{"Cls", 0, ".class-desk", "hello world", 100}}) {
        calls = 0;
        ASSERT_EQ(_TranslateFile(r.plugin, input.c_str(), &out, &calls, r.fromOriginal), 0)
            << r.plugin << r.fromOriginal;
        EXPECT_EQ(out.str(), input + r.suffix);
        EXPECT_EQ(ReadFile(out.str()), r.text);
        EXPECT_EQ(calls, r.calls);
    }

    ASSERT_EQ(install("Gone", "NoSuchTranslator.dll", "txt", "hh"), 0);
    ASSERT_EQ(install("NoClass", "Tess.Unregistered", "txt", "hh"), 0);
    struct Case {
        const char* plugin;
        const char* input;
        void* context;
        int expected;
    };
    const std::string missing = (home_->path() / "missing.txt").string();
    for (const Case& c : {Case{"Lib", input.c_str(), nullptr, 1}, Case{nullptr, input.c_str(), &calls, 1},
                          Case{"Unknown", input.c_str(), &calls, 4}, Case{"Gone", input.c_str(), &calls, 8},
                          Case{"NoClass", input.c_str(), &calls, 8}, Case{"Lib", missing.c_str(), &calls, 4},
                          Case{"Cls", missing.c_str(), &calls, 4}})
        EXPECT_EQ(_TranslateFile(c.plugin, c.input, &out, c.context, 1), c.expected) << (c.plugin ? c.plugin : "-");
}

TEST_F(Translators, AttachmentTranslatorChoosesAndFallsBack) {
    // Without a usable configuration nothing is ever translated.
    CString name;
    {
        CAttachmentTranslator none(kUser);
        EXPECT_FALSE(none.usable());
        EXPECT_EQ(none.SelectPlugin(file("a.txt", "x").c_str(), 0, name), 0);
    }
    ASSERT_EQ(AddExtensionSupport("txt", "Text"), 0);
    ASSERT_EQ(install("Broken", "NoSuchTranslator.dll", "txt", "hh"), 0);
    ASSERT_EQ(install("Lib", "TestTranslator.DLL", "txt", "hh"), 0);
    ASSERT_EQ(_SetUserExtPlugin(kUser, "txt", "Lib"), 0);

    CAttachmentTranslator translator(kUser);
    ASSERT_TRUE(translator.usable());
    int calls = 0;
    CString out;
    EXPECT_EQ(translator.SelectPlugin((home_->path() / "README").string().c_str(), 0, name), 0);  // no extension
    ASSERT_EQ(translator.SelectPlugin(file("b.TXT", "Mixed Case").c_str(), 0, name), 1);
    EXPECT_EQ(name.str(), "Lib");
    ASSERT_EQ(translator.Translate(out, &calls), 1);
    EXPECT_EQ(ReadFile(out.str()), "MIXED CASE");
    // A selection that fails leaves nothing of the one before to translate.
    EXPECT_EQ(translator.SelectPlugin(nullptr, 0, name), 0);
    EXPECT_EQ(translator.Translate(out, &calls), 0);
    // The original format goes only toward the handheld.
    ASSERT_EQ(translator.SelectPlugin(file("c.txt", "x").c_str(), 1, name), 1);
    EXPECT_EQ(translator.Translate(out, &calls), 0);

    // A handheld file mapped to two plug-ins: the second is tried when the first fails.
    ASSERT_EQ(install("Lib2", "TestTranslator.DLL", "text", "hh"), 0);
    ASSERT_EQ(_SetUserExtPlugin(kUser, "txt", "Broken"), 0);
    ASSERT_EQ(_SetUserExtPlugin(kUser, "text", "Lib2"), 0);
    CAttachmentTranslator both(kUser);
    ASSERT_TRUE(both.usable());
    const std::string handheldFile = file("d.hh", "Back Home");
    ASSERT_EQ(both.SelectPlugin(handheldFile.c_str(), 1, name), 1);
    EXPECT_EQ(name.str(), "Broken");
    calls = 0;
    ASSERT_EQ(both.Translate(out, &calls), 1);
    EXPECT_EQ(ReadFile(out.str()), "back home");
    EXPECT_EQ(calls, 1);
    // The extension's letter case does not matter on the way back either.
    ASSERT_EQ(both.SelectPlugin(file("e.HH", "Loud").c_str(), 1, name), 1);
    ASSERT_EQ(both.Translate(out, &calls), 1);
    EXPECT_EQ(ReadFile(out.str()), "loud");
}

}  // namespace
}  // namespace tess::translate::manager::test
