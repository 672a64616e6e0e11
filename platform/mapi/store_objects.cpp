#include "platform/mapi/store_objects.h"

#include <algorithm>
#include <ctime>

#include "platform/mapi/prop_bag.h"
#include "platform/mapi/table.h"
#include "platform/mapi/text_util.h"

namespace platform::mapi {

namespace {

const char kMagic[4] = {'T', 'S', 'E', 'I'};
const std::string kRootFolder = std::string("\x01", 1) + "root";

// Provider id of this stand-in's stores (PR_MDB_PROVIDER).
const std::vector<uint8_t> kProviderUid = {0x54, 0x45, 0x53, 0x53, 0x4D, 0x41, 0x50, 0x49,
                                           0x53, 0x54, 0x4F, 0x52, 0x45, 0x00, 0x00, 0x01};

std::string joinNames(const std::vector<PropMap>& recipients, ULONG type) {
    std::string out;
    for (const auto& r : recipients) {
        auto t = r.find(PR_RECIPIENT_TYPE);
        if (t == r.end() || static_cast<ULONG>(t->second.l) != type) continue;
        auto n = r.find(PR_DISPLAY_NAME);
        if (n == r.end()) continue;
        if (!out.empty()) out += "; ";
        out += n->second.str;
    }
    return out;
}

size_t messageSize(const StoredMessage& m) {
    size_t n = 0;
    for (const auto& [tag, v] : m.props) n += v.str.size() + v.bin.size() + 8;
    for (const auto& a : m.attachments)
        for (const auto& [tag, v] : a) n += v.str.size() + v.bin.size();
    return n;
}

FileTime now() { return fileTimeFromUnix(std::time(nullptr)); }

class Store;

class Message;

// An attachment reads and writes its slot of the owning message, which it keeps alive.
class Attachment : public PropBag<IAttach>, public std::enable_shared_from_this<Attachment> {
public:
    Attachment(std::shared_ptr<Message> owner, size_t index) : owner_(std::move(owner)), index_(index) {}
    HRESULT SaveChanges(ULONG) override { return S_OK; }  // lands with the message's SaveChanges
    ULONG objectType() const override { return MAPI_ATTACH; }

protected:
    PropMap& props() override;
    size_t textLimit() const override;
    std::shared_ptr<void> keepAlive() override { return shared_from_this(); }

private:
    std::shared_ptr<Message> owner_;
    size_t index_;
    PropMap gone_;  // what a deleted slot reads as
};

class Message : public PropBag<IMessage>, public std::enable_shared_from_this<Message> {
public:
    Message(std::shared_ptr<Store> store, std::string folder, StoredMessage m)
        : store_(std::move(store)), folder_(std::move(folder)), m_(std::move(m)) {}

    HRESULT SaveChanges(ULONG flags) override;
    ULONG objectType() const override { return MAPI_MESSAGE; }
    HRESULT GetRecipientTable(ULONG, std::shared_ptr<IMAPITable>& table) override {
        std::vector<PropMap> rows = m_.recipients;
        for (size_t i = 0; i < rows.size(); ++i)
            rows[i][0x30000003] = SPropValue::Long(0x30000003, static_cast<int32_t>(i));
        table = std::make_shared<SnapshotTable>(std::move(rows), SPropTagArray{PR_DISPLAY_NAME, PR_ENTRYID, PR_ADDRTYPE,
                                                                               PR_RECIPIENT_TYPE, PR_EMAIL_ADDRESS});
        return S_OK;
    }
    HRESULT ModifyRecipients(ULONG flags, const ADRLIST& list) override {
        if (!(flags & (MODRECIP_ADD | MODRECIP_MODIFY | MODRECIP_REMOVE))) m_.recipients.clear();
        for (const auto& e : list.aEntries) {
            PropMap r;
            for (const auto& v : e.lpProps)
                if (!v.isError()) r[v.ulPropTag] = v;
            if (!r.count(PR_RECIPIENT_TYPE)) r[PR_RECIPIENT_TYPE] = SPropValue::Long(PR_RECIPIENT_TYPE, MAPI_TO);
            m_.recipients.push_back(std::move(r));
        }
        return S_OK;
    }
    HRESULT GetAttachmentTable(ULONG, std::shared_ptr<IMAPITable>& table) override {
        std::vector<PropMap> rows;
        for (size_t i = 0; i < m_.attachments.size(); ++i) {
            PropMap r = m_.attachments[i];
            r.erase(PR_ATTACH_DATA_BIN);  // data only through OpenAttach
            r[PR_ATTACH_NUM] = SPropValue::Long(PR_ATTACH_NUM, static_cast<int32_t>(i));
            rows.push_back(std::move(r));
        }
        table = std::make_shared<SnapshotTable>(
            std::move(rows),
            SPropTagArray{PR_ATTACH_NUM, PR_ATTACH_FILENAME, PR_ATTACH_LONG_FILENAME, PR_ATTACH_METHOD});
        return S_OK;
    }
    HRESULT OpenAttach(ULONG number, ULONG, std::shared_ptr<IAttach>& attach) override {
        if (number >= m_.attachments.size()) return MAPI_E_NOT_FOUND;
        attach = std::make_shared<Attachment>(shared_from_this(), number);
        return S_OK;
    }
    HRESULT CreateAttach(ULONG, ULONG* number, std::shared_ptr<IAttach>& attach) override {
        m_.attachments.emplace_back();
        if (number) *number = static_cast<ULONG>(m_.attachments.size() - 1);
        attach = std::make_shared<Attachment>(shared_from_this(), m_.attachments.size() - 1);
        return S_OK;
    }
    HRESULT DeleteAttach(ULONG number) override {
        if (number >= m_.attachments.size()) return MAPI_E_NOT_FOUND;
        m_.attachments.erase(m_.attachments.begin() + number);
        return S_OK;
    }
    HRESULT SetReadFlag(ULONG flags) override;
    HRESULT SubmitMessage(ULONG flags) override;
    PropMap* attachmentProps(size_t index) { return index < m_.attachments.size() ? &m_.attachments[index] : nullptr; }
    size_t valueLimit() const { return textLimit(); }

protected:
    PropMap& props() override { return m_.props; }
    PropMap view() override;
    size_t textLimit() const override;
    std::shared_ptr<void> keepAlive() override { return shared_from_this(); }

private:
    std::shared_ptr<Store> store_;
    std::string folder_;
    StoredMessage m_;
};

PropMap& Attachment::props() {
    PropMap* p = owner_->attachmentProps(index_);
    return p ? *p : gone_;
}
size_t Attachment::textLimit() const { return owner_->valueLimit(); }

class Folder : public PropBag<IMAPIFolder>, public std::enable_shared_from_this<Folder> {
public:
    Folder(std::shared_ptr<Store> store, FolderInfo info) : store_(std::move(store)), info_(std::move(info)) {}
    const std::string& name() const { return info_.name; }
    HRESULT SaveChanges(ULONG) override { return S_OK; }
    ULONG objectType() const override { return MAPI_FOLDER; }
    HRESULT GetContentsTable(ULONG flags, std::shared_ptr<IMAPITable>& table) override;
    HRESULT GetHierarchyTable(ULONG flags, std::shared_ptr<IMAPITable>& table) override;
    HRESULT CreateMessage(ULONG flags, std::shared_ptr<IMessage>& message) override;
    HRESULT DeleteMessages(const ENTRYLIST& messages, ULONG flags) override;
    HRESULT CopyMessages(const ENTRYLIST& messages, IMAPIFolder* destination, ULONG flags) override;

protected:
    PropMap& props() override { return props_; }
    PropMap view() override;
    std::shared_ptr<void> keepAlive() override { return shared_from_this(); }

private:
    std::shared_ptr<Store> store_;
    FolderInfo info_;
    PropMap props_;
};

class Store : public PropBag<MessageStore>, public std::enable_shared_from_this<Store> {
public:
    Store(std::shared_ptr<Backing> backing, Identity identity)
        : backing_(std::move(backing)), identity_(std::move(identity)) {}

    Backing& backing() override { return *backing_; }
    const Identity& identity() const { return identity_; }
    EntryId folderEntryId(const std::string& folder) const override {
        return makeEntryId(backing_->storeUid(), EntryKind::Folder, folder);
    }
    EntryId messageEntryId(const std::string& folder, const std::string& key) const override {
        return makeEntryId(backing_->storeUid(), EntryKind::Message, folder, key);
    }
    bool findFolder(FolderRole role, FolderInfo& out) {
        for (const auto& f : backing_->folders())
            if (f.role == role) {
                out = f;
                return true;
            }
        return false;
    }
    bool findFolder(const std::string& name, FolderInfo& out) {
        if (name == kRootFolder) {
            out = {kRootFolder, "Top of Information Store", FolderRole::Other};
            return true;
        }
        for (const auto& f : backing_->folders())
            if (f.name == name) {
                out = f;
                return true;
            }
        return false;
    }
    // The properties a message shows beyond the stored ones.
    PropMap messageView(const std::string& folder, const StoredMessage& m, bool saved) const {
        PropMap v = m.props;
        if (saved) {
            v[PR_ENTRYID] = SPropValue::Binary(PR_ENTRYID, messageEntryId(folder, m.key));
            v[0x0FF90102] = SPropValue::Binary(0x0FF90102, messageEntryId(folder, m.key));  // PR_RECORD_KEY
        }
        v[PR_PARENT_ENTRYID] = SPropValue::Binary(PR_PARENT_ENTRYID, folderEntryId(folder));
        v[PR_OBJECT_TYPE] = SPropValue::Long(PR_OBJECT_TYPE, MAPI_MESSAGE);
        int32_t flags = v.count(PR_MESSAGE_FLAGS) ? v[PR_MESSAGE_FLAGS].l : 0;
        flags = m.read ? (flags | MSGFLAG_READ) : (flags & ~MSGFLAG_READ);
        if (!m.attachments.empty()) flags |= MSGFLAG_HASATTACH;
        v[PR_MESSAGE_FLAGS] = SPropValue::Long(PR_MESSAGE_FLAGS, flags);
        v[PR_HASATTACH] = SPropValue::Bool(PR_HASATTACH, !m.attachments.empty());
        v[PR_MESSAGE_SIZE] = SPropValue::Long(PR_MESSAGE_SIZE, static_cast<int32_t>(messageSize(m)));
        if (!v.count(PR_DISPLAY_TO))
            v[PR_DISPLAY_TO] = SPropValue::String(PR_DISPLAY_TO, joinNames(m.recipients, MAPI_TO));
        if (!v.count(PR_DISPLAY_CC))
            v[PR_DISPLAY_CC] = SPropValue::String(PR_DISPLAY_CC, joinNames(m.recipients, MAPI_CC));
        return v;
    }

    HRESULT SaveChanges(ULONG) override { return S_OK; }
    ULONG objectType() const override { return MAPI_STORE; }

    HRESULT OpenEntry(const EntryId& id, ULONG, ULONG* objectType, std::shared_ptr<IMAPIProp>& object) override {
        if (HRESULT hr = backing_->fault("OpenEntry"); FAILED(hr)) return hr;
        ParsedEntryId p{EntryKind::Folder, kRootFolder, {}};
        if (!id.empty() && !parseEntryId(id, backing_->storeUid(), p)) return MAPI_E_INVALID_ENTRYID;
        if (p.kind == EntryKind::Store) {
            object = shared_from_this();
            if (objectType) *objectType = MAPI_STORE;
            return S_OK;
        }
        FolderInfo info;
        if (!findFolder(p.folder, info)) return MAPI_E_NOT_FOUND;
        if (p.kind == EntryKind::Folder) {
            object = std::make_shared<Folder>(shared_from_this(), info);
            if (objectType) *objectType = MAPI_FOLDER;
            return S_OK;
        }
        StoredMessage m;
        if (HRESULT hr = backing_->loadMessage(p.folder, p.key, m); FAILED(hr)) return hr;
        object = std::make_shared<Message>(shared_from_this(), p.folder, std::move(m));
        if (objectType) *objectType = MAPI_MESSAGE;
        return S_OK;
    }
    HRESULT GetReceiveFolder(const std::string&, ULONG, EntryId& folder) override {
        FolderInfo inbox;
        if (!findFolder(FolderRole::Inbox, inbox)) return MAPI_E_NOT_FOUND;
        folder = folderEntryId(inbox.name);
        return S_OK;
    }
    HRESULT Advise(const EntryId& folder, ULONG mask, std::shared_ptr<IMAPIAdviseSink> sink,
                   ULONG* connection) override {
        if (!sink) return MAPI_E_INVALID_PARAMETER;
        if (HRESULT hr = backing_->fault("Advise"); FAILED(hr)) return hr;
        std::string name;  // empty id: the whole store
        bool whole = folder.empty();
        if (!whole) {
            ParsedEntryId p;
            if (!parseEntryId(folder, backing_->storeUid(), p)) return MAPI_E_INVALID_ENTRYID;
            whole = p.kind == EntryKind::Store;
            name = p.folder;
        }
        advises_.push_back({++lastConnection_, whole, name, mask, std::move(sink)});
        if (connection) *connection = lastConnection_;
        return S_OK;
    }
    HRESULT Unadvise(ULONG connection) override {
        auto it =
            std::find_if(advises_.begin(), advises_.end(), [&](const Advice& a) { return a.connection == connection; });
        if (it == advises_.end()) return MAPI_E_NOT_FOUND;
        advises_.erase(it);
        return S_OK;
    }
    HRESULT CompareEntryIDs(const EntryId& a, const EntryId& b, ULONG, ULONG* same) override {
        if (!same) return MAPI_E_INVALID_PARAMETER;
        *same = a == b;
        return S_OK;
    }
    HRESULT StoreLogoff(ULONG*) override {
        advises_.clear();
        return S_OK;
    }
    void dispatchNotifications() override {
        for (const auto& [folder, key] : backing_->takeArrivals()) {
            NOTIFICATION n;
            n.ulEventType = fnevNewMail;
            n.entryId = messageEntryId(folder, key);
            n.parentId = folderEntryId(folder);
            n.messageClass = "IPM.Note";
            // A sink may unadvise from inside OnNotify: walk a copy.
            auto advises = advises_;
            for (const auto& a : advises)
                if ((a.mask & fnevNewMail) && (a.wholeStore || a.folder == folder)) a.sink->OnNotify({n});
        }
    }

protected:
    PropMap& props() override { return props_; }
    PropMap view() override {
        PropMap v = props_;
        const auto uid = backing_->storeUid();
        v[PR_ENTRYID] = SPropValue::Binary(PR_ENTRYID, makeEntryId(uid, EntryKind::Store, {}));
        v[PR_DISPLAY_NAME] = SPropValue::String(PR_DISPLAY_NAME, backing_->displayName());
        v[PR_MDB_PROVIDER] = SPropValue::Binary(PR_MDB_PROVIDER, kProviderUid);
        v[PR_PROVIDER_DISPLAY] = SPropValue::String(PR_PROVIDER_DISPLAY, backing_->providerDisplayName());
        v[PR_DEFAULT_STORE] = SPropValue::Bool(PR_DEFAULT_STORE, true);
        v[PR_OBJECT_TYPE] = SPropValue::Long(PR_OBJECT_TYPE, MAPI_STORE);
        v[PR_IPM_SUBTREE_ENTRYID] = SPropValue::Binary(PR_IPM_SUBTREE_ENTRYID, folderEntryId(kRootFolder));
        const std::pair<FolderRole, ULONG> special[] = {{FolderRole::Outbox, PR_IPM_OUTBOX_ENTRYID},
                                                        {FolderRole::Trash, PR_IPM_WASTEBASKET_ENTRYID},
                                                        {FolderRole::Sent, PR_IPM_SENTMAIL_ENTRYID}};
        for (const auto& [role, tag] : special) {
            FolderInfo f;
            if (findFolder(role, f)) v[tag] = SPropValue::Binary(tag, folderEntryId(f.name));
        }
        return v;
    }
    std::shared_ptr<void> keepAlive() override { return shared_from_this(); }

private:
    struct Advice {
        ULONG connection;
        bool wholeStore;
        std::string folder;
        ULONG mask;
        std::shared_ptr<IMAPIAdviseSink> sink;
    };
    std::shared_ptr<Backing> backing_;
    Identity identity_;
    PropMap props_;
    std::vector<Advice> advises_;
    ULONG lastConnection_ = 0;
};

// Message -------------------------------------------------------------------------------

PropMap Message::view() { return store_->messageView(folder_, m_, !m_.key.empty()); }
size_t Message::textLimit() const { return store_->backing().textValueLimit(); }

HRESULT Message::SaveChanges(ULONG) {
    if (HRESULT hr = store_->backing().fault("SaveChanges"); FAILED(hr)) return hr;
    return store_->backing().saveMessage(folder_, m_);
}

HRESULT Message::SetReadFlag(ULONG flags) {
    m_.read = !(flags & CLEAR_READ_FLAG);
    if (m_.key.empty()) return S_OK;
    return store_->backing().setRead(folder_, m_.key, m_.read);
}

HRESULT Message::SubmitMessage(ULONG) {
    Backing& b = store_->backing();
    if (HRESULT hr = b.fault("SubmitMessage"); FAILED(hr)) return hr;
    if (m_.recipients.empty()) return MAPI_E_NOT_FOUND;
    const Identity& me = store_->identity();
    auto stamp = [&](ULONG tag, const std::string& v) {
        if (!m_.props.count(tag)) m_.props[tag] = SPropValue::String(tag, v);
    };
    stamp(PR_SENDER_NAME, me.displayName.empty() ? me.address : me.displayName);
    stamp(PR_SENDER_EMAIL_ADDRESS, me.address);
    stamp(PR_SENDER_ADDRTYPE, "SMTP");
    stamp(PR_SENT_REPRESENTING_NAME, me.displayName.empty() ? me.address : me.displayName);
    stamp(PR_SENT_REPRESENTING_EMAIL_ADDRESS, me.address);
    stamp(PR_SENT_REPRESENTING_ADDRTYPE, "SMTP");
    stamp(PR_MESSAGE_CLASS, "IPM.Note");
    m_.props[PR_CLIENT_SUBMIT_TIME] = SPropValue::Time(PR_CLIENT_SUBMIT_TIME, now());

    std::vector<Refusal> refused;
    if (HRESULT hr = b.submit(m_, refused); FAILED(hr)) return hr;
    bool reportLost = false;

    // What the mail system turned away comes back as a delivery report in the Inbox.
    if (!refused.empty()) {
        FolderInfo inbox;
        if (store_->findFolder(FolderRole::Inbox, inbox)) {
            StoredMessage ndr;
            const std::string subject = m_.props.count(PR_SUBJECT) ? m_.props[PR_SUBJECT].str : std::string();
            ndr.props[PR_MESSAGE_CLASS] = SPropValue::String(PR_MESSAGE_CLASS, "REPORT.IPM.Note.NDR");
            ndr.props[PR_SUBJECT] = SPropValue::String(PR_SUBJECT, "Undeliverable: " + subject);
            ndr.props[PR_ORIGINAL_SUBJECT] = SPropValue::String(PR_ORIGINAL_SUBJECT, subject);
            ndr.props[PR_SENDER_NAME] = SPropValue::String(PR_SENDER_NAME, "System Administrator");
            ndr.props[PR_SENDER_ADDRTYPE] = SPropValue::String(PR_SENDER_ADDRTYPE, "SMTP");
            ndr.props[PR_SENDER_EMAIL_ADDRESS] = SPropValue::String(PR_SENDER_EMAIL_ADDRESS, "postmaster");
            ndr.props[PR_DISPLAY_TO] = SPropValue::String(PR_DISPLAY_TO, me.address);
            ndr.props[PR_MESSAGE_DELIVERY_TIME] = SPropValue::Time(PR_MESSAGE_DELIVERY_TIME, now());
            for (const auto& r : refused) {
                PropMap row;
                row[PR_DISPLAY_NAME] = SPropValue::String(PR_DISPLAY_NAME, r.address);
                row[PR_EMAIL_ADDRESS] = SPropValue::String(PR_EMAIL_ADDRESS, r.address);
                row[PR_ADDRTYPE] = SPropValue::String(PR_ADDRTYPE, "SMTP");
                row[PR_RECIPIENT_TYPE] = SPropValue::Long(PR_RECIPIENT_TYPE, MAPI_TO);
                row[PR_REPORT_TEXT] = SPropValue::String(PR_REPORT_TEXT, r.reason);
                ndr.recipients.push_back(std::move(row));
            }
            if (FAILED(b.saveMessage(inbox.name, ndr))) reportLost = true;
        }
    }

    // Out of the Outbox: gone when asked, else into Sent Items (or the folder named).
    const bool deleteAfter = m_.props.count(PR_DELETE_AFTER_SUBMIT) && m_.props[PR_DELETE_AFTER_SUBMIT].b;
    const std::string oldKey = m_.key;
    if (!deleteAfter) {
        FolderInfo sent;
        bool found = false;
        if (m_.props.count(PR_SENTMAIL_ENTRYID)) {
            ParsedEntryId p;
            found = parseEntryId(m_.props[PR_SENTMAIL_ENTRYID].bin, b.storeUid(), p) && p.kind == EntryKind::Folder &&
                    store_->findFolder(p.folder, sent);
        }
        if (!found) found = store_->findFolder(FolderRole::Sent, sent);
        if (found) {
            StoredMessage copy = m_;
            copy.key.clear();
            copy.read = true;
            copy.props[PR_MESSAGE_DELIVERY_TIME] = SPropValue::Time(PR_MESSAGE_DELIVERY_TIME, now());
            if (HRESULT hr = b.saveMessage(sent.name, copy); FAILED(hr)) return hr;
        }
    }
    if (!oldKey.empty()) b.deleteMessage(folder_, oldKey);
    m_.key.clear();
    // Sent, but the report about refused recipients could not be stored: say so.
    return reportLost ? MAPI_W_ERRORS_RETURNED : S_OK;
}

// Folder --------------------------------------------------------------------------------

PropMap Folder::view() {
    PropMap v = props_;
    v[PR_ENTRYID] = SPropValue::Binary(PR_ENTRYID, store_->folderEntryId(info_.name));
    v[PR_DISPLAY_NAME] = SPropValue::String(PR_DISPLAY_NAME, info_.displayName);
    v[PR_OBJECT_TYPE] = SPropValue::Long(PR_OBJECT_TYPE, MAPI_FOLDER);
    v[PR_CONTAINER_CLASS] = SPropValue::String(PR_CONTAINER_CLASS, "IPF.Note");
    v[PR_SUBFOLDERS] = SPropValue::Bool(PR_SUBFOLDERS, info_.name == kRootFolder);
    if (info_.name != kRootFolder) {
        std::vector<StoredMessage> list;
        if (!FAILED(store_->backing().listMessages(info_.name, list))) {
            v[PR_CONTENT_COUNT] = SPropValue::Long(PR_CONTENT_COUNT, static_cast<int32_t>(list.size()));
            v[PR_CONTENT_UNREAD] = SPropValue::Long(
                PR_CONTENT_UNREAD, static_cast<int32_t>(std::count_if(list.begin(), list.end(),
                                                                      [](const StoredMessage& m) { return !m.read; })));
        }
    }
    return v;
}

HRESULT Folder::GetContentsTable(ULONG, std::shared_ptr<IMAPITable>& table) {
    Backing& b = store_->backing();
    if (HRESULT hr = b.fault("GetContentsTable"); FAILED(hr)) return hr;
    std::vector<PropMap> rows;
    if (info_.name != kRootFolder) {
        std::vector<StoredMessage> list;
        if (HRESULT hr = b.listMessages(info_.name, list); FAILED(hr)) return hr;
        for (const auto& m : list) rows.push_back(store_->messageView(info_.name, m, true));
    }
    table = std::make_shared<SnapshotTable>(std::move(rows), SPropTagArray{PR_ENTRYID, PR_SUBJECT}, &b);
    return S_OK;
}

HRESULT Folder::GetHierarchyTable(ULONG, std::shared_ptr<IMAPITable>& table) {
    std::vector<PropMap> rows;
    if (info_.name == kRootFolder)
        for (const auto& f : store_->backing().folders()) rows.push_back(Folder(store_, f).view());
    table = std::make_shared<SnapshotTable>(std::move(rows), SPropTagArray{PR_ENTRYID, PR_DISPLAY_NAME},
                                            &store_->backing());
    return S_OK;
}

HRESULT Folder::CreateMessage(ULONG, std::shared_ptr<IMessage>& message) {
    if (info_.name == kRootFolder) return MAPI_E_NO_SUPPORT;
    StoredMessage m;
    m.read = true;  // one's own new message is not unread mail
    message = std::make_shared<Message>(store_, info_.name, std::move(m));
    return S_OK;
}

HRESULT Folder::DeleteMessages(const ENTRYLIST& messages, ULONG) {
    HRESULT result = S_OK;
    for (const auto& id : messages) {
        ParsedEntryId p;
        if (!parseEntryId(id, store_->backing().storeUid(), p) || p.kind != EntryKind::Message ||
            p.folder != info_.name) {
            result = MAPI_W_ERRORS_RETURNED;
            continue;
        }
        if (FAILED(store_->backing().deleteMessage(p.folder, p.key))) result = MAPI_W_ERRORS_RETURNED;
    }
    return result;
}

HRESULT Folder::CopyMessages(const ENTRYLIST& messages, IMAPIFolder* destination, ULONG flags) {
    auto* dest = dynamic_cast<Folder*>(destination);
    if (!dest || dest->name() == kRootFolder) return MAPI_E_INVALID_PARAMETER;
    Backing& b = store_->backing();
    HRESULT result = S_OK;
    for (const auto& id : messages) {
        ParsedEntryId p;
        StoredMessage m;
        if (!parseEntryId(id, b.storeUid(), p) || p.kind != EntryKind::Message || p.folder != info_.name ||
            FAILED(b.loadMessage(p.folder, p.key, m))) {
            result = MAPI_W_ERRORS_RETURNED;
            continue;
        }
        m.key.clear();
        // The copy is stored before the original goes, so a failure loses nothing.
        if (FAILED(b.saveMessage(dest->name(), m))) {
            result = MAPI_W_ERRORS_RETURNED;
            continue;
        }
        if ((flags & MESSAGE_MOVE) && FAILED(b.deleteMessage(p.folder, p.key))) result = MAPI_W_ERRORS_RETURNED;
    }
    return result;
}

}  // namespace

EntryId makeEntryId(const std::vector<uint8_t>& uid, EntryKind kind, const std::string& folder,
                    const std::string& key) {
    std::string bytes(kMagic, 4);
    bytes.append(uid.begin(), uid.end());
    bytes += static_cast<char>(kind);
    bytes += folder;
    if (kind == EntryKind::Message) {
        bytes += '\0';
        bytes += key;
    }
    return EntryId(bytes.begin(), bytes.end());
}

bool parseEntryId(const EntryId& id, const std::vector<uint8_t>& uid, ParsedEntryId& out) {
    const size_t head = 4 + uid.size() + 1;
    if (id.size() < head || !std::equal(kMagic, kMagic + 4, id.begin()) ||
        !std::equal(uid.begin(), uid.end(), id.begin() + 4))
        return false;
    const uint8_t kind = id[head - 1];
    std::string rest(id.begin() + static_cast<long>(head), id.end());
    switch (kind) {
    case static_cast<uint8_t>(EntryKind::Store): out = {EntryKind::Store, {}, {}}; return rest.empty();
    case static_cast<uint8_t>(EntryKind::Folder):
        if (rest.find('\0') != std::string::npos) return false;
        out = {EntryKind::Folder, rest, {}};
        return true;
    case static_cast<uint8_t>(EntryKind::Message): {
        auto nul = rest.find('\0');
        if (nul == std::string::npos || nul + 1 == rest.size()) return false;
        out = {EntryKind::Message, rest.substr(0, nul), rest.substr(nul + 1)};
        return true;
    }
    default: return false;
    }
}

std::shared_ptr<MessageStore> openMessageStore(std::shared_ptr<Backing> backing, Identity identity) {
    if (!backing) return nullptr;
    return std::make_shared<Store>(std::move(backing), std::move(identity));
}

}  // namespace platform::mapi
