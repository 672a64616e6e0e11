#pragma once
// CSmapiHost: the Simple MAPI host's state and work. The nine entry points bound by name,
// the session, the logon's values and the messages of the last listing.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/host_records.h"
#include "common/mail_msg.h"
#include "common/msg_record.h"
#include "common/progress_messages.h"
#include "platform/core/module.h"
#include "platform/mapi/simple_mapi.h"
#include "platform/ui/window_messages.h"

namespace smapi {

using tess::AttachmentTable;
using tess::CMsg;
using tess::MailMsg;
using tess::SmapiLogonRecord;

enum : int {
    kNoAttachmentsWanted = -1,
    kStub = 1,
    kRefused = 3,
    kNotReleased = 4,
    kNoMemory = 5,
    kLogonFailed = 200,
    kNoLibrary = 204,
    kNoEntryPoint = 209,
    kNullList = 211,
    kSendFailed = 212,
    kListingFailed = 213,
};

// Progress: the steps announced at a time, and the two messages.
constexpr int kStepsAnnounced = 20;

// The nine entry points, in binding order.
struct SimpleMapi {
    decltype(&::MAPILogon) MAPILogon = nullptr;
    decltype(&::MAPILogoff) MAPILogoff = nullptr;
    decltype(&::MAPISendMail) MAPISendMail = nullptr;
    decltype(&::MAPIFindNext) MAPIFindNext = nullptr;
    decltype(&::MAPIReadMail) MAPIReadMail = nullptr;
    decltype(&::MAPISaveMail) MAPISaveMail = nullptr;
    decltype(&::MAPIDeleteMail) MAPIDeleteMail = nullptr;
    decltype(&::MAPIFreeBuffer) MAPIFreeBuffer = nullptr;
    decltype(&::MAPIResolveName) MAPIResolveName = nullptr;

    // False at the first entry point missing.
    bool Bind(HMODULE module);
};

// "YYYY/MM/DD HH:MM" (numbers between the characters "/: "), each clamped (year
// 1970-2038, month 1-12, day 1-31, hour 0-23, minute 0-59), as local time.
int32_t ParseReceivedDate(const char* text);

// The text of a name and an address: "address (name)" when both are known and differ,
// else the one known; an empty one is first taken from the other.
std::string AddressText(const char* name, const char* address);

class CSmapiHost {
public:
    using LogSink = std::function<void(const std::string&)>;
    explicit CSmapiHost(LogSink log);
    ~CSmapiHost();

    SimpleMapi api;
    HMODULE mapi32 = nullptr;
    int initialised = 0;

    int Logon(const SmapiLogonRecord& record, int flags);
    int Logoff();
    // Forgets the session and the listing (the files of the listing are removed).
    void Reset();
    int GetAllMsgs(MailMsg*** out, int* count);
    int MarkRead(const MailMsg* msg);
    int Delete(const MailMsg* msg);
    int Send(const MailMsg* msg, bool save);
    int GetAttachments(int idLength, const void* idBytes, AttachmentTable** out);
    bool LoggedOn() const { return session_ != 0; }

private:
    void Log(const std::string& line) const;
    void Progress(unsigned message, WPARAM wParam) const;
    bool HasMarker(const MailMsg* msg) const;
    // The listed message's files, made from the library's temporary ones.
    std::string TakeFiles(const MapiMessage& message);
    void DropKept();

    LogSink log_;
    bool logging_ = false;
    LHANDLE session_ = 0;
    std::string profile_, password_;
    bool semicolons_ = false;
    bool attachments_ = false;
    HWND window_ = nullptr;
    std::vector<std::unique_ptr<CMsg>> kept_;
};

}  // namespace smapi
