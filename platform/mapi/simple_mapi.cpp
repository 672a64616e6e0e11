#include "platform/mapi/simple_mapi.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>

#include "platform/mapi/mapi32.h"
#include "platform/mapi/session.h"
#include "platform/mapi/text_util.h"

namespace fs = std::filesystem;

namespace {

std::mutex g_mutex;
std::map<LHANDLE, std::shared_ptr<platform::mapi::Session>> g_sessions;
LHANDLE g_next = 1;

std::shared_ptr<platform::mapi::Session> sessionOf(LHANDLE h) {
    std::lock_guard lock(g_mutex);
    auto it = g_sessions.find(h);
    return it == g_sessions.end() ? nullptr : it->second;
}

std::string inboxName(platform::mapi::MessageStore& store) {
    for (const auto& f : store.backing().folders())
        if (f.role == platform::mapi::FolderRole::Inbox) return f.name;
    return {};
}

std::string folderName(platform::mapi::MessageStore& store, platform::mapi::FolderRole role) {
    for (const auto& f : store.backing().folders())
        if (f.role == role) return f.name;
    return {};
}

std::shared_ptr<IMAPIFolder> openFolder(platform::mapi::MessageStore& store, const std::string& name) {
    std::shared_ptr<IMAPIProp> object;
    ULONG type = 0;
    if (FAILED(store.OpenEntry(store.folderEntryId(name), MAPI_MODIFY, &type, object))) return nullptr;
    return std::dynamic_pointer_cast<IMAPIFolder>(object);
}

std::shared_ptr<IMessage> openInboxMessage(platform::mapi::MessageStore& store, const std::string& id) {
    std::shared_ptr<IMAPIProp> object;
    ULONG type = 0;
    if (id.empty() ||
        FAILED(store.OpenEntry(store.messageEntryId(inboxName(store), id), MAPI_BEST_ACCESS, &type, object)) ||
        type != MAPI_MESSAGE)
        return nullptr;
    return std::dynamic_pointer_cast<IMessage>(object);
}

// The text of a property, through a stream when it is too large for a value.
std::string text(IMAPIProp& p, ULONG tag) {
    std::vector<SPropValue> v;
    p.GetProps({tag}, 0, v);
    if (v.empty()) return {};
    if (!v[0].isError()) return v[0].str;
    if (v[0].err != MAPI_E_NOT_ENOUGH_MEMORY) return {};
    std::shared_ptr<IStream> s;
    if (FAILED(p.OpenProperty(tag, 0, s))) return {};
    std::string out;
    char buf[8192];
    ULONG n = 0;
    while (SUCCEEDED(s->Read(buf, sizeof buf, &n)) && n) out.append(buf, n);
    return out;
}

// Allocation of a record and everything it points to as one freeable block.
class Block {
public:
    explicit Block(void* root) : root_(root) {}
    char* copy(const std::string& s) {
        void* p = nullptr;
        if (MAPIAllocateMore(static_cast<ULONG>(s.size() + 1), root_, &p) != S_OK) return nullptr;
        std::memcpy(p, s.c_str(), s.size() + 1);
        return static_cast<char*>(p);
    }
    template <class T>
    T* array(size_t n) {
        void* p = nullptr;
        if (!n || MAPIAllocateMore(static_cast<ULONG>(sizeof(T) * n), root_, &p) != S_OK) return nullptr;
        return static_cast<T*>(p);
    }
    void* bytes(const std::vector<uint8_t>& b) {
        void* p = nullptr;
        if (b.empty() || MAPIAllocateMore(static_cast<ULONG>(b.size()), root_, &p) != S_OK) return nullptr;
        std::memcpy(p, b.data(), b.size());
        return p;
    }

private:
    void* root_;
};

std::string bareAddress(const char* address) {
    if (!address) return {};
    std::string a = address;
    auto colon = a.find(':');
    return colon == std::string::npos ? a : a.substr(colon + 1);
}

std::string dateText(FileTime ft) {
    time_t t = platform::mapi::unixFromFileTime(ft);
    struct tm local {};
    if (!localtime_r(&t, &local)) return {};
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y/%m/%d %H:%M", &local);
    return buf;
}

// Fills a message's content from a Simple MAPI record; MAPI result codes.
ULONG fill(IMessage& m, IAddrBook& book, const MapiMessage& msg, bool resolve) {
    std::vector<SPropValue> props = {
        SPropValue::String(PR_SUBJECT, msg.lpszSubject ? msg.lpszSubject : ""),
        SPropValue::String(PR_BODY, msg.lpszNoteText ? msg.lpszNoteText : ""),
        SPropValue::String(PR_MESSAGE_CLASS,
                           msg.lpszMessageType && *msg.lpszMessageType ? msg.lpszMessageType : "IPM.Note")};
    if (msg.flFlags & MAPI_RECEIPT_REQUESTED) props.push_back(SPropValue::Bool(PR_READ_RECEIPT_REQUESTED, true));
    if (FAILED(m.SetProps(props))) return MAPI_E_FAILURE;
    ADRLIST list;
    for (ULONG i = 0; i < msg.nRecipCount; ++i) {
        const MapiRecipDesc& r = msg.lpRecips[i];
        if (r.ulRecipClass == MAPI_ORIG) continue;
        if (r.ulRecipClass > MAPI_BCC) return MAPI_E_BAD_RECIPTYPE;
        std::string address = bareAddress(r.lpszAddress), name = r.lpszName ? r.lpszName : "";
        ADRENTRY e;
        e.lpProps = {SPropValue::String(PR_DISPLAY_NAME, name.empty() ? address : name),
                     SPropValue::Long(PR_RECIPIENT_TYPE, static_cast<int32_t>(r.ulRecipClass))};
        if (!address.empty()) {
            e.lpProps.push_back(SPropValue::String(PR_EMAIL_ADDRESS, address));
            e.lpProps.push_back(SPropValue::String(PR_ADDRTYPE, "SMTP"));
        } else if (resolve) {
            ADRLIST one;
            one.aEntries = {e};
            HRESULT hr = book.ResolveName(0, 0, nullptr, one);
            if (hr == MAPI_E_AMBIGUOUS_RECIP) return MAPI_E_AMBIGUOUS_RECIPIENT;
            if (FAILED(hr)) return MAPI_E_UNKNOWN_RECIPIENT;
            e = one.aEntries[0];
            // An EX entry is sent to its SMTP address.
            const SPropValue* type = e.find(PR_ADDRTYPE);
            if (type && !platform::mapi::iequals(type->str, "SMTP")) {
                std::shared_ptr<IMAPIProp> user;
                ULONG t = 0;
                std::vector<SPropValue> v;
                if (const SPropValue* id = e.find(PR_ENTRYID); id && SUCCEEDED(book.OpenEntry(id->bin, 0, &t, user)) &&
                                                               user->GetProps({PR_SMTP_ADDRESS}, 0, v) == S_OK) {
                    for (auto& p : e.lpProps) {
                        if (p.ulPropTag == PR_EMAIL_ADDRESS) p.str = v[0].str;
                        if (p.ulPropTag == PR_ADDRTYPE) p.str = "SMTP";
                    }
                }
            }
        }
        list.aEntries.push_back(std::move(e));
    }
    if (FAILED(m.ModifyRecipients(0, list))) return MAPI_E_FAILURE;
    for (ULONG i = 0; i < msg.nFileCount; ++i) {
        const MapiFileDesc& f = msg.lpFiles[i];
        if (!f.lpszPathName) return MAPI_E_ATTACHMENT_NOT_FOUND;
        std::ifstream in(f.lpszPathName, std::ios::binary);
        if (!in) return MAPI_E_ATTACHMENT_NOT_FOUND;
        std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), {});
        if (in.bad()) return MAPI_E_ATTACHMENT_OPEN_FAILURE;
        const std::string name =
            f.lpszFileName && *f.lpszFileName ? f.lpszFileName : fs::path(f.lpszPathName).filename().string();
        std::shared_ptr<IAttach> a;
        ULONG num = 0;
        if (FAILED(m.CreateAttach(0, &num, a)) ||
            FAILED(a->SetProps(
                {SPropValue::Long(PR_ATTACH_METHOD, ATTACH_BY_VALUE), SPropValue::String(PR_ATTACH_LONG_FILENAME, name),
                 SPropValue::String(PR_ATTACH_FILENAME, name), SPropValue::String(PR_ATTACH_PATHNAME, f.lpszPathName),
                 SPropValue::Long(PR_RENDERING_POSITION, -1),
                 SPropValue::Binary(PR_ATTACH_DATA_BIN, std::move(data))})))
            return MAPI_E_FAILURE;
    }
    return SUCCESS_SUCCESS;
}

// Inbox message keys of the right class, oldest delivery first.
// The Inbox's ids, oldest first; false when the Inbox cannot be listed.
bool inboxIds(platform::mapi::MessageStore& store, const char* type, bool unreadOnly, std::vector<std::string>& out) {
    out.clear();
    std::vector<platform::mapi::StoredMessage> list;
    std::vector<std::pair<FileTime, std::string>> ids;
    if (FAILED(store.backing().listMessages(inboxName(store), list))) return false;
    const std::string wanted = type ? type : "";
    for (const auto& m : list) {
        if (unreadOnly && m.read) continue;
        auto cls = m.props.find(PR_MESSAGE_CLASS);
        const std::string c = cls == m.props.end() ? "IPM.Note" : cls->second.str;
        if (wanted.empty() ? c.compare(0, 3, "IPM") != 0 : !platform::mapi::iequals(c, wanted)) continue;
        auto t = m.props.find(PR_MESSAGE_DELIVERY_TIME);
        ids.emplace_back(t == m.props.end() ? 0 : t->second.ft, m.key);
    }
    std::sort(ids.begin(), ids.end());
    for (auto& [t, k] : ids) out.push_back(std::move(k));
    return true;
}

bool putId(const std::string& id, FLAGS flags, char* out) {
    const size_t room = (flags & MAPI_LONG_MSGID) ? kSimpleMessageIdSize : kShortMessageIdSize;
    if (!out || id.size() + 1 > room) return false;
    std::memcpy(out, id.c_str(), id.size() + 1);
    return true;
}

}  // namespace

ULONG MAPILogon(ULONG, const char* profile, const char* password, FLAGS, ULONG, LHANDLE* session) {
    if (!session) return MAPI_E_FAILURE;
    *session = 0;
    std::shared_ptr<platform::mapi::Session> s;
    if (FAILED(platform::mapi::logon(profile ? profile : "", password ? password : "", s))) return MAPI_E_LOGIN_FAILURE;
    std::lock_guard lock(g_mutex);
    *session = g_next++;
    g_sessions[*session] = std::move(s);
    return SUCCESS_SUCCESS;
}

ULONG MAPILogoff(LHANDLE session, ULONG, FLAGS, ULONG) {
    std::shared_ptr<platform::mapi::Session> s;
    {
        std::lock_guard lock(g_mutex);
        auto it = g_sessions.find(session);
        if (it == g_sessions.end()) return MAPI_E_INVALID_SESSION;
        s = std::move(it->second);
        g_sessions.erase(it);
    }
    s->Logoff(0, 0, 0);
    return SUCCESS_SUCCESS;
}

ULONG MAPIFindNext(LHANDLE session, ULONG, const char* messageType, const char* seedId, FLAGS flags, ULONG,
                   char* messageId) {
    auto s = sessionOf(session);
    if (!s || !s->store()) return MAPI_E_INVALID_SESSION;
    std::vector<std::string> ids;
    // An Inbox that cannot be read is not an empty one.
    if (!inboxIds(*s->store(), messageType, flags & MAPI_UNREAD_ONLY, ids)) return MAPI_E_FAILURE;
    auto next = ids.begin();
    if (seedId && *seedId) {
        auto seed = std::find(ids.begin(), ids.end(), std::string(seedId));
        if (seed == ids.end()) return MAPI_E_INVALID_MESSAGE;
        next = seed + 1;
    }
    if (next == ids.end()) return MAPI_E_NO_MESSAGES;
    return putId(*next, flags, messageId) ? SUCCESS_SUCCESS : MAPI_E_FAILURE;
}

ULONG MAPIReadMail(LHANDLE session, ULONG, const char* messageId, FLAGS flags, ULONG, MapiMessage** out) {
    if (!out) return MAPI_E_FAILURE;
    *out = nullptr;
    auto s = sessionOf(session);
    if (!s || !s->store()) return MAPI_E_INVALID_SESSION;
    auto m = openInboxMessage(*s->store(), messageId ? messageId : "");
    if (!m) return MAPI_E_INVALID_MESSAGE;
    void* root = nullptr;
    if (MAPIAllocateBuffer(sizeof(MapiMessage), &root) != S_OK) return MAPI_E_INSUFFICIENT_MEMORY;
    auto* msg = static_cast<MapiMessage*>(root);
    Block b(root);
    const bool envelope = flags & MAPI_ENVELOPE_ONLY;
    std::vector<SPropValue> v;
    m->GetProps({PR_SUBJECT, PR_MESSAGE_CLASS, PR_MESSAGE_DELIVERY_TIME, PR_MESSAGE_FLAGS, PR_SENDER_NAME,
                 PR_SENDER_EMAIL_ADDRESS, PR_INTERNET_MESSAGE_ID},
                0, v);
    auto str = [&](size_t i) { return v[i].isError() ? std::string() : v[i].str; };
    msg->lpszSubject = b.copy(str(0));
    msg->lpszMessageType = b.copy(str(1).empty() ? "IPM.Note" : str(1));
    msg->lpszDateReceived = b.copy(v[2].isError() ? std::string() : dateText(v[2].ft));
    msg->lpszConversationID = b.copy("");
    msg->flFlags = (!v[3].isError() && (v[3].l & MSGFLAG_READ)) ? 0 : MAPI_UNREAD;
    msg->lpszNoteText = b.copy(envelope ? std::string() : text(*m, PR_BODY));
    msg->lpOriginator = b.array<MapiRecipDesc>(1);
    if (!msg->lpOriginator || !msg->lpszSubject || !msg->lpszNoteText) {
        MAPIFreeBuffer(root);
        return MAPI_E_INSUFFICIENT_MEMORY;
    }
    msg->lpOriginator->ulRecipClass = MAPI_ORIG;
    msg->lpOriginator->lpszName = b.copy(str(4));
    msg->lpOriginator->lpszAddress = b.copy(str(5));

    std::shared_ptr<IMAPITable> t;
    SRowSet rows;
    if (SUCCEEDED(m->GetRecipientTable(0, t))) {
        t->SetColumns({PR_DISPLAY_NAME, PR_EMAIL_ADDRESS, PR_RECIPIENT_TYPE, PR_ENTRYID}, 0);
        t->QueryRows(10000, 0, rows);
    }
    msg->nRecipCount = rows.cRows();
    msg->lpRecips = b.array<MapiRecipDesc>(rows.cRows());
    for (ULONG i = 0; i < rows.cRows() && msg->lpRecips; ++i) {
        const auto& p = rows.aRow[i].lpProps;
        MapiRecipDesc& r = msg->lpRecips[i];
        r.ulRecipClass = p[2].isError() ? MAPI_TO : static_cast<ULONG>(p[2].l);
        r.lpszName = b.copy(p[0].isError() ? "" : p[0].str);
        r.lpszAddress = b.copy(p[1].isError() ? "" : p[1].str);
        if (!p[3].isError()) {
            r.ulEIDSize = static_cast<ULONG>(p[3].bin.size());
            r.lpEntryID = b.bytes(p[3].bin);
        }
    }

    if (!envelope && !(flags & MAPI_SUPPRESS_ATTACH) && SUCCEEDED(m->GetAttachmentTable(0, t))) {
        SRowSet files;
        t->SetColumns({PR_ATTACH_NUM, PR_ATTACH_LONG_FILENAME, PR_ATTACH_FILENAME}, 0);
        t->QueryRows(10000, 0, files);
        if (files.cRows()) {
            std::string tmpl = (fs::temp_directory_path() / "tess-smapi-XXXXXX").string();
            const bool dirOk = mkdtemp(tmpl.data()) != nullptr;
            msg->lpFiles = b.array<MapiFileDesc>(files.cRows());
            for (ULONG i = 0; dirOk && msg->lpFiles && i < files.cRows(); ++i) {
                const auto& p = files.aRow[i].lpProps;
                std::string name = !p[1].isError() && !p[1].str.empty() ? p[1].str : (!p[2].isError() ? p[2].str : "");
                std::replace(name.begin(), name.end(), '/', '_');
                if (name.empty() || name == "." || name == "..") name = "attachment" + std::to_string(i);
                std::shared_ptr<IAttach> a;
                std::vector<SPropValue> data;
                if (FAILED(m->OpenAttach(static_cast<ULONG>(p[0].l), 0, a)) ||
                    a->GetProps({PR_ATTACH_DATA_BIN}, 0, data) != S_OK)
                    continue;
                const fs::path path = fs::path(tmpl) / (std::to_string(i) + "-" + name);
                std::ofstream f(path, std::ios::binary);
                f.write(reinterpret_cast<const char*>(data[0].bin.data()),
                        static_cast<std::streamsize>(data[0].bin.size()));
                if (!f) {
                    MAPIFreeBuffer(root);
                    return MAPI_E_ATTACHMENT_OPEN_FAILURE;
                }
                MapiFileDesc& d = msg->lpFiles[msg->nFileCount++];
                d.nPosition = 0xFFFFFFFFu;
                d.lpszPathName = b.copy(path.string());
                d.lpszFileName = b.copy(name);
            }
        }
    }
    if (!(flags & MAPI_PEEK)) m->SetReadFlag(0);
    *out = msg;
    return SUCCESS_SUCCESS;
}

ULONG MAPISaveMail(LHANDLE session, ULONG, const MapiMessage* message, FLAGS flags, ULONG, char* messageId) {
    auto s = sessionOf(session);
    if (!s || !s->store()) return MAPI_E_INVALID_SESSION;
    if (!message || !messageId) return MAPI_E_INVALID_MESSAGE;
    auto& store = *s->store();
    std::shared_ptr<IMessage> m;
    if (*messageId) {
        m = openInboxMessage(store, messageId);
        if (!m) return MAPI_E_INVALID_MESSAGE;
        ULONG n = 0;
        std::shared_ptr<IMAPITable> t;
        if (SUCCEEDED(m->GetAttachmentTable(0, t)) && SUCCEEDED(t->GetRowCount(0, &n)))
            while (n--) m->DeleteAttach(n);
    } else {
        auto inbox = openFolder(store, inboxName(store));
        if (!inbox || FAILED(inbox->CreateMessage(0, m))) return MAPI_E_FAILURE;
    }
    std::shared_ptr<IAddrBook> book;
    s->OpenAddressBook(0, 0, book);
    if (ULONG rc = fill(*m, *book, *message, false); rc != SUCCESS_SUCCESS) return rc;
    m->SetReadFlag((message->flFlags & MAPI_UNREAD) ? CLEAR_READ_FLAG : 0);
    if (FAILED(m->SaveChanges(0))) return MAPI_E_FAILURE;
    std::vector<SPropValue> v;
    m->GetProps({PR_ENTRYID}, 0, v);
    platform::mapi::ParsedEntryId p;
    if (v.empty() || v[0].isError() || !platform::mapi::parseEntryId(v[0].bin, store.backing().storeUid(), p))
        return MAPI_E_FAILURE;
    return putId(p.key, flags | MAPI_LONG_MSGID, messageId) ? SUCCESS_SUCCESS : MAPI_E_FAILURE;
}

ULONG MAPISendMail(LHANDLE session, ULONG, const MapiMessage* message, FLAGS flags, ULONG) {
    if (flags & MAPI_DIALOG) return MAPI_E_NOT_SUPPORTED;
    auto s = sessionOf(session);
    if (!s || !s->store()) return MAPI_E_INVALID_SESSION;
    if (!message || (message->nRecipCount && !message->lpRecips) || (message->nFileCount && !message->lpFiles))
        return MAPI_E_INVALID_MESSAGE;
    auto& store = *s->store();
    auto outbox = openFolder(store, folderName(store, platform::mapi::FolderRole::Outbox));
    std::shared_ptr<IMessage> m;
    if (!outbox || FAILED(outbox->CreateMessage(0, m))) return MAPI_E_FAILURE;
    std::shared_ptr<IAddrBook> book;
    s->OpenAddressBook(0, 0, book);
    if (ULONG rc = fill(*m, *book, *message, true); rc != SUCCESS_SUCCESS) return rc;
    if (FAILED(m->SaveChanges(0))) return MAPI_E_FAILURE;
    return FAILED(m->SubmitMessage(0)) ? MAPI_E_FAILURE : SUCCESS_SUCCESS;
}

ULONG MAPIDeleteMail(LHANDLE session, ULONG, const char* messageId, FLAGS, ULONG) {
    auto s = sessionOf(session);
    if (!s || !s->store()) return MAPI_E_INVALID_SESSION;
    auto& store = *s->store();
    if (!messageId || !openInboxMessage(store, messageId)) return MAPI_E_INVALID_MESSAGE;
    auto inbox = openFolder(store, inboxName(store));
    auto trash = openFolder(store, folderName(store, platform::mapi::FolderRole::Trash));
    if (!inbox || !trash) return MAPI_E_FAILURE;
    return inbox->CopyMessages({store.messageEntryId(inboxName(store), messageId)}, trash.get(), MESSAGE_MOVE) == S_OK
               ? SUCCESS_SUCCESS
               : MAPI_E_FAILURE;
}

ULONG MAPIResolveName(LHANDLE session, ULONG, const char* name, FLAGS flags, ULONG, MapiRecipDesc** recip) {
    if (!recip) return MAPI_E_FAILURE;
    *recip = nullptr;
    if (flags & MAPI_DIALOG) return MAPI_E_NOT_SUPPORTED;
    auto s = sessionOf(session);
    if (!s) return MAPI_E_INVALID_SESSION;
    if (!name || !*name) return MAPI_E_UNKNOWN_RECIPIENT;
    std::shared_ptr<IAddrBook> book;
    if (FAILED(s->OpenAddressBook(0, 0, book))) return MAPI_E_FAILURE;
    ADRLIST list;
    list.aEntries = {
        ADRENTRY{{SPropValue::String(PR_DISPLAY_NAME, name), SPropValue::Long(PR_RECIPIENT_TYPE, MAPI_TO)}}};
    HRESULT hr = book->ResolveName(0, 0, nullptr, list);
    if (hr == MAPI_E_AMBIGUOUS_RECIP) return MAPI_E_AMBIGUOUS_RECIPIENT;
    if (FAILED(hr)) return MAPI_E_UNKNOWN_RECIPIENT;
    const SRow& e = list.aEntries[0];
    std::string address;
    if (const SPropValue* id = e.find(PR_ENTRYID)) {
        std::shared_ptr<IMAPIProp> user;
        ULONG type = 0;
        std::vector<SPropValue> v;
        if (SUCCEEDED(book->OpenEntry(id->bin, 0, &type, user)) && user->GetProps({PR_SMTP_ADDRESS}, 0, v) == S_OK)
            address = v[0].str;
    }
    void* root = nullptr;
    if (MAPIAllocateBuffer(sizeof(MapiRecipDesc), &root) != S_OK) return MAPI_E_INSUFFICIENT_MEMORY;
    auto* r = static_cast<MapiRecipDesc*>(root);
    Block b(root);
    r->ulRecipClass = MAPI_TO;
    r->lpszName = b.copy(e.find(PR_DISPLAY_NAME) ? e.find(PR_DISPLAY_NAME)->str : name);
    r->lpszAddress = b.copy(address);
    if (const SPropValue* id = e.find(PR_ENTRYID)) {
        r->ulEIDSize = static_cast<ULONG>(id->bin.size());
        r->lpEntryID = b.bytes(id->bin);
    }
    if (!r->lpszName || !r->lpszAddress) {
        MAPIFreeBuffer(root);
        return MAPI_E_INSUFFICIENT_MEMORY;
    }
    *recip = r;
    return SUCCESS_SUCCESS;
}

HRESULT ScMAPIXFromSMAPI(uintptr_t simpleSession, ULONG, void*, std::shared_ptr<IMAPISession>* session) {
    if (!session) return MAPI_E_INVALID_PARAMETER;
    auto s = sessionOf(simpleSession);
    if (!s) return MAPI_E_INVALID_PARAMETER;
    *session = s;
    return S_OK;
}
