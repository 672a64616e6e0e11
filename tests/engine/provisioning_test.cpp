// The HTTP client's form encoding and proxy decision, and the provisioning client's checks
// that end a request before anything is sent.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "engine/http_client.h"
#include "engine/provisioning_client.h"

namespace tess::engine::test {

using platform::mfc::CString;

namespace {

TEST(UrlEncode, NineteenCharactersAreCoded) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"a b+c", "a%20b%2Bc"},
        {"x/y?z", "x%2Fy%3Fz"},
        {"%", "%25"},
        {"\"\\+<>%^[]`;/?:@=&# ", "%22%5C%2B%3C%3E%25%5E%5B%5D%60%3B%2F%3F%3A%40%3D%26%23%20"},
        // Everything else stays: letters, digits, marks, control characters, high bytes.
        {"Az09-_.!*'(),~{}|$\t\r\n\xE4\xFF", "Az09-_.!*'(),~{}|$\t\r\n\xE4\xFF"},
        {"", ""},
    };
    for (const auto& [text, coded] : cases) {
        std::string t = text;
        CHttpClient::UrlEncode(t);
        EXPECT_EQ(t, coded) << text;
    }
}

TEST(Thn, SixNumbersInTheirWidths) {
    struct Case {
        const char* thn;
        const char* sent;  // null: refused
    };
    const Case cases[] = {
        {"1/2/3/4/5/6", "001%2F02%2F000003%2F004%2F005%2F006"},
        {"0012/7/123456/1/22/333", "012%2F07%2F123456%2F001%2F022%2F333"},
        {"1/2/3", nullptr},
        {"1/2/3/4/5/6/7", nullptr},
        {"", nullptr},
    };
    for (const Case& c : cases) {
        std::string out = "untouched";
        EXPECT_EQ(CProvisioningClient::NormaliseThn(c.thn, &out), c.sent != nullptr) << c.thn;
        if (c.sent) {
            EXPECT_EQ(out, c.sent) << c.thn;
        }
    }
}

// The environment's proxies, restored afterwards.
class ProxyEnvironment : public ::testing::Test {
protected:
    static constexpr const char* kNames[] = {"https_proxy", "HTTPS_PROXY", "http_proxy",
                                             "HTTP_PROXY",  "no_proxy",    "NO_PROXY"};
    void SetUp() override {
        for (const char* n : kNames) {
            const char* v = std::getenv(n);
            saved_.emplace_back(n, v ? std::optional<std::string>(v) : std::nullopt);
            unsetenv(n);
        }
    }
    void TearDown() override {
        for (const auto& [n, v] : saved_) {
            if (v)
                setenv(n.c_str(), v->c_str(), 1);
            else
                unsetenv(n.c_str());
        }
    }
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST_F(ProxyEnvironment, AccessTypeFromTheVariables) {
    struct Case {
        std::vector<std::pair<const char*, const char*>> env;
        bool decided;
        int access;
        const char *https, *http, *bypass;
    };
    const std::vector<Case> cases = {
        {{}, true, kProxyDirect, "", "", ""},
        {{{"https_proxy", "http://proxy.test:3128"}}, true, kProxyNamed, "http://proxy.test:3128", "", ""},
        {{{"HTTP_PROXY", "proxy.test:8080"}, {"NO_PROXY", "localhost,.lan"}},
         true,
         kProxyNamed,
         "",
         "proxy.test:8080",
         "localhost,.lan"},
        {{{"http_proxy", "lower:1"}, {"HTTP_PROXY", "upper:2"}}, true, kProxyNamed, "", "lower:1", ""},
        {{{"https_proxy", "http://user:pw@[::1]:3128/"}}, true, kProxyNamed, "http://user:pw@[::1]:3128/", "", ""},
        {{{"https_proxy", "http://:3128"}}, false, 0, "", "", ""},
        {{{"http_proxy", "://"}}, false, 0, "", "", ""},
    };
    for (const Case& c : cases) {
        for (const char* n : kNames) unsetenv(n);
        for (const auto& [n, v] : c.env) setenv(n, v, 1);
        ProxyDecision d;
        ASSERT_EQ(DecideProxy(d), c.decided) << (c.env.empty() ? "" : c.env[0].second);
        if (!c.decided) continue;
        EXPECT_EQ(d.access, c.access);
        EXPECT_EQ(d.httpsProxy, c.https);
        EXPECT_EQ(d.httpProxy, c.http);
        EXPECT_EQ(d.bypass, c.bypass);
    }
    // No decision, no connection.
    setenv("https_proxy", "http://:1", 1);
    CHttpClient client;
    EXPECT_EQ(client.Connect("localhost", 443), kHttpNoConnection);
    EXPECT_FALSE(client.connected());
}

TEST(HttpClient, RefusesEmptyFieldsAndSendsOnlyWhenConnected) {
    CHttpClient client;
    EXPECT_EQ(client.Connect("", 80), kHttpBadArgument);
    EXPECT_EQ(client.Connect("localhost", 0), kHttpBadArgument);
    HttpRequest r{"POST", "/x", "", "A: b\r\n", "body", "", 0, 0};
    EXPECT_EQ(client.Send(r), kHttpNoConnection);
    for (std::string HttpRequest::*field :
         {&HttpRequest::verb, &HttpRequest::object, &HttpRequest::headers, &HttpRequest::body}) {
        HttpRequest missing = r;
        missing.*field = "";
        EXPECT_EQ(client.Send(missing), kHttpBadArgument);
    }
}

TEST(Provisioning, TextsCheckedBeforeAnyConnection) {
    CProvisioningClient p;
    struct Notice {
        const char *man, *thn;
        int result;
    };
    const Notice notices[] = {
        {nullptr, "1/2/3/4/5/6", kNoticeBadMan}, {"", "1/2/3/4/5/6", kNoticeBadMan},
        {"12a", "1/2/3/4/5/6", kNoticeBadMan},   {"12", nullptr, kNoticeBadThn},
        {"12", "1/2/x/4/5/6", kNoticeBadThn},    {"12", "1-2-3-4-5-6", kNoticeBadThn},
    };
    for (const Notice& n : notices) EXPECT_EQ(p.ProvisionAccount(n.man, n.thn), n.result);

    const std::string user65(65, 'u'), key1025(1025, 'k'), server129(129, 's');
    struct Key {
        const char *user, *server, *name, *password, *key;
    };
    const Key keys[] = {
        {user65.c_str(), "mail.test", "ann", "pw", "key"}, {nullptr, "mail.test", "ann", "pw", "key"},
        {"u", server129.c_str(), "ann", "pw", "key"},      {"u", "mail.test", user65.c_str(), "pw", "key"},
        {"u", "mail.test", "ann", user65.c_str(), "key"},  {"u", "mail.test", "ann", "pw", key1025.c_str()},
    };
    for (const Key& k : keys) {
        int retry = 0;
        CString message;
        // Nothing listens at the host: a check that let the request through would answer 2.
        EXPECT_EQ(p.CreateAndActivate("127.0.0.1", 1, k.user, k.server, k.name, k.password, k.key, &retry, &message),
                  kKeyBadArgument);
        EXPECT_EQ(retry, 0);
    }
    int retry = 0;
    EXPECT_EQ(p.SetUserKey("127.0.0.1", 1, user65.c_str(), "pw", "key", &retry, nullptr), kKeyBadArgument);
}

}  // namespace
}  // namespace tess::engine::test
