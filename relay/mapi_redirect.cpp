// The watcher's life: logon, advise, the new-mail road, reading a mail into its record,
// the report road for mail that could not reach the handheld.
#include "relay/mapi_redirect.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/mapi/mapi32.h"
#include "relay/mapi_helpers.h"
#include "relay/relay_log.h"
#include "relay/relay_text.h"
#include "relay/relay_util.h"

namespace tess::relay {

const char* const kHelloSubject = "???C-H-2    Wayfarer Message - Do Not Delete";

RoadState& Road() {
    static RoadState state;
    return state;
}

std::string RelayMailDomain() {
    const char* d = std::getenv("TESSALINE_RELAY_MAIL_DOMAIN");
    return d ? d : "";
}

namespace {

constexpr const char* kNdrSubject = "Corvid(TM) Wayfarer non-delivery report";

ULONG notifyCallback(void* context, ULONG count, const NOTIFICATION* notifications) {
    auto* watcher = static_cast<CMAPIRedirect*>(context);
    return watcher->OnNotify(std::vector<NOTIFICATION>(notifications, notifications + count));
}

}  // namespace

std::time_t FileTimeToUnix(FileTime ft) {
    return static_cast<std::time_t>((static_cast<int64_t>(ft) - 116444736000000000LL) / 10000000LL);
}

FileTime FileTimeNow() {
    const auto ns =
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    return static_cast<FileTime>(ns / 100 + 116444736000000000LL);
}

std::string LocalAscTime(FileTime ft) {
    if (ft == 0) return {};
    std::time_t t = FileTimeToUnix(ft);
    std::tm tm{};
    if (!localtime_r(&t, &tm)) return {};
    return AscTime(&tm);
}

CMAPIRedirect::CMAPIRedirect(RelayFrame* frame, CRelayConfig* config, std::string wirelessAddress)
    : frame_(frame), wirelessAddress_(std::move(wirelessAddress)), config_(config) {}

CMAPIRedirect::~CMAPIRedirect() {
    if (notes_) notes_->Unload();
    notes_.reset();
    undo();
    if (initialized_) MAPIUninitialize();
    if (seal_) DestroySealContext(&seal_);
}

void CMAPIRedirect::undo() {
    if (store_) {
        if (connection_) store_->Unadvise(connection_);
        ULONG flags = 0;
        store_->StoreLogoff(&flags);
    }
    connection_ = 0;
    store_.reset();
    if (session_ && loggedOn_) session_->Logoff(0, 0, 0);
    loggedOn_ = false;
    session_.reset();
    sink_.reset();
}

std::string CMAPIRedirect::profileName() const {
    return config_ && config_->settings() ? config_->settings()->profileOrIdFile.str() : std::string();
}

bool CMAPIRedirect::detailedLog() const { return config_ && (config_->loggingOption() & 1); }

void CMAPIRedirect::tooltip(const std::string& text) {
    if (frame_) frame_->SetTooltip(text);
}

void CMAPIRedirect::DispatchNotifications() {
    if (session_ && !inNotify_) HrDispatchNotifications(session_.get());
}

int CMAPIRedirect::NotificationFd() { return session_ ? HrNotificationFd(session_.get()) : -1; }

HRESULT CMAPIRedirect::Initialize() {
    const std::string profile = profileName();
    const std::string password = config_ && config_->settings() ? config_->settings()->password.str() : std::string();
    HRESULT hr = MAPIInitialize(nullptr);
    if (FAILED(hr)) {
        LogWrite(kLogFatal, Text(57353));
        return hr;
    }
    initialized_ = true;
    hr = MAPILogonEx(0, profile.c_str(), password.c_str(),
                     MAPI_NEW_SESSION | MAPI_EXPLICIT_PROFILE | MAPI_EXTENDED | MAPI_TIMEOUT_SHORT, &session_);
    if (FAILED(hr) || !session_) {
        LogWrite(kLogFatal, Format(57354, profile));
        session_.reset();
        return FAILED(hr) ? hr : E_FAIL;
    }
    loggedOn_ = true;
    EntryId storeId;
    hr = FindDefaultStore(session_.get(), storeId);
    if (FAILED(hr)) {
        LogWrite(kLogFatal, Format(57355, profile));
        undo();
        return hr;
    }
    hr = session_->OpenMsgStore(0, storeId, MAPI_BEST_ACCESS, store_);
    if (FAILED(hr) || !store_) {
        LogWrite(kLogFatal, Format(57356, profile, HexCode(hr)));
        undo();
        return FAILED(hr) ? hr : E_FAIL;
    }
    std::vector<SPropValue> v;
    hr = store_->GetProps({PR_MDB_PROVIDER, PR_DISPLAY_NAME, PR_PROVIDER_DISPLAY}, 0, v);
    if (FAILED(hr) || v.empty() || v[0].isError()) {
        LogWrite(kLogFatal, Format(57357, profile));
        undo();
        return FAILED(hr) ? hr : E_FAIL;
    }
    providerId_ = v[0].bin;
    providerId_.resize(16);
    std::string provider;
    GetStoreProviderName(provider);
    notesMode_ = provider.find("Lotus Notes") != std::string::npos;
    if (notesMode_ && FAILED(hr = startNotes())) {
        undo();
        return hr;
    }

    if (config_ && config_->FirstRun()) std::this_thread::sleep_for(std::chrono::milliseconds(FirstRunWaitMs()));

    std::shared_ptr<IMAPIAdviseSink> raw;
    if (FAILED(hr = HrAllocAdviseSink(&notifyCallback, this, &raw)) ||
        FAILED(hr = HrThisThreadAdviseSink(raw, &sink_))) {
        LogWrite(kLogFatal, Format(57358, profile));
        undo();
        return hr;
    }
    raw.reset();
    EntryId inbox;
    if (FAILED(hr = store_->GetReceiveFolder("", 0, inbox)) ||
        FAILED(hr = store_->Advise(inbox, fnevNewMail, sink_, &connection_))) {
        LogWrite(kLogFatal, Format(57359, profile));
        undo();
        return hr;
    }
    Road().forwardingOn = true;

    if (FAILED(hr = CheckForNewKey(true))) {
        undo();
        return hr;
    }
    hr = GetUserItems(user_);
    if (notesMode_ && user_.smtpAddress.empty()) user_.smtpAddress = notesAddress_;
    if (hr == MAPI_W_ERRORS_RETURNED || FAILED(hr) || user_.smtpAddress.empty()) {
        LogWrite(kLogFatal, Format(57413, profile));
        undo();
        return FAILED(hr) ? hr : E_FAIL;
    }
    ownAddress_ = user_.smtpAddress;
    if (!smtp_) smtp_ = OpenSmtpRoad(config_);
    LogWrite(kLogInformation, Format(57360, profile));
    tooltip(Text(57350));

    if (config_ && config_->SendEmail()) {
        if (Road().forwardCount == 0) Road().sendMailPending = true;
        SendHelloMail();
    }
    ScanInboxForControlMails();
    return S_OK;
}

HRESULT CMAPIRedirect::GetUserItems(UserItems& items) {
    EntryId id;
    HRESULT hr = session_->QueryIdentity(id);
    if (FAILED(hr)) return hr;
    ULONG type = 0;
    std::shared_ptr<IMAPIProp> me;
    if (FAILED(hr = session_->OpenEntry(id, MAPI_BEST_ACCESS | MAPI_DEFERRED_ERRORS, &type, me)) || !me)
        return FAILED(hr) ? hr : E_FAIL;
    std::vector<SPropValue> v;
    hr = me->GetProps({PR_SMTP_ADDRESS, PR_ENTRYID, PR_DISPLAY_NAME, PR_SEARCH_KEY, PR_EMS_AB_PROXY_ADDRESSES}, 0, v);
    if (FAILED(hr)) return hr;
    if (!v[2].isError()) items.displayName = v[2].str;
    if (!v[0].isError() && v[0].str.find('@') != std::string::npos)
        items.smtpAddress = v[0].str;
    else
        LookupSender(items.displayName, items.smtpAddress);
    if (!items.smtpAddress.empty()) items.addressType = "SMTP";
    if (!v[1].isError()) items.entryId = v[1].bin;
    if (!v[3].isError()) items.searchKey = v[3].bin;
    if (!v[4].isError()) {
        for (const std::string& proxy : v[4].mv) {
            if (proxy.find("SMTP") != std::string::npos)
                items.smtpAddress = proxy.size() > 5 ? proxy.substr(5) : std::string();
            else if (proxy.find("smtp") != std::string::npos)
                items.furtherSmtpAddresses = true;
        }
    }
    return hr == MAPI_W_ERRORS_RETURNED ? S_OK : hr;
}

HRESULT CMAPIRedirect::GetMAPIMsgRecipients(IMessage* message, MessageData& record) {
    std::shared_ptr<IMAPITable> table;
    HRESULT hr = message->GetRecipientTable(0, table);
    if (FAILED(hr)) return hr;
    const SPropTagArray columns = {PR_DISPLAY_NAME,   PR_ENTRYID,       PR_ADDRTYPE,
                                   PR_RECIPIENT_TYPE, PR_EMAIL_ADDRESS, PR_SEARCH_KEY};
    SRowSet* rows = nullptr;
    if (FAILED(hr = HrQueryAllRows(table.get(), &columns, nullptr, nullptr, 0, &rows)) || !rows) {
        FreeProws(rows);
        return FAILED(hr) ? hr : E_FAIL;
    }
    std::string wholeTo, wholeCc;
    auto append = [](std::string& list, const std::string& name) {
        if (!list.empty()) list += ";";
        list += name;
    };
    for (const SRow& row : rows->aRow) {
        const SPropValue* addrType = row.find(PR_ADDRTYPE);
        const SPropValue* display = row.find(PR_DISPLAY_NAME);
        const SPropValue* email = row.find(PR_EMAIL_ADDRESS);
        const SPropValue* type = row.find(PR_RECIPIENT_TYPE);
        std::string name =
            addrType && addrType->str == "EX" ? (display ? display->str : "") : (email ? email->str : "");
        if (name.empty()) continue;
        const ULONG kind = type ? static_cast<ULONG>(type->l) : MAPI_TO;
        const bool isUser =
            EqualNoCase(name, ownAddress_) || (!user_.displayName.empty() && EqualNoCase(name, user_.displayName));
        if (isUser) {
            if (kind == MAPI_TO) record.sentToMe = 1;
            if (kind == MAPI_CC) record.copiedToMe = 1;
        } else if (kind == MAPI_CC) {
            append(record.ccRecipients, name);
        } else {
            append(record.toRecipients, name);
        }
        if (kind == MAPI_CC)
            append(wholeCc, name);
        else if (kind == MAPI_TO)
            append(wholeTo, name);
    }
    FreeProws(rows);
    if (record.sentToMe)
        record.wholeLine = wholeTo;
    else if (record.copiedToMe)
        record.wholeLine = wholeCc;
    return S_OK;
}

HRESULT CMAPIRedirect::GetMessageBody(IMessage* message, MessageData& record) {
    std::vector<SPropValue> v;
    HRESULT hr = message->GetProps({PR_BODY}, 0, v);
    if (FAILED(hr)) return E_FAIL;
    record.body.clear();
    if (!v.empty() && !v[0].isError()) {
        record.body = v[0].str;
    } else if (!v.empty() && v[0].err == MAPI_E_NOT_ENOUGH_MEMORY) {
        std::shared_ptr<IStream> stream;
        uint64_t size = 0;
        if (SUCCEEDED(message->OpenProperty(PR_BODY, 0, stream)) && stream && SUCCEEDED(stream->Stat(&size))) {
            const ULONG want = static_cast<ULONG>(std::min<uint64_t>(size, 61440));
            std::string text(want, '\0');
            ULONG got = 0;
            if (SUCCEEDED(stream->Read(text.data(), want, &got))) {
                text.resize(got);
                record.body = text;
            }
        }
    }
    if (record.body == "\r\n\r\n" || record.body == "\r\n") record.body.clear();
    return S_OK;
}

bool CMAPIRedirect::IsRelayNDR(const MessageData& record, const std::string& userAddress) const {
    const std::string& s = record.senderName;
    if (EqualNoCase(s, "System Administrator")) return true;
    if (s.size() >= 23 && EqualNoCase(s.substr(0, 23), "Mail Delivery Subsystem")) return true;
    if (s.size() >= 10 && EqualNoCase(s.substr(0, 10), "postmaster")) return true;
    const std::string domain = RelayMailDomain();
    if (!domain.empty() && s.size() >= domain.size() && EqualNoCase(s.substr(s.size() - domain.size()), domain))
        return true;
    return EqualNoCase(record.messageClass, "REPORT.IPM.Note.NDR") && EqualNoCase(record.displayTo, userAddress);
}

HRESULT CMAPIRedirect::PopulateMessageStruct(IMessage* message, MessageData& record) {
    LogWrite(kLogTrace, "Entering CMAPIRedirect::PopulateMessageStruct");
    const SPropTagArray tags = {PR_SUBJECT,
                                PR_MESSAGE_FLAGS,
                                PR_SENT_REPRESENTING_NAME,
                                PR_HASATTACH,
                                PR_SENDER_NAME,
                                PR_SENDER_EMAIL_ADDRESS,
                                PR_MESSAGE_DELIVERY_TIME,
                                PR_MESSAGE_SIZE,
                                PR_DISPLAY_TO,
                                PR_MESSAGE_TO_ME,
                                PR_DISPLAY_CC,
                                PR_MESSAGE_CC_ME,
                                PR_MESSAGE_CLASS,
                                PR_SENDER_ADDRTYPE,
                                PR_ORIGINAL_SUBJECT,
                                PR_REPLY_RECIPIENT_NAMES,
                                PR_SENDER_ENTRYID};
    std::vector<SPropValue> v;
    HRESULT hr = message->GetProps(tags, 0, v);
    if (FAILED(hr)) return hr;
    auto has = [&](size_t i) { return i < v.size() && !v[i].isError(); };
    if (has(0)) record.subject = v[0].str;
    if (record.subject.size() > 50)
        record.displaySubject = record.subject.substr(0, 47) + "...";
    else
        record.displaySubject = record.subject;
    const bool hasAttach = has(3) && v[3].b;
    if (has(4)) record.senderName = v[4].str;
    if (has(13) && v[13].str == "EX")
        record.senderAddress = record.senderName;
    else if (has(5))
        record.senderAddress = v[5].str;
    if (has(6)) record.deliveryTime = v[6].ft;
    if (has(7)) record.size = static_cast<uint32_t>(v[7].l);
    if (has(8)) record.displayTo = v[8].str;
    if (has(9) && v[9].b) record.sentToMe = 1;
    if (has(11) && v[11].b) record.copiedToMe = 1;
    if (has(12)) record.messageClass = v[12].str;
    if (has(15)) record.replyTo = v[15].str.substr(0, v[15].str.find(';'));

    GetMAPIMsgRecipients(message, record);
    record.isRelayNdr = IsRelayNDR(record, ownAddress_);
    GetWayfarerRequest(record);

    GetMessageBody(message, record);
    if (record.requestCode == kRequestPause || record.requestCode == kRequestStart ||
        record.requestCode == kRequestShutDown) {
        LogWrite(kLogTrace, "Exiting CMAPIRedirect::PopulateMessageStruct");
        return S_OK;
    }
    record.isEmpty = record.body.empty() && record.subject.empty();

    if (record.isRelayNdr && record.body.empty()) {
        if (has(14)) record.subject = v[14].str;
        record.body = Format(57400, record.subject, record.toRecipients);
        std::shared_ptr<IMAPITable> table;
        if (SUCCEEDED(message->GetRecipientTable(0, table))) {
            table->SetColumns({PR_REPORT_TEXT}, 0);
            for (;;) {
                SRowSet rows;
                if (FAILED(table->QueryRows(20, 0, rows)) || rows.cRows() == 0) break;
                for (const SRow& row : rows.aRow)
                    if (const SPropValue* t = row.find(PR_REPORT_TEXT)) record.body += " " + t->str;
            }
        }
    }

    if (hasAttach) {
        std::shared_ptr<IMAPITable> table;
        SRowSet* rows = nullptr;
        const SPropTagArray columns = {PR_ATTACH_FILENAME, PR_ATTACH_NUM};
        if (SUCCEEDED(message->GetAttachmentTable(0, table)) &&
            SUCCEEDED(HrQueryAllRows(table.get(), &columns, nullptr, nullptr, 0, &rows)) && rows) {
            record.attachmentCount = rows->cRows();
            for (const SRow& row : rows->aRow) {
                const SPropValue* name = row.find(PR_ATTACH_FILENAME);
                if (!name || name->str.empty()) continue;
                if (!record.attachmentDisplay.empty()) record.attachmentDisplay += " ";
                record.attachmentDisplay += "<<" + name->str + ">>";
                if (!record.attachmentNames.empty()) record.attachmentNames += ",";
                record.attachmentNames += name->str;
            }
        }
        FreeProws(rows);
    }
    LogWrite(kLogTrace, "Exiting CMAPIRedirect::PopulateMessageStruct");
    return S_OK;
}

void CMAPIRedirect::BuildFilterMessage(const MessageData& record, FilterMessage& filter) {
    filter.senderAddress = record.senderAddress.c_str();
    filter.toRecipients = record.toRecipients.c_str();
    filter.ccRecipients = record.ccRecipients.c_str();
    filter.subject = record.subject.c_str();
    filter.body = record.body.c_str();
    filter.attachmentNames = record.attachmentNames.c_str();
    filter.size = record.size;
    std::time_t t = FileTimeToUnix(record.deliveryTime);
    std::tm local{};
    if (record.deliveryTime == 0 || !localtime_r(&t, &local)) {
        LogWrite(kLogInformation, Text(57361));
        filter.deliveryTime = 0;
        return;
    }
    filter.deliveryTime = static_cast<int32_t>(t);
}

bool CMAPIRedirect::PassFilter(FilterMessage& filter) { return config_ && config_->PassFilter(&filter) == 0; }

std::shared_ptr<IMAPIFolder> CMAPIRedirect::openFolder(const EntryId& id, ULONG flags) {
    ULONG type = 0;
    std::shared_ptr<IMAPIProp> object;
    if (!store_ || FAILED(store_->OpenEntry(id, flags, &type, object)) || type != MAPI_FOLDER) return nullptr;
    return std::dynamic_pointer_cast<IMAPIFolder>(object);
}

std::shared_ptr<IMAPIFolder> CMAPIRedirect::openStoreFolder(ULONG tag, ULONG flags) {
    std::vector<SPropValue> v;
    if (!store_ || FAILED(store_->GetProps({tag}, 0, v)) || v.empty() || v[0].isError()) return nullptr;
    return openFolder(v[0].bin, flags);
}

std::shared_ptr<IMessage> CMAPIRedirect::openMessage(const EntryId& id) {
    ULONG type = 0;
    std::shared_ptr<IMAPIProp> object;
    if (!store_ || FAILED(store_->OpenEntry(id, MAPI_BEST_ACCESS | MAPI_DEFERRED_ERRORS, &type, object)) ||
        type != MAPI_MESSAGE)
        return nullptr;
    return std::dynamic_pointer_cast<IMessage>(object);
}

HRESULT CMAPIRedirect::DeleteMessage(const NOTIFICATION& notification) {
    if (notesMode_) return notesReady_ && notes_->DeleteNote(NoteIdOf(notification.entryId)) ? S_OK : E_FAIL;
    auto folder = openFolder(notification.parentId, MAPI_MODIFY | MAPI_DEFERRED_ERRORS);
    if (!folder) return E_FAIL;
    return FAILED(folder->DeleteMessages({notification.entryId}, 0)) ? E_FAIL : S_OK;
}

void CMAPIRedirect::CreateNDRInOutbox(const std::string& text) {
    auto outbox = openStoreFolder(PR_IPM_OUTBOX_ENTRYID, MAPI_MODIFY);
    std::shared_ptr<IMessage> m;
    std::shared_ptr<IAddrBook> book;
    ADRLIST list;
    CreateAddressList({SPropValue::String(PR_DISPLAY_NAME, ownAddress_), SPropValue::Long(PR_RECIPIENT_TYPE, MAPI_TO)},
                      list);
    if (!outbox || FAILED(outbox->CreateMessage(0, m)) ||
        FAILED(m->SetProps({SPropValue::String(PR_BODY, text), SPropValue::String(PR_SUBJECT, kNdrSubject),
                            SPropValue::String(PR_MESSAGE_CLASS, "IPM.Note"),
                            SPropValue::Bool(PR_DELETE_AFTER_SUBMIT, true)})) ||
        FAILED(session_->OpenAddressBook(0, AB_NO_DIALOG, book)) || FAILED(book->ResolveName(0, 0, nullptr, list)) ||
        FAILED(m->ModifyRecipients(0, list)) || FAILED(m->SaveChanges(KEEP_OPEN_READWRITE))) {
        LogWrite(kLogWarning, Text(57457));
        return;
    }
    LogWrite(kLogWarning, Text(57458));
    if (FAILED(m->SubmitMessage(0))) LogWrite(kLogWarning, Text(57457));
}

ULONG CMAPIRedirect::OnNotify(const std::vector<NOTIFICATION>& notifications) {
    LogWrite(kLogTrace, "Entering CMAPIRedirect::OnNotify");
    if (Road().stopRequested) return 0;
    struct Busy {
        bool& flag;
        bool was;
        explicit Busy(bool& f) : flag(f), was(f) { flag = true; }
        ~Busy() { flag = was; }
    } busy(inNotify_);
    if (frame_) frame_->Animate(kIconRunning, kIconAnimationLast, 50);
    for (const NOTIFICATION& n : notifications) {
        if (Road().stopRequested) break;
        MessageData record;
        if (n.ulEventType != fnevNewMail) continue;
        ULONG type = 0;
        std::shared_ptr<IMAPIProp> object;
        if (!store_ || FAILED(store_->OpenEntry(n.entryId, MAPI_BEST_ACCESS | MAPI_DEFERRED_ERRORS, &type, object)) ||
            type != MAPI_MESSAGE)
            continue;
        auto message = std::dynamic_pointer_cast<IMessage>(object);
        if (!message) continue;
        if (FAILED(CheckForNewKey(keyIsNew_))) {
            if (frame_) {
                frame_->StopAnimation();
                frame_->SetIcon(kIconError);
            }
            tooltip(Text(57381));
            return 0;
        }
        keyIsNew_ = false;
        if (FAILED(PopulateMessageStruct(message.get(), record))) continue;
        record.entryId = n.entryId;
        if (notesMode_) {
            // A Notes store's entry id carries the note id; the forward names the note.
            const NOTEID note = NoteIdOf(n.entryId);
            if (note == 0) continue;
            record.entryId = EntryId(n.entryId.begin() + 28, n.entryId.begin() + 32);
            if (record.body.empty() && notesReady_ && notes_->ReadNoteBody(note, record.body) > 0)
                record.isEmpty = false;
        }
        handleOne(n, message, record);
    }
    if (frame_) frame_->StopAnimation();
    LogWrite(kLogTrace, "Exiting CMAPIRedirect::OnNotify");
    return 0;
}

void CMAPIRedirect::handleOne(const NOTIFICATION& n, std::shared_ptr<IMessage> message, MessageData& record) {
    const bool wirelessNamed = !wirelessAddress_.empty() && (ContainsNoCase(record.toRecipients, wirelessAddress_) ||
                                                             record.body.find(wirelessAddress_) != std::string::npos);
    if (record.isRelayNdr && wirelessNamed) {
        if (!notesMode_) reportRoad(n, record);  // Notes mode leaves such reports alone
    } else {
        ordinaryRoad(n, message.get(), record);
    }
}

void CMAPIRedirect::reportRoad(const NOTIFICATION& n, MessageData& record) {
    // The report names the sealed subject of the forward, whole or behind a prefix that
    // ends in ": " (sealed text has neither ':' nor blanks).
    std::string sealed = record.subject;
    const size_t cut = sealed.rfind(": ");
    if (cut != std::string::npos) sealed = sealed.substr(cut + 2);
    if (sealed.size() > 1023) sealed.resize(1023);
    std::string unsealed;
    if (seal_ && !sealed.empty()) {
        std::vector<char> buffer(1024, '\0');
        std::memcpy(buffer.data(), sealed.data(), sealed.size());
        uint8_t* out = nullptr;
        uint16_t outLength = 0;
        if (UnsealText(seal_, buffer.data(), static_cast<uint16_t>(sealed.size()), &out, &outLength) == kSealOk &&
            out) {
            unsealed.assign(reinterpret_cast<char*>(out), strnlen(reinterpret_cast<char*>(out), outLength));
            std::free(out);
            if (unsealed == kHelloSubject) unsealed = "Larkspur Welcome";
        }
    }
    LogWrite(kLogWarning, Format(57351, unsealed.empty() ? sealed : unsealed));
    DeleteMessage(n);
    auto& road = Road();
    if (record.body.empty()) {
        if (road.forwardCount < 5 && road.sendMailPending && config_) config_->ResetSendMail();
        return;
    }
    if (record.body.find(wirelessAddress_) != std::string::npos) {
        std::string body = record.body;
        ReplaceAll(body, wirelessAddress_, "Corvid Device Address");
        if (!unsealed.empty()) ReplaceAll(body, sealed, unsealed);
        if (body.find("storage quota exceeded") != std::string::npos) {
            body += Text(57461);
            road.quotaExceeded = true;
        }
        CreateNDRInOutbox(body);
    }
    if (road.forwardCount < 5 && road.sendMailPending) {
        if (config_) config_->ResetSendMail();
        Box(Text(57459));
        road.stopRequested = true;
    }
    if (road.quotaExceeded) {
        LogWrite(kLogFatal, Text(57460));
        road.stopRequested = true;
    }
}

void CMAPIRedirect::ordinaryRoad(const NOTIFICATION& n, IMessage* message, MessageData& record) {
    if (record.isEmpty || record.subject == kNdrSubject) return;
    const int32_t code = record.requestCode;
    if (code != kRequestNone) {
        if (!ValidateSender(record)) {
            DeleteMessage(n);
            return;
        }
    } else if (record.subject.find("Out of Office AutoReply") != std::string::npos &&
               EqualNoCase(record.displayTo, user_.displayName)) {
        DeleteMessage(n);
        return;
    }
    RequestData request;
    if (code != kRequestNone && code != kRequestHello) {
        request.code = code;
        executeRequest(n, record, request);
        if (code == kRequestShutDown) return;
    }
    if (!Road().forwardingOn) return;
    if (code == kRequestNone || code == kRequestHello) {
        FilterMessage filter{};
        // The filter sees the whole line that holds the user when the mail is to or copied
        // to the user.
        const std::string to = record.toRecipients, cc = record.ccRecipients;
        if (record.sentToMe)
            record.toRecipients = record.wholeLine;
        else if (record.copiedToMe)
            record.ccRecipients = record.wholeLine;
        BuildFilterMessage(record, filter);
        const bool pass = PassFilter(filter);
        record.toRecipients = to;
        record.ccRecipients = cc;
        if (!pass && code != kRequestHello) {
            LogWrite(kLogWarning, Format(57352, record.subject));
            return;
        }
        if (notesMode_)
            RedirectMailViaNotes(message, record);
        else
            RedirectMail(message, record, true);
        if (code == kRequestHello) DeleteMessage(n);
        ++Road().forwardCount;
    } else if (code == kRequestForward || code == kRequestReply || code == kRequestNewMail) {
        if (notesMode_)
            RedirectMailViaNotes(request);
        else
            RedirectMail(message, request);
    }
}

}  // namespace tess::relay
