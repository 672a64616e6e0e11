#include "platform/mapi/smtp_submit.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>

namespace platform::mapi {

namespace {

struct Upload {
    const std::string* data;
    size_t offset = 0;
};

size_t readBody(char* buffer, size_t size, size_t count, void* user) {
    auto* u = static_cast<Upload*>(user);
    size_t n = std::min(size * count, u->data->size() - u->offset);
    std::memcpy(buffer, u->data->data() + u->offset, n);
    u->offset += n;
    return n;
}

// Keeps the server's reply to RCPT (the reason of a refusal) and its last reply line.
struct Trace {
    bool afterRcpt = false;
    std::string rcptReply, lastReply;
};

int debugTrace(CURL*, curl_infotype type, char* data, size_t size, void* user) {
    auto* t = static_cast<Trace*>(user);
    std::string line(data, size);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    if (type == CURLINFO_HEADER_OUT) {
        t->afterRcpt = line.compare(0, 4, "RCPT") == 0;
    } else if (type == CURLINFO_HEADER_IN) {
        t->lastReply = line;
        if (t->afterRcpt) {
            t->rcptReply = line;
            t->afterRcpt = false;
        }
    }
    return 0;
}

struct CurlDeleter {
    void operator()(CURL* c) const { curl_easy_cleanup(c); }
};

}  // namespace

HRESULT smtpSubmit(const SmtpSettings& settings, const std::string& from, const std::vector<std::string>& recipients,
                   const std::string& message, std::vector<Refusal>& refused, std::string& error) {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    refused.clear();
    error.clear();
    size_t accepted = 0;
    for (const auto& rcpt : recipients) {
        std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
        if (!curl) return MAPI_E_NOT_ENOUGH_MEMORY;
        Upload upload{&message};
        Trace trace;
        char errbuf[CURL_ERROR_SIZE] = {};
        const std::string fromArg = "<" + from + ">", rcptArg = "<" + rcpt + ">";
        curl_slist* rcpts = curl_slist_append(nullptr, rcptArg.c_str());
        CURL* c = curl.get();
        curl_easy_setopt(c, CURLOPT_URL, settings.url.c_str());
        curl_easy_setopt(c, CURLOPT_MAIL_FROM, fromArg.c_str());
        curl_easy_setopt(c, CURLOPT_MAIL_RCPT, rcpts);
        if (!settings.user.empty()) {
            curl_easy_setopt(c, CURLOPT_USERNAME, settings.user.c_str());
            curl_easy_setopt(c, CURLOPT_PASSWORD, settings.password.c_str());
        }
        curl_easy_setopt(c, CURLOPT_READFUNCTION, readBody);
        curl_easy_setopt(c, CURLOPT_READDATA, &upload);
        curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errbuf);
        curl_easy_setopt(c, CURLOPT_DEBUGFUNCTION, debugTrace);
        curl_easy_setopt(c, CURLOPT_DEBUGDATA, &trace);
        curl_easy_setopt(c, CURLOPT_VERBOSE, 1L);
        curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, 30L);
        curl_easy_setopt(c, CURLOPT_TIMEOUT, 300L);
        curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
        CURLcode rc = curl_easy_perform(c);
        curl_slist_free_all(rcpts);
        if (rc == CURLE_OK) {
            ++accepted;
            continue;
        }
        long code = 0;
        curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &code);
        // A refused RCPT is the recipient's fault; anything else stops the submission.
        if (rc == CURLE_SEND_ERROR && std::strstr(errbuf, "RCPT") && code >= 400) {
            refused.push_back({rcpt, trace.rcptReply.empty() ? std::to_string(code) : trace.rcptReply});
            continue;
        }
        error = errbuf[0] ? errbuf : curl_easy_strerror(rc);
        if (!trace.lastReply.empty()) error += " (" + trace.lastReply + ")";
        // Mail already handed over for some recipients cannot be taken back; report it
        // as sent and name the rest as refused.
        if (accepted == 0) return MAPI_E_SUBMIT_FAILED;
        refused.push_back({rcpt, error});
    }
    return S_OK;
}

}  // namespace platform::mapi
