#include "hosts/xmapi/mapi_session.h"

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>

#include "common/address_list.h"
#include "common/base64.h"
#include "hosts/inet/host_lists.h"
#include "hosts/inet/host_messages.h"
#include "hosts/inet/host_session.h"
#include "platform/mapi/text_util.h"
#include "platform/syncmgr/syncmgr.h"

namespace xmapi {

using tess::AttachmentTable;
using tess::CMsg;
using tess::FolderRecord;
using tess::FreeMailMsgBlock;
using tess::kProgressAdvanceStep;
using tess::kProgressSetStepCount;
using tess::MailMsg;
using tess::MapiLogonRecord;

namespace {

constexpr const char* kSmtpType = "smtp";  // the sender type kept bare
constexpr const char* kUnknownAttachment = "Unknown Attachment";
constexpr const char* kMissingAttachment =
    " - An attachment that appears to be associated with this message is not in the database. Cause may be from "
    "dragging a message from another folder to the inbox.";
constexpr uint32_t kHostMarker = 0x80000000u;
constexpr uint32_t kReadFlag = 0x02000000u;
constexpr uint32_t kAttachFlag = 0x00010000u;
constexpr uint32_t kNormalImportance = 0x00200000u;
constexpr uint32_t kLowImportance = 0x00400000u;

std::string Hex(HRESULT hr) {
    char b[16];
    std::snprintf(b, sizeof b, "0x%08x", static_cast<unsigned>(hr));
    return b;
}

std::string Failure(const char* call, HRESULT hr) { return std::string("MAPI ") + call + " " + Hex(hr) + " "; }

const SPropValue* Find(const SRow& row, ULONG tag) { return row.find(tag); }
std::string Text(const SRow& row, ULONG tag) {
    const SPropValue* v = Find(row, tag);
    return v ? v->str : std::string();
}
bool Bool(const SRow& row, ULONG tag) {
    const SPropValue* v = Find(row, tag);
    return v && v->b;
}
EntryId Bin(const SRow& row, ULONG tag) {
    const SPropValue* v = Find(row, tag);
    return v ? v->bin : EntryId{};
}

EntryId IdOf(const MailMsg* msg) {
    return msg && msg->msgId && msg->msgIdLength > 0 ? EntryId(msg->msgId, msg->msgId + msg->msgIdLength) : EntryId{};
}

// The store's values as one row.
SRow PropsOf(IMAPIProp& object, const SPropTagArray& tags) {
    SRow row;
    std::vector<SPropValue> values;
    if (FAILED(object.GetProps(tags, 0, values))) return row;
    for (auto& v : values)
        if (!v.isError()) row.lpProps.push_back(std::move(v));
    return row;
}

}  // namespace

LogonValues LogonValues::From(const MapiLogonRecord& r) {
    LogonValues v;
    v.hostName = r.hostName.str();
    v.profile = r.profile.str();
    v.password = r.password.str();
    v.days = r.days;
    v.semicolons = r.newerHandheld != 0;
    v.attachments = r.downloadAttachments != 0;
    v.preferHtml = r.blockValue != 0;
    v.userDirectory = r.userDirectory.str();
    v.accountName = r.accountName.str();
    v.window = static_cast<HWND>(r.parentWindow);
    return v;
}

HRESULT GetRecipientAddressByType(const MapiLibrary& lib, IAddrBook* book, ULONG idLength, const uint8_t* id,
                                  const char* addressType, bool* richInfo, char** address) {
    if (!book || !id || !idLength || !addressType || !address || !lib.MAPIAllocateBuffer)
        return MAPI_E_INVALID_PARAMETER;
    *address = nullptr;
    std::shared_ptr<IMAPIProp> entry;
    ULONG type = 0;
    if (HRESULT hr = book->OpenEntry(EntryId(id, id + idLength), 0, &type, entry); FAILED(hr)) return hr;
    const SRow row = PropsOf(*entry, {PR_ADDRTYPE, PR_EMAIL_ADDRESS, PR_EMS_AB_PROXY_ADDRESSES, PR_SEND_RICH_INFO});
    if (richInfo) *richInfo = Bool(row, PR_SEND_RICH_INFO);
    std::string found;
    if (platform::mapi::iequals(Text(row, PR_ADDRTYPE), addressType)) {
        found = Text(row, PR_EMAIL_ADDRESS);
    } else if (const SPropValue* proxies = Find(row, PR_EMS_AB_PROXY_ADDRESSES)) {
        // The primary address of a type is written with the type in capitals.
        const std::string prefix = std::string(addressType) + ":";
        for (const auto& p : proxies->mv) {
            if (p.size() <= prefix.size() || !platform::mapi::iequals(p.substr(0, prefix.size()), prefix)) continue;
            const bool primary = p.compare(0, prefix.size(), platform::mapi::lower(prefix)) != 0;
            if (found.empty() || primary) found = p.substr(prefix.size());
            if (primary) break;
        }
    }
    if (found.empty()) return MAPI_E_NOT_FOUND;
    void* buffer = nullptr;
    if (FAILED(lib.MAPIAllocateBuffer(static_cast<ULONG>(found.size() + 1), &buffer)) || !buffer)
        return MAPI_E_NOT_ENOUGH_MEMORY;
    std::memcpy(buffer, found.c_str(), found.size() + 1);
    *address = static_cast<char*>(buffer);
    return S_OK;
}

CMapiSession::CMapiSession(const MapiLibrary& lib, const LogonValues& values, bool logging, LogSink log)
    : lib_(lib), values_(values), logging_(logging), log_(std::move(log)) {
    if (values_.days != 0) {
        SRestriction r;
        r.rt = RES_PROPERTY;
        r.relop = RELOP_GE;
        r.ulPropTag = PR_MESSAGE_DELIVERY_TIME;
        const time_t since = std::time(nullptr) - static_cast<time_t>(values_.days) * 86400;
        r.prop = SPropValue::Time(PR_MESSAGE_DELIVERY_TIME, platform::mapi::fileTimeFromUnix(since));
        dateRestriction_ = r;
    }
}

CMapiSession::~CMapiSession() { Close(); }

void CMapiSession::Log(const std::string& line) const {
    if (logging_ && log_) log_(line);
}

bool CMapiSession::Progress(unsigned message, WPARAM wParam) const {
    if (values_.window) SendMessageA(values_.window, message, wParam, 0);
    return true;
}

int CMapiSession::Open() {
    const bool named = !values_.profile.empty();
    const ULONG flags = named ? (MAPI_EXPLICIT_PROFILE | MAPI_EXTENDED | MAPI_NEW_SESSION)
                              : (MAPI_USE_DEFAULT | MAPI_EXTENDED | MAPI_NEW_SESSION);
    const HRESULT hr = lib_.MAPILogonEx(
        0, values_.profile.c_str(), values_.password.empty() ? nullptr : values_.password.c_str(), flags, &session_);
    if (FAILED(hr) || !session_) {
        Log(hr == MAPI_E_LOGON_FAILED ? "MAPI Logon failed. Connection could not be made"
                                      : "MAPI Logon timed out. Connection could not be made");
        Log(Failure("MAPILogonEx", hr));
        session_.reset();
        return kLogonFailed;
    }
    Log("MAPI succesfully logged on for this account");
    Log("MAPI: OpenDefStore");
    if (!OpenDefaultStore()) {
        Log("MAPI session failed to open default storage.");
        Close();
        return kLogonFailed;
    }
    Log("MAPI: OpenAddressBook");
    if (FAILED(session_->OpenAddressBook(0, AB_NO_DIALOG, book_)) || !book_) {
        Log("MAPI session failed to open the address book");
        Close();
        return kLogonFailed;
    }
    Log("MAPI: OpenIPMSubTree");
    if (!OpenFolders()) {
        Log("MAPI session failed to open IPM sub tree.");
        Close();
        return kLogonFailed;
    }
    Log("MAPI: GetSpoolerStatus");
    return 0;
}

void CMapiSession::Close() {
    folders_.clear();
    for (auto& f : special_) f.reset();
    book_.reset();
    if (store_) {
        ULONG flags = 0;
        store_->StoreLogoff(&flags);
    }
    store_.reset();
    if (session_) session_->Logoff(0, 0, 0);
    session_.reset();
    attachmentDir_.reset();
}

bool CMapiSession::OpenDefaultStore() {
    Log("MAPI SESSION: Begin Open Default Storage");
    std::shared_ptr<IMAPITable> table;
    if (HRESULT hr = session_->GetMsgStoresTable(0, table); FAILED(hr) || !table) {
        Log("MAPI SESSION: Failed to get msg store table " + Hex(hr));
        return false;
    }
    SRestriction isDefault;
    isDefault.rt = RES_PROPERTY;
    isDefault.relop = RELOP_EQ;
    isDefault.ulPropTag = PR_DEFAULT_STORE;
    isDefault.prop = SPropValue::Bool(PR_DEFAULT_STORE, true);
    SRowSet rows;
    if (HRESULT hr = lib_.AllRows(table.get(), {PR_ENTRYID, PR_MDB_PROVIDER, PR_DEFAULT_STORE}, &isDefault, rows);
        FAILED(hr)) {
        Log("MAPI SESSION: Failed to get query rows " + Hex(hr));
        return false;
    }
    if (rows.aRow.empty() || Bin(rows.aRow[0], PR_ENTRYID).empty()) {
        Log("MAPI SESSION: Failed to find valid entry.");
        return false;
    }
    storeId_ = Bin(rows.aRow[0], PR_ENTRYID);
    if (HRESULT hr = session_->OpenMsgStore(0, storeId_, MAPI_BEST_ACCESS, store_); FAILED(hr) || !store_) {
        Log("MAPI SESSION: Failed to open message store " + Hex(hr) + ".");
        return false;
    }
    Log("MAPI SESSION: End Default Storage");
    return true;
}

std::shared_ptr<IMAPIFolder> CMapiSession::OpenFolder(const EntryId& id) {
    std::shared_ptr<IMAPIProp> object;
    ULONG type = 0;
    if (FAILED(store_->OpenEntry(id, MAPI_MODIFY, &type, object)) || type != MAPI_FOLDER) return nullptr;
    return std::dynamic_pointer_cast<IMAPIFolder>(object);
}

std::shared_ptr<IMessage> CMapiSession::OpenMessage(const EntryId& id, ULONG* typeOut) {
    if (!store_ || id.empty()) return nullptr;
    std::shared_ptr<IMAPIProp> object;
    ULONG type = 0;
    if (FAILED(store_->OpenEntry(id, MAPI_BEST_ACCESS, &type, object))) return nullptr;
    if (typeOut) *typeOut = type;
    return type == MAPI_MESSAGE ? std::dynamic_pointer_cast<IMessage>(object) : nullptr;
}

bool CMapiSession::OpenFolders() {
    const SRow row = PropsOf(
        *store_, {PR_IPM_OUTBOX_ENTRYID, PR_IPM_WASTEBASKET_ENTRYID, PR_IPM_SENTMAIL_ENTRYID, PR_IPM_SUBTREE_ENTRYID});
    ids_[kOutbox] = Bin(row, PR_IPM_OUTBOX_ENTRYID);
    ids_[kDeleted] = Bin(row, PR_IPM_WASTEBASKET_ENTRYID);
    ids_[kSent] = Bin(row, PR_IPM_SENTMAIL_ENTRYID);
    ids_[kSubtree] = Bin(row, PR_IPM_SUBTREE_ENTRYID);
    if (FAILED(store_->GetReceiveFolder("IPM.Note", 0, ids_[kInbox]))) ids_[kInbox].clear();
    for (int i = 0; i < kSpecialCount; ++i) {
        if (ids_[i].empty()) {
            Log(Failure("OpenIPMSubTree", MAPI_E_NOT_FOUND));
            return false;
        }
        special_[i] = OpenFolder(ids_[i]);
        if (!special_[i]) {
            Log(Failure("OpenIPMSubTree", MAPI_E_INVALID_OBJECT));
            return false;
        }
    }
    folders_.clear();
    Walk(*special_[kSubtree], 1, "");
    return true;
}

int CMapiSession::KindOf(const EntryId& id, const std::string& containerClass) {
    auto same = [&](const EntryId& other) {
        ULONG result = 0;
        return !other.empty() && SUCCEEDED(session_->CompareEntryIDs(id, other, 0, &result)) && result;
    };
    if (same(ids_[kInbox])) return 0;
    if (same(ids_[kOutbox])) return 1;
    if (same(ids_[kSent])) return 2;
    if (same(ids_[kDeleted])) return 3;
    std::string c = containerClass;
    if (c.size() > 3 && c.compare(0, 2, "IP") == 0) c[2] = '.';
    if (c == "IP..Note" || c == "IP..Imap") return 10;
    if (c == "IP..Appointment") return 4;
    if (c == "IP..Contact") return 5;
    if (c == "IP..Journal") return 6;
    if (c == "IP..StickyNote") return 7;
    if (c == "IP..Task") return 8;
    if (c.size() >= 4 && c.compare(0, 4, "IP..") == 0) return 9;
    return 11;
}

void CMapiSession::Walk(IMAPIFolder& parent, int depth, const std::string& path) {
    std::shared_ptr<IMAPITable> table;
    if (FAILED(parent.GetHierarchyTable(0, table)) || !table) return;
    SRowSet rows;
    if (FAILED(lib_.AllRows(table.get(), {PR_ENTRYID, PR_DISPLAY_NAME, PR_CONTAINER_CLASS}, nullptr, rows))) return;
    for (const auto& row : rows.aRow) {
        const EntryId id = Bin(row, PR_ENTRYID);
        auto folder = OpenFolder(id);
        if (!folder) continue;
        const int kind = KindOf(id, Text(row, PR_CONTAINER_CLASS));
        if (kind != 0 && kind != 2 && kind != 10 && kind != 11) continue;
        const std::string name = Text(row, PR_DISPLAY_NAME);
        const std::string here = path.empty() ? name : path + "/" + name;
        folders_.push_back({folder, name, kind, id, depth, here});
        Walk(*folder, depth + 1, here);
    }
}

int CMapiSession::GetFolderList(FolderRecord*** out, int* count) {
    std::vector<const FolderEntry*> wanted;
    for (const auto& f : folders_)
        if (f.kind == 0 || f.kind == 2) wanted.push_back(&f);
    if (!out || !count || wanted.empty()) return 0;
    auto** list = static_cast<FolderRecord**>(std::calloc(wanted.size(), sizeof(FolderRecord*)));
    if (!list) return kNullList;
    for (size_t i = 0; i < wanted.size(); ++i) {
        const FolderEntry& f = *wanted[i];
        auto* r = static_cast<FolderRecord*>(std::calloc(1, sizeof(FolderRecord)));
        char* name = static_cast<char*>(std::calloc(f.name.size() + 1, 1));
        void* extra = std::malloc(f.id.size());
        if (!r || !name || !extra) {
            std::free(r);
            std::free(name);
            std::free(extra);
            inet::FreeFolderRecords(list, static_cast<int>(i));
            return kNullList;
        }
        std::memcpy(name, f.name.c_str(), f.name.size());
        std::memcpy(extra, f.id.data(), f.id.size());
        r->name = name;
        r->extraLength = static_cast<int32_t>(f.id.size());
        r->extra = extra;
        r->type = f.kind == 0 ? 0 : 3;
        list[i] = r;
    }
    *out = list;
    *count = static_cast<int>(wanted.size());
    return 0;
}

// ---- Listing ----------------------------------------------------------------------------

int CMapiSession::GetAllMsgs(const FolderRecord* record, MailMsg*** out, int* count, bool headersOnly) {
    Log("MAPI: Getting all messages starting.");
    if (!record || !out || !count) return 0;
    Log("MAPI: Selecting folder for messages.");
    const FolderEntry* entry = nullptr;
    if (record->extra && record->extraLength > 0) {
        const auto* b = static_cast<const uint8_t*>(record->extra);
        const EntryId wanted(b, b + record->extraLength);
        for (const auto& f : folders_)
            if (SameMessage(f.id, wanted)) {
                entry = &f;
                break;
            }
    }
    if (!entry) return 0;
    Log("MAPI: Getting content table.");
    std::shared_ptr<IMAPITable> table;
    if (FAILED(entry->folder->GetContentsTable(0, table)) || !table) return kRefused;
    Log("MAPI: Setting columns.");
    const SPropTagArray columns = {PR_ENTRYID,
                                   PR_CLIENT_SUBMIT_TIME,
                                   PR_MESSAGE_DELIVERY_TIME,
                                   PR_MESSAGE_FLAGS,
                                   PR_IMPORTANCE,
                                   PR_SENT_REPRESENTING_ADDRTYPE,
                                   PR_SENT_REPRESENTING_EMAIL_ADDRESS,
                                   PR_SENT_REPRESENTING_NAME,
                                   PR_SUBJECT,
                                   PR_MESSAGE_SIZE,
                                   PR_MESSAGE_TO_ME,
                                   PR_MESSAGE_CC_ME};
    if (FAILED(table->SetColumns(columns, 0))) return kRefused;
    if (dateRestriction_) {
        Log("MAPI: Setting date restriction.");
        // Without the window the listing would hold every message of the folder: the
        // listing fails instead of answering for more than was asked.
        if (HRESULT hr = table->Restrict(&*dateRestriction_, TBL_BATCH); FAILED(hr)) {
            Log(Failure("Restrict", hr));
            return kRefused;
        }
    }
    Log("MAPI: Query for rows.");
    std::vector<MailMsg*> blocks;
    int status = 0;
    auto drop = [&blocks] {
        for (MailMsg* b : blocks) FreeMailMsgBlock(b);
        blocks.clear();
    };
    for (;;) {
        SRowSet rows;
        if (HRESULT hr = table->QueryRows(kRowBatch, 0, rows); FAILED(hr)) {
            // A listing cut short would look like mail that is gone: nothing is handed out.
            Log(Failure("QueryRows", hr));
            drop();
            return kRefused;
        }
        if (rows.aRow.empty()) break;
        Progress(kProgressSetStepCount, rows.cRows());
        int number = 0;
        for (const auto& row : rows.aRow) {
            ++number;
            Log("MAPI: Getting row " + std::to_string(number) + " of " + std::to_string(rows.cRows()) + ".");
            SyncYieldCycles(10);
            if (!Bin(row, PR_ENTRYID).empty()) {
                CMsg m;
                status = BuildMessage(row, headersOnly, m);
                MailMsg* block = nullptr;
                if (m.ToMailMsg(&block) == 0 && block) blocks.push_back(block);
            }
            Progress(kProgressAdvanceStep, 0);
        }
    }
    if (status != 0) {
        drop();
        return status;
    }
    if (!inet::HandOutBlocks(blocks, out, count)) return kNoMemory;
    Log("MAPI: Getting all messages finishing.");
    return 0;
}

std::string CMapiSession::AddressText(const std::string& type, const std::string& address, const std::string& name,
                                      const EntryId* entry) {
    std::string addr = address;
    if (!type.empty() && !address.empty() && !platform::mapi::iequals(type, kSmtpType)) addr = type + ":" + address;
    if (platform::mapi::iequals(type, "ex") && !name.empty()) {
        if (entry && !entry->empty()) {
            // A directory entry stays an entry: its id travels, and resolves again on sending.
            std::string text(1, '\x01');
            tess::Base64Encode(entry->data(), static_cast<int>(entry->size()), text, false);
            std::string clean;
            for (char c : text)
                if (c != '\r' && c != '\n') clean += c;
            return clean;
        }
        ADRLIST list;
        if (SUCCEEDED(ResolveList(name, MAPI_TO, list)) && !list.aEntries.empty()) {
            std::string smtp;
            if (SmtpAddressOf(Bin(list.aEntries[0], PR_ENTRYID), smtp)) return smtp;
        }
        return name;
    }
    return !addr.empty() ? addr : name;
}

int CMapiSession::BuildMessage(const SRow& row, bool headersOnly, CMsg& m) {
    m.flags |= kHostMarker;
    const EntryId id = Bin(row, PR_ENTRYID);
    m.msgId.SetData(id.data(), static_cast<int32_t>(id.size()));
    m.hostId.SetData(storeId_.data(), static_cast<int32_t>(storeId_.size()));
    if (const SPropValue* f = Find(row, PR_MESSAGE_FLAGS)) {
        if (f->l & MSGFLAG_READ) m.flags |= kReadFlag;
        if (f->l & MSGFLAG_HASATTACH) m.flags |= kAttachFlag;
    }
    if (const SPropValue* imp = Find(row, PR_IMPORTANCE)) {
        if (imp->l == 0)
            m.flags = (m.flags | kLowImportance) & ~kNormalImportance;
        else if (imp->l == 1)
            m.flags = (m.flags | kNormalImportance) & ~kLowImportance;
        else if (imp->l == 2)
            m.flags &= ~(kNormalImportance | kLowImportance);
    }
    m.From = AddressText(Text(row, PR_SENT_REPRESENTING_ADDRTYPE), Text(row, PR_SENT_REPRESENTING_EMAIL_ADDRESS),
                         Text(row, PR_SENT_REPRESENTING_NAME), nullptr);
    m.Subject = Text(row, PR_SUBJECT);
    if (const SPropValue* t = Find(row, PR_CLIENT_SUBMIT_TIME))
        m.value60 = int32_t(platform::mapi::unixFromFileTime(t->ft));
    if (const SPropValue* t = Find(row, PR_MESSAGE_DELIVERY_TIME))
        m.date = int32_t(platform::mapi::unixFromFileTime(t->ft));
    if (const SPropValue* s = Find(row, PR_MESSAGE_SIZE)) m.size = s->l;
    const uint16_t role = Bool(row, PR_MESSAGE_TO_ME) ? 0 : Bool(row, PR_MESSAGE_CC_ME) ? 0x100 : 0x200;
    m.status = static_cast<uint16_t>((m.status & ~0x300) | role);
    if (headersOnly) return 0;

    auto message = OpenMessage(id);
    if (!message) return kRefused;
    m.Body = ReadBody(*message);
    m.size = static_cast<int32_t>(m.Body.size());
    int status = ReadRecipients(*message, m);
    m.status = static_cast<uint16_t>((m.status & 0xFF3F) | 0x80);
    if ((m.flags & kAttachFlag) && values_.attachments && status == 0) status = ReadAttachmentNames(*message, m);
    return status;
}

std::string CMapiSession::ReadBody(IMessage& message) {
    auto read = [&message](ULONG tag) {
        std::string text;
        std::shared_ptr<IStream> stream;
        if (FAILED(message.OpenProperty(tag, 0, stream)) || !stream) return text;
        text.resize(kMaxBody);
        ULONG got = 0;
        if (FAILED(stream->Read(text.data(), static_cast<ULONG>(kMaxBody), &got))) got = 0;
        text.resize(got);
        const size_t nul = text.find('\0');
        if (nul != std::string::npos) text.resize(nul);
        return text;
    };
    const ULONG first = values_.preferHtml ? PR_BODY_HTML : PR_BODY;
    std::string text = read(first);
    if (text.empty()) text = read(first == PR_BODY ? PR_BODY_HTML : PR_BODY);
    return tess::UnwrapLines(text);
}

int CMapiSession::ReadRecipients(IMessage& message, CMsg& m) {
    std::shared_ptr<IMAPITable> table;
    if (FAILED(message.GetRecipientTable(0, table)) || !table) return kRefused;
    SRowSet rows;
    if (FAILED(lib_.AllRows(
            table.get(), {PR_DISPLAY_NAME, PR_ENTRYID, PR_ADDRTYPE, PR_RECIPIENT_TYPE, PR_EMAIL_ADDRESS, PR_SEARCH_KEY},
            nullptr, rows)))
        return kNotMessage;
    m.To.clear();
    m.Cc.clear();
    m.Bcc.clear();
    const char sep = values_.Separator();
    for (const auto& row : rows.aRow) {
        const SPropValue* type = Find(row, PR_RECIPIENT_TYPE);
        std::string* list = !type || type->l == MAPI_TO ? &m.To
                            : type->l == MAPI_CC        ? &m.Cc
                            : type->l == MAPI_BCC       ? &m.Bcc
                                                        : nullptr;
        if (!list) continue;
        const EntryId entry = Bin(row, PR_ENTRYID);
        const std::string text =
            AddressText(Text(row, PR_ADDRTYPE), Text(row, PR_EMAIL_ADDRESS), Text(row, PR_DISPLAY_NAME), &entry);
        if (text.empty()) continue;
        if (!list->empty()) *list += sep;
        *list += text;
    }
    return 0;
}

int CMapiSession::ReadAttachmentNames(IMessage& message, CMsg& m) {
    std::shared_ptr<IMAPITable> table;
    if (FAILED(message.GetAttachmentTable(0, table)) || !table) return kRefused;
    SRowSet rows;
    if (FAILED(lib_.AllRows(table.get(), {PR_DISPLAY_NAME, PR_ATTACH_FILENAME}, nullptr, rows))) return kNotMessage;
    std::string names;
    for (const auto& row : rows.aRow) {
        std::string name = Text(row, PR_DISPLAY_NAME);
        if (name.empty()) name = Text(row, PR_ATTACH_FILENAME);
        if (name.empty()) name = kUnknownAttachment;
        if (!names.empty()) names += '\n';
        names += '\t' + name;
    }
    m.AttachmentNames = names;
    return 0;
}

// ---- Changes ----------------------------------------------------------------------------

bool CMapiSession::HasMarker(const MailMsg* msg) const {
    return msg && (msg->flags & kHostMarker) && msg->msgId && msg->msgIdLength > 0;
}

int CMapiSession::SetReadStatus(const MailMsg* msg, bool seen) {
    if (!HasMarker(msg)) return kRefused;
    ULONG type = 0;
    auto message = OpenMessage(IdOf(msg), &type);
    if (!message) return type != 0 && type != MAPI_MESSAGE ? kNotMessage : kRefused;
    return SUCCEEDED(message->SetReadFlag(seen ? 0 : CLEAR_READ_FLAG)) ? 0 : kRefused;
}

int CMapiSession::SetPriority(const MailMsg* msg, int priority) {
    if (!HasMarker(msg)) return kRefused;
    ULONG type = 0;
    auto message = OpenMessage(IdOf(msg), &type);
    if (!message) return type != 0 && type != MAPI_MESSAGE ? kNotMessage : kRefused;
    if (priority < 0 || priority > 2) return kRefused;
    if (FAILED(message->SetProps({SPropValue::Long(PR_IMPORTANCE, 2 - priority)})) || FAILED(message->SaveChanges(0)))
        return kRefused;
    return 0;
}

int CMapiSession::Delete(const FolderRecord* record, const MailMsg* msg) {
    if (!HasMarker(msg)) {
        Log(inet::Described(
            "MAPI: A message was requested to be deleted but is either not on the host or has an invalid ID", msg));
        return kRefused;
    }
    const EntryId id = IdOf(msg);
    auto message = OpenMessage(id);
    if (!message) return kRefused;
    // The folder that holds the message: the one named, else the one whose id its parent
    // id matches.
    const SRow props = PropsOf(*message, {PR_PARENT_ENTRYID});
    const EntryId parent = Bin(props, PR_PARENT_ENTRYID);
    std::shared_ptr<IMAPIFolder> folder;
    if (record && record->extra && record->extraLength > 0) {
        const auto* b = static_cast<const uint8_t*>(record->extra);
        folder = OpenFolder(EntryId(b, b + record->extraLength));
    }
    if (!folder)
        for (const auto& f : folders_)
            if (SameMessage(f.id, parent)) folder = OpenFolder(f.id);
    if (!folder) return kRefused;
    message->SetReadFlag(0);
    if (FAILED(folder->CopyMessages({id}, special_[kDeleted].get(), MESSAGE_MOVE))) return kRefused;
    return 0;
}

HRESULT CMapiSession::ResolveList(const std::string& text, ULONG recipientType, ADRLIST& out) {
    out.aEntries.clear();
    if (!book_) return MAPI_E_INVALID_OBJECT;
    const size_t at = text.rfind('@');
    const size_t eq = text.rfind('=');
    if (text.find(':') != std::string::npos && text.find("CUSTOM RECIPIENTS") != std::string::npos &&
        eq != std::string::npos && at != std::string::npos && eq < at) {
        Log("MAPISESSION: Custom recipient not parsed. Address Found");
        const std::string address = text.substr(eq + 1);
        ADRENTRY e;
        e.lpProps = {SPropValue::String(PR_DISPLAY_NAME, address),
                     SPropValue::Long(PR_RECIPIENT_TYPE, int32_t(recipientType)),
                     SPropValue::String(PR_ADDRTYPE, "SMTP"), SPropValue::String(PR_EMAIL_ADDRESS, address)};
        out.aEntries.push_back(std::move(e));
    } else {
        std::string list = text;
        std::vector<std::string> items;
        tess::SplitAddressList(list, items, values_.semicolons);
        for (const auto& raw : items) {
            const std::string item = tess::Trim(raw);
            if (item.empty()) continue;
            ADRENTRY e;
            e.lpProps.push_back(SPropValue::Long(PR_RECIPIENT_TYPE, int32_t(recipientType)));
            if (item[0] == '\x01') {
                // An address-book entry listed earlier: its id as it was handed out.
                std::vector<uint8_t> id;
                uint32_t n = 0;
                if (tess::Base64Decode(item.substr(1), id, &n) < 0) continue;
                id.resize(n);
                ADRLIST one;
                ADRENTRY probe;
                probe.lpProps = {SPropValue::Binary(PR_ENTRYID, id)};
                one.aEntries.push_back(probe);
                if (FAILED(book_->PrepareRecips(0, {PR_ENTRYID, PR_DISPLAY_NAME, PR_ADDRTYPE, PR_EMAIL_ADDRESS}, one)))
                    continue;
                for (auto& p : one.aEntries[0].lpProps) e.lpProps.push_back(p);
                out.aEntries.push_back(std::move(e));
                continue;
            }
            std::string address = tess::GetAddressEmail(item);
            std::string name = tess::GetAddressDisplayName(item);
            std::string type = "SMTP";
            if (const size_t colon = address.find(':'); colon != std::string::npos) {
                type = address.substr(0, colon);
                address = address.substr(colon + 1);
            }
            if (name.empty()) name = address.empty() ? item : address;
            e.lpProps.push_back(SPropValue::String(PR_DISPLAY_NAME, name));
            e.lpProps.push_back(SPropValue::String(PR_ADDRTYPE, type));
            e.lpProps.push_back(SPropValue::String(PR_EMAIL_ADDRESS, address));
            out.aEntries.push_back(std::move(e));
        }
    }
    Log("MAPISESSION: Address Book ResolveName");
    if (HRESULT hr = book_->ResolveName(0, AB_NO_DIALOG, nullptr, out); FAILED(hr)) {
        Log("MAPISESSION: Address Book ResolveName failed");
        return hr;
    }
    Log("MAPISESSION: Finished resolving names.");
    return S_OK;
}

HRESULT CMapiSession::SetRecipients(IMessage& message, const CMsg& m) {
    struct {
        const std::string* list;
        ULONG type;
    } lists[] = {{&m.To, MAPI_TO}, {&m.Cc, MAPI_CC}, {&m.Bcc, MAPI_BCC}};
    bool first = true;
    for (const auto& l : lists) {
        if (tess::Trim(*l.list).empty()) continue;
        ADRLIST list;
        if (HRESULT hr = ResolveList(*l.list, l.type, list); FAILED(hr)) return hr;
        if (HRESULT hr = message.ModifyRecipients(first ? 0 : MODRECIP_ADD, list); FAILED(hr)) return hr;
        first = false;
    }
    return first ? MAPI_E_NOT_FOUND : S_OK;
}

int CMapiSession::Send(const MailMsg* msg) {
    Log(inet::Described("MAPI: Beginning to send message.", msg));
    if (!msg || !special_[kOutbox]) return kNoMemory;
    const CMsg m(msg);
    std::shared_ptr<IMessage> message;
    if (FAILED(special_[kOutbox]->CreateMessage(0, message)) || !message) return kNoMemory;
    EntryId me;
    if (FAILED(session_->QueryIdentity(me))) return kNoMemory;
    const int urgency = (m.status >> 10) & 3;
    const std::vector<SPropValue> props = {
        SPropValue::Long(PR_MESSAGE_FLAGS, MSGFLAG_READ | MSGFLAG_SUBMIT | MSGFLAG_UNSENT),
        SPropValue::Long(PR_IMPORTANCE, urgency == 0   ? 2
                                        : urgency == 2 ? 0
                                                       : 1),
        SPropValue::Bool(PR_READ_RECEIPT_REQUESTED, (m.status & 0x2000) != 0),
        SPropValue::Bool(PR_ORIGINATOR_DELIVERY_REPORT_REQUESTED, (m.status & 0x1000) != 0),
        SPropValue::String(PR_SUBJECT, m.Subject),
        SPropValue::String(PR_BODY, m.Body),
        SPropValue::Binary(PR_SENDER_ENTRYID, me),
        SPropValue::Binary(PR_SENTMAIL_ENTRYID, ids_[kSent]),
        SPropValue::String(PR_MESSAGE_CLASS, "IPM.Note"),
    };
    if (FAILED(message->SetProps(props))) return kRefused;
    // Mail that cannot be addressed is not submitted; the handheld keeps it.
    if (FAILED(SetRecipients(*message, m))) return kRefused;
    std::vector<std::string> paths, names, shortNames;
    tess::SplitAttachmentPaths(m.AttachmentNames, paths, names, shortNames);
    for (size_t i = 0; i < paths.size(); ++i) {
        std::shared_ptr<IAttach> attach;
        ULONG number = 0;
        if (FAILED(message->CreateAttach(0, &number, attach)) || !attach) break;
        if (FAILED(attach->SetProps({SPropValue::Long(PR_ATTACH_METHOD, ATTACH_BY_VALUE),
                                     SPropValue::Long(PR_RENDERING_POSITION, -1),
                                     SPropValue::String(PR_ATTACH_FILENAME, shortNames[i]),
                                     SPropValue::String(PR_ATTACH_PATHNAME, paths[i]),
                                     SPropValue::String(PR_ATTACH_LONG_FILENAME, names[i])})))
            break;
        std::shared_ptr<IStream> file, data;
        uint64_t size = 0;
        if (FAILED(lib_.OpenStreamOnFile(paths[i].c_str(), 0, &file)) || !file || FAILED(file->Stat(&size)) ||
            FAILED(attach->OpenProperty(PR_ATTACH_DATA_BIN, MAPI_CREATE | MAPI_MODIFY, data)) || !data ||
            FAILED(file->CopyTo(data.get(), size, nullptr, nullptr)) || FAILED(data->Commit()) ||
            FAILED(attach->SaveChanges(0))) {
            message->DeleteAttach(number);
            break;
        }
    }
    if (HRESULT hr = message->SubmitMessage(0); FAILED(hr)) {
        Log(Failure("SubmitMessage", hr));
        return kNotMessage;
    }
    Log(inet::Described("MAPI: Finishing send message.", msg));
    return 0;
}

int CMapiSession::Save(const MailMsg* msg) {
    if (!msg || !special_[kInbox]) return kNoMemory;
    const CMsg m(msg);
    std::shared_ptr<IMessage> message;
    if (FAILED(special_[kInbox]->CreateMessage(0, message)) || !message) return kNoMemory;
    const bool read = (m.status & 0x8000) || (m.flags & kReadFlag);
    const bool normal = m.flags & kNormalImportance, low = m.flags & kLowImportance;
    const std::vector<SPropValue> props = {
        SPropValue::Long(PR_MESSAGE_FLAGS, read ? MSGFLAG_READ : 0),
        SPropValue::String(PR_SUBJECT, m.Subject),
        SPropValue::String(PR_BODY, m.Body),
        SPropValue::String(PR_SENT_REPRESENTING_NAME, tess::GetAddressDisplayName(m.From)),
        SPropValue::String(PR_SENT_REPRESENTING_EMAIL_ADDRESS, tess::GetAddressEmail(m.From)),
        SPropValue::Long(PR_IMPORTANCE, normal ? 1
                                        : low  ? 0
                                               : 2),
        SPropValue::Bool(PR_INCOMPLETE_COPY, false),
    };
    if (FAILED(message->SetProps(props))) return kRefused;
    SetRecipients(*message, m);
    return SUCCEEDED(message->SaveChanges(0)) ? 0 : kRefused;
}

std::optional<std::filesystem::path> CMapiSession::AttachmentDir() {
    if (!attachmentDir_) {
        std::error_code ec;
        attachmentDir_ = platform::TempDir::create(ec);
        if (!attachmentDir_) return std::nullopt;
    }
    return attachmentDir_->path();
}

int CMapiSession::GetAttachments(int idLength, const void* idBytes, AttachmentTable** out) {
    if (!values_.attachments) return kNoAttachmentsWanted;
    Log("MAPI: Beginning to get attachments for message.");
    if (!out || !idBytes || idLength <= 0) return kRefused;
    const auto* b = static_cast<const uint8_t*>(idBytes);
    auto message = OpenMessage(EntryId(b, b + idLength));
    if (!message) return kRefused;
    std::vector<std::string> files;
    if (Bool(PropsOf(*message, {PR_HASATTACH}), PR_HASATTACH)) {
        std::shared_ptr<IMAPITable> table;
        SRowSet rows;
        if (FAILED(message->GetAttachmentTable(0, table)) || !table ||
            FAILED(
                lib_.AllRows(table.get(), {PR_ATTACH_FILENAME, PR_ATTACH_LONG_FILENAME, PR_ATTACH_NUM}, nullptr, rows)))
            return kRefused;
        auto dir = AttachmentDir();
        if (!dir) return kRefused;
        for (const auto& row : rows.aRow) {
            std::string name = Text(row, PR_ATTACH_LONG_FILENAME);
            if (name.empty()) name = Text(row, PR_ATTACH_FILENAME);
            const SPropValue* number = Find(row, PR_ATTACH_NUM);
            if (name.empty()) {
                SyncLogAddLine(kMissingAttachment, -1, 0);
                continue;
            }
            if (!number) continue;
            std::shared_ptr<IAttach> attach;
            std::shared_ptr<IStream> data;
            if (FAILED(message->OpenAttach(static_cast<ULONG>(number->l), 0, attach)) || !attach ||
                FAILED(attach->OpenProperty(PR_ATTACH_DATA_BIN, 0, data)) || !data)
                continue;
            std::error_code ec;
            auto path = attachmentDir_->reserveFile(name, ec);
            if (!path) continue;
            std::shared_ptr<IStream> file;
            uint64_t size = 0;
            if (FAILED(data->Stat(&size)) || FAILED(lib_.OpenStreamOnFile(path->c_str(), 1, &file)) || !file ||
                FAILED(data->CopyTo(file.get(), size, nullptr, nullptr)) || FAILED(file->Commit())) {
                std::filesystem::remove(*path, ec);
                continue;
            }
            files.push_back(path->string());
        }
    }
    if (!files.empty()) {
        *out = inet::MakeAttachmentTable(files, [this](const std::string& line) { Log(line); });
        if (!*out) return kRefused;
    }
    Log("MAPI: Finishing getting attachments for message.");
    return 0;
}

bool CMapiSession::SameMessage(const EntryId& a, const EntryId& b) {
    ULONG same = 0;
    return session_ && !a.empty() && !b.empty() && SUCCEEDED(session_->CompareEntryIDs(a, b, 0, &same)) && same;
}

bool CMapiSession::SmtpAddressOf(const EntryId& entry, std::string& address) {
    if (!book_ || entry.empty()) return false;
    char* text = nullptr;
    const HRESULT hr = GetRecipientAddressByType(lib_, book_.get(), static_cast<ULONG>(entry.size()), entry.data(),
                                                 "SMTP", nullptr, &text);
    if (FAILED(hr) || !text) return false;
    address = text;
    lib_.MAPIFreeBuffer(text);
    return true;
}

std::string CMapiSession::UserAddress() {
    EntryId me;
    if (!session_ || FAILED(session_->QueryIdentity(me))) return {};
    std::shared_ptr<IMAPIProp> entry;
    ULONG type = 0;
    if (FAILED(session_->OpenEntry(me, 0, &type, entry)) || !entry) return {};
    const SRow row = PropsOf(*entry, {PR_DISPLAY_NAME, PR_SMTP_ADDRESS});
    return Text(row, PR_SMTP_ADDRESS);
}

}  // namespace xmapi
