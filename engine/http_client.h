#pragma once
// The engine's HTTP client: one request at a time to one host, over libcurl. The proxy is
// the one the user's environment names (https_proxy / http_proxy, no_proxy); certificates
// are checked strictly unless the request's flags relax a check.
#include <cstdint>
#include <string>

namespace tess::engine {

enum HttpRequestFlag : uint16_t {
    kHttpSecure = 0x1,            // HTTPS
    kHttpIgnoreName = 0x2,        // with kHttpSecure: a certificate for another name passes
    kHttpIgnoreExpired = 0x4,     // with kHttpSecure: an expired certificate passes
    kHttpAcceptSelfIssued = 0x8,  // an unknown authority passes when the certificate issued itself
};

struct HttpRequest {
    std::string verb;     // "POST"
    std::string object;   // the path, such as "/MobileReg"
    std::string version;  // "HTTP/1.*" when empty
    std::string headers;  // each ending in CR LF (the last may lack it)
    std::string body;
    std::string response;  // filled
    int status = 0;        // filled
    uint16_t flags = 0;
};

// Proxy access types.
enum : int { kProxyDirect = 1, kProxyNamed = 3 };

struct ProxyDecision {
    int access = kProxyDirect;
    std::string httpProxy, httpsProxy;  // host:port, empty when direct for that scheme
    std::string bypass;                 // no_proxy as given
};
// The environment's proxies: https_proxy for HTTPS, http_proxy for HTTP (either letter
// case, lower first), no_proxy as the bypass list. False when a variable names no host.
bool DecideProxy(ProxyDecision& out);

// Results of Connect and Send.
enum : int {
    kHttpOk = 0,
    kHttpBadArgument = 1,  // Connect: empty host or port <= 0; Send: an empty request field
    kHttpOpenFailed = 2,
    kHttpSendFailed = 3,  // also a certificate refused for its name or dates, or no answer in time
    kHttpNothingRead = 4,
    kHttpNoConnection = 5,  // not connected, no proxy decision, or the server cannot be reached
    kHttpUntrustedAuthority = 6,
    kHttpNotSelfIssued = 7,  // unknown authority, self-issued certificates accepted, but issued by another
};

class CHttpClient {
public:
    CHttpClient() = default;
    ~CHttpClient();
    CHttpClient(const CHttpClient&) = delete;
    CHttpClient& operator=(const CHttpClient&) = delete;

    int Connect(const std::string& host, int port);
    int Send(HttpRequest& request);
    void Close();
    bool connected() const { return connected_; }
    const ProxyDecision& proxy() const { return proxy_; }

    // Replaces the text by its form-value encoding: 19 characters become %XX, every
    // other byte stays.
    static void UrlEncode(std::string& text);

    // Seconds a request may take before it counts as unanswered (tests shorten it).
    static void SetTimeout(long seconds);

private:
    int perform(HttpRequest& request, bool trustSelfIssued, struct CertificateCheck& check);

    bool connected_ = false;
    void* session_ = nullptr;  // the curl handle
    std::string host_;
    int port_ = 0;
    ProxyDecision proxy_;
};

}  // namespace tess::engine
