#include "platform/mapi/address_book.h"

#include "platform/mapi/prop_bag.h"
#include "platform/mapi/table.h"
#include "platform/mapi/text_util.h"

namespace platform::mapi {

const std::vector<uint8_t> kGlobalListProviderId = {0xDC, 0xA7, 0x40, 0xC8, 0xC0, 0x42, 0x10, 0x1A,
                                                    0xB4, 0xB9, 0x08, 0x00, 0x2B, 0x2F, 0xE1, 0x82};

namespace {

// Address-book entry ids: "TSAB", a kind byte, then the kind's text.
enum class AbKind : uint8_t { Root = 1, GlobalList = 2, Entry = 3, OneOff = 4, Identity = 5 };

EntryId abId(AbKind kind, const std::string& text = {}) {
    std::string bytes = "TSAB";
    bytes += static_cast<char>(kind);
    bytes += text;
    return EntryId(bytes.begin(), bytes.end());
}

bool parseAbId(const EntryId& id, AbKind& kind, std::string& text) {
    if (id.size() < 5 || id[0] != 'T' || id[1] != 'S' || id[2] != 'A' || id[3] != 'B') return false;
    if (id[4] < 1 || id[4] > 5) return false;
    kind = static_cast<AbKind>(id[4]);
    text.assign(id.begin() + 5, id.end());
    return true;
}

// A one-off entry carries its own name, type and address, NUL-separated.
EntryId oneOffId(const AddressEntry& e) {
    return abId(AbKind::OneOff, e.displayName + std::string(1, '\0') + e.addrType + std::string(1, '\0') + e.address);
}

bool parseOneOff(const std::string& text, AddressEntry& e) {
    auto a = text.find('\0');
    auto b = a == std::string::npos ? a : text.find('\0', a + 1);
    if (b == std::string::npos) return false;
    e = AddressEntry{text.substr(0, a), text.substr(a + 1, b - a - 1), text.substr(b + 1), {}};
    return !e.address.empty();
}

std::string smtpOf(const AddressEntry& e) {
    if (iequals(e.addrType, "SMTP")) return e.address;
    for (const auto& p : e.proxies)
        if (p.rfind("SMTP:", 0) == 0) return p.substr(5);  // the primary one
    return {};
}

PropMap entryProps(const AddressEntry& e, const EntryId& id) {
    PropMap v;
    v[PR_ENTRYID] = SPropValue::Binary(PR_ENTRYID, id);
    v[PR_DISPLAY_NAME] = SPropValue::String(PR_DISPLAY_NAME, e.displayName.empty() ? e.address : e.displayName);
    v[PR_ADDRTYPE] = SPropValue::String(PR_ADDRTYPE, e.addrType);
    v[PR_EMAIL_ADDRESS] = SPropValue::String(PR_EMAIL_ADDRESS, e.address);
    std::string key = e.addrType + ":" + e.address;
    for (auto& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    v[PR_SEARCH_KEY] = SPropValue::Binary(PR_SEARCH_KEY, std::vector<uint8_t>(key.begin(), key.end() + 0));
    v[PR_SEARCH_KEY].bin.push_back(0);
    v[PR_SEND_RICH_INFO] = SPropValue::Bool(PR_SEND_RICH_INFO, false);
    v[PR_OBJECT_TYPE] = SPropValue::Long(PR_OBJECT_TYPE, MAPI_MAILUSER);
    if (std::string smtp = smtpOf(e); !smtp.empty()) v[PR_SMTP_ADDRESS] = SPropValue::String(PR_SMTP_ADDRESS, smtp);
    if (!e.proxies.empty()) v[PR_EMS_AB_PROXY_ADDRESSES] = SPropValue::Multi(PR_EMS_AB_PROXY_ADDRESSES, e.proxies);
    return v;
}

class MailUser : public PropBag<IMailUser>, public std::enable_shared_from_this<MailUser> {
public:
    explicit MailUser(PropMap props) : props_(std::move(props)) {}
    HRESULT SaveChanges(ULONG) override { return MAPI_E_NO_SUPPORT; }
    ULONG objectType() const override { return MAPI_MAILUSER; }

protected:
    PropMap& props() override { return props_; }
    std::shared_ptr<void> keepAlive() override { return shared_from_this(); }

private:
    PropMap props_;
};

class Book;

class Container : public PropBag<IABContainer>, public std::enable_shared_from_this<Container> {
public:
    Container(std::shared_ptr<Book> book, bool root) : book_(std::move(book)), root_(root) {}
    HRESULT SaveChanges(ULONG) override { return MAPI_E_NO_SUPPORT; }
    ULONG objectType() const override { return MAPI_ABCONT; }
    HRESULT GetContentsTable(ULONG flags, std::shared_ptr<IMAPITable>& table) override;
    HRESULT GetHierarchyTable(ULONG flags, std::shared_ptr<IMAPITable>& table) override;
    HRESULT ResolveNames(const SPropTagArray* columns, ULONG flags, ADRLIST& list,
                         std::vector<ULONG>& resolution) override;

protected:
    PropMap& props() override { return props_; }
    PropMap view() override;
    std::shared_ptr<void> keepAlive() override { return shared_from_this(); }

private:
    std::shared_ptr<Book> book_;
    bool root_;
    PropMap props_;
};

class Book : public AddressBook, public std::enable_shared_from_this<Book> {
public:
    explicit Book(Profile profile) : profile_(std::move(profile)) {}

    EntryId identityEntryId() const override { return abId(AbKind::Identity); }
    EntryId entryId(size_t i) const {
        const auto& e = profile_.addressList[i];
        return abId(AbKind::Entry, e.addrType + ":" + e.address);
    }
    PropMap globalListRow() const {
        PropMap v;
        v[PR_ENTRYID] = SPropValue::Binary(PR_ENTRYID, abId(AbKind::GlobalList));
        v[PR_DISPLAY_NAME] = SPropValue::String(PR_DISPLAY_NAME, "Global Address List");
        v[PR_AB_PROVIDER_ID] = SPropValue::Binary(PR_AB_PROVIDER_ID, kGlobalListProviderId);
        v[PR_EMS_AB_CONTAINERID] = SPropValue::Long(PR_EMS_AB_CONTAINERID, 0);
        v[PR_OBJECT_TYPE] = SPropValue::Long(PR_OBJECT_TYPE, MAPI_ABCONT);
        return v;
    }
    std::vector<PropMap> entryRows() const {
        std::vector<PropMap> rows;
        for (size_t i = 0; i < profile_.addressList.size(); ++i)
            rows.push_back(entryProps(profile_.addressList[i], entryId(i)));
        return rows;
    }

    // One entry's resolution: MAPI_RESOLVED with its properties, MAPI_AMBIGUOUS, or
    // MAPI_UNRESOLVED.
    ULONG resolve(const std::string& name, PropMap& out) const {
        const auto& list = profile_.addressList;
        std::vector<size_t> exact, prefix;
        const std::string lname = lower(name);
        for (size_t i = 0; i < list.size(); ++i) {
            const auto& e = list[i];
            bool hit = iequals(e.displayName, name) || iequals(e.address, name) || iequals(smtpOf(e), name);
            for (const auto& p : e.proxies) {
                auto colon = p.find(':');
                hit = hit || (colon != std::string::npos && iequals(p.substr(colon + 1), name));
            }
            if (hit)
                exact.push_back(i);
            else if (!lname.empty() && lower(e.displayName).rfind(lname, 0) == 0)
                prefix.push_back(i);
        }
        const auto& pick = exact.empty() ? prefix : exact;
        if (pick.size() == 1) {
            out = entryProps(list[pick[0]], entryId(pick[0]));
            return MAPI_RESOLVED;
        }
        if (pick.size() > 1) return MAPI_AMBIGUOUS;
        if (name.find('@') != std::string::npos) {
            AddressEntry e{name, "SMTP", name, {}};
            out = entryProps(e, oneOffId(e));
            return MAPI_RESOLVED;
        }
        return MAPI_UNRESOLVED;
    }

    HRESULT openProps(const EntryId& id, ULONG* type, std::shared_ptr<IMAPIProp>& object) {
        AbKind kind;
        std::string text;
        if (id.empty())
            kind = AbKind::Root;
        else if (!parseAbId(id, kind, text))
            return MAPI_E_INVALID_ENTRYID;
        switch (kind) {
        case AbKind::Root:
        case AbKind::GlobalList:
            object = std::make_shared<Container>(shared_from_this(), kind == AbKind::Root);
            if (type) *type = MAPI_ABCONT;
            return S_OK;
        case AbKind::Identity:
            object = std::make_shared<MailUser>(entryProps(profile_.identity, identityEntryId()));
            break;
        case AbKind::OneOff: {
            AddressEntry e;
            if (!parseOneOff(text, e)) return MAPI_E_INVALID_ENTRYID;
            object = std::make_shared<MailUser>(entryProps(e, id));
            break;
        }
        case AbKind::Entry: {
            bool found = false;
            for (size_t i = 0; i < profile_.addressList.size() && !found; ++i)
                if (entryId(i) == id) {
                    object = std::make_shared<MailUser>(entryProps(profile_.addressList[i], id));
                    found = true;
                }
            if (!found) return MAPI_E_NOT_FOUND;
            break;
        }
        }
        if (type) *type = MAPI_MAILUSER;
        return S_OK;
    }

    HRESULT OpenEntry(const EntryId& id, ULONG, ULONG* type, std::shared_ptr<IMAPIProp>& object) override {
        return openProps(id, type, object);
    }

    HRESULT ResolveName(ULONG, ULONG, const char*, ADRLIST& list) override {
        std::vector<ULONG> flags;
        HRESULT hr = resolveList(nullptr, list, flags);
        if (FAILED(hr)) return hr;
        for (ULONG f : flags)
            if (f == MAPI_AMBIGUOUS) return MAPI_E_AMBIGUOUS_RECIP;
        for (ULONG f : flags)
            if (f != MAPI_RESOLVED) return MAPI_E_NOT_FOUND;
        return S_OK;
    }

    // Resolves every entry not yet resolved (no PR_ENTRYID); resolved ones keep their
    // recipient type and take the entry's properties (the asked columns first).
    HRESULT resolveList(const SPropTagArray* columns, ADRLIST& list, std::vector<ULONG>& flags) const {
        flags.assign(list.aEntries.size(), MAPI_UNRESOLVED);
        for (size_t i = 0; i < list.aEntries.size(); ++i) {
            SRow& row = list.aEntries[i];
            if (row.find(PR_ENTRYID)) {
                flags[i] = MAPI_RESOLVED;
                continue;
            }
            const SPropValue* name = row.find(PR_DISPLAY_NAME);
            if (!name) continue;
            PropMap found;
            flags[i] = resolve(name->str, found);
            if (flags[i] != MAPI_RESOLVED) continue;
            if (const SPropValue* t = row.find(PR_RECIPIENT_TYPE)) found[PR_RECIPIENT_TYPE] = *t;
            row.lpProps = arrange(found, columns);
        }
        return S_OK;
    }

    static std::vector<SPropValue> arrange(const PropMap& props, const SPropTagArray* columns) {
        std::vector<SPropValue> out;
        if (columns)
            for (ULONG t : *columns) {
                auto it = props.find(t);
                out.push_back(it != props.end() ? it->second : SPropValue::Error(t, MAPI_E_NOT_FOUND));
            }
        for (const auto& [tag, v] : props) {
            bool listed = false;
            if (columns)
                for (ULONG t : *columns) listed = listed || t == tag;
            if (!listed) out.push_back(v);
        }
        return out;
    }

    HRESULT PrepareRecips(ULONG, const SPropTagArray& columns, ADRLIST& list) override {
        for (auto& row : list.aEntries) {
            const SPropValue* id = row.find(PR_ENTRYID);
            if (!id) return MAPI_E_INVALID_PARAMETER;
            std::shared_ptr<IMAPIProp> object;
            ULONG type = 0;
            if (HRESULT hr = openProps(id->bin, &type, object); FAILED(hr)) return hr;
            std::vector<SPropValue> values;
            object->GetProps({}, 0, values);
            PropMap props;
            for (auto& v : values) props[v.ulPropTag] = v;
            for (const auto& v : row.lpProps)
                if (!props.count(v.ulPropTag)) props[v.ulPropTag] = v;
            row.lpProps = arrange(props, &columns);
        }
        return S_OK;
    }

    HRESULT CompareEntryIDs(const EntryId& a, const EntryId& b, ULONG, ULONG* same) override {
        if (!same) return MAPI_E_INVALID_PARAMETER;
        *same = a == b;
        return S_OK;
    }

    HRESULT CreateOneOff(const std::string& displayName, const std::string& addrType, const std::string& address, ULONG,
                         EntryId& id) override {
        if (address.empty() || addrType.empty()) return MAPI_E_INVALID_PARAMETER;
        id = oneOffId(AddressEntry{displayName, addrType, address, {}});
        return S_OK;
    }

private:
    Profile profile_;
};

PropMap Container::view() {
    PropMap v = book_->globalListRow();
    if (root_) {
        v[PR_ENTRYID] = SPropValue::Binary(PR_ENTRYID, abId(AbKind::Root));
        v[PR_DISPLAY_NAME] = SPropValue::String(PR_DISPLAY_NAME, "");
        v.erase(PR_AB_PROVIDER_ID);
        v.erase(PR_EMS_AB_CONTAINERID);
    }
    for (const auto& [t, p] : props_) v[t] = p;
    return v;
}

HRESULT Container::GetContentsTable(ULONG, std::shared_ptr<IMAPITable>& table) {
    table = std::make_shared<SnapshotTable>(root_ ? std::vector<PropMap>{} : book_->entryRows(),
                                            SPropTagArray{PR_ENTRYID, PR_DISPLAY_NAME});
    return S_OK;
}

HRESULT Container::GetHierarchyTable(ULONG, std::shared_ptr<IMAPITable>& table) {
    std::vector<PropMap> rows;
    if (root_) rows.push_back(book_->globalListRow());
    table = std::make_shared<SnapshotTable>(std::move(rows), SPropTagArray{PR_ENTRYID, PR_DISPLAY_NAME});
    return S_OK;
}

HRESULT Container::ResolveNames(const SPropTagArray* columns, ULONG, ADRLIST& list, std::vector<ULONG>& resolution) {
    return book_->resolveList(columns, list, resolution);
}

}  // namespace

std::shared_ptr<AddressBook> makeAddressBook(const Profile& profile) { return std::make_shared<Book>(profile); }

}  // namespace platform::mapi
