// What the relay says after sending for the handheld, the hello mail and its welcome text.
#include <cstdio>
#include <cstring>
#include <fstream>

#include "relay/mail_road.h"
#include "relay/mapi_redirect.h"
#include "relay/relay_log.h"
#include "relay/relay_text.h"

namespace tess::relay {

void CMAPIRedirect::ReportSendSuccess(const RequestData& record, const std::string& to, const std::string& cc,
                                      const std::string& bcc) {
    const std::string date = LocalAscTime(record.time);
    const std::string subject = record.code == kRequestHello ? Text(57443) : record.subject;
    const std::string kind = RelayKindName(record.code);
    if (detailedLog())
        LogWrite(kLogInformation, Format(57403, kind, to, cc, bcc, subject, date));
    else
        LogWrite(kLogInformation, Format(57371, kind, subject));
    if (!date.empty()) tooltip(Format(57405, date));
}

void CMAPIRedirect::ReportSendFailure(const RequestData& record, const std::string& to, const std::string& cc,
                                      const std::string& bcc, const std::string& recipients,
                                      const std::string& reason) {
    const std::string date = LocalAscTime(record.time);
    const std::string subject = record.code == kRequestHello ? Text(57443) : record.subject;
    const std::string kind = RelayKindName(record.code);
    if (detailedLog())
        LogWrite(kLogInformation, Format(57404, kind, to, cc, bcc, subject, date));
    else
        LogWrite(kLogInformation, Format(57372, kind, subject));
    if (ownAddress_.empty()) return;  // nobody to report to
    RequestData report;
    report.code = 0;
    report.to = {ownAddress_};
    report.subject = Text(57423);
    report.text = Format(57422, subject, recipients, reason);
    report.time = FileTimeNow();
    // A report that cannot be sent either is only logged: it must not report itself again.
    static int depth = 0;
    if (depth > 0) return;
    ++depth;
    RedirectMail(nullptr, report);
    --depth;
}

bool CMAPIRedirect::ReadWelcomeText(RequestData& record) {
    std::string dir = config_ && config_->settings() ? config_->settings()->userFolder.str() : std::string();
    const size_t slash = dir.rfind('/');
    dir = slash == std::string::npos ? std::string() : dir.substr(0, slash + 1);
    std::ifstream in(dir + "Welcome.txt", std::ios::binary);
    if (!in) {
        record.text = Text(57446);
        return true;
    }
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.eof() && in.fail()) {
        record.text = Text(57446);
        return true;
    }
    record.text = content.c_str();
    return true;
}

void CMAPIRedirect::SendHelloMail() {
    RequestData record;
    record.code = kRequestHello;
    record.to = {ownAddress_};
    record.subject = kHelloSubject;
    if (!ReadWelcomeText(record)) return;
    record.size = static_cast<uint32_t>(record.text.size() + record.subject.size() + 2 * ownAddress_.size());
    record.time = FileTimeNow();
    RedirectMail(nullptr, record);
}

}  // namespace tess::relay
