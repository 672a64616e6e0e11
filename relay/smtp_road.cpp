// The SMTP road of the mailbox watcher: a desktop mail forwarded to the handheld, and the
// mail written on the handheld sent to its recipients, through the relay's own SMTP
// session instead of the profile's sending road.
#include <algorithm>

#include "common/base64.h"
#include "common/password_scrambler.h"
#include "common/plugin_registry.h"
#include "platform/core/registry.h"
#include "platform/mapi/mapi32.h"
#include "relay/mail_road.h"
#include "relay/mapi_helpers.h"
#include "relay/mapi_redirect.h"
#include "relay/relay_log.h"
#include "relay/relay_text.h"
#include "relay/relay_util.h"

namespace tess::relay {
namespace {

std::string RegistryText(HKEY key, const char* name) {
    unsigned char data[1024] = {};
    DWORD type = 0, size = sizeof data - 1;
    if (RegQueryValueExA(key, name, nullptr, &type, data, &size) != ERROR_SUCCESS || type != REG_SZ) return {};
    return reinterpret_cast<const char*>(data);
}

const char* NamesOrMark(const std::string& names) { return names.empty() ? "-" : names.c_str(); }

}  // namespace

std::unique_ptr<CRelaySmtpSession> OpenSmtpRoad(const CRelayConfig* config) {
    HKEY key = nullptr;
    const std::string path = std::string(kProductKey) + "MsgRedir";
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return nullptr;
    RelaySmtpSettings s;
    s.server = RegistryText(key, "SMTP Server");
    const auto port = CPluginRegistry().ReadRelayValue("SMTP Port");
    if (port && *port > 0 && *port < 65536) s.port = static_cast<int>(*port);
    s.user = RegistryText(key, "SMTP User");
    s.password = UnscramblePassword(RegistryText(key, "SMTP Password"));
    RegCloseKey(key);
    if (s.server.empty()) return nullptr;
    if (config && config->settings() && !config->settings()->userFolder.IsEmpty())
        s.spoolDirectory = config->settings()->userFolder.str() + "/SmtpSpool";
    LogWrite(kLogInformation, "Forwarding through the SMTP server " + s.server + " on port " + std::to_string(s.port));
    // The greeting at start-up tells in the log whether the server can be reached; mails
    // connect again when they go.
    auto session = std::make_unique<CRelaySmtpSession>(std::move(s));
    session->Release();
    return session;
}

SmtpOutcome CMAPIRedirect::RedirectMailViaSMTP(IMessage* message, MessageData& record, FilterMessage& filter,
                                               CRelaySmtpSession& session) {
    LogWrite(kLogTrace, "CMAPIRedirect::RedirectMailViaSMTP");
    std::string sealedSubject;
    if (!RelaySeal(seal_, record.displaySubject + std::string(1, '\0'), false, false, sealedSubject)) {
        LogWrite(kLogFatal, Format(57367, record.displaySubject));
        return SmtpOutcome::kRefused;
    }
    filter.senderAddress = ownAddress_.c_str();
    filter.toRecipients = wirelessAddress_.c_str();
    filter.ccRecipients = nullptr;
    filter.subject = sealedSubject.c_str();
    if (record.requestCode == kRequestHello && !record.replyTo.empty()) record.replyTo = ownAddress_;

    const bool withAttachments = config_ && config_->UseAttachments();
    std::string forward;
    if (!BuildForwardBody(record, true, false, !withAttachments, forward)) return SmtpOutcome::kRefused;
    filter.body = forward.c_str();
    // The header announces the parts only when there are attachments to send.
    const bool multipart = withAttachments && message && record.attachmentCount > 0;
    filter.attachmentNames = multipart ? NamesOrMark(record.attachmentNames) : nullptr;

    SmtpOutcome outcome = SmtpOutcome::kRefused;
    std::string rejected, reply;
    if (session.StartMessage(filter, false)) {
        if (multipart) AddAttachmentsToSMTPMsg(message, session, SmtpAttachments::kSeal);
        outcome = session.EndMessage(multipart, rejected, reply);
    }
    if (outcome == SmtpOutcome::kDeferred && reply.empty())
        reply = "no answer from the SMTP server; the mail is kept and sent when it answers";
    else if (outcome == SmtpOutcome::kDeferred)
        reply += " (the mail is kept and sent again)";
    ReportForward(record, outcome == SmtpOutcome::kSent, &reply);
    // No idle connection is kept: servers drop idle clients, and one being stopped waits
    // for them. The next mail connects again.
    session.Release();
    return outcome;
}

int CMAPIRedirect::AddAttachmentsToSMTPMsg(IMessage* source, CRelaySmtpSession& session, SmtpAttachments how,
                                           std::string* omitted) {
    LogWrite(kLogTrace, "CMAPIRedirect::AddAttachmentsToSMTPMsg");
    int added = 0;
    if (!source) return added;
    ForEachAttachment(source, false, [&](const std::string& fileName, IStream* stream, const std::string&) {
        std::vector<uint8_t> data;
        std::string name = fileName;
        if (how == SmtpAttachments::kCopy)
            EncodeAttachment(stream, data, fileName, false);
        else
            EncodeDecodeAttachment(stream, data, how == SmtpAttachments::kSeal, fileName, true);
        if (!data.empty() && how == SmtpAttachments::kSeal &&
            !RelaySeal(seal_, fileName + std::string(1, '\0'), true, false, name)) {
            LogWrite(kLogWarning, Text(57375));
            data.clear();
        }
        if (!data.empty() && how == SmtpAttachments::kUnseal) {
            if (RelayUnseal(seal_, fileName, name)) {
                name = name.c_str();
            } else {
                LogWrite(kLogWarning, Text(57378));
                data.clear();
            }
        }
        if (data.empty()) {
            if (omitted) *omitted += (omitted->empty() ? "<<" : " <<") + fileName + ">>";
            return;
        }
        // The part carries the bytes as they are (sealed text included) in base64, so that
        // every reader gets them back unchanged.
        std::string text;
        Base64Encode(data.data(), static_cast<int>(data.size()), text, false);
        if (!session.AddAttachment(name, text)) {
            LogWrite(kLogWarning, Format(57379, name));
            return;
        }
        ++added;
    });
    return added;
}

void CMAPIRedirect::ListAttachmentNames(IMessage* message, RequestData& request) {
    std::shared_ptr<IMAPITable> table;
    if (!message || FAILED(message->GetAttachmentTable(0, table)) || !table) return;
    const SPropTagArray columns = {PR_ATTACH_FILENAME, PR_ATTACH_NUM};
    SRowSet* rows = nullptr;
    if (FAILED(HrQueryAllRows(table.get(), &columns, nullptr, nullptr, 0, &rows)) || !rows) {
        FreeProws(rows);
        return;
    }
    std::string names;
    for (const SRow& row : rows->aRow) {
        const SPropValue* name = row.find(PR_ATTACH_FILENAME);
        if (!name || name->str.empty()) continue;
        if (!names.empty()) names += ",";
        names += name->str;
    }
    FreeProws(rows);
    request.attachmentNames = names;
}

int CMAPIRedirect::SplitSmtpRecipients(RequestData& request, std::string& to, std::string& cc, std::string& bcc,
                                       std::string& all, bool& allMoved) {
    bool moved = false;
    std::vector<std::string>* lists[] = {&request.to, &request.cc, &request.bcc};
    std::string* texts[] = {&to, &cc, &bcc};
    for (int i = 0; i < 3; ++i) {
        auto& list = *lists[i];
        for (auto it = list.begin(); it != list.end();) {
            if (it->find('@') != std::string::npos) {
                ++it;
                continue;
            }
            for (std::string* text : {texts[i], &all}) *text += (text->empty() ? "" : ", ") + *it;
            it = list.erase(it);
            moved = true;
        }
    }
    allMoved = moved && request.to.empty() && request.cc.empty() && request.bcc.empty();
    return moved ? 1 : 0;
}

void CMAPIRedirect::SendSmtpFailureReport(CRelaySmtpSession&, const RequestData& request, const std::string& to,
                                          const std::string& cc, const std::string& bcc, const std::string& rejected,
                                          const std::string& reason) {
    // The report goes to the user's own address through the road in use, which is this
    // session's.
    ReportSendFailure(request, to, cc, bcc, rejected, reason);
}

void CMAPIRedirect::RedirectMailViaSMTP(IMessage* controlMail, RequestData& request, CRelaySmtpSession& session) {
    LogWrite(kLogTrace, "CMAPIRedirect::RedirectMailViaSMTP");
    if (request.to.empty() && request.cc.empty() && request.bcc.empty()) return;
    const std::string subject = request.code == kRequestHello ? Text(57443) : request.subject;
    std::string error;

    // The copy in Sent Items; the mail goes out without one when it cannot be made.
    std::shared_ptr<IMessage> sentCopy;
    std::vector<SPropValue> ids;
    auto sentItems = openStoreFolder(PR_IPM_SENTMAIL_ENTRYID, MAPI_MODIFY);
    if (sentItems && SUCCEEDED(store_->GetProps({PR_IPM_SENTMAIL_ENTRYID}, 0, ids)) &&
        SUCCEEDED(sentItems->CreateMessage(0, sentCopy)) && sentCopy) {
        sentCopy->SetProps({SPropValue::String(PR_SUBJECT, subject), SPropValue::String(PR_MESSAGE_CLASS, "IPM.Note"),
                            SPropValue::Binary(PR_SENTMAIL_ENTRYID, ids[0].bin)});
    } else {
        sentCopy.reset();
        error = Text(57435);
    }

    // Recipients written as names: their SMTP addresses from the address book.
    ADRLIST list;
    std::string toText, ccText, bccText, all;
    AddressRecipients(request, false, list, toText, ccText, bccText, all);
    std::shared_ptr<IAddrBook> book;
    if (session_ && SUCCEEDED(session_->OpenAddressBook(0, AB_NO_DIALOG, book)) && book &&
        ResolveRecipients(book.get(), list, error)) {
        for (const ADRENTRY& entry : list.aEntries) {
            const SPropValue* address = entry.find(PR_EMAIL_ADDRESS);
            const SPropValue* name = entry.find(PR_DISPLAY_NAME);
            const SPropValue* id = entry.find(PR_ENTRYID);
            if (!name) continue;
            // An entry that is already an internet address is taken as it is; any other
            // is asked for its SMTP address.
            std::string smtp = address && address->str.find('@') != std::string::npos ? address->str : std::string();
            bool rich = false;
            if (smtp.empty() &&
                (!id || FAILED(GetRecipientAddressByType(book.get(), id->bin, "SMTP", rich, smtp)) || smtp.empty())) {
                std::string shown = address ? address->str : name->str;
                ReplaceAll(shown, "/", "//");
                error = Format(57442, shown);
                continue;
            }
            for (auto* kind : {&request.to, &request.cc, &request.bcc}) {
                auto it = std::find_if(kind->begin(), kind->end(),
                                       [&](const std::string& e) { return EqualNoCase(e, name->str); });
                if (it == kind->end()) continue;
                *it = smtp;
                break;
            }
        }
    }
    std::string movedTo, movedCc, movedBcc, movedAll;
    bool allMoved = false;
    if (SplitSmtpRecipients(request, movedTo, movedCc, movedBcc, movedAll, allMoved)) {
        SendSmtpFailureReport(session, request, movedTo, movedCc, movedBcc, movedAll,
                              error.empty() ? Text(57439) : error);
        if (allMoved) return;
    }

    const bool controlHasAttach = HasAttachments(controlMail);
    std::shared_ptr<IMessage> forwarded = ForwardedDesktopMail(request);
    if (forwarded) ListAttachmentNames(forwarded.get(), request);
    const bool multipart = controlHasAttach || forwarded;
    std::string to, cc, bcc;
    JoinRecipientTexts(request, to, cc, bcc);
    FilterMessage filter{};
    filter.senderAddress = ownAddress_.c_str();
    filter.toRecipients = to.c_str();
    filter.ccRecipients = cc.c_str();
    filter.subject = subject.c_str();
    filter.body = request.text.c_str();
    filter.attachmentNames = multipart ? NamesOrMark(request.attachmentNames) : nullptr;

    // One transaction per blind copy, each naming only its own recipient, then one for To
    // and Cc; a refused one does not stop the others.
    auto transaction = [&](bool blindCopiesOnly, const std::string& bccShown) {
        if (!session.StartMessage(filter, blindCopiesOnly)) return;
        if (controlHasAttach) AddAttachmentsToSMTPMsg(controlMail, session, SmtpAttachments::kUnseal);
        if (forwarded) AddAttachmentsToSMTPMsg(forwarded.get(), session, SmtpAttachments::kCopy);
        std::string rejected, reply;
        const SmtpOutcome outcome = session.EndMessage(multipart, rejected, reply);
        if (outcome == SmtpOutcome::kRefused || !rejected.empty())
            SendSmtpFailureReport(session, request, blindCopiesOnly ? std::string() : to,
                                  blindCopiesOnly ? std::string() : cc, bccShown,
                                  rejected.empty() ? (blindCopiesOnly ? bccShown : all) : rejected, reply);
        if (outcome == SmtpOutcome::kDeferred)
            LogWrite(kLogWarning, "The SMTP server cannot take the mail now; it is kept and sent again: " + subject);
        if (outcome == SmtpOutcome::kSent)
            ReportSendSuccess(request, blindCopiesOnly ? std::string() : to, blindCopiesOnly ? std::string() : cc,
                              bccShown);
    };
    const std::vector<std::string> blindCopies = request.bcc;
    for (const std::string& entry : blindCopies) {
        filter.blindCopies = entry.c_str();
        transaction(true, entry);
    }
    filter.blindCopies = nullptr;
    // A mail for blind copies alone has no To and Cc transaction.
    if (!to.empty() || !cc.empty()) transaction(false, std::string());

    if (sentCopy) CompleteSentCopy(sentCopy.get(), request.text, subject, list);
    session.Release();
}

}  // namespace tess::relay
