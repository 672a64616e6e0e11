// libcurl carries the requests. Certificates are checked by OpenSSL under a verify callback
// that lets through only what the request's flags relax and notes why a certificate was
// refused, so that an unknown authority can be told from every other refusal.
#include "engine/http_client.h"

#include <curl/curl.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <cstdlib>
#include <mutex>

namespace tess::engine {

struct CertificateCheck {
    uint16_t flags = 0;
    bool trustUnknownAuthority = false;  // the second try for a self-issued certificate
    bool unknownAuthority = false;       // a refusal for the issuer
    bool selfIssued = false;             // the server's certificate names itself as issuer
};

namespace {

// Not a result of Send: the first try met an unknown authority.
constexpr int kUnknownAuthority = -1;

long g_timeoutSeconds = 60;

int CheckIndex() {
    static const int index = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

bool AuthorityError(int error) {
    switch (error) {
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE: return true;
    default: return false;
    }
}

int VerifyCallback(int ok, X509_STORE_CTX* store) {
    auto* ssl = static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    auto* check =
        ssl ? static_cast<CertificateCheck*>(SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), CheckIndex())) : nullptr;
    if (!check) return ok;
    if (X509* leaf = X509_STORE_CTX_get0_cert(store))
        check->selfIssued = X509_NAME_cmp(X509_get_subject_name(leaf), X509_get_issuer_name(leaf)) == 0;
    if (ok) return 1;
    const int error = X509_STORE_CTX_get_error(store);
    bool allowed = false;
    if (AuthorityError(error)) {
        check->unknownAuthority = true;
        allowed = check->trustUnknownAuthority;
    } else if (error == X509_V_ERR_CERT_HAS_EXPIRED || error == X509_V_ERR_CERT_NOT_YET_VALID) {
        allowed = (check->flags & kHttpIgnoreExpired) != 0;
    }
    if (!allowed) return 0;
    // Cleared, so that the handshake's final verdict does not carry an error let through.
    X509_STORE_CTX_set_error(store, X509_V_OK);
    return 1;
}

CURLcode PrepareTls(CURL*, void* context, void* check) {
    auto* ctx = static_cast<SSL_CTX*>(context);
    SSL_CTX_set_ex_data(ctx, CheckIndex(), check);
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, VerifyCallback);
    return CURLE_OK;
}

size_t Collect(char* data, size_t size, size_t count, void* out) {
    static_cast<std::string*>(out)->append(data, size * count);
    return size * count;
}

// The environment variable in lower case, else in upper case.
std::string Environment(const char* lower, const char* upper) {
    if (const char* v = std::getenv(lower); v && *v) return v;
    if (const char* v = std::getenv(upper); v && *v) return v;
    return {};
}

// True when the proxy text (an optional scheme, an optional user, host, an optional port
// and path) names a host.
bool NamesHost(const std::string& proxy) {
    std::string rest = proxy;
    if (const size_t scheme = rest.find("://"); scheme != std::string::npos) rest = rest.substr(scheme + 3);
    if (const size_t at = rest.rfind('@'); at != std::string::npos) rest = rest.substr(at + 1);
    rest = rest.substr(0, rest.find('/'));
    if (!rest.empty() && rest[0] == '[') return rest.find(']') > 1 && rest.find(']') != std::string::npos;
    return !rest.empty() && rest[0] != ':';
}

void GlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace

bool DecideProxy(ProxyDecision& out) {
    ProxyDecision d;
    d.httpsProxy = Environment("https_proxy", "HTTPS_PROXY");
    d.httpProxy = Environment("http_proxy", "HTTP_PROXY");
    d.bypass = Environment("no_proxy", "NO_PROXY");
    for (const std::string* p : {&d.httpsProxy, &d.httpProxy})
        if (!p->empty() && !NamesHost(*p)) return false;
    d.access = d.httpsProxy.empty() && d.httpProxy.empty() ? kProxyDirect : kProxyNamed;
    out = d;
    return true;
}

CHttpClient::~CHttpClient() { Close(); }

void CHttpClient::SetTimeout(long seconds) { g_timeoutSeconds = seconds > 0 ? seconds : 60; }

int CHttpClient::Connect(const std::string& host, int port) {
    Close();
    if (host.empty() || port <= 0) return kHttpBadArgument;
    if (!DecideProxy(proxy_)) return kHttpNoConnection;
    GlobalInit();
    session_ = curl_easy_init();
    if (!session_) return kHttpNoConnection;
    host_ = host;
    port_ = port;
    connected_ = true;
    return kHttpOk;
}

void CHttpClient::Close() {
    if (session_) curl_easy_cleanup(static_cast<CURL*>(session_));
    session_ = nullptr;
    connected_ = false;
}

int CHttpClient::perform(HttpRequest& r, bool trustSelfIssued, CertificateCheck& check) {
    CURL* curl = static_cast<CURL*>(session_);
    curl_easy_reset(curl);
    const bool secure = (r.flags & kHttpSecure) != 0;
    const std::string host = host_.find(':') != std::string::npos ? "[" + host_ + "]" : host_;
    const std::string url =
        std::string(secure ? "https://" : "http://") + host + ":" + std::to_string(port_) + r.object;

    curl_slist* headers = nullptr;
    size_t from = 0;
    while (from < r.headers.size()) {
        size_t end = r.headers.find("\r\n", from);
        if (end == std::string::npos) end = r.headers.size();
        if (end > from) {
            curl_slist* more = curl_slist_append(headers, r.headers.substr(from, end - from).c_str());
            if (!more) {
                curl_slist_free_all(headers);
                return kHttpOpenFailed;
            }
            headers = more;
        }
        from = end + 2;
    }
    // The body goes with the request, never after an interim answer.
    if (curl_slist* more = curl_slist_append(headers, "Expect:")) headers = more;

    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, r.verb.c_str());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, r.body.data());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(r.body.size()));
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "Tessaline (TM)");
    curl_easy_setopt(curl, CURLOPT_HTTP_VERSION,
                     r.version == "HTTP/1.0" ? CURL_HTTP_VERSION_1_0 : CURL_HTTP_VERSION_1_1);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, g_timeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    // Each request on a connection of its own, its certificate checked anew.
    curl_easy_setopt(curl, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(curl, CURLOPT_FRESH_CONNECT, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_SESSIONID_CACHE, 0L);
    // Only the decision above names a proxy; libcurl is kept from reading one itself.
    const std::string& proxy = secure ? proxy_.httpsProxy : proxy_.httpProxy;
    curl_easy_setopt(curl, CURLOPT_PROXY, proxy.c_str());
    if (!proxy.empty()) {
        curl_easy_setopt(curl, CURLOPT_HTTPPROXYTUNNEL, 1L);
        if (!proxy_.bypass.empty()) curl_easy_setopt(curl, CURLOPT_NOPROXY, proxy_.bypass.c_str());
    }
    if (secure) {
        check.trustUnknownAuthority = trustSelfIssued;
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, (r.flags & kHttpIgnoreName) ? 0L : 2L);
        curl_easy_setopt(curl, CURLOPT_SSL_CTX_FUNCTION, PrepareTls);
        curl_easy_setopt(curl, CURLOPT_SSL_CTX_DATA, &check);
        // Authorities trusted besides the system's, for a private installation.
        if (const char* extra = std::getenv("TESSALINE_CA_FILE"); extra && *extra)
            curl_easy_setopt(curl, CURLOPT_CAINFO, extra);
    }
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &r.response);

    const CURLcode rc = curl_easy_perform(curl);
    curl_slist_free_all(headers);
    switch (rc) {
    case CURLE_OK: {
        long status = 0;
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
        r.status = static_cast<int>(status);
        return r.response.empty() ? kHttpNothingRead : kHttpOk;
    }
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_CONNECT: return kHttpNoConnection;
    default: return check.unknownAuthority ? kUnknownAuthority : kHttpSendFailed;
    }
}

int CHttpClient::Send(HttpRequest& r) {
    if (r.verb.empty() || r.object.empty() || r.headers.empty() || r.body.empty()) return kHttpBadArgument;
    if (!connected_) return kHttpNoConnection;
    r.response.clear();
    r.status = 0;
    CertificateCheck first;
    first.flags = r.flags;
    const int rc = perform(r, false, first);
    if (rc != kUnknownAuthority) return rc;
    if (!(r.flags & kHttpAcceptSelfIssued)) return kHttpUntrustedAuthority;
    if (!first.selfIssued) return kHttpNotSelfIssued;
    // Once more, the unknown authority let through for this self-issued certificate.
    CertificateCheck second;
    second.flags = r.flags;
    r.response.clear();
    const int again = perform(r, true, second);
    return again == kUnknownAuthority || again == kHttpNoConnection ? kHttpSendFailed : again;
}

void CHttpClient::UrlEncode(std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '"':
        case '\\':
        case '+':
        case '<':
        case '>':
        case '%':
        case '^':
        case '[':
        case ']':
        case '`':
        case ';':
        case '/':
        case '?':
        case ':':
        case '@':
        case '=':
        case '&':
        case '#':
        case ' ': {
            static const char kHex[] = "0123456789ABCDEF";
            const auto b = static_cast<unsigned char>(c);
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 0xF];
            break;
        }
        default: out += c;
        }
    }
    text = std::move(out);
}

}  // namespace tess::engine
