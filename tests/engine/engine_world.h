#pragma once
// One desktop user with one emulated handheld, the engine and the scripted host: what a
// synchronisation needs, made fresh for each test.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>

#include "accounts/mail_account.h"
#include "accounts/system_environment.h"
#include "platform/core/registry.h"
#include "platform/mapi/profiles.h"
#include "engine/tidewater.h"
#include "platform/syncmgr/handheld_store.h"
#include "platform/syncmgr/syncmgr_control.h"
#include "tests/engine/scripted_host/scripted_host.h"
#include "tests/support/test_home.h"
#include "tools/handheld_app/handheld_app.h"
#include "tools/tallyhop/runtime_setup.h"

namespace tess::engine::test {

class QuietEnvironment : public tess::accounts::SystemAccountEnvironment {
public:
    void SyncMessage(int, std::string_view, std::string_view) override {}
    void ProductLog(std::string_view) override {}
};

struct DesktopAccount {
    std::string name = "Work";
    int32_t client = 7;
    int32_t active = 1;
    int32_t days = 4;
    int32_t syncInbox = 1;
    int32_t syncOutbox = 1;
    int32_t sizeKb = 50;
    std::string profile;
    int32_t generateKey = 0;
};

class EngineWorld {
public:
    tess::test::TempHome home;
    int userId = 0;
    const std::string handheld = "default";
    HMODULE host = nullptr;

    EngineWorld() {
        std::ostringstream out, err;
        tallyhop::InitOptions o;
        o.userName = "tester";
        EXPECT_EQ(tallyhop::initRuntime(o, out, err), 0) << err.str();
        platform::syncmgr::resetSession();
        platform::syncmgr::useHandheld(handheld);
        RosterGetUserIdByIndex(0, &userId);
        platform::syncmgr::setSessionUser(userId);
        handheld_app::SetFreeSpace(handheld, 8u << 20);
        scripted::reset();
        host = LoadLibraryA((tess::test::libDir() / "libScriptedHost.so").c_str());
        EXPECT_NE(host, nullptr);
        EXPECT_EQ(CreateIniFileSettings(userId), 0);
    }
    ~EngineWorld() {
        if (host) FreeLibrary(host);
    }

    std::string accountDir() const { return (platform::syncmgr::userDirectory(userId) / "Tessaline").string(); }

    // The desktop's account file n, read (null when it cannot be).
    std::unique_ptr<tess::accounts::CMailAccount> Account(int n) {
        tess::accounts::AccountInit i;
        i.userId = userId;
        i.accountNumber = n;
        i.userDirectory = accountDir();
        auto a = std::make_unique<tess::accounts::CMailAccount>(i, accountEnv_);
        return a->Load() ? std::move(a) : nullptr;
    }

    // The account as the configuration window leaves it on the desktop.
    void Desktop(int n, const DesktopAccount& d) {
        auto account = Account(n);
        ASSERT_NE(account, nullptr);
        tess::accounts::CMailAccount& a = *account;
        a.SetAccountName(d.name.c_str(), 0);
        a.SetValue(tess::accounts::kValueMailClient, &d.client, 4);
        a.SetValue(tess::accounts::kValueActive, &d.active, 4);
        a.SetValue(tess::accounts::kValueDaysToSync, &d.days, 4);
        a.SetValue(tess::accounts::kValueSyncInbox, &d.syncInbox, 4);
        a.SetValue(tess::accounts::kValueSyncOutbox, &d.syncOutbox, 4);
        a.SetValue(tess::accounts::kValueMessageSize, &d.sizeKb, 4);
        a.SetValue(tess::accounts::kValueGenerateKey, &d.generateKey, 4);
        if (!d.profile.empty())
            a.SetValue(tess::accounts::kValueMapiProfile, d.profile.c_str(), unsigned(d.profile.size() + 1));
        a.Save();
    }

    // An IMAP account on both sides.
    void ImapAccount(int n = 0, DesktopAccount d = {}, handheld_app::AccountSetup h = {}) {
        h.number = n;
        if (h.name.empty()) h.name = d.name;
        if (h.server.empty()) h.server = "imap.example.org";
        if (h.smtpServer.empty()) h.smtpServer = "smtp.example.org";
        if (h.user.empty()) h.user = "alice";
        if (h.password.empty()) h.password = "secret";
        if (h.email.empty()) h.email = "alice@example.org";
        ASSERT_EQ(handheld_app::ConfigureAccount(handheld, h), 0);
        Desktop(n, d);
    }

    // A POP account (mail client 8, handheld protocol 0) on a POP-shaped host: whole
    // messages listed at once, messages known by their ids.
    void PopAccount(handheld_app::AccountSetup h = {}) {
        scripted::state().partial = false;
        scripted::state().popLogon = true;
        DesktopAccount d;
        d.client = 8;
        h.protocolWord = 0;
        ImapAccount(0, d, h);
    }

    // The desktop's mail client (an Outlook-like one) offers the profiles "Home" and
    // "Office", the default; account n is served by the desktop relay, with the profile
    // "Old" so far.
    void RelayAccountWithProfiles(int n = 0) {
        platform::mapi::clearMemoryProfiles();
        for (const auto& [name, isDefault] : {std::pair{"Home", false}, {"Office", true}}) {
            platform::mapi::Profile p;
            p.name = name;
            p.isDefault = isDefault;
            p.maildir = (home.path() / name).string();
            ASSERT_TRUE(platform::mapi::saveProfile(p));
        }
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, "mailto\\shell\\open\\command", &key), ERROR_SUCCESS);
        const std::string command = "\"C:\\Programs\\OUTLOOK.EXE\" /c ipm.note";
        RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const unsigned char*>(command.c_str()),
                       DWORD(command.size() + 1));
        RegCloseKey(key);
        DesktopAccount d;
        d.client = 5;
        d.profile = "Old";
        handheld_app::AccountSetup h;
        h.protocolWord = 4;
        ImapAccount(n, d, h);
        scripted::state().mapiLogon = true;
    }

    scripted::Message& HostMail(const std::string& subject, const std::string& folder = "Inbox") {
        scripted::Message m;
        m.from = "Bob <bob@example.org>";
        m.to = "alice@example.org";
        m.subject = subject;
        m.body = "Body of " + subject;
        m.date = int32_t(std::time(nullptr)) - 3600;
        return scripted::state().add(folder, m);
    }

    int Sync(int type = 0, int lastHostIndex = 4) {
        SyncProperties p{};
        p.syncType = type;
        HMODULE hosts[5] = {host, nullptr, nullptr, host, host};
        platform::syncmgr::clearCapturedLog();
        return SynchronizeMail(0, &p, hosts, lastHostIndex, userId);
    }

    std::vector<handheld_app::Shown> Folder(int category) { return handheld_app::ListFolder(handheld, category); }
    std::vector<std::string> Subjects(int category) {
        std::vector<std::string> s;
        for (auto& m : Folder(category)) s.push_back(m.msg.Subject);
        std::sort(s.begin(), s.end());
        return s;
    }
    uint32_t RecordOf(const std::string& subject, int category = 0) {
        for (auto& m : Folder(category))
            if (m.msg.Subject == subject) return m.recordId;
        return 0;
    }

    static bool Logged(const std::string& part, int activity = 0x7FFF) {
        for (const auto& l : platform::syncmgr::capturedLog())
            if (l.text.find(part) != std::string::npos && (activity == 0x7FFF || l.activity == activity)) return true;
        return false;
    }
    QuietEnvironment accountEnv_;

    static std::string Log() {
        std::string s;
        for (const auto& l : platform::syncmgr::capturedLog()) s += std::to_string(l.activity) + ": " + l.text + "\n";
        return s;
    }
};

}  // namespace tess::engine::test
