#pragma once
// Submission of a built message over SMTP (libcurl), one transaction per recipient so
// that each refusal is known with the server's reply.
#include <string>
#include <vector>

#include "platform/mapi/backing.h"

namespace platform::mapi {

struct SmtpSettings {
    std::string url;             // smtp://host:port
    std::string user, password;  // empty user: no AUTH
};

// S_OK when every recipient was either accepted or refused by the server (refusals listed);
// MAPI_E_SUBMIT_FAILED when the server could not be reached or took nothing at all for a
// reason other than the recipient (then `error` says why).
HRESULT smtpSubmit(const SmtpSettings& settings, const std::string& from, const std::vector<std::string>& recipients,
                   const std::string& message, std::vector<Refusal>& refused, std::string& error);

}  // namespace platform::mapi
