#pragma once
// One desktop user with settings made by the engine and two accounts in their files: an
// IMAP account "Work" in slot 0 and a POP account "Home" in slot 1, as the engine and the
// handheld leave them after a synchronisation.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>

#include "accounts/account_layout.h"
#include "accounts/block_fields.h"
#include "accounts/mail_account.h"
#include "accounts/system_environment.h"
#include "common/language_module.h"
#include "engine/tidewater.h"
#include "platform/syncmgr/syncmgr.h"
#include "platform/syncmgr/syncmgr_control.h"
#include "platform/ui/ui_service.h"
#include "tests/support/test_home.h"
#include "tools/tallyhop/runtime_setup.h"

namespace tess::config::test {

inline constexpr uint32_t kCreatorMail = SYNC_FOURCC('a', 's', 'c', '3');

class QuietEnvironment : public tess::accounts::SystemAccountEnvironment {
public:
    void SyncMessage(int, std::string_view, std::string_view) override {}
    void ProductLog(std::string_view) override {}
};

struct AccountSetup {
    int slot;
    std::string name, clientText;
    int32_t client;
    uint16_t protocol, port;
    std::string server, user, password, email, display;
};

class ConfigWorld {
public:
    tess::test::TempHome home;
    platform::ui::ScriptedUi ui;
    platform::ui::ScopedUi scope{ui};
    CLanguageModule language{"LKSYNCLANG.DLL", nullptr};
    int userId = 0;

    explicit ConfigWorld(bool withAccounts = true) {
        std::ostringstream out, err;
        tallyhop::InitOptions o;
        o.userName = "tester";
        EXPECT_EQ(tallyhop::initRuntime(o, out, err), 0) << err.str();
        platform::syncmgr::resetSession();
        RosterGetUserIdByIndex(0, &userId);
        platform::syncmgr::setSessionUser(userId);
        EXPECT_EQ(CreateIniFileSettings(userId), 0);
        if (!withAccounts) return;
        Store({0, "Work", "Internet Mail (IMAP4)", 7, 1, 143, "imap.example.org", "alice", "secret",
               "alice@example.org", "Alice"});
        Store({1, "Home", "Internet Mail (POP3)", 8, 0, 110, "pop.example.org", "bob", "pw", "bob@example.org",
               "Bob B\xe9"});
    }

    std::filesystem::path accountDir() const { return platform::syncmgr::userDirectory(userId) / "Tessaline"; }

    std::unique_ptr<tess::accounts::CMailAccount> Account(int n) {
        tess::accounts::AccountInit i;
        i.userId = userId;
        i.accountNumber = n;
        i.userDirectory = accountDir().string();
        auto a = std::make_unique<tess::accounts::CMailAccount>(i, env_);
        return a->Load() ? std::move(a) : nullptr;
    }

    void Store(const AccountSetup& s) {
        using namespace tess::accounts;
        using namespace tess::accounts::layout;
        auto a = Account(s.slot);
        ASSERT_NE(a, nullptr);
        const int32_t one = 1, days = 4;
        a->SetValue(kValueAccountName, s.name.c_str(), unsigned(s.name.size() + 1));
        a->SetValue(kValueHostName, s.clientText.c_str(), unsigned(s.clientText.size() + 1));
        a->SetValue(kValueMailClient, &s.client, 4);
        a->SetValue(kValueActive, &one, 4);
        a->SetValue(kValueDaysToSync, &days, 4);
        ByteSpan h(a->MutableImage().handheld);
        h.putU16le(kWord0, s.protocol);
        h.putU16le(kIncomingPort, s.port);
        h.putU16le(kSmtpPort, 25);
        h.putText(kIncomingServer.offset, kIncomingServer.width, s.server);
        h.putText(kSmtpServer.offset, kSmtpServer.width, "smtp.example.org");
        h.putText(kUserName.offset, kUserName.width, s.user);
        h.putText(kPassword.offset, kPassword.width, s.password);
        h.putText(kText720.offset, kText720.width, s.email);
        h.putText(kEmailAddress.offset, kEmailAddress.width, s.display);
        ASSERT_TRUE(a->Save());
    }

    // Every account file's bytes, by name.
    std::map<std::string, std::string> Files() const {
        std::map<std::string, std::string> files;
        for (const auto& e : std::filesystem::directory_iterator(accountDir())) {
            if (e.path().extension() != ".dat") continue;
            std::ifstream in(e.path(), std::ios::binary);
            std::stringstream s;
            s << in.rdbuf();
            files[e.path().filename().string()] = s.str();
        }
        return files;
    }

private:
    QuietEnvironment env_;
};

}  // namespace tess::config::test
