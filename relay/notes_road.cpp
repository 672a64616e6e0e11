// Notes mode of the watcher: a store provided by Lotus Notes is still watched and read
// through MAPI, but the forwards to the handheld and the mail written on the handheld
// leave through the Notes mail router, as notes written into the server's "mail.box".
#include <cstring>

#include "common/base64.h"
#include "platform/mapi/mapi32.h"
#include "relay/mail_road.h"
#include "relay/mapi_helpers.h"
#include "relay/mapi_redirect.h"
#include "relay/relay_log.h"
#include "relay/relay_text.h"
#include "relay/relay_util.h"

namespace tess::relay {

namespace {

constexpr size_t kNoteIdOffset = 28;
constexpr STATUS kNoteDeleted = 0x0225;

}  // namespace

NOTEID CMAPIRedirect::NoteIdOf(const EntryId& id) {
    if (id.size() < kNoteIdOffset + 4) return 0;
    NOTEID note = 0;
    for (int i = 3; i >= 0; --i) note = (note << 8) | id[kNoteIdOffset + static_cast<size_t>(i)];
    return note;
}

HRESULT CMAPIRedirect::GetStoreProviderName(std::string& text) {
    std::shared_ptr<IMAPITable> table;
    HRESULT hr = session_ ? session_->GetMsgStoresTable(0, table) : E_FAIL;
    if (FAILED(hr)) return hr;
    const SPropTagArray columns = {PR_PROVIDER_DISPLAY};
    SRowSet* rows = nullptr;
    hr = HrQueryAllRows(table.get(), &columns, nullptr, nullptr, 0, &rows);
    if (SUCCEEDED(hr) && rows && rows->cRows() > 0)
        if (const SPropValue* name = rows->aRow[0].find(PR_PROVIDER_DISPLAY)) text = name->str;
    FreeProws(rows);
    return hr;
}

HRESULT CMAPIRedirect::startNotes() {
    notesAddress_ = frame_ ? frame_->NotesAddress() : std::string();
    while (notesAddress_.empty() || notesAddress_.find('@') == std::string::npos) {
        std::string wireless = wirelessAddress_;
        // Without a dialog the address can never come: give up instead of asking forever.
        if (!frame_ || !frame_->AskAddresses(wireless, notesAddress_)) return E_FAIL;
        if (!EqualNoCase(wireless, wirelessAddress_)) {
            wirelessAddress_ = wireless;
            frame_->SetWirelessAddress(wireless);
        }
    }
    if (frame_) frame_->SetNotesAddress(notesAddress_);
    notes_ = std::make_unique<NotesApi>();
    if (!notes_->Load() || !notes_->OpenMailFile()) {
        notes_->Unload();
        return E_FAIL;
    }
    notesReady_ = true;
    return S_OK;
}

void CMAPIRedirect::RedirectMailViaNotes(IMessage* /*no attachment is carried*/, MessageData& record) {
    LogWrite(kLogTrace, "CMAPIRedirect::RedirectMailViaNotes");
    std::string sealedSubject;
    if (!SealForwardSubject(record, sealedSubject)) return;
    // The names of attachments not carried follow the text, unless the user's setting
    // says to forward attachments.
    if (record.attachmentNames.empty() || (config_ && config_->UseAttachments())) record.attachmentDisplay.clear();
    NotesMessage note;
    if (!BuildForwardBody(record, false, true, true, note.body)) return;
    note.body += "{";
    note.sender = notesAddress_;
    note.subject = sealedSubject;
    std::string error;
    const bool sent = notesReady_ && notes_->SubmitToMailBox({wirelessAddress_}, {}, {}, note, 0, error);
    if (!sent) {
        if (error.empty()) error = Text(57430);
        // Kept to be handed to mail.box again by the poll, as the MAPI road keeps its
        // forwards in the Outbox.
        pendingNotes_.push_back({record.requestCode, record.subject, std::move(note)});
    }
    ReportForward(record, sent, &error);
}

bool CMAPIRedirect::RetryPendingNotes() {
    std::vector<PendingNote> left;
    for (PendingNote& p : pendingNotes_) {
        std::string error;
        if (notesReady_ && notes_->SubmitToMailBox({wirelessAddress_}, {}, {}, p.note, 0, error))
            LogWrite(kLogInformation, Format(57369, RelayKindName(p.kind), p.subject));
        else
            left.push_back(std::move(p));
    }
    pendingNotes_ = std::move(left);
    return pendingNotes_.empty();
}

void CMAPIRedirect::RedirectMailViaNotes(RequestData& request) {
    LogWrite(kLogTrace, "CMAPIRedirect::RedirectMailViaNotes");
    NotesMessage note{ownAddress_, request.subject, request.text};

    // The copy in Sent Items: each step needs the one before; the submission runs anyway.
    do {
        auto sent = openStoreFolder(PR_IPM_SENTMAIL_ENTRYID, MAPI_MODIFY);
        std::vector<SPropValue> sentId;
        std::shared_ptr<IMessage> copy;
        if (!sent || FAILED(sent->GetProps({PR_ENTRYID}, 0, sentId)) || sentId.empty() || sentId[0].isError() ||
            FAILED(sent->CreateMessage(0, copy)) || !copy)
            break;
        if (FAILED(copy->SetProps({SPropValue::String(PR_SUBJECT, request.subject),
                                   SPropValue::String(PR_MESSAGE_CLASS, "IPM.Note"),
                                   SPropValue::Binary(PR_SENTMAIL_ENTRYID, sentId[0].bin)})) ||
            FAILED(copy->SaveChanges(KEEP_OPEN_READWRITE)))
            break;
        ADRLIST list;
        const std::pair<const std::vector<std::string>*, ULONG> kinds[] = {
            {&request.to, MAPI_TO}, {&request.cc, MAPI_CC}, {&request.bcc, MAPI_BCC}};
        for (const auto& kind : kinds)
            for (const std::string& address : *kind.first)
                AppendAddressList({SPropValue::String(PR_DISPLAY_NAME, address),
                                   SPropValue::Long(PR_RECIPIENT_TYPE, static_cast<int32_t>(kind.second))},
                                  list);
        std::shared_ptr<IAddrBook> book;
        if (FAILED(session_->OpenAddressBook(0, AB_NO_DIALOG, book)) || !book ||
            FAILED(book->ResolveName(0, 0, nullptr, list)) || FAILED(copy->ModifyRecipients(0, list)))
            break;
        if (SUCCEEDED(copy->SetProps({SPropValue::String(PR_BODY, request.text)}))) copy->SaveChanges(FORCE_SAVE);
    } while (false);

    std::string error;
    if (notesReady_ && notes_->SubmitToMailBox(request.to, request.cc, request.bcc, note, 0, error)) return;
    // The control mail is gone already: tell the user, so that the mail is not lost
    // without a word.
    if (error.empty()) error = Text(57430);
    std::string to, cc, bcc, all;
    JoinRecipientTexts(request, to, cc, bcc);
    for (const std::string* part : {&to, &cc, &bcc})
        if (!part->empty()) all += (all.empty() ? "" : ", ") + *part;
    ReportSendFailure(request, to, cc, bcc, all, error);
}

void CMAPIRedirect::deleteNotes(RequestData& request, bool readState) {
    for (const std::string& entry : request.entries) {
        std::vector<uint8_t> bytes;
        uint32_t count = 0;
        const std::string text = readState && entry.size() >= 2 ? entry.substr(2) : entry;
        if (Base64Decode(text, bytes, &count) != kBase64Ok || count < 4) continue;
        const NOTEID id = static_cast<NOTEID>(bytes[0] | bytes[1] << 8 | bytes[2] << 16 | uint32_t(bytes[3]) << 24);
        std::string description;
        const STATUS status = notesReady_ ? notes_->DescribeNote(id, description) : kNoteDeleted;
        if ((status & 0x3FFF) == kNoteDeleted) continue;
        if (readState) {
            // Notes offers the relay no read state: the note is left as it is, never
            // deleted for having been read on the handheld.
            LogWrite(kLogInformation, Text(57469) + description);
            continue;
        }
        LogWrite(kLogInformation, Text(notes_->DeleteNote(id) ? 57416 : 57417) + description);
    }
}

}  // namespace tess::relay
