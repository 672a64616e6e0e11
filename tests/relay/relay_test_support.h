#pragma once
// A relay user in a private runtime root, a memory profile behind it, the relay's
// language catalogue, a scripted UI and a recording frame; and the handheld's side of
// the sealing (a context on the same key) to build and read what crosses to the handheld.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "accounts/user_settings.h"
#include "common/base64.h"
#include "common/language_module.h"
#include "common/plugin_registry.h"
#include "common/sealing_coder.h"
#include "platform/mapi/memory_backing.h"
#include "platform/mapi/profiles.h"
#include "platform/syncmgr/syncmgr_control.h"
#include "platform/ui/ui_service.h"
#include "relay/mapi_redirect.h"
#include "relay/relay_log.h"
#include "relaycfg/lanternby.h"
#include "tests/support/test_home.h"

namespace tess::relay::test {

using tess::test::TempHome;

struct RecordingFrame : relay::RelayFrame {
    std::vector<std::string> tips;
    std::vector<int> icons;
    int animations = 0;
    int stops = 0;
    std::vector<int> quits;
    void SetTooltip(const std::string& t) override { tips.push_back(t); }
    void SetIcon(int id) override { icons.push_back(id); }
    std::function<void()> onAnimate;  // runs inside the watcher's handling of a batch
    void Animate(int, int, int) override {
        ++animations;
        if (onAnimate) onAnimate();
    }
    void StopAnimation() override { ++stops; }
    void PostQuit(int code) override { quits.push_back(code); }
};

// A fresh key record (form 1: byte 1, base64 of 32 key bytes, NUL).
inline std::string NewKeyRecord() {
    SealContext* c = nullptr;
    EXPECT_EQ(CreateSealContext(&c, nullptr), 0);
    uint8_t* record = nullptr;
    EXPECT_EQ(GenerateSealKey(c, &record), 0);
    std::string key(reinterpret_cast<char*>(record));
    std::free(record);
    DestroySealContext(&c);
    return key;
}

// The handheld's end of the sealing.
class HandheldSeal {
public:
    explicit HandheldSeal(const std::string& keyRecord) {
        std::vector<uint8_t> k(keyRecord.begin(), keyRecord.end());
        k.push_back(0);
        EXPECT_EQ(CreateSealContext(&context_, k.data()), 0);
    }
    ~HandheldSeal() { DestroySealContext(&context_); }
    std::string seal(const std::string& text, bool withNul = true, bool lineBreaks = true, bool brace = false) {
        std::string in = text;
        if (withNul) in.push_back('\0');
        char* out = nullptr;
        uint16_t n = 0;
        EXPECT_EQ(SealText(context_, reinterpret_cast<const uint8_t*>(in.data()), uint16_t(in.size()), lineBreaks,
                           brace, &out, &n),
                  0);
        std::string s(out ? out : "", n);
        std::free(out);
        return s;
    }
    // The plain bytes, or nullopt-like "\x01FAIL" marker when it does not unseal.
    bool unseal(const std::string& sealed, std::string& plain) {
        std::vector<char> buf(sealed.begin(), sealed.end());
        buf.push_back('\0');
        uint8_t* out = nullptr;
        uint16_t n = 0;
        if (UnsealText(context_, buf.data(), uint16_t(sealed.size()), &out, &n) != 0) return false;
        plain.assign(reinterpret_cast<char*>(out), out ? n : 0);
        std::free(out);
        return true;
    }

private:
    SealContext* context_ = nullptr;
};

inline std::string Unbraced(const std::string& text) {
    std::string out;
    for (char c : text) out += c == '}' ? '=' : c;
    return out;
}

// The relay user's settings (account 0 served through the profile "Work") and the
// registry marks of an installed relay serving that user.
inline void SaveRelayUser(int userId, const std::string& wireless, const std::string& key, int logDebug = 1,
                          int attachments = 1, int logInformational = 0) {
    tess::accounts::CRelaySettings relay;
    relay.enterprise = 1;
    relay.account = 0;
    relay.attachments = attachments;
    relay.logDebug = logDebug;
    relay.logInformational = logInformational;
    relay.networkName = wireless;
    relay.SetSecurityKey(key);
    ASSERT_EQ(relay.Save(userId, "LarkspurRDC"), 1);
    tess::accounts::CAccountSettings account;
    account.SetDefaults();
    account.mapiProfile = "Work";
    ASSERT_EQ(account.Save(userId, "Larkspur", 517, 0), 1);
    tess::CPluginRegistry registry;
    registry.WriteRelayValue("User", uint32_t(userId));
    registry.WriteRelayValue("Installed", 1);
}

// One filter that passes mail whose subject contains the text; the configuration's result.
inline int SetSubjectFilter(const char* text) {
    MessageFilter filter;
    filter.inUse = 1;
    filter.kind = kFilterSubject;
    std::strncpy(filter.value, text, sizeof filter.value - 1);
    MessageFilter* list[] = {&filter};
    return ConfigSetFilters(1, list);
}

// The forward body split into its parts.
struct ForwardBody {
    int length = 0;
    std::string from, entryId, source;  // sealed from; the two base64 values as written
    std::string header;                 // unsealed header block
    std::vector<std::string> pieces;    // unsealed body pieces (each with its NUL)
    std::string rest;                   // what follows the sealed header (pieces and "{")
};

// 2026-03-04 05:06:07 UTC as a FILETIME.
constexpr FileTime kDelivered = 1772600767ULL * 10000000ULL + 116444736000000000ULL;

class RelayFixture : public ::testing::Test {
protected:
    TempHome home;
    std::shared_ptr<platform::mapi::MemoryBacking> memory = std::make_shared<platform::mapi::MemoryBacking>();
    platform::ui::ScriptedUi ui;
    std::unique_ptr<platform::ui::ScopedUi> uiScope;
    std::unique_ptr<CLanguageModule> language;
    std::unique_ptr<relay::CRelayConfig> config;
    std::unique_ptr<relay::CMAPIRedirect> watcher;
    RecordingFrame frame;
    std::string key;
    std::unique_ptr<HandheldSeal> handheld;
    int userId = 0;
    std::string wireless = "handheld@wireless.test";  // set before SetUp to change it
    const std::string me = "tess@tess.test";
    tess::CPluginRegistry registry;

    void SetUp() override {
        setenv("TESSALINE_RELAY_FIRST_RUN_WAIT_MS", "0", 1);
        relay::Road() = relay::RoadState{};
        uiScope = std::make_unique<platform::ui::ScopedUi>(ui);
        language = std::make_unique<CLanguageModule>("LKDLLANG.DLL", nullptr);
        ASSERT_NE(language->languageModule(), nullptr) << "the relay's catalogue is built into lib/lang";
        key = NewKeyRecord();
        handheld = std::make_unique<HandheldSeal>(key);
        ASSERT_EQ(platform::syncmgr::addUser("Relay", &userId), 0);
        SaveRelayUser(userId, wireless, key);
        platform::mapi::clearMemoryProfiles();
        platform::mapi::registerMemoryProfile(profile(), memory);
        config = std::make_unique<relay::CRelayConfig>(0);
        ASSERT_EQ(config->Init(), 0);
        ASSERT_EQ(config->LoadUserSettings(true, true), 0);
        config->GetLoggingOption();
        ASSERT_EQ(relay::LogOpen(userDir() + "/"), relay::kLogBegun);
    }
    void TearDown() override {
        watcher.reset();
        if (config) config->UnInit();
        relay::LogClose();
        platform::mapi::clearMemoryProfiles();
    }

    void saveRelaySettings(int logDebug, int attachments = 1, int logInformational = 0) {
        SaveRelayUser(userId, wireless, key, logDebug, attachments, logInformational);
    }

    virtual platform::mapi::Profile profile() {
        platform::mapi::Profile p;
        p.name = "Work";
        p.isDefault = true;
        p.identity = {"Tess User", "SMTP", me, {}};
        p.addressList = {{"Alice Archer", "SMTP", "alice@example.test", {}},
                         {"Bob Baker", "SMTP", "bob@example.test", {}}};
        return p;
    }

    std::string userDir() { return platform::syncmgr::userDirectory(userId).string(); }

    void start() {
        watcher = std::make_unique<relay::CMAPIRedirect>(&frame, config.get(), wireless);
        ASSERT_GE(watcher->Initialize(), 0);
    }

    // An Inbox mail as the mail system delivers it; raises its notification.
    std::string deliver(const std::string& subject, const std::string& body,
                        const std::string& from = "alice@example.test",
                        std::vector<std::pair<std::string, ULONG>> recipients = {{"tess@tess.test", MAPI_TO}},
                        std::vector<std::pair<std::string, std::string>> attachments = {},
                        platform::mapi::PropMap extra = {}, uint32_t noteId = 0) {
        platform::mapi::StoredMessage m;
        m.props = extra;
        m.props[PR_SUBJECT] = SPropValue::String(PR_SUBJECT, subject);
        m.props[PR_BODY] = SPropValue::String(PR_BODY, body);
        m.props[PR_MESSAGE_CLASS] = SPropValue::String(PR_MESSAGE_CLASS, "IPM.Note");
        m.props[PR_SENDER_NAME] = SPropValue::String(PR_SENDER_NAME, from);
        m.props[PR_SENDER_EMAIL_ADDRESS] = SPropValue::String(PR_SENDER_EMAIL_ADDRESS, from);
        m.props[PR_SENDER_ADDRTYPE] = SPropValue::String(PR_SENDER_ADDRTYPE, "SMTP");
        // 2026-03-04 05:06:07 UTC
        m.props[PR_MESSAGE_DELIVERY_TIME] = SPropValue::Time(PR_MESSAGE_DELIVERY_TIME, kDelivered);
        for (const auto& [address, type] : recipients) {
            platform::mapi::PropMap r;
            r[PR_DISPLAY_NAME] = SPropValue::String(PR_DISPLAY_NAME, address);
            r[PR_EMAIL_ADDRESS] = SPropValue::String(PR_EMAIL_ADDRESS, address);
            r[PR_ADDRTYPE] = SPropValue::String(PR_ADDRTYPE, "SMTP");
            r[PR_RECIPIENT_TYPE] = SPropValue::Long(PR_RECIPIENT_TYPE, int32_t(type));
            m.recipients.push_back(r);
        }
        for (const auto& [name, data] : attachments) {
            platform::mapi::PropMap a;
            a[PR_ATTACH_FILENAME] = SPropValue::String(PR_ATTACH_FILENAME, name);
            a[PR_ATTACH_LONG_FILENAME] = SPropValue::String(PR_ATTACH_LONG_FILENAME, name);
            a[PR_ATTACH_METHOD] = SPropValue::Long(PR_ATTACH_METHOD, ATTACH_BY_VALUE);
            a[PR_ATTACH_DATA_BIN] =
                SPropValue::Binary(PR_ATTACH_DATA_BIN, std::vector<uint8_t>(data.begin(), data.end()));
            m.attachments.push_back(a);
        }
        // With a note id: the mail as a store that Notes provides shows a note.
        const std::string k = noteId ? memory->deliverNote(noteId, m) : memory->deliver("", m);
        if (watcher) watcher->DispatchNotifications();
        return k;
    }

    // A control mail as the handheld sends it: its body sealed under `sealKey` (the
    // user's by default).
    std::string deliverControl(const std::string& subject, const std::string& plainBody, HandheldSeal* with = nullptr) {
        return deliver(subject, (with ? with : handheld.get())->seal(plainBody), wireless, {{me, MAPI_TO}});
    }

    std::vector<std::string> inboxSubjects() {
        std::vector<platform::mapi::StoredMessage> all;
        memory->listMessages("", all);
        std::vector<std::string> out;
        for (auto& m : all) out.push_back(m.props.count(PR_SUBJECT) ? m.props[PR_SUBJECT].str : "");
        return out;
    }

    std::vector<platform::mapi::StoredMessage> submittedTo(const std::string& address) {
        std::vector<platform::mapi::StoredMessage> out;
        for (auto& m : memory->submitted())
            for (auto& r : m.recipients) {
                auto it = r.find(PR_EMAIL_ADDRESS);
                if (it != r.end() && it->second.str == address) {
                    out.push_back(m);
                    break;
                }
            }
        return out;
    }

    // The log's entry texts after the time stamp ("Wayfarer: ...", texts may span lines).
    std::vector<std::string> logEntries() {
        std::ifstream in(userDir() + "/Wayfarer.log", std::ios::binary);
        std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        static const std::regex stamp("(^|\r\n)[A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9][0-9] [0-9]{2}:[0-9]{2}:[0-9]{2} ");
        std::vector<std::pair<size_t, size_t>> starts;  // entry text start, stamp start
        for (auto it = std::sregex_iterator(all.begin(), all.end(), stamp); it != std::sregex_iterator(); ++it)
            starts.push_back({size_t(it->position() + it->length()), size_t(it->position() + it->length(1))});
        std::vector<std::string> out;
        for (size_t i = 0; i < starts.size(); ++i) {
            const size_t end = i + 1 < starts.size() ? starts[i + 1].second : all.size();
            std::string entry = all.substr(starts[i].first, end - starts[i].first);
            if (entry.size() >= 2 && entry.compare(entry.size() - 2, 2, "\r\n") == 0) entry.resize(entry.size() - 2);
            out.push_back(entry);
        }
        return out;
    }
    bool logged(const std::string& entry) {
        for (const auto& e : logEntries())
            if (e == entry) return true;
        return false;
    }

    ForwardBody parseForward(const std::string& body) {
        ForwardBody f;
        f.length = std::atoi(body.substr(0, 4).c_str());
        EXPECT_EQ(body.substr(4, 2), "\r\n");
        const std::string top = body.substr(6, size_t(f.length));
        auto value = [&](const std::string& name) {
            size_t a = top.find(name + ": <");
            if (a == std::string::npos) return std::string();
            a += name.size() + 3;
            return top.substr(a, top.find(">\r\n", a) - a);
        };
        f.from = value("X-CORVID-FROM");
        f.entryId = value("X-CORVID-ENTID");
        f.source = value("X-CORVID-SOURCE");
        const size_t headAt = top.find(">\r\n", top.find("X-CORVID-SOURCE")) + 3;
        EXPECT_TRUE(handheld->unseal(top.substr(headAt), f.header)) << "the header block unseals";
        f.rest = body.substr(6 + size_t(f.length));
        return f;
    }
};

}  // namespace tess::relay::test
