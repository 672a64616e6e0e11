// Forwarding a desktop mail to the handheld: the sealed forward body, the size rules that
// fit a mail to it, and the attachment transfer in both directions.
#include <cstdlib>
#include <functional>
#include <cstring>

#include "common/base64.h"
#include "platform/mapi/mapi32.h"
#include "relay/mapi_helpers.h"
#include "relay/mail_road.h"
#include "relay/mapi_redirect.h"
#include "relay/relay_log.h"
#include "relay/relay_text.h"
#include "relay/relay_util.h"

namespace tess::relay {

long FirstRunWaitMs() {
    const char* v = std::getenv("TESSALINE_RELAY_FIRST_RUN_WAIT_MS");
    return v ? std::strtol(v, nullptr, 10) : 90000;
}

namespace {

constexpr unsigned kPieceSize = 3726;  // SealedTextCapacity(5128)
constexpr size_t kBodyLimit = 44754;   // SealedTextCapacity(61440)
constexpr size_t kAttachmentLimit = 153600;

// Seals bytes; false on failure.
bool seal(SealContext* context, const std::string& bytes, bool lineBreaks, bool bracePadding, std::string& out) {
    if (!context || bytes.size() > 0xFFFF) return false;
    char* sealed = nullptr;
    uint16_t length = 0;
    if (SealText(context, reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<uint16_t>(bytes.size()),
                 lineBreaks, bracePadding, &sealed, &length) != kSealOk ||
        !sealed)
        return false;
    out.assign(sealed, length);
    std::free(sealed);
    return true;
}

bool unseal(SealContext* context, const std::string& text, std::string& out) {
    if (!context || text.size() > 0xFFFF) return false;
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    uint8_t* plain = nullptr;
    uint16_t length = 0;
    if (UnsealText(context, buffer.data(), static_cast<uint16_t>(text.size()), &plain, &length) != kSealOk)
        return false;
    out.assign(reinterpret_cast<char*>(plain), plain ? length : 0);
    std::free(plain);
    return true;
}

const char* kindName(int32_t kind) {
    switch (kind) {
    case 0: return "Officewide Post";
    case 1: return "Device Forward eMail";
    case 2: return "Device Reply eMail";
    case 3: return "Device New eMail";
    case 4: return "Welcome eMail";
    // The hello mail (kind 9) has no name here: its log lines name it by its subject,
    // "Welcome".
    default: return "";
    }
}

uint16_t estimateBase64(uint16_t n, bool lineBreaks) {
    uint16_t s = static_cast<uint16_t>(4 * n / 3 + (4 * n) % 3 + 1);
    if (s < 16) s = 17;
    if (lineBreaks) s = static_cast<uint16_t>(s + 2 * (s / 70));
    return s;
}

uint16_t estimateSealed(uint16_t n) { return estimateBase64(static_cast<uint16_t>((n + 7) / 8 * 8 + 2), true); }

long maxPlain(long s) {
    const long c = s >= 71 ? 2 : 0;
    const long r = s - c - 2 * ((s - c) / 70);
    return (r - 3) * 3 / 4 - 6;
}

}  // namespace

const char* RelayKindName(int32_t kind) { return kindName(kind); }
bool RelaySeal(SealContext* c, const std::string& b, bool l, bool p, std::string& o) { return seal(c, b, l, p, o); }
bool RelayUnseal(SealContext* c, const std::string& t, std::string& o) { return unseal(c, t, o); }
uint16_t EstimateBase64Length(int length, bool lineBreaks) {
    return estimateBase64(static_cast<uint16_t>(length), lineBreaks);
}
uint16_t EstimateSealedLength(int length) { return estimateSealed(static_cast<uint16_t>(length)); }

void CMAPIRedirect::FitMessageToLimits(MessageData& r) {
    if (r.body.size() > kBodyLimit) {
        r.body.resize(kBodyLimit);
        r.body.replace(kBodyLimit - 3, 3, "...");
    }
    const long budget = maxPlain(637 - estimateSealed(static_cast<uint16_t>(r.senderAddress.size() + 9)));
    auto total = [&] {
        long t =
            25 + long(r.senderAddress.size() + r.toRecipients.size() + r.ccRecipients.size() + r.subject.size()) + 41;
        if (!r.replyTo.empty()) t += long(r.replyTo.size()) + 13;
        return t;
    };
    if (total() <= budget) return;
    r.recipientsTruncated = true;
    if (!r.ccRecipients.empty()) {
        for (size_t at; total() > budget && (at = r.ccRecipients.rfind(';')) != std::string::npos;)
            r.ccRecipients.resize(at);
        if (total() > budget && !r.toRecipients.empty()) r.ccRecipients.clear();
    }
    for (size_t at; total() > budget && (at = r.toRecipients.rfind(';')) != std::string::npos;)
        r.toRecipients.resize(at);
    if (total() > budget) {
        // Never a negative length: a subject with no room left keeps nothing.
        const long keep = budget - (total() - long(r.subject.size()));
        r.subject.resize(keep > 0 ? static_cast<size_t>(keep) : 0);
        for (size_t i = r.subject.size() >= 3 ? r.subject.size() - 3 : 0; i < r.subject.size(); ++i) r.subject[i] = '.';
    }
}

void CMAPIRedirect::RedirectMail(IMessage* message, MessageData& record, bool /*sealed: the only form*/) {
    if (smtp_) {
        FilterMessage filter{};
        RedirectMailViaSMTP(message, record, filter, *smtp_);
        return;
    }
    LogWrite(kLogTrace, "CMAPIRedirect::RedirectMail");
    auto outbox = openStoreFolder(PR_IPM_OUTBOX_ENTRYID, MAPI_MODIFY);
    std::shared_ptr<IMessage> fwd;
    if (outbox) outbox->CreateMessage(0, fwd);
    std::string sealedSubject;
    if (!SealForwardSubject(record, sealedSubject)) return;
    bool saved = fwd &&
                 SUCCEEDED(fwd->SetProps({SPropValue::String(PR_SUBJECT, sealedSubject),
                                          SPropValue::String(PR_MESSAGE_CLASS, "IPM.Note"),
                                          SPropValue::Bool(PR_DELETE_AFTER_SUBMIT, true)})) &&
                 SUCCEEDED(fwd->SaveChanges(KEEP_OPEN_READWRITE));
    if (fwd && message && record.attachmentCount > 0 && config_ && config_->UseAttachments()) {
        record.attachmentDisplay.clear();
        AddAttachments(message, fwd.get(), record.attachmentDisplay, true, record.requestCode == kRequestHello,
                       nullptr);
    }
    ADRLIST list;
    CreateAddressList(
        {SPropValue::String(PR_DISPLAY_NAME, wirelessAddress_), SPropValue::Long(PR_RECIPIENT_TYPE, MAPI_TO)}, list);
    std::shared_ptr<IAddrBook> book;
    if (fwd && session_ && SUCCEEDED(session_->OpenAddressBook(0, AB_NO_DIALOG, book)) &&
        SUCCEEDED(book->ResolveName(0, 0, nullptr, list)))
        fwd->ModifyRecipients(0, list);

    std::string forward;
    if (!BuildForwardBody(record, true, true, true, forward)) return;
    forward += "{";
    saved = saved && SUCCEEDED(fwd->SetProps({SPropValue::String(PR_BODY, forward)})) &&
            SUCCEEDED(fwd->SaveChanges(KEEP_OPEN_READWRITE));
    const bool sent = saved && SUCCEEDED(fwd->SubmitMessage(FORCE_SUBMIT));

    ReportForward(record, sent, nullptr);
}

bool CMAPIRedirect::SealForwardSubject(MessageData& record, std::string& sealedSubject) {
    if (!seal(seal_, record.displaySubject + std::string(1, '\0'), false, true, sealedSubject)) {
        LogWrite(kLogFatal, Format(57367, record.displaySubject));
        return false;
    }
    if (record.requestCode == kRequestHello) {
        record.senderAddress = ownAddress_;
        record.replyTo = ownAddress_;
    }
    return true;
}

bool CMAPIRedirect::BuildForwardBody(MessageData& record, bool truncationLine, bool bracePadding, bool withOmitted,
                                     std::string& forward) {
    FitMessageToLimits(record);
    std::string body = record.body;
    if (record.recipientsTruncated && truncationLine) {
        const char* which = record.sentToMe ? "To:" : record.copiedToMe ? "Cc:" : "Bcc:";
        body = Format(57463, which) + body;
    }

    std::string sealedFrom;
    if (!seal(seal_, record.senderAddress + std::string(1, '\0'), true, bracePadding, sealedFrom)) {
        LogWrite(kLogFatal, Format(57368, record.senderAddress));
        return false;
    }
    std::string entry, source;
    Base64Encode(record.entryId.data(), int(record.entryId.size()), entry, bracePadding);
    Base64Encode(providerId_.data(), int(providerId_.size()), source, bracePadding);
    std::string lines = "X-CORVID-FROM: <" + sealedFrom + ">\r\n" + "X-CORVID-ENTID: <" + entry + ">\r\n" +
                        "X-CORVID-SOURCE: <" + source + ">\r\n";

    std::time_t delivered = FileTimeToUnix(record.deliveryTime);
    std::tm utc{};
    gmtime_r(&delivered, &utc);
    std::string head = "Date: " + AscTime(&utc) + " 0000\r\n";
    head += "To: " + record.toRecipients + "\r\n";
    head += "From: " + record.senderAddress + "\r\n";
    if (!record.replyTo.empty()) head += "Reply-To: " + record.replyTo + "\r\n";
    if (!record.ccRecipients.empty()) head += "Cc: " + record.ccRecipients + "\r\n";
    if (!record.subject.empty())
        head += "Subject: " + record.subject + "\r\n";
    else
        head += std::string(1, '\0');
    head += "\r\n";
    std::string text = body;
    if (withOmitted && !body.empty() && !record.attachmentDisplay.empty()) text += "\r\n";
    if (withOmitted && !record.attachmentDisplay.empty())
        text += std::string(record.attachmentCount == 1 ? "-Attachment Omitted-" : "-Attachments Omitted-") + "\r\n" +
                record.attachmentDisplay;
    if (text.empty()) head += '\xA0';

    std::string sealedHead;
    if (!seal(seal_, head, true, bracePadding, sealedHead)) {
        LogWrite(kLogFatal, "Unable to Encode Body Header");
        return false;
    }
    forward = lines + sealedHead;
    char length[8];
    std::snprintf(length, sizeof length, "%4u", static_cast<unsigned>(forward.size()));
    forward = std::string(length) + "\r\n" + forward;
    if (!text.empty()) {
        std::vector<std::string> pieces;
        if (text.size() > kPieceSize) {
            const size_t step = kPieceSize - 1;
            for (size_t at = 0; at < text.size(); at += step) pieces.push_back(text.substr(at, step));
        } else {
            pieces.push_back(text);
        }
        for (const std::string& piece : pieces) {
            std::string sealedPiece;
            if (!seal(seal_, piece + std::string(1, '\0'), true, bracePadding, sealedPiece)) {
                LogWrite(kLogFatal, Text(57364));
                return false;
            }
            forward += sealedPiece;
        }
    }
    return true;
}

void CMAPIRedirect::ReportForward(const MessageData& record, bool sent, const std::string* reason) {
    const std::string subject = record.requestCode == kRequestHello ? Text(57443) : record.subject;
    const std::string kind = kindName(record.requestCode);
    const std::string date = LocalAscTime(record.deliveryTime);
    if (sent) {
        if (detailedLog())
            LogWrite(kLogInformation, Format(57401, kind, record.senderAddress, record.toRecipients,
                                             record.ccRecipients, subject, date));
        else
            LogWrite(kLogInformation, Format(57369, kind, subject));
        if (!date.empty()) tooltip(Format(57382, date));
    } else {
        if (detailedLog())
            LogWrite(kLogWarning, reason ? Format(57425, kind, record.senderAddress, record.toRecipients,
                                                  record.ccRecipients, subject, date, *reason)
                                         : Format(57402, kind, record.senderAddress, record.toRecipients,
                                                  record.ccRecipients, subject, date));
        else
            LogWrite(kLogWarning, Format(57370, kind, subject));
    }
}

bool CMAPIRedirect::RetryPendingForwards() {
    if (notesMode_) return RetryPendingNotes();
    // A forward the mail system did not take stays in the Outbox, sealed and addressed to
    // the handheld; hand it over again until it goes. The SMTP road keeps its own, and
    // closes its connection between polls: servers drop idle clients, and one that is
    // being stopped waits for them.
    if (smtp_) {
        const bool done = smtp_->FlushSpool() == 0;
        smtp_->Release();
        return done;
    }
    auto outbox = openStoreFolder(PR_IPM_OUTBOX_ENTRYID, MAPI_MODIFY);
    if (!outbox) return true;
    std::shared_ptr<IMAPITable> table;
    if (FAILED(outbox->GetContentsTable(0, table))) return true;
    const SPropTagArray columns = {PR_ENTRYID, PR_DELETE_AFTER_SUBMIT, PR_DISPLAY_TO, PR_SUBJECT};
    SRowSet* rows = nullptr;
    if (FAILED(HrQueryAllRows(table.get(), &columns, nullptr, nullptr, 0, &rows)) || !rows) {
        FreeProws(rows);
        return true;
    }
    bool allGone = true;
    for (const SRow& row : rows->aRow) {
        const SPropValue* id = row.find(PR_ENTRYID);
        const SPropValue* once = row.find(PR_DELETE_AFTER_SUBMIT);
        const SPropValue* to = row.find(PR_DISPLAY_TO);
        const SPropValue* subject = row.find(PR_SUBJECT);
        if (!id || !once || !once->b || !to || !ContainsNoCase(to->str, wirelessAddress_)) continue;
        auto m = openMessage(id->bin);
        if (!m) continue;
        if (FAILED(m->SubmitMessage(FORCE_SUBMIT)))
            allGone = false;
        else {
            std::string plain;
            if (!subject || !unseal(seal_, subject->str, plain)) plain.clear();
            LogWrite(kLogInformation, Format(57369, kindName(0), plain.c_str()));
        }
    }
    FreeProws(rows);
    return allGone;
}

void ForEachAttachment(IMessage* source, bool withMimeTag,
                       const std::function<void(const std::string&, IStream*, const std::string&)>& each) {
    std::shared_ptr<IMAPITable> table;
    if (FAILED(source->GetAttachmentTable(MAPI_DEFERRED_ERRORS, table))) return;
    SPropTagArray columns = {PR_ATTACH_LONG_FILENAME, PR_ATTACH_NUM, PR_ATTACH_PATHNAME, PR_ATTACH_METHOD};
    if (withMimeTag) columns.push_back(PR_ATTACH_MIME_TAG);
    SRowSet* rows = nullptr;
    if (FAILED(HrQueryAllRows(table.get(), &columns, nullptr, nullptr, 0, &rows)) || !rows) {
        FreeProws(rows);
        return;
    }
    // Only the first ten rows are looked at.
    for (ULONG i = 0; i < rows->cRows() && i < 10; ++i) {
        const SRow& row = rows->aRow[i];
        const SPropValue* name = row.find(PR_ATTACH_LONG_FILENAME);
        const SPropValue* num = row.find(PR_ATTACH_NUM);
        const SPropValue* method = row.find(PR_ATTACH_METHOD);
        const SPropValue* mime = row.find(PR_ATTACH_MIME_TAG);
        std::shared_ptr<IAttach> attach;
        if (!num || FAILED(source->OpenAttach(static_cast<ULONG>(num->l), MAPI_BEST_ACCESS, attach))) continue;
        const int32_t m = method ? method->l : ATTACH_BY_VALUE;
        if ((m != ATTACH_BY_VALUE && m != ATTACH_EMBEDDED_MSG && m != ATTACH_OLE) || !name) continue;
        std::shared_ptr<IStream> stream;
        if (FAILED(attach->OpenProperty(PR_ATTACH_DATA_BIN, MAPI_DEFERRED_ERRORS, stream)) || !stream) continue;
        each(name->str.substr(0, 259), stream.get(), mime ? mime->str : std::string());
    }
    FreeProws(rows);
}

void CMAPIRedirect::AddAttachments(IMessage* source, IMessage* target, std::string& omitted, bool sealDirection,
                                   bool base64First, std::vector<std::string>* names) {
    LogWrite(kLogTrace, "CMAPIRedirect::AddAttachments");
    ForEachAttachment(source, false, [&](const std::string& fileName, IStream* stream, const std::string&) {
        std::vector<uint8_t> data;
        EncodeDecodeAttachment(stream, data, sealDirection, fileName, base64First);
        if (!data.empty()) {
            AddAttachmentToMsg(target, fileName, data, sealDirection, names);
        } else {
            if (!omitted.empty()) omitted += " ";
            omitted += "<<" + fileName + ">>";
        }
    });
}

void CMAPIRedirect::EncodeAttachment(IStream* stream, std::vector<uint8_t>& out, const std::string& name, bool base64) {
    LogWrite(kLogTrace, "CMAPIRedirect::EncodeAttachment");
    out.clear();
    uint64_t size = 0;
    if (FAILED(stream->Stat(&size))) {
        LogWrite(kLogFatal, Format(57451, name));
        return;
    }
    if (size > 0xFFFFFFFFull) {
        LogWrite(kLogFatal, Format(57450, name));
        return;
    }
    std::vector<uint8_t> raw(static_cast<size_t>(size));
    ULONG read = 0;
    if (size && FAILED(stream->Read(raw.data(), static_cast<ULONG>(size), &read))) {
        LogWrite(kLogFatal, Format(57451, name));
        return;
    }
    raw.resize(read);
    if (base64) {
        std::string text;
        Base64Encode(raw.data(), int(raw.size()), text, false);
        out.assign(text.begin(), text.end());
    } else {
        out = std::move(raw);
    }
}

void CMAPIRedirect::EncodeDecodeAttachment(IStream* stream, std::vector<uint8_t>& out, bool sealDirection,
                                           const std::string& name, bool base64First) {
    out.clear();
    if (sealDirection) {
        std::vector<uint8_t> work;
        EncodeAttachment(stream, work, name, base64First);
        if (work.empty() || work.size() > kAttachmentLimit) return;
        for (size_t at = 0; at < work.size(); at += kPieceSize) {
            const size_t n = std::min<size_t>(kPieceSize, work.size() - at);
            std::string sealedPiece;
            if (!seal(seal_, std::string(reinterpret_cast<const char*>(work.data()) + at, n), true, false,
                      sealedPiece)) {
                LogWrite(kLogWarning, Text(57375));
                out.clear();
                return;
            }
            out.insert(out.end(), sealedPiece.begin(), sealedPiece.end());
        }
        return;
    }
    // Unseal direction: the data is the handheld's sealed pieces back to back; each block
    // read is taken as base64 of sealed bytes, unsealed, and decoded from base64.
    std::vector<char> block(kPieceSize);
    for (;;) {
        ULONG read = 0;
        if (FAILED(stream->Read(block.data(), kPieceSize, &read)) || read == 0) break;
        std::string encoded;
        Base64Encode(block.data(), int(read), encoded, false);
        std::string plain;
        if (!unseal(seal_, encoded, plain)) {
            LogWrite(kLogFatal, Text(57364));
            return;
        }
        std::vector<uint8_t> bytes;
        uint32_t count = 0;
        Base64Decode(plain, bytes, &count, Base64Foreign::kSkip);
        out.insert(out.end(), bytes.begin(), bytes.begin() + count);
    }
}

void CMAPIRedirect::AddAttachmentToMsg(IMessage* target, const std::string& name, const std::vector<uint8_t>& data,
                                       bool sealDirection, std::vector<std::string>* names) {
    LogWrite(kLogTrace, "CMAPIRedirect::AddAttachmentToMsg");
    ULONG number = 0;
    std::shared_ptr<IAttach> attach;
    if (FAILED(target->CreateAttach(0, &number, attach)) || !attach) {
        LogWrite(kLogWarning, Text(57376));
        return;
    }
    std::shared_ptr<IStream> stream;
    if (FAILED(attach->OpenProperty(PR_ATTACH_DATA_BIN, MAPI_CREATE | MAPI_MODIFY, stream)) || !stream) return;
    ULONG written = 0;
    if (FAILED(WriteStream(stream.get(), static_cast<ULONG>(data.size()), data.data(), written))) return;
    stream->Commit();
    std::string resulting;
    if (sealDirection) {
        if (!seal(seal_, name + std::string(1, '\0'), true, false, resulting)) {
            LogWrite(kLogWarning, Text(57375));
            return;
        }
    } else {
        if (!unseal(seal_, name, resulting)) {
            LogWrite(kLogWarning, Text(57378));
            return;
        }
        resulting = resulting.c_str();
    }
    if (names) names->push_back(resulting);
    if (FAILED(attach->SetProps({SPropValue::Long(PR_ATTACH_METHOD, ATTACH_BY_VALUE),
                                 SPropValue::String(PR_ATTACH_FILENAME, resulting.substr(0, 8) + ".txt"),
                                 SPropValue::String(PR_ATTACH_LONG_FILENAME, resulting),
                                 SPropValue::String(PR_ATTACH_MIME_TAG, "text/plain"),
                                 SPropValue::String(0x3703001E, ".txt")}))) {
        LogWrite(kLogWarning, Format(57379, name));
        return;
    }
    if (FAILED(attach->SaveChanges(0))) LogWrite(kLogWarning, Text(57380));
}

}  // namespace tess::relay
