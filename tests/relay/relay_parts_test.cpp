// The relay's building blocks on their own: the log's files and lines, the configuration
// wrapper's reload rule, the MAPI helpers, the recipient cleaning of the sending road.
#include "tests/relay/relay_test_support.h"

#include <filesystem>
#include <functional>

#include "platform/core/registry.h"
#include "platform/mapi/mail_client_registration.h"
#include "relay/default_client.h"
#include "relay/mapi_helpers.h"
#include "relay/plugin_manager.h"

namespace tess::relay::test {

using tess::relaycfg::RelayUserSettings;

using platform::mfc::CString;

using tess::test::TempHome;

namespace {

namespace fs = std::filesystem;

TEST(RelayLogDates, PreviousDayAndPruning) {
    struct Case {
        int y, m, d;
        const char* previous;
    } cases[] = {{2024, 3, 1, "2024.2.29"}, {2023, 3, 1, "2023.2.28"}, {2026, 1, 1, "2026.12.31"},
                 {2026, 5, 1, "2026.4.30"}, {2026, 8, 1, "2026.7.31"}, {2026, 6, 15, "2026.6.14"}};
    for (const Case& c : cases)
        EXPECT_EQ(relay::LogPreviousDateText(c.y, c.m, c.d), c.previous) << c.y << "-" << c.m << "-" << c.d;

    TempHome home;
    const fs::path dir = home.path() / "logs";
    fs::create_directories(dir);
    for (const char* name : {"Wayfarer.2024.2.29-1.log", "Wayfarer.2024.2.28-1.log", "Wayfarer.2024.3.1-2.log",
                             "Wayfarer.2023.1.5-1.log", "Wayfarer.log"})
        std::ofstream(dir / name) << "x";
    std::tm today{};
    today.tm_year = 2024 - 1900;
    today.tm_mon = 2;
    today.tm_mday = 1;
    relay::LogPrune(dir.string() + "/", today);
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(dir)) left.push_back(e.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"Wayfarer.2023.1.5-1.log", "Wayfarer.2024.2.29-1.log",
                                              "Wayfarer.2024.3.1-2.log", "Wayfarer.log"}));
}

TEST(RelayLogFile, EachRunBeginsAFreshFileAndLevelsHaveTheirPrefixes) {
    TempHome home;
    const std::string dir = home.path().string() + "/";
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    const std::string day = relay::LogDateText(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
    for (int run = 1; run <= 3; ++run) {
        ASSERT_EQ(relay::LogOpen(dir), relay::kLogBegun);
        EXPECT_EQ(relay::LogOpen(dir), relay::kLogAlreadyOpen);
        relay::LogSetOption(run == 3 ? 2 : 0);
        relay::LogWrite(relay::kLogWarning, "Hello");
        relay::LogWrite(relay::kLogTrace, "traced");
        relay::LogClose();
        relay::LogClose();
    }
    EXPECT_TRUE(fs::exists(dir + "Wayfarer." + day + "-1.log"));
    EXPECT_TRUE(fs::exists(dir + "Wayfarer." + day + "-2.log"));
    std::ifstream in(dir + "Wayfarer.log", std::ios::binary);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(all.rfind(std::string(85, '*') + "\r\nProgram Name         : ", 0), 0u);
    EXPECT_NE(all.find("Process ID           : "), std::string::npos);
    const size_t at = all.find(" Wayfarer Warning: Hello\r\n");
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(all.substr(at - 19 - 4, 4), "\r\n\r\n") << "one 19-character stamp after the header";
    EXPECT_NE(all.find(" Wayfarer: traced\r\n"), std::string::npos) << "trace with bit 1";
    std::ifstream second(dir + "Wayfarer." + day + "-2.log", std::ios::binary);
    std::string two((std::istreambuf_iterator<char>(second)), std::istreambuf_iterator<char>());
    EXPECT_EQ(two.find("traced"), std::string::npos) << "no trace without bit 1";
    relay::LogSetOption(0);
}

TEST(RelayLogFile, AnUnwritableDirectoryIsReportedNotFatal) {
    EXPECT_EQ(relay::LogOpen("/proc/no-such-dir/"), relay::kLogCannotCreate);
    relay::LogWrite(relay::kLogInformation, "dropped");  // the log is not open: nothing happens
}

TEST(RelayDefaultClient, OnlyTheMapiClientAsMailtoHandlerPasses) {
    TempHome home;
    EXPECT_FALSE(relay::IsOutlookDefaultMailClient()) << "no mailto key";
    auto setCommand = [](const std::string& command) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, "mailto\\shell\\open\\command", &key), ERROR_SUCCESS);
        RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const unsigned char*>(command.c_str()),
                       DWORD(command.size() + 1));
        RegCloseKey(key);
    };
    setCommand("/usr/bin/other-mailer %1");
    EXPECT_FALSE(relay::IsOutlookDefaultMailClient());
    setCommand("\"C:\\PROGRA~1\\OUTLOOK.EXE\" /m %1");
    EXPECT_TRUE(relay::IsOutlookDefaultMailClient()) << "compared in lower case";
    setCommand("/usr/bin/other-mailer %1");
    ASSERT_TRUE(
        platform::mapi::registerDefaultMailClient("/usr/bin/tallyhop"));  // what tallyhop init --mail-client does
    EXPECT_TRUE(relay::IsOutlookDefaultMailClient());
}

TEST(RelayPluginManager, ConfigurationPerUser) {
    TempHome home;
    const TranslatorInstallRecord viewer{1, "Quill Viewer", "Quill", "libQuillViewer.dll", "pdf", "txt", "Corvid"};
    ASSERT_EQ(InstallPlugin(&viewer), 0);
    relay::CPluginManager none(7);
    EXPECT_TRUE(none.NoPlugins());
    EXPECT_FALSE(none.IsExtensionHandled("pdf", false));
    EXPECT_TRUE(none.SetUserExtPlugin("pdf", "Quill Viewer"));
    EXPECT_FALSE(none.SetUserExtPlugin("pdf", "")) << "a refusal is no success";
    relay::CPluginManager some(7);
    EXPECT_FALSE(some.NoPlugins());
    // The configuration lists each choice by the extension the plug-in makes.
    EXPECT_TRUE(some.IsExtensionHandled("TXT", false));
    EXPECT_FALSE(some.IsExtensionHandled("doc", false));
    EXPECT_FALSE(some.IsExtensionHandled("txt", true)) << "no handheld format is registered";
    CString out;
    int context = 0;
    EXPECT_NE(some.TranslateFile("/tmp/x.pdf", &out, &context, 1), 0) << "its library is not there";
    EXPECT_TRUE(some.DeleteUserExtPlugin("pdf"));
    relay::CPluginManager gone(7);
    EXPECT_FALSE(gone.IsExtensionHandled("txt", false));
}

class RelayConfigTest : public RelayFixture {};

TEST_F(RelayConfigTest, ReloadTellsChangesFromNoChange) {
    EXPECT_EQ(config->LoadUserSettings(true, true), relay::kSettingsUnchanged);
    const RelayUserSettings* first = config->settings();
    EXPECT_EQ(first->emailAddress, wireless);
    tess::accounts::CAccountSettings account;
    account.Load(userId, "Larkspur", 517, 0);
    account.password = "changed";
    ASSERT_EQ(account.Save(userId, "Larkspur", 517, 0), 1);
    EXPECT_EQ(config->LoadUserSettings(true, true), 0);
    EXPECT_EQ(config->settings()->password, "changed");
    std::vector<uint8_t> keyBytes = {9};
    ASSERT_EQ(config->GetSecurityKey(keyBytes), 0);
    EXPECT_EQ(std::string(keyBytes.begin(), keyBytes.end()), key + '\0');
}

class MapiHelpersTest : public RelayFixture {
protected:
    platform::mapi::Profile profile() override {
        platform::mapi::Profile p = RelayFixture::profile();
        p.addressList.push_back({"Bob Exchange", "EX", "/o=Org/cn=bob", {"X400:c=x;a=y", "SMTP:xyz@example.test"}});
        p.addressList.push_back({"Carl NoSmtp", "EX", "/o=Org/cn=carl", {"X400:c=x"}});
        return p;
    }
};

TEST_F(MapiHelpersTest, AddressesByTypeAndTheGlobalList) {
    start();
    std::shared_ptr<IAddrBook> book;
    ASSERT_EQ(watcher->Session()->OpenAddressBook(0, AB_NO_DIALOG, book), S_OK);
    EntryId gal;
    ASSERT_EQ(relay::FindGlobalAddressList(book.get(), gal), S_OK);
    ULONG type = 0;
    std::shared_ptr<IMAPIProp> object;
    ASSERT_EQ(book->OpenEntry(gal, 0, &type, object), S_OK);
    auto container = std::dynamic_pointer_cast<IABContainer>(object);
    ASSERT_TRUE(container);
    struct Case {
        std::string name, type;
        HRESULT result;
        std::string address;
    } cases[] = {{"Bob Exchange", "smtp", S_OK, "xyz@example.test"},
                 {"Bob Exchange", "SMT", relay::E_ITEM_NOT_FOUND, ""},
                 {"Carl NoSmtp", "SMTP", relay::E_ITEM_NOT_FOUND, ""},
                 {"Alice Archer", "SMTP", S_OK, "alice@example.test"}};
    for (const Case& c : cases) {
        bool rich = false;
        EntryId id;
        ASSERT_EQ(relay::ResolveNameInContainer(container.get(), c.name, rich, id), S_OK) << c.name;
        std::string address;
        EXPECT_EQ(relay::GetRecipientAddressByType(book.get(), id, c.type, rich, address), c.result)
            << c.name << " " << c.type;
        EXPECT_EQ(address, c.address) << c.name << " " << c.type;
    }
    bool rich = false;
    EntryId id;
    EXPECT_EQ(relay::ResolveNameInContainer(container.get(), "Nobody Known", rich, id), relay::E_ITEM_NOT_FOUND);
    std::string smtp;
    watcher->LookupSender("Bob Exchange", smtp);
    EXPECT_EQ(smtp, "xyz@example.test");
    watcher->LookupSender("Carl NoSmtp", smtp);
    EXPECT_EQ(smtp, "");

    struct Proxy {
        std::string type, proxy;
        HRESULT result;
        std::string address;
    } proxies[] = {{"SMTP", "smtp:xyz", S_OK, "xyz"},
                   {"SMTP", "smtpxyz", E_FAIL, ""},
                   {"SMTP", ":xyz", E_FAIL, ""},
                   {"SMT", "SMTP:xyz", relay::E_ITEM_NOT_FOUND, ""}};
    for (const Proxy& p : proxies) {
        std::string out;
        EXPECT_EQ(relay::MatchProxyAddress(p.type, p.proxy, out), p.result) << p.proxy;
        EXPECT_EQ(out, p.address) << p.proxy;
    }
    SRowSet rows;
    rows.aRow.resize(2);
    const SRow* row = nullptr;
    EXPECT_EQ(relay::GetRowAt(rows, 2, &row), relay::E_ITEM_NOT_FOUND);
    EXPECT_EQ(row, nullptr);
    ULONG index = 5;
    EXPECT_EQ(relay::GetFirstRow(rows, index, &row), S_OK);
    EXPECT_EQ(relay::GetNextRow(rows, index, &row), S_OK);
    EXPECT_EQ(relay::GetNextRow(rows, index, &row), relay::E_ITEM_NOT_FOUND);
}

TEST_F(MapiHelpersTest, RecipientTextsAreCleanedToAddresses) {
    start();
    std::vector<std::string> list = {"'Bob Baker (office)'", "\"Alice Archer\" (home)", "(comment only)", "plain"};
    watcher->CleanRecipientList(list);
    EXPECT_EQ(list, (std::vector<std::string>{"Bob Baker", "Alice Archer", "", "plain"}));
    struct Case {
        std::string in, out;
    } cases[] = {{"Bob <bob@x>, Alice <alice@y>", "bob@x,alice@y"},
                 {"", ""},
                 {"plain@x", "plain@x"},
                 {"Bob <bob@x, Alice <alice@y>", "alice@y"}};
    for (const Case& c : cases) {
        std::string text = c.in;
        watcher->ExtractRecipientAddresses(text);
        EXPECT_EQ(text, c.out) << c.in;
    }
    relay::RequestData r;
    r.cc = {"a", "b"};
    std::string to = "x", cc, bcc;
    watcher->JoinRecipientTexts(r, to, cc, bcc);
    EXPECT_EQ(to, "x");
    EXPECT_EQ(cc, "a, b");
}

}  // namespace
}  // namespace tess::relay::test

namespace tess::relay::test {
namespace {

class InitializeFailures : public RelayFixture {};

TEST_F(InitializeFailures, EachIsLoggedWithTheProfileAndUndone) {
    enum class Fault { Logon, Advise, BadKey };
    struct Case {
        std::string name;
        Fault fault;
        std::string log;
    } cases[] = {
        {"logon", Fault::Logon, "Wayfarer Fatal Error: Unable to logon using profile: Work"},
        {"advise", Fault::Advise, "Wayfarer Fatal Error: Unable to set thread advise sink for profile: Work"},
        {"bad key", Fault::BadKey,
         "Wayfarer Fatal Error: Possible bad Security key.  Unable to initialize Security context for profile: Work"},
    };
    for (Case& c : cases) {
        memory->clearFaults();
        if (c.fault == Fault::Logon) memory->failCall("Logon", MAPI_E_LOGON_FAILED);
        if (c.fault == Fault::Advise) memory->failCall("Advise", E_FAIL);
        if (c.fault == Fault::BadKey) {
            key = std::string("\x01") + "QUJD";  // decodes to 3 bytes, not 32
            saveRelaySettings(1);
        }
        watcher = std::make_unique<relay::CMAPIRedirect>(&frame, config.get(), wireless);
        EXPECT_LT(watcher->Initialize(), 0) << c.name;
        EXPECT_TRUE(logged(c.log)) << c.name;
        watcher.reset();
    }
}

TEST_F(InitializeFailures, AFailedKeyCheckLeavesTheMailAndSaysSoInTheTray) {
    start();
    key = std::string("\x01") + "QUJD";
    saveRelaySettings(1);
    watcher->MarkKeyNew();
    deliver("Lunch", "noon");
    EXPECT_TRUE(submittedTo(wireless).empty());
    EXPECT_EQ(inboxSubjects(), (std::vector<std::string>{"Lunch"}));
    ASSERT_FALSE(frame.tips.empty());
    EXPECT_EQ(frame.tips.back(),
              "Corvid(TM) Wayfarer could not intialize new security key.  Please exit and correct the problem.");
    EXPECT_EQ(frame.icons.back(), relay::kIconError);
}

}  // namespace
}  // namespace tess::relay::test
