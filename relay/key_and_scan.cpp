// The watcher's smaller duties: keeping the sealing context in step with the security key,
// picking up control mails that came while the relay was not running, and finding a
// user's SMTP address from a display name.
#include "platform/mapi/mapi32.h"
#include "relay/mapi_helpers.h"
#include "relay/mapi_redirect.h"
#include "relay/relay_log.h"
#include "relay/relay_text.h"

namespace tess::relay {

HRESULT CMAPIRedirect::CheckForNewKey(bool force) {
    LogWrite(kLogTrace, "CMAPIRedirect::CheckForNewKey");
    if (!config_) return E_FAIL;
    if (config_->IsNewKeyPresent() == 0 && !force) return S_OK;
    std::vector<uint8_t> key;
    if (config_->GetSecurityKey(key) != 0) {
        LogWrite(kLogFatal, Format(57373, profileName()));
        return E_FAIL;
    }
    if (seal_) DestroySealContext(&seal_);
    SealContext* fresh = nullptr;
    if (CreateSealContext(&fresh, key.data()) != kSealOk || !fresh) {
        LogWrite(kLogFatal, Format(57374, profileName()));
        return E_FAIL;
    }
    seal_ = fresh;
    if (force) config_->TurnOffNewKey();
    return S_OK;
}

void CMAPIRedirect::ScanInboxForControlMails() {
    EntryId inboxId;
    if (!store_ || FAILED(store_->GetReceiveFolder("", 0, inboxId))) return;
    auto inbox = openFolder(inboxId, MAPI_MODIFY);
    if (!inbox) return;
    std::vector<SPropValue> own;
    if (FAILED(inbox->GetProps({PR_ENTRYID}, 0, own)) || own.empty() || own[0].isError()) return;
    std::shared_ptr<IMAPITable> table;
    if (FAILED(inbox->GetContentsTable(MAPI_DEFERRED_ERRORS, table))) return;
    table->SetColumns({PR_ENTRYID, PR_SUBJECT}, TBL_BATCH);
    SRestriction r;
    r.rt = RES_CONTENT;
    r.fuzzyLevel = FL_PREFIX;
    r.ulPropTag = PR_SUBJECT;
    r.prop = SPropValue::String(PR_SUBJECT, "???");
    const HRESULT restricted = table->Restrict(&r, TBL_BATCH);
    for (;;) {
        SRowSet rows;
        if (FAILED(table->QueryRows(20, 0, rows)) || rows.cRows() == 0) break;
        if (!notesMode_ && FAILED(restricted)) break;
        for (const SRow& row : rows.aRow) {
            // Notes stores may not restrict: the subject is checked here instead.
            const SPropValue* subject = row.find(PR_SUBJECT);
            if (notesMode_ && (!subject || subject->str.compare(0, 3, "???") != 0)) continue;
            for (const SPropValue& value : row.lpProps) {
                if (value.ulPropTag != PR_ENTRYID) continue;
                NOTIFICATION n;
                n.ulEventType = fnevNewMail;
                n.entryId = value.bin;
                n.parentId = own[0].bin;
                n.messageClass = "ENVELOPE.IPM";
                OnNotify({n});
            }
        }
    }
}

void CMAPIRedirect::LookupSender(const std::string& displayName, std::string& address) {
    LogWrite(kLogTrace, "CMAPIRedirect::LookupSender");
    address.clear();
    ADRLIST list;
    CreateAddressList({SPropValue::String(PR_DISPLAY_NAME, displayName), SPropValue::Long(PR_RECIPIENT_TYPE, MAPI_TO)},
                      list);
    std::shared_ptr<IAddrBook> book;
    if (!session_ || FAILED(session_->OpenAddressBook(0, AB_NO_DIALOG, book)) ||
        FAILED(book->ResolveName(0, 0, nullptr, list)))
        return;
    const SRow& entry = list.aEntries[0];
    const SPropValue* id = nullptr;
    for (size_t i = 0; i < entry.lpProps.size() && i < 12; ++i)
        if (entry.lpProps[i].ulPropTag == PR_ENTRYID) id = &entry.lpProps[i];
    if (!id) return;
    bool rich = false;
    std::string found;
    if (SUCCEEDED(GetRecipientAddressByType(book.get(), id->bin, "SMTP", rich, found))) address = found;
}

}  // namespace tess::relay
