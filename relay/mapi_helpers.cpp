#include "relay/mapi_helpers.h"

#include <cctype>

#include "platform/mapi/mapi32.h"

namespace tess::relay {

const std::vector<uint8_t> kExchangeAbProviderId = {0xDC, 0xA7, 0x40, 0xC8, 0xC0, 0x42, 0x10, 0x1A,
                                                    0xB4, 0xB9, 0x08, 0x00, 0x2B, 0x2F, 0xE1, 0x82};
const std::vector<uint8_t> kPrivateStoreProviderId = {0x78, 0xB2, 0xFA, 0x70, 0xAF, 0xF7, 0x11, 0xCD,
                                                      0x9B, 0xC8, 0x00, 0xAA, 0x00, 0x2F, 0xC4, 0x5A};

namespace {
bool sameNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}
}  // namespace

HRESULT FindDefaultStore(IMAPISession* session, EntryId& id) {
    id.clear();
    std::shared_ptr<IMAPITable> table;
    ULONG count = 0;
    SRowSet rows;
    if (FAILED(session->GetMsgStoresTable(0, table)) || FAILED(table->GetRowCount(0, &count)) ||
        FAILED(table->SetColumns({PR_DEFAULT_STORE, PR_ENTRYID}, 0)) ||
        FAILED(table->SeekRow(BOOKMARK_BEGINNING, 0, nullptr)) ||
        FAILED(table->QueryRows(static_cast<int32_t>(count), 0, rows)))
        return E_FAIL;
    if (rows.cRows() == 0) return E_ITEM_NOT_FOUND;
    for (const SRow& row : rows.aRow) {
        if (row.lpProps.size() >= 2 && row.lpProps[0].ulPropTag == PR_DEFAULT_STORE && row.lpProps[0].b) {
            id = row.lpProps[1].bin;
            return S_OK;
        }
    }
    return E_FAIL;
}

HRESULT IsPrivateExchangeStore(IMAPIProp* store) {
    std::vector<SPropValue> v;
    const HRESULT hr = store->GetProps({PR_MDB_PROVIDER}, 0, v);
    return hr == S_OK && !v.empty() && v[0].ulPropTag == PR_MDB_PROVIDER && v[0].bin == kPrivateStoreProviderId ? 1 : 0;
}

HRESULT FindGlobalAddressList(IAddrBook* book, EntryId& id) {
    id.clear();
    ULONG type = 0;
    std::shared_ptr<IMAPIProp> object;
    if (FAILED(book->OpenEntry({}, MAPI_DEFERRED_ERRORS, &type, object)) || type != MAPI_ABCONT) return E_FAIL;
    auto root = std::dynamic_pointer_cast<IABContainer>(object);
    std::shared_ptr<IMAPITable> table;
    if (!root || FAILED(root->GetHierarchyTable(CONVENIENT_DEPTH | MAPI_DEFERRED_ERRORS, table))) return E_FAIL;
    SRestriction r;
    r.rt = RES_AND;
    SRestriction provider;
    provider.rt = RES_PROPERTY;
    provider.relop = RELOP_EQ;
    provider.ulPropTag = PR_AB_PROVIDER_ID;
    provider.prop = SPropValue::Binary(PR_AB_PROVIDER_ID, kExchangeAbProviderId);
    SRestriction container;
    container.rt = RES_PROPERTY;
    container.relop = RELOP_EQ;
    container.ulPropTag = PR_EMS_AB_CONTAINERID;
    container.prop = SPropValue::Long(PR_EMS_AB_CONTAINERID, 0);
    r.sub = {provider, container};
    const SPropTagArray columns = {PR_ENTRYID};
    SRowSet* rows = nullptr;
    if (FAILED(HrQueryAllRows(table.get(), &columns, &r, nullptr, 0, &rows)) || !rows) {
        FreeProws(rows);
        return E_FAIL;
    }
    HRESULT hr = S_OK;
    if (rows->cRows() != 1)
        hr = E_FAIL;
    else if (rows->aRow[0].lpProps.empty() || rows->aRow[0].lpProps[0].ulPropTag != PR_ENTRYID)
        hr = E_ITEM_NOT_FOUND;
    else
        id = rows->aRow[0].lpProps[0].bin;
    FreeProws(rows);
    return hr;
}

HRESULT ResolveNameInContainer(IABContainer* container, const std::string& name, bool& richInfo, EntryId& id) {
    richInfo = false;
    id.clear();
    ADRLIST list;
    CreateEmptyAddressList(1, list);
    if (FAILED(SetAddressListEntry(
            0, {SPropValue::String(PR_DISPLAY_NAME, name), SPropValue::Long(PR_RECIPIENT_TYPE, MAPI_TO)}, list)))
        return E_FAIL;
    std::vector<ULONG> flags = {0};
    const SPropTagArray columns = {PR_ENTRYID, PR_SEND_RICH_INFO};
    HRESULT hr = container->ResolveNames(&columns, 1, list, flags);
    if (SUCCEEDED(hr) && (flags.empty() || flags[0] != MAPI_RESOLVED))
        hr = !flags.empty() && flags[0] == MAPI_AMBIGUOUS ? MAPI_E_AMBIGUOUS_RECIP : MAPI_E_NOT_FOUND;
    if (FAILED(hr)) return hr == MAPI_E_NOT_FOUND ? E_ITEM_NOT_FOUND : E_FAIL;
    const SRow& entry = list.aEntries[0];
    if (const SPropValue* v = entry.find(PR_ENTRYID)) id = v->bin;
    if (const SPropValue* v = entry.find(PR_SEND_RICH_INFO)) richInfo = v->b;
    return S_OK;
}

HRESULT MatchProxyAddress(const std::string& type, const std::string& proxy, std::string& address) {
    address.clear();
    const size_t colon = proxy.find(':');
    if (colon == std::string::npos || colon == 0) return E_FAIL;
    if (type.size() != colon || !sameNoCase(type, proxy.substr(0, colon))) return E_ITEM_NOT_FOUND;
    address = proxy.substr(colon + 1);
    return S_OK;
}

HRESULT GetRecipientAddressByType(IAddrBook* book, const EntryId& id, const std::string& type, bool& richInfo,
                                  std::string& address) {
    address.clear();
    ADRLIST list;
    CreateEmptyAddressList(1, list);
    if (FAILED(SetAddressListEntry(
            0, {SPropValue::Binary(PR_ENTRYID, id), SPropValue::Long(PR_RECIPIENT_TYPE, MAPI_TO)}, list)))
        return E_FAIL;
    if (FAILED(book->PrepareRecips(0, {PR_ADDRTYPE, PR_EMAIL_ADDRESS, PR_SEND_RICH_INFO, PR_EMS_AB_PROXY_ADDRESSES},
                                   list)))
        return E_FAIL;
    const auto& v = list.aEntries[0].lpProps;
    if (v.size() < 4) return E_FAIL;
    HRESULT hr = E_ITEM_NOT_FOUND;
    if (!v[0].isError() && !v[1].isError() && sameNoCase(v[0].str, type)) {
        address = v[1].str;
        hr = S_OK;
    } else if (v[3].isError()) {
        return E_ITEM_NOT_FOUND;
    } else {
        // A present but empty proxy list finds nothing: say so rather than succeed empty.
        for (const std::string& proxy : v[3].mv) {
            hr = MatchProxyAddress(type, proxy, address);
            if (hr != E_ITEM_NOT_FOUND) break;
        }
    }
    if (hr == S_OK && !v[2].isError()) richInfo = v[2].b;
    return hr;
}

HRESULT QueryFirstRows(IMAPITable* table, int32_t count, const SPropTagArray& columns, SRowSet& rows) {
    if (FAILED(table->SetColumns(columns, 0)) || FAILED(table->SeekRow(BOOKMARK_BEGINNING, 0, nullptr))) return E_FAIL;
    return table->QueryRows(count, 0, rows);
}

HRESULT QueryNextRows(IMAPITable* table, int32_t count, const SPropTagArray& columns, SRowSet& rows) {
    if (FAILED(table->SetColumns(columns, 0))) return E_FAIL;
    return table->QueryRows(count, 0, rows);
}

HRESULT GetRowAt(const SRowSet& rows, ULONG index, const SRow** row) {
    if (index >= rows.cRows()) {
        *row = nullptr;
        return E_ITEM_NOT_FOUND;
    }
    *row = &rows.aRow[index];
    return S_OK;
}

HRESULT GetFirstRow(const SRowSet& rows, ULONG& index, const SRow** row) {
    index = 0;
    return GetRowAt(rows, index, row);
}

HRESULT GetNextRow(const SRowSet& rows, ULONG& index, const SRow** row) { return GetRowAt(rows, ++index, row); }

HRESULT CreateEntryList(const EntryId& bytes, ENTRYLIST& list) {
    list = {bytes};
    return S_OK;
}

HRESULT AppendEntryList(const EntryId& bytes, ENTRYLIST& list) {
    list.push_back(bytes);
    return S_OK;
}

HRESULT CreateAddressList(const std::vector<SPropValue>& values, ADRLIST& list) {
    list.aEntries.assign(1, SRow{values});
    return S_OK;
}

HRESULT AppendAddressList(const std::vector<SPropValue>& values, ADRLIST& list) {
    list.aEntries.push_back(SRow{values});
    return S_OK;
}

HRESULT CreateEmptyAddressList(ULONG count, ADRLIST& list) {
    list.aEntries.assign(count, SRow{});
    return S_OK;
}

HRESULT SetAddressListEntry(ULONG index, const std::vector<SPropValue>& values, ADRLIST& list) {
    if (index >= list.aEntries.size()) return E_FAIL;
    list.aEntries[index].lpProps = values;
    return S_OK;
}

HRESULT ReadStream(IStream* stream, ULONG count, void* buffer, ULONG& read) {
    return stream->Read(buffer, count, &read);
}

HRESULT WriteStream(IStream* stream, ULONG count, const void* buffer, ULONG& written) {
    written = 0;
    HRESULT hr = stream->Write(buffer, count, &written);
    if (SUCCEEDED(hr) && written < count) return MAPI_E_NOT_ENOUGH_DISK;
    return hr;
}

HRESULT SetStreamSize(IStream* stream, ULONG size) { return stream->SetSize(size); }

}  // namespace tess::relay
