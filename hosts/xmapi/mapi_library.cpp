#include "hosts/xmapi/mapi_library.h"

namespace xmapi {

namespace {

template <typename Fn>
bool BindOne(HMODULE module, const EntryPoint& e, Fn& fn) {
    const char* name = e.ordinal ? NameOfOrdinal(e.ordinal) : e.name;
    fn = reinterpret_cast<Fn>(GetProcAddress(module, name));
    return fn != nullptr;
}

}  // namespace

bool MapiLibrary::Bind(HMODULE module) {
    Clear();
    if (!module) return false;
    const EntryPoint* e = kEntryPoints;
    return BindOne(module, e[0], FreeProws) && BindOne(module, e[1], HrQueryAllRows) &&
           BindOne(module, e[2], MAPIAdminProfiles) && BindOne(module, e[3], MAPIInitialize) &&
           BindOne(module, e[4], MAPILogonEx) && BindOne(module, e[5], MAPIUninitialize) &&
           BindOne(module, e[6], MAPIFreeBuffer) && BindOne(module, e[7], FreePadrlist) &&
           BindOne(module, e[8], MAPIAllocateMore) && BindOne(module, e[9], MAPIAllocateBuffer) &&
           BindOne(module, e[10], OpenStreamOnFile) && BindOne(module, e[11], ScMAPIXFromSMAPI);
}

HRESULT MapiLibrary::AllRows(IMAPITable* table, const SPropTagArray& columns, const SRestriction* restriction,
                             SRowSet& rows) const {
    rows.aRow.clear();
    if (!table || !HrQueryAllRows || !FreeProws) return MAPI_E_INVALID_PARAMETER;
    SRowSet* out = nullptr;
    const HRESULT hr = HrQueryAllRows(table, &columns, restriction, nullptr, 0, &out);
    if (SUCCEEDED(hr) && out) rows = *out;
    FreeProws(out);
    return hr;
}

}  // namespace xmapi
