// The provisioning client against the test service (tests/servers/provisioning_service.py):
// each request over HTTP or HTTPS, directly and through a CONNECT proxy, and each way the
// service or its certificate can fail.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/language_module.h"
#include "common/plugin_registry.h"
#include "common/sealing_coder.h"
#include "engine/engine_log.h"
#include "engine/http_client.h"
#include "engine/provisioning_client.h"
#include "engine/tidewater.h"
#include "platform/core/registry.h"
#include "tests/support/test_home.h"
#include "tools/tallyhop/runtime_setup.h"

extern char** environ;

namespace tess::engine::test {

using platform::mfc::CString;

namespace {

// The service, started once for the suite and stopped with it.
class Service {
public:
    Service() : dir_(std::filesystem::temp_directory_path() / ("provisioning-" + std::to_string(getpid()))) {
        std::filesystem::create_directories(dir_);
        const std::string script = (tess::test::sourceDir() / "tests/servers/provisioning_service.py").string();
        const std::string watch = std::to_string(getpid());
        std::vector<std::string> args = {"python3", script, dir_.string(), "--watch", watch};
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        const std::string output = (dir_ / "service.log").string();
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_addopen(&files, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&files, 1, 2);
        if (posix_spawnp(&pid_, "python3", &files, nullptr, argv.data(), environ) != 0) pid_ = 0;
        posix_spawn_file_actions_destroy(&files);
        for (int i = 0; i < 1200 && pid_ && !std::filesystem::exists(dir_ / "service.env"); ++i) {
            if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
                pid_ = 0;  // it ended: its output tells why
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        std::ifstream in(dir_ / "service.env");
        for (std::string line; std::getline(in, line);)
            if (const size_t eq = line.find('='); eq != std::string::npos)
                env_[line.substr(0, eq)] = line.substr(eq + 1);
    }
    ~Service() {
        if (pid_) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    bool running() const { return env_.count("HTTP_PORT") != 0; }
    std::string output() const {
        std::ifstream in(dir_ / "service.log");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    int port(const std::string& key) const { return std::atoi(env_.at(key).c_str()); }
    std::string value(const std::string& key) const { return env_.at(key); }
    void answer(const std::string& mode) const { std::ofstream(dir_ / "mode") << mode; }
    // The lines of a log of the service, in order.
    std::vector<std::string> log(const char* name) const {
        std::vector<std::string> lines;
        std::ifstream in(dir_ / name);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

private:
    std::filesystem::path dir_;
    pid_t pid_ = 0;
    std::map<std::string, std::string> env_;
};

// A value of the form body of a logged request (the log holds JSON; the body's
// characters need no escapes but for the ones URL encoding leaves).
std::string FormValue(const std::string& logged, const std::string& name) {
    const size_t body = logged.find("\"body\": \"");
    const size_t at = logged.find(name + "=", body);
    if (body == std::string::npos || at == std::string::npos) return {};
    const size_t start = at + name.size() + 1;
    const size_t end = logged.find_first_of("&\"", start);
    std::string coded = logged.substr(start, end - start), plain;
    for (size_t i = 0; i < coded.size(); ++i) {
        if (coded[i] == '%' && i + 2 < coded.size()) {
            plain += char(std::strtol(coded.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 2;
        } else {
            plain += coded[i];
        }
    }
    return plain;
}

class Provisioning : public ::testing::Test {
protected:
    static void SetUpTestSuite() { service_ = new Service(); }
    static void TearDownTestSuite() {
        delete service_;
        service_ = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(service_->running()) << "the provisioning service did not start: " << service_->output();
        std::ostringstream out, err;
        tallyhop::InitOptions o;
        o.userName = "tester";
        ASSERT_EQ(tallyhop::initRuntime(o, out, err), 0) << err.str();
        language_.emplace("LKSYNCLANG.DLL", nullptr);
        ASSERT_FALSE(Str(4361).empty());
        for (const char* n : {"https_proxy", "HTTPS_PROXY", "http_proxy", "HTTP_PROXY", "no_proxy", "NO_PROXY"})
            unsetenv(n);
        setenv("TESSALINE_CA_FILE", service_->value("CA_FILE").c_str(), 1);
        CHttpClient::SetTimeout(3);
        service_->answer("ok");
        // A security key as the handheld keeps it, in its text form.
        SealContext* context = nullptr;
        uint8_t* record = nullptr;
        ASSERT_EQ(CreateSealContext(&context, nullptr), kSealOk);
        ASSERT_EQ(GenerateSealKey(context, &record), kSealOk);
        key_ = reinterpret_cast<const char*>(record + 1);
        std::free(record);
        DestroySealContext(&context);
    }
    void TearDown() override {
        unsetenv("TESSALINE_CA_FILE");
        unsetenv("https_proxy");
        unsetenv("http_proxy");
        CHttpClient::SetTimeout(60);
        language_.reset();
    }
    void optKey(uint32_t value) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, kProductKey, &key), ERROR_SUCCESS);
        RegSetValueExA(key, "OptKey", 0, REG_DWORD, reinterpret_cast<const unsigned char*>(&value), 4);
        RegCloseKey(key);
    }
    void serviceHost(const std::string& host) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, kProductKey, &key), ERROR_SUCCESS);
        RegSetValueExA(key, "PSRE", 0, REG_SZ, reinterpret_cast<const unsigned char*>(host.c_str()),
                       DWORD(host.size() + 1));
        RegCloseKey(key);
    }
    struct Outcome {
        int result, retry;
        std::string message;
    };
    Outcome create(int port) {
        Outcome o{-1, 0, {}};
        CString message;
        o.result = CProvisioningClient().CreateAndActivate("localhost", port, "4165551234", "imap.example.org", "ann",
                                                           "secret", key_.c_str(), &o.retry, &message);
        o.message = message.str();
        return o;
    }
    std::string lastRequest() const {
        const auto lines = service_->log("requests.log");
        return lines.empty() ? "" : lines.back();
    }

    static Service* service_;
    tess::test::TempHome home_;
    std::optional<CLanguageModule> language_;
    std::string key_;
};
Service* Provisioning::service_ = nullptr;

TEST_F(Provisioning, RegistrationNoticeAndItsAnswers) {
    serviceHost("localhost:" + std::to_string(service_->port("HTTP_PORT")));
    struct Case {
        const char* mode;
        int result;
    };
    const Case cases[] = {
        {"ok", kNoticeAccepted},
        {"body:OK thanks", kNoticeAccepted},
        {"body:606", kNoticeAccepted},
        {"body:601", kNoticeRefused},
        {"body:42", kNoticeOtherAnswer},
        {"body:<html>busy</html>", kNoticeOtherAnswer},  // not a number: never taken for acceptance
        {"status:500", kNoticeSendFailed},
        {"empty", kNoticeSendFailed},
        {"silent", kNoticeSendFailed},
        {"close", kNoticeSendFailed},
    };
    for (const Case& c : cases) {
        service_->answer(c.mode);
        EXPECT_EQ(LarkspurProvisionAccount("1/2/3/4/5/6", "4165551234"), c.result) << c.mode;
    }
    const std::string sent = lastRequest();
    EXPECT_NE(sent.find("\"path\": \"/MobileReg\""), std::string::npos) << sent;
    EXPECT_NE(sent.find("func=k512-Notify&THN=001%2F02%2F000003%2F004%2F005%2F006&MAN=4165551234&Op=A"),
              std::string::npos)
        << sent;
    EXPECT_NE(sent.find("\"Content-Disposition\": \"form-data\""), std::string::npos) << sent;

    // Five numbers: refused after connecting, nothing sent.
    const size_t before = service_->log("requests.log").size();
    EXPECT_EQ(LarkspurProvisionAccount("1/2/3/4/5", "4165551234"), kNoticeBadThn);
    EXPECT_EQ(service_->log("requests.log").size(), before);
    // Nobody listens there.
    serviceHost("localhost:" + std::to_string(service_->port("CLOSED_PORT")));
    EXPECT_EQ(LarkspurProvisionAccount("1/2/3/4/5/6", "4165551234"), kNoticeNoConnection);
}

TEST_F(Provisioning, KeyRequestsAndTheServicesAnswers) {
    const int port = service_->port("HTTPS_PORT");
    struct Case {
        const char* mode;
        int result, retry;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"ok", kKeyAccepted, 0, "account ready"},
        {"body:<1001><Account Exists>", kKeyRefused, 0, "account exists"},
        {"body:<1200><Try Later>", kKeyOtherCode, 0, "try later"},
        {"body:1000 without marks", kKeyBadAnswer, 0, Str(4366)},
        {"body:<1000> one mark", kKeyBadAnswer, 0, Str(4366)},
        {"status:503", kKeyBadAnswer, 0, FormatText(Str(4364), {"503"})},
        {"empty", kKeyNoConnection, 1, Str(4363)},
        {"silent", kKeyNoConnection, 1, Str(4363)},
    };
    for (const Case& c : cases) {
        service_->answer(c.mode);
        const Outcome o = create(port);
        EXPECT_EQ(o.result, c.result) << c.mode;
        EXPECT_EQ(o.retry, c.retry) << c.mode;
        EXPECT_EQ(o.message, c.message) << c.mode;
    }
    // What went: the form, its headers, and a password only the key opens.
    const std::string sent = lastRequest();
    EXPECT_NE(sent.find("\"path\": \"/createAndActivate\""), std::string::npos);
    EXPECT_EQ(FormValue(sent, "m"), "4165551234");
    EXPECT_EQ(FormValue(sent, "h"), "imap.example.org");
    EXPECT_EQ(FormValue(sent, "u"), "ann");
    EXPECT_EQ(FormValue(sent, "k"), key_);
    EXPECT_EQ(FormValue(sent, "t"), "0");
    EXPECT_NE(sent.find("\"Server-Name\": \""), std::string::npos);
    EXPECT_NE(sent.find("\"Date\": \""), std::string::npos);
    std::string sealed = FormValue(sent, "p");
    ASSERT_FALSE(sealed.empty());
    std::vector<uint8_t> record(kSealKeyRecordSize, 0);
    record[0] = kSealKeyText;
    std::memcpy(record.data() + 1, key_.c_str(), key_.size());
    SealContext* context = nullptr;
    ASSERT_EQ(CreateSealContext(&context, record.data()), kSealOk);
    uint8_t* plain = nullptr;
    uint16_t length = 0;
    ASSERT_EQ(UnsealText(context, sealed.data(), uint16_t(sealed.size()), &plain, &length), kSealOk);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(plain), length), std::string("secret", 7));
    std::free(plain);
    DestroySealContext(&context);

    service_->answer("ok");
    CString message;
    int retry = 0;
    EXPECT_EQ(
        CProvisioningClient().SetUserKey("localhost", port, "4165551234", "secret", key_.c_str(), &retry, &message),
        kKeyAccepted);
    EXPECT_NE(lastRequest().find("\"path\": \"/setUserKey\""), std::string::npos);
    EXPECT_EQ(FormValue(lastRequest(), "h"), "");

    // A key that makes no sealing context.
    EXPECT_EQ(CProvisioningClient().SetUserKey("localhost", port, "4165551234", "secret", "@@", &retry, &message),
              kKeySealFailed);
    EXPECT_EQ(message.str(), Str(4362));
}

TEST_F(Provisioning, EachCertificateRefusalHasItsResult) {
    struct Case {
        const char* port;
        uint32_t optKey;
        int result;
        unsigned text;  // 0: the service's message
    };
    const Case cases[] = {
        {"HTTPS_PORT", 1, kKeyAccepted, 0},
        {"HTTPS_WRONG_NAME_PORT", 0, kKeyNoConnection, 4363},
        {"HTTPS_EXPIRED_PORT", 0, kKeyNoConnection, 4363},
        {"HTTPS_SELF_PORT", 0, kKeyAccepted, 0},  // self-issued: taken on the second try
        {"HTTPS_SELF_PORT", 1, kKeyNoConnection, 4354},
        {"HTTPS_OTHER_CA_PORT", 0, kKeyNoConnection, 4355},
        {"HTTPS_OTHER_CA_PORT", 1, kKeyNoConnection, 4354},
        {"CLOSED_PORT", 0, kKeyNoConnection, 4361},
        {"HTTP_PORT", 0, kKeyNoConnection, 4363},  // no TLS there
    };
    for (const Case& c : cases) {
        optKey(c.optKey);
        const Outcome o = create(service_->port(c.port));
        EXPECT_EQ(o.result, c.result) << c.port << " OptKey " << c.optKey;
        EXPECT_EQ(o.message, c.text ? Str(c.text) : "account ready") << c.port << " OptKey " << c.optKey;
    }
}

// The flags relax exactly one check each.
TEST_F(Provisioning, RequestFlagsRelaxOneCheckEach) {
    struct Case {
        const char* port;
        uint16_t flags;
        int result;
    };
    const Case cases[] = {
        {"HTTPS_WRONG_NAME_PORT", kHttpIgnoreName, kHttpOk},
        {"HTTPS_WRONG_NAME_PORT", kHttpIgnoreExpired | kHttpAcceptSelfIssued, kHttpSendFailed},
        {"HTTPS_EXPIRED_PORT", kHttpIgnoreExpired, kHttpOk},
        {"HTTPS_EXPIRED_PORT", kHttpIgnoreName, kHttpSendFailed},
        {"HTTPS_SELF_PORT", 0, kHttpUntrustedAuthority},
        {"HTTPS_SELF_PORT", kHttpAcceptSelfIssued, kHttpOk},
        {"HTTPS_OTHER_CA_PORT", kHttpAcceptSelfIssued | kHttpIgnoreName | kHttpIgnoreExpired, kHttpNotSelfIssued},
    };
    for (const Case& c : cases) {
        CHttpClient client;
        ASSERT_EQ(client.Connect("localhost", service_->port(c.port)), kHttpOk);
        HttpRequest r{
            "POST", "/setUserKey", "", "Content-Type:text/plain\r\n", "x", "", 0, uint16_t(kHttpSecure | c.flags)};
        EXPECT_EQ(client.Send(r), c.result) << c.port << " flags " << c.flags;
        if (c.result == kHttpOk) {
            EXPECT_EQ(r.status, 200);
        }
    }
}

// Through the environment's proxy: the HTTPS requests tunnel through it, and the notice
// over plain HTTP too; a proxy that cannot be reached is no connection.
TEST_F(Provisioning, ThroughTheProxy) {
    const std::string proxy = "http://127.0.0.1:" + std::to_string(service_->port("PROXY_PORT"));
    setenv("https_proxy", proxy.c_str(), 1);
    setenv("http_proxy", proxy.c_str(), 1);
    const size_t tunnels = service_->log("proxy.log").size();
    EXPECT_EQ(create(service_->port("HTTPS_PORT")).result, kKeyAccepted);
    optKey(0);
    EXPECT_EQ(create(service_->port("HTTPS_SELF_PORT")).result, kKeyAccepted);
    optKey(1);
    EXPECT_EQ(create(service_->port("HTTPS_OTHER_CA_PORT")).message, Str(4354));
    serviceHost("localhost:" + std::to_string(service_->port("HTTP_PORT")));
    EXPECT_EQ(LarkspurProvisionAccount("1/2/3/4/5/6", "4165551234"), kNoticeAccepted);
    const auto log = service_->log("proxy.log");
    ASSERT_EQ(log.size(), tunnels + 5) << "two tries for the self-issued certificate";
    EXPECT_EQ(log.back(), "CONNECT localhost:" + std::to_string(service_->port("HTTP_PORT")) + " HTTP/1.1");

    // no_proxy keeps the proxy out.
    setenv("no_proxy", "localhost", 1);
    EXPECT_EQ(create(service_->port("HTTPS_PORT")).result, kKeyAccepted);
    EXPECT_EQ(service_->log("proxy.log").size(), tunnels + 5);
    unsetenv("no_proxy");

    setenv("https_proxy", ("http://127.0.0.1:" + std::to_string(service_->port("CLOSED_PORT"))).c_str(), 1);
    const Outcome o = create(service_->port("HTTPS_PORT"));
    EXPECT_EQ(o.result, kKeyNoConnection);
    EXPECT_EQ(o.message, Str(4361));
}

}  // namespace
}  // namespace tess::engine::test
