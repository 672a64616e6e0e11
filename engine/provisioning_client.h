#pragma once
// The client of the wireless mail service: the set-up wizard's registration notice, the
// upload of a new security key and the creation of a wireless account, each one form
// post. Passwords travel sealed with the user's security key.
#include <string>

#include "engine/http_client.h"
#include "platform/mfc/cstring.h"

namespace tess::engine {

using platform::mfc::CString;

// The texts of one key request and the numbers it is sent with: four words that start at
// 0, the port and the request's flags, and the user text, mail server and user name.
struct ProvisioningRequest {
    int reserved[4] = {0, 0, 0, 0};
    int port = 0;
    int flags = 0;
    std::string userText, mailServer, userName;
};

// ProvisionAccount results.
enum : int {
    kNoticeAccepted = 0,
    kNoticeNoConnection = 1,
    kNoticeBadThn = 2,
    kNoticeBadMan = 3,
    kNoticeIncomplete = 4,
    kNoticeSendFailed = 5,
    kNoticeRefused = 6,      // the service answered 601
    kNoticeOtherAnswer = 7,  // another number, or an answer that is no number
};

// SetUserKey and CreateAndActivate results; message holds the text for the user.
enum : int {
    kKeyAccepted = 0,
    kKeyNoConnection = 2,
    kKeyBadAnswer = 3,
    kKeyBadArgument = 4,
    kKeySealFailed = 5,
    kKeyRefused = 6,  // code 1001
    kKeyOtherCode = 8,
};

class CProvisioningClient {
public:
    // The registration notice: MAN digits only, THN six numbers joined by "/". The host
    // is "PSRE" (a ":port" behind it replaces port 80), else the built-in one.
    int ProvisionAccount(const char* manText, const char* thnText);
    int SetUserKey(const char* host, int port, const char* userText, const char* password, const char* keyText,
                   int* retry, CString* message);
    int CreateAndActivate(const char* host, int port, const char* userText, const char* mailServer,
                          const char* userName, const char* password, const char* keyText, int* retry,
                          CString* message);

    // The THN text with its six numbers in their fixed widths, URL-encoded; false unless it
    // holds exactly six numbers.
    static bool NormaliseThn(const std::string& thn, std::string* out);
    // The service's answers judged: the notice's status and body; a key request's status
    // and body, the service's message (or the text for a bad answer) into message.
    static int JudgeNotice(int status, const std::string& answer);
    static int JudgeKeyAnswer(int status, const std::string& answer, CString* message);

private:
    int keyRequest(const char* object, const ProvisioningRequest& request, const char* password, const char* keyText,
                   const char* host, int* retry, CString* message);
};

// The built-in host of the registration notice.
extern const char* const kServiceHost;

}  // namespace tess::engine
