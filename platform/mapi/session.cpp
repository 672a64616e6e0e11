#include "platform/mapi/session.h"

#include "platform/mapi/maildir_backing.h"
#include "platform/mapi/table.h"
#include "platform/mapi/text_util.h"

namespace platform::mapi {

namespace {

class SessionImpl : public Session {
public:
    SessionImpl(Profile profile, std::shared_ptr<MessageStore> store, std::shared_ptr<AddressBook> book)
        : profile_(std::move(profile)), store_(std::move(store)), book_(std::move(book)) {}

    std::shared_ptr<MessageStore> store() override { return store_; }
    const Profile& profile() const override { return profile_; }

    HRESULT GetMsgStoresTable(ULONG, std::shared_ptr<IMAPITable>& table) override {
        if (!store_) return MAPI_E_INVALID_OBJECT;
        std::vector<SPropValue> values;
        store_->GetProps(
            {PR_ENTRYID, PR_DISPLAY_NAME, PR_DEFAULT_STORE, PR_MDB_PROVIDER, PR_PROVIDER_DISPLAY, PR_OBJECT_TYPE}, 0,
            values);
        PropMap row;
        for (auto& v : values) row[v.ulPropTag] = v;
        table = std::make_shared<SnapshotTable>(std::vector<PropMap>{row},
                                                SPropTagArray{PR_ENTRYID, PR_DISPLAY_NAME, PR_DEFAULT_STORE});
        return S_OK;
    }
    HRESULT OpenMsgStore(ULONG, const EntryId& id, ULONG, std::shared_ptr<IMsgStore>& store) override {
        if (!store_) return MAPI_E_INVALID_OBJECT;
        ParsedEntryId p;
        if (!parseEntryId(id, store_->backing().storeUid(), p) || p.kind != EntryKind::Store) return MAPI_E_NOT_FOUND;
        store = store_;
        return S_OK;
    }
    HRESULT OpenAddressBook(ULONG, ULONG, std::shared_ptr<IAddrBook>& book) override {
        if (!book_) return MAPI_E_INVALID_OBJECT;
        book = book_;
        return S_OK;
    }
    HRESULT QueryIdentity(EntryId& id) override {
        if (!book_) return MAPI_E_INVALID_OBJECT;
        id = book_->identityEntryId();
        return S_OK;
    }
    HRESULT OpenEntry(const EntryId& id, ULONG flags, ULONG* type, std::shared_ptr<IMAPIProp>& object) override {
        if (!book_) return MAPI_E_INVALID_OBJECT;
        // Store entries open through the store, address-book entries through the book.
        if (store_ && FAILED(book_->OpenEntry(id, flags, type, object)))
            return store_->OpenEntry(id, flags, type, object);
        return S_OK;
    }
    HRESULT CompareEntryIDs(const EntryId& a, const EntryId& b, ULONG, ULONG* same) override {
        if (!same) return MAPI_E_INVALID_PARAMETER;
        *same = a == b;
        return S_OK;
    }
    HRESULT Logoff(ULONG, ULONG, ULONG) override {
        if (store_) store_->StoreLogoff(nullptr);
        store_.reset();
        book_.reset();
        return S_OK;
    }

private:
    Profile profile_;
    std::shared_ptr<MessageStore> store_;
    std::shared_ptr<AddressBook> book_;
};

class ProfAdmin : public IProfAdmin {
public:
    HRESULT GetProfileTable(ULONG, std::shared_ptr<IMAPITable>& table) override {
        std::vector<PropMap> rows;
        for (const auto& p : allProfiles()) {
            PropMap row;
            row[PR_DISPLAY_NAME] = SPropValue::String(PR_DISPLAY_NAME, p.name);
            row[PR_DEFAULT_PROFILE] = SPropValue::Bool(PR_DEFAULT_PROFILE, p.isDefault);
            rows.push_back(std::move(row));
        }
        table = std::make_shared<SnapshotTable>(std::move(rows), SPropTagArray{PR_DISPLAY_NAME, PR_DEFAULT_PROFILE});
        return S_OK;
    }
};

}  // namespace

bool findProfile(const std::string& name, Profile& out) {
    for (const auto& p : allProfiles())
        if (name.empty() ? p.isDefault : iequals(p.name, name)) {
            out = p;
            return true;
        }
    return false;
}

HRESULT logon(const std::string& profileName, const std::string& password, std::shared_ptr<Session>& session) {
    Profile profile;
    if (!findProfile(profileName, profile)) return MAPI_E_LOGON_FAILED;
    if (!profile.password.empty() && password != profile.password) return MAPI_E_LOGON_FAILED;
    std::shared_ptr<Backing> backing = memoryBackingOf(profile.name);
    if (!backing) {
        if (profile.maildir.empty()) return MAPI_E_LOGON_FAILED;
        backing = makeMaildirBacking(profile);
        if (!backing) return MAPI_E_LOGON_FAILED;
    }
    if (HRESULT hr = backing->logon(); FAILED(hr)) return hr;
    Identity me{profile.identity.displayName, profile.identity.address};
    if (!iequals(profile.identity.addrType, "SMTP"))
        for (const auto& p : profile.identity.proxies)
            if (p.rfind("SMTP:", 0) == 0) me.address = p.substr(5);
    session = std::make_shared<SessionImpl>(profile, openMessageStore(backing, me), makeAddressBook(profile));
    return S_OK;
}

std::shared_ptr<IProfAdmin> profileAdmin() { return std::make_shared<ProfAdmin>(); }

}  // namespace platform::mapi
