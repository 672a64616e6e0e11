// Sending mail written on the handheld (and the relay's own mails) through the user's
// profile: recipients resolved against the global list, the handheld's attachments
// unsealed, a forwarded desktop mail's attachments copied, a failure report otherwise.
#include <functional>

#include "common/base64.h"
#include "platform/mapi/mapi32.h"
#include "relay/mapi_helpers.h"
#include "relay/mail_road.h"
#include "relay/mapi_redirect.h"
#include "relay/relay_log.h"
#include "relay/relay_text.h"
#include "relay/relay_util.h"

namespace tess::relay {

void CMAPIRedirect::CleanRecipientList(std::vector<std::string>& list) {
    for (std::string& e : list) {
        if (e.size() >= 2 && e.front() == '\'' && e.back() == '\'') e = e.substr(1, e.size() - 2);
        const size_t paren = e.find('(');
        if (paren != std::string::npos) e = e.substr(0, paren > 0 && e[paren - 1] == ' ' ? paren - 1 : paren);
    }
    for (std::string& e : list)
        if (e.size() >= 2 && e.front() == '"' && e.back() == '"') e = e.substr(1, e.size() - 2);
}

void CMAPIRedirect::ExtractRecipientAddresses(std::string& text) {
    if (text.empty()) return;
    std::vector<std::string> pieces;
    size_t start = 0;
    for (size_t at; (at = text.find(',', start)) != std::string::npos; start = at + 1)
        pieces.push_back(text.substr(start, at - start));
    pieces.push_back(text.substr(start));
    std::string out;
    for (size_t i = 0; i < pieces.size(); ++i) {
        const std::string& p = pieces[i];
        const size_t open = p.find('<');
        if (open != std::string::npos) {
            const size_t close = p.find('>', open + 1);
            if (close == std::string::npos) continue;  // nothing, and no ',' after it
            out += p.substr(open + 1, close - open - 1);
        } else {
            out += p;
        }
        if (i + 1 < pieces.size()) out += ",";
    }
    text = out;
}

void CMAPIRedirect::JoinRecipientTexts(const RequestData& request, std::string& to, std::string& cc, std::string& bcc) {
    auto join = [](const std::vector<std::string>& list, std::string& text) {
        for (const std::string& e : list) {
            if (!text.empty()) text += ", ";
            text += e;
        }
    };
    join(request.to, to);
    join(request.cc, cc);
    join(request.bcc, bcc);
}

void CMAPIRedirect::CopyAttachments(IMessage* source, IMessage* target, const std::vector<std::string>& names) {
    LogWrite(kLogTrace, "CMAPIRedirect::AddAttachments");
    ForEachAttachment(source, true, [&](const std::string& fileName, IStream* stream, const std::string& mimeTag) {
        bool known = false;
        for (const std::string& n : names) known = known || EqualNoCase(n, fileName);
        if (known) return;
        LogWrite(kLogTrace, "CMAPIRedirect::AddAttachmentToMsg");
        ULONG number = 0;
        std::shared_ptr<IAttach> copy;
        if (FAILED(target->CreateAttach(MAPI_DEFERRED_ERRORS, &number, copy)) || !copy) {
            LogWrite(kLogWarning, Text(57376));
            return;
        }
        std::shared_ptr<IStream> out;
        if (FAILED(copy->OpenProperty(PR_ATTACH_DATA_BIN, MAPI_CREATE | MAPI_MODIFY, out)) || !out) {
            LogWrite(kLogWarning, Text(57467));
            return;
        }
        uint64_t size = 0, read = 0, written = 0;
        stream->Stat(&size);
        stream->CopyTo(out.get(), size, &read, &written);
        out->Commit();
        std::vector<SPropValue> props = {SPropValue::Long(PR_ATTACH_METHOD, ATTACH_BY_VALUE),
                                         SPropValue::String(PR_ATTACH_FILENAME, fileName),
                                         SPropValue::String(PR_ATTACH_LONG_FILENAME, fileName)};
        if (!mimeTag.empty()) props.push_back(SPropValue::String(PR_ATTACH_MIME_TAG, mimeTag));
        if (FAILED(copy->SetProps(props))) {
            LogWrite(kLogWarning, Format(57379, fileName));
            return;
        }
        if (FAILED(copy->SaveChanges(0))) LogWrite(kLogWarning, Text(57380));
    });
}

void CMAPIRedirect::AddressRecipients(RequestData& request, bool extractAddresses, ADRLIST& list, std::string& toText,
                                      std::string& ccText, std::string& bccText, std::string& all) {
    CleanRecipientList(request.to);
    CleanRecipientList(request.cc);
    CleanRecipientList(request.bcc);
    const std::pair<std::vector<std::string>*, ULONG> lists[] = {
        {&request.to, MAPI_TO}, {&request.cc, MAPI_CC}, {&request.bcc, MAPI_BCC}};
    std::string* texts[] = {&toText, &ccText, &bccText};
    int which = 0;
    for (const auto& [entries, type] : lists) {
        for (std::string& entry : *entries) {
            if (extractAddresses) ExtractRecipientAddresses(entry);
            AppendAddressList(
                {SPropValue::String(PR_DISPLAY_NAME, entry), SPropValue::Long(PR_RECIPIENT_TYPE, int32_t(type))}, list);
            if (!all.empty()) all += ", ";
            all += entry;
            if (!texts[which]->empty()) *texts[which] += ", ";
            *texts[which] += entry;
        }
        ++which;
    }
}

bool CMAPIRedirect::ResolveRecipients(IAddrBook* book, ADRLIST& list, std::string& error) {
    EntryId galId;
    ULONG type = 0;
    std::shared_ptr<IMAPIProp> object;
    std::shared_ptr<IABContainer> gal;
    if (FAILED(FindGlobalAddressList(book, galId)) ||
        FAILED(book->OpenEntry(galId, MAPI_DEFERRED_ERRORS, &type, object)) || type != MAPI_ABCONT ||
        !(gal = std::dynamic_pointer_cast<IABContainer>(object))) {
        error = Text(57464);
        return false;
    }
    std::vector<ULONG> flags(list.aEntries.size(), 0);
    gal->ResolveNames(nullptr, 0, list, flags);
    if (FAILED(book->ResolveName(0, 0, nullptr, list))) {
        error = Text(57439);
        return false;
    }
    return true;
}

bool CMAPIRedirect::HasAttachments(IMessage* message) {
    SPropValue v;
    return message && SUCCEEDED(HrGetOneProp(message, PR_HASATTACH, &v)) && v.b;
}

std::shared_ptr<IMessage> CMAPIRedirect::ForwardedDesktopMail(const RequestData& request) {
    if (request.code != kRequestNewMail || request.subject.size() < 4 ||
        !EqualNoCase(request.subject.substr(0, 4), "fwd:") || request.entries.empty())
        return nullptr;
    std::vector<uint8_t> id;
    uint32_t count = 0;
    if (Base64Decode(request.entries[0], id, &count) != kBase64Ok) return nullptr;
    id.resize(count);
    auto desktop = openMessage(id);
    return HasAttachments(desktop.get()) ? desktop : nullptr;
}

void CMAPIRedirect::CompleteSentCopy(IMessage* copy, const std::string& body, const std::string& subject,
                                     ADRLIST& list) {
    const FileTime now = FileTimeNow();
    std::vector<uint8_t> index;
    ScCreateConversationIndex(0, nullptr, &index);
    copy->SetProps(
        {SPropValue::String(PR_BODY, body), SPropValue::Bool(0x0E0F000B, true),
         SPropValue::Time(PR_CLIENT_SUBMIT_TIME, now), SPropValue::Time(0x004E0040, now),
         SPropValue::Time(0x00480040, now), SPropValue::Time(PR_MESSAGE_DELIVERY_TIME, now),
         SPropValue::Binary(0x00710102, index), SPropValue::String(0x0070001E, subject),
         SPropValue::String(PR_SUBJECT, subject), SPropValue::Long(PR_MESSAGE_FLAGS, static_cast<int32_t>(0xFFFFFFF7u)),
         SPropValue::String(PR_SENDER_ADDRTYPE, user_.addressType),
         SPropValue::String(PR_SENDER_EMAIL_ADDRESS, user_.smtpAddress),
         SPropValue::String(PR_SENDER_NAME, user_.displayName), SPropValue::Binary(PR_SENDER_ENTRYID, user_.entryId),
         SPropValue::Binary(0x0C1D0102, user_.searchKey)});
    if (SUCCEEDED(copy->ModifyRecipients(0, list))) copy->SaveChanges(FORCE_SAVE);
}

void CMAPIRedirect::RedirectMail(IMessage* controlMail, RequestData& request) {
    if (smtp_) {
        RedirectMailViaSMTP(controlMail, request, *smtp_);
        return;
    }
    LogWrite(kLogTrace, "CMAPIRedirect::RedirectMail");
    const bool hello = request.code == kRequestHello;
    std::string error, all;
    std::string toText, ccText, bccText;
    bool ok = false;
    std::shared_ptr<IMessage> sentCopy;
    std::shared_ptr<IMAPIFolder> sentItems;
    ADRLIST list;
    do {
        std::vector<SPropValue> ids;
        if (!store_ || FAILED(store_->GetProps({PR_IPM_OUTBOX_ENTRYID, PR_IPM_SENTMAIL_ENTRYID}, 0, ids))) break;
        auto outbox = ids[0].isError() ? nullptr : openFolder(ids[0].bin, MAPI_MODIFY);
        if (hello && !ids[1].isError()) sentItems = openFolder(ids[1].bin, MAPI_MODIFY);
        std::shared_ptr<IMessage> m;
        if (!outbox || FAILED(outbox->CreateMessage(0, m)) || !m) break;
        if (hello && sentItems) sentItems->CreateMessage(0, sentCopy);
        std::shared_ptr<IAddrBook> book;
        if (FAILED(session_->OpenAddressBook(0, AB_NO_DIALOG, book)) || !book) break;

        std::vector<SPropValue> props = {SPropValue::String(PR_SUBJECT, request.subject),
                                         SPropValue::String(PR_MESSAGE_CLASS, "IPM.Note")};
        if (hello) {
            props.push_back(SPropValue::Bool(PR_DELETE_AFTER_SUBMIT, true));
        } else {
            if (user_.furtherSmtpAddresses && request.replyTo.empty()) request.replyTo = user_.smtpAddress;
            if (!ids[1].isError()) props.push_back(SPropValue::Binary(PR_SENTMAIL_ENTRYID, ids[1].bin));
            if (!request.replyTo.empty()) {
                const std::string text = "[SMTP:" + request.replyTo + "]";
                EntryId oneOff;
                if (SUCCEEDED(book->CreateOneOff(text, "SMTP", text, 0, oneOff))) {
                    // One FLATENTRYLIST: count 1, the entry's padded size, then size and bytes.
                    std::vector<uint8_t> flat;
                    auto put32 = [&](uint32_t v) {
                        for (int i = 0; i < 4; ++i) flat.push_back(static_cast<uint8_t>(v >> (8 * i)));
                    };
                    put32(1);
                    put32(static_cast<uint32_t>((oneOff.size() + 7) & ~size_t(3)));
                    put32(static_cast<uint32_t>(oneOff.size()));
                    flat.insert(flat.end(), oneOff.begin(), oneOff.end());
                    props.push_back(SPropValue::String(PR_REPLY_RECIPIENT_NAMES, request.replyTo));
                    props.push_back(SPropValue::Binary(0x004F0102, flat));
                    props.push_back(SPropValue::String(0x3FFC001E, request.replyTo));
                }
            }
        }
        m->SetProps(props);
        m->SaveChanges(KEEP_OPEN_READWRITE);

        AddressRecipients(request, true, list, toText, ccText, bccText, all);
        if (!ResolveRecipients(book.get(), list, error)) break;

        const bool controlHasAttach = HasAttachments(controlMail);
        std::shared_ptr<IMessage> forwarded = ForwardedDesktopMail(request);
        if (FAILED(m->ModifyRecipients(0, list))) {
            error = Text(57440);
            break;
        }
        m->SetProps({SPropValue::String(PR_BODY, request.text)});
        std::vector<std::string> names;
        if (controlMail && controlHasAttach)
            AddAttachments(controlMail, m.get(), request.attachmentNames, false, false, &names);
        if (forwarded) CopyAttachments(forwarded.get(), m.get(), names);
        if (FAILED(m->SaveChanges(KEEP_OPEN_READWRITE)) || FAILED(m->SubmitMessage(FORCE_SUBMIT))) break;
        ok = true;
    } while (false);

    if (ok) {
        if (sentCopy) CompleteSentCopy(sentCopy.get(), request.text, "Larkspur Welcome", list);
        ReportSendSuccess(request, toText, ccText, bccText);
        return;
    }
    std::string to, cc, bcc;
    JoinRecipientTexts(request, to, cc, bcc);
    ReportSendFailure(request, to, cc, bcc, all, error);
}

}  // namespace tess::relay
