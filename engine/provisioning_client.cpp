#include "engine/provisioning_client.h"

#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "common/handheld_time.h"
#include "common/plugin_registry.h"
#include "common/sealing_coder.h"
#include "engine/engine_log.h"
#include "platform/core/registry.h"

namespace tess::engine {

using platform::mfc::CString;

const char* const kServiceHost = "register.tessaline.invalid";

namespace {

constexpr size_t kMaxUserText = 64, kMaxPassword = 64, kMaxKeyText = 1024, kMaxMailServer = 128, kMaxUserName = 64;

bool OnlyOf(const char* text, const char* allowedExtra) {
    if (!text || !*text) return false;
    for (const char* p = text; *p; ++p)
        if (!std::isdigit(static_cast<unsigned char>(*p)) && !std::strchr(allowedExtra, *p)) return false;
    return true;
}

bool Fits(const char* text, size_t limit) { return text && *text && std::strlen(text) <= limit; }

// "OptKey" under the product key: 0 accepts self-issued certificates. Missing, it is
// written as 0; a value of another type counts as 0.
uint32_t StrictCertificates() {
    HKEY key = nullptr;
    if (RegCreateKeyA(HKEY_CURRENT_USER, kProductKey, &key) != ERROR_SUCCESS) return 0;
    DWORD type = 0, value = 0, size = sizeof value;
    const LSTATUS rc = RegQueryValueExA(key, "OptKey", nullptr, &type, reinterpret_cast<unsigned char*>(&value), &size);
    if (rc != ERROR_SUCCESS) {
        const DWORD zero = 0;
        RegSetValueExA(key, "OptKey", 0, REG_DWORD, reinterpret_cast<const unsigned char*>(&zero), sizeof zero);
        value = 0;
    } else if (type != REG_DWORD || size != sizeof value) {
        value = 0;
    }
    RegCloseKey(key);
    return value;
}

// The computer as the service is told of it: its IPv4 address in fixed widths, else its
// name; false when the name cannot be looked up.
bool LocalAddress(std::string* out) {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return false;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    addrinfo* found = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &found) != 0 || !found) return false;
    std::string text = name;
    for (addrinfo* a = found; a; a = a->ai_next) {
        if (a->ai_family != AF_INET) continue;
        const auto* b = reinterpret_cast<const uint8_t*>(&reinterpret_cast<sockaddr_in*>(a->ai_addr)->sin_addr);
        char ip[20];
        std::snprintf(ip, sizeof ip, "%03u.%03u.%03u.%03u", b[0], b[1], b[2], b[3]);
        text = ip;
        break;
    }
    freeaddrinfo(found);
    *out = text;
    return true;
}

// The password sealed with the key text; false when no sealing context can be made from
// the key. A seal that fails leaves the value empty.
bool SealPassword(const char* password, const char* keyText, std::string* out) {
    const size_t keyLength = std::strlen(keyText);
    std::vector<uint8_t> record(std::max<size_t>(kSealKeyRecordSize, keyLength + 2), 0);
    record[0] = kSealKeyText;
    std::memcpy(record.data() + 1, keyText, keyLength);
    SealContext* context = nullptr;
    if (CreateSealContext(&context, record.data()) != kSealOk || !context) return false;
    char* sealed = nullptr;
    uint16_t sealedLength = 0;
    out->clear();
    if (SealText(context, reinterpret_cast<const uint8_t*>(password), static_cast<uint16_t>(std::strlen(password) + 1),
                 false, false, &sealed, &sealedLength) == kSealOk &&
        sealed)
        out->assign(sealed, sealedLength);
    std::free(sealed);
    DestroySealContext(&context);
    return true;
}

std::string Encoded(std::string text) {
    CHttpClient::UrlEncode(text);
    return text;
}

void SetMessage(CString* message, const std::string& text) {
    if (message) *message = text.c_str();
}

// The message for a request the client could not complete.
unsigned FailedRequestText(int client) {
    switch (client) {
    case kHttpBadArgument:
    case kHttpSendFailed:
    case kHttpNothingRead: return 4363;
    case kHttpUntrustedAuthority: return 4354;
    case kHttpNotSelfIssued: return 4355;
    default: return 4361;
    }
}

}  // namespace

bool CProvisioningClient::NormaliseThn(const std::string& thn, std::string* out) {
    static const char* const kWidths[] = {"%03ld", "%02ld", "%06ld", "%03ld", "%03ld", "%03ld"};
    std::vector<std::string> parts;
    size_t from = 0;
    for (;;) {
        const size_t slash = thn.find('/', from);
        parts.push_back(thn.substr(from, slash == std::string::npos ? std::string::npos : slash - from));
        if (slash == std::string::npos) break;
        from = slash + 1;
    }
    if (parts.size() != 6) return false;
    std::string joined;
    for (size_t i = 0; i < parts.size(); ++i) {
        char piece[32];
        std::snprintf(piece, sizeof piece, kWidths[i], std::strtol(parts[i].c_str(), nullptr, 10) % 1000000000L);
        if (i) joined += '/';
        joined += piece;
    }
    CHttpClient::UrlEncode(joined);
    *out = joined;
    return true;
}

int CProvisioningClient::ProvisionAccount(const char* manText, const char* thnText) {
    if (!OnlyOf(manText, "")) return kNoticeBadMan;
    if (!OnlyOf(thnText, "/")) return kNoticeBadThn;
    std::string host;
    ReadServiceHost(&host);
    if (host.empty()) host = kServiceHost;
    int port = 80;
    if (const size_t colon = host.rfind(':'); colon != std::string::npos && host.find(':') == colon) {
        port = std::atoi(host.c_str() + colon + 1);
        host.resize(colon);
    }
    CHttpClient client;
    if (client.Connect(host, port) != kHttpOk) return kNoticeNoConnection;
    std::string thn;
    if (!NormaliseThn(thnText, &thn)) return kNoticeBadThn;  // the client closes as it goes

    HttpRequest r;
    r.verb = "POST";
    r.object = "/MobileReg";
    r.version = "HTTP/1.*";
    r.body = "func=k512-Notify&THN=" + thn + "&MAN=" + manText + "&Op=A";
    r.headers = "Content-Disposition: form-data\r\nContent-Type:application/x-www-form-urlencoded\r\nContent-Length:" +
                std::to_string(r.body.size());
    switch (client.Send(r)) {
    case kHttpOk: break;
    case kHttpBadArgument: return kNoticeIncomplete;
    case kHttpSendFailed:
    case kHttpNothingRead: return kNoticeSendFailed;
    default: return kNoticeNoConnection;
    }
    return JudgeNotice(r.status, r.response);
}

int CProvisioningClient::JudgeNotice(int status, const std::string& answer) {
    if (status != 200) return kNoticeSendFailed;
    std::string body = answer;
    body.erase(0, body.find_first_not_of(" \t\r\n"));
    if (body.size() >= 2 && std::tolower(static_cast<unsigned char>(body[0])) == 'o' &&
        std::tolower(static_cast<unsigned char>(body[1])) == 'k')
        return kNoticeAccepted;
    // Only a number is an answer; anything else is not taken for acceptance.
    char* end = nullptr;
    const long code = std::strtol(body.c_str(), &end, 10);
    if (end == body.c_str()) return kNoticeOtherAnswer;
    if (code == 0 || code == 606) return kNoticeAccepted;
    return code == 601 ? kNoticeRefused : kNoticeOtherAnswer;
}

int CProvisioningClient::SetUserKey(const char* host, int port, const char* userText, const char* password,
                                    const char* keyText, int* retry, CString* message) {
    if (!Fits(userText, kMaxUserText)) return SetMessage(message, Str(4356)), kKeyBadArgument;
    if (!Fits(password, kMaxPassword)) return SetMessage(message, Str(4358)), kKeyBadArgument;
    if (!Fits(keyText, kMaxKeyText)) return SetMessage(message, Str(4357)), kKeyBadArgument;
    ProvisioningRequest request;
    request.port = port;
    request.userText = userText;
    return keyRequest("/setUserKey", request, password, keyText, host, retry, message);
}

int CProvisioningClient::CreateAndActivate(const char* host, int port, const char* userText, const char* mailServer,
                                           const char* userName, const char* password, const char* keyText, int* retry,
                                           CString* message) {
    if (!Fits(userText, kMaxUserText)) return SetMessage(message, Str(4356)), kKeyBadArgument;
    if (!Fits(mailServer, kMaxMailServer)) return SetMessage(message, Str(4359)), kKeyBadArgument;
    if (!Fits(userName, kMaxUserName)) return SetMessage(message, Str(4360)), kKeyBadArgument;
    if (!Fits(password, kMaxPassword)) return SetMessage(message, Str(4358)), kKeyBadArgument;
    if (!Fits(keyText, kMaxKeyText)) return SetMessage(message, Str(4357)), kKeyBadArgument;
    ProvisioningRequest request;
    request.port = port;
    request.userText = userText;
    request.mailServer = mailServer;
    request.userName = userName;
    return keyRequest("/createAndActivate", request, password, keyText, host, retry, message);
}

int CProvisioningClient::keyRequest(const char* object, const ProvisioningRequest& q, const char* password,
                                    const char* keyText, const char* host, int* retry, CString* message) {
    CHttpClient client;
    if (!host || client.Connect(host, q.port) != kHttpOk) return SetMessage(message, Str(4361)), kKeyNoConnection;
    std::string sealed, local;
    if (!SealPassword(password, keyText, &sealed)) return SetMessage(message, Str(4362)), kKeySealFailed;
    if (!LocalAddress(&local)) return SetMessage(message, Str(4361)), kKeyNoConnection;
    CHandheldTime now;
    now.Set(static_cast<int64_t>(std::time(nullptr)), true);
    std::string date;
    now.FormatRfc822(date, false);

    HttpRequest r;
    r.verb = "POST";
    r.object = object;
    r.version = "HTTP/1.*";
    r.body = "m=" + Encoded(q.userText);
    if (!q.mailServer.empty()) r.body += "&h=" + Encoded(q.mailServer) + "&u=" + Encoded(q.userName);
    r.body += "&p=" + Encoded(sealed) + "&k=" + Encoded(keyText) + "&t=0";
    r.headers =
        "Server-Name:" + local + "\r\nDate:" + date +
        "\r\nContent-Type:application/x-www-form-urlencoded\r\nContent-Length:" + std::to_string(r.body.size()) +
        "\r\n";
    r.flags = kHttpSecure | (StrictCertificates() == 0 ? kHttpAcceptSelfIssued : 0);
    if (const int rc = client.Send(r); rc != kHttpOk) {
        if (retry) *retry = 1;
        SetMessage(message, Str(FailedRequestText(rc)));
        return kKeyNoConnection;
    }
    return JudgeKeyAnswer(r.status, r.response, message);
}

int CProvisioningClient::JudgeKeyAnswer(int status, const std::string& answer, CString* message) {
    if (status != 200) return SetMessage(message, FormatText(Str(4364), {std::to_string(status)})), kKeyBadAnswer;
    std::string body = answer;
    std::transform(body.begin(), body.end(), body.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    const size_t open1 = body.find('<');
    const size_t close1 = open1 == std::string::npos ? open1 : body.find('>', open1 + 1);
    const size_t open2 = close1 == std::string::npos ? close1 : body.find('<', close1 + 1);
    const size_t close2 = open2 == std::string::npos ? open2 : body.find('>', open2 + 1);
    if (close2 == std::string::npos) return SetMessage(message, Str(4366)), kKeyBadAnswer;
    const std::string code = body.substr(open1 + 1, close1 - open1 - 1);
    SetMessage(message, body.substr(open2 + 1, close2 - open2 - 1));
    if (code == "1000") return kKeyAccepted;
    return code == "1001" ? kKeyRefused : kKeyOtherCode;
}

}  // namespace tess::engine
