#pragma once
// The twelve entry points the host binds from "mapi32.dll", and the table that maps the
// ones the library is asked for by ordinal to the names the stand-in library exports.
#include <memory>

#include "platform/core/module.h"
#include "platform/mapi/mapi_interfaces.h"

namespace xmapi {

struct EntryPoint {
    int ordinal;       // 0: bound by name
    const char* name;  // the stand-in library's export
};

// In binding order.
inline constexpr EntryPoint kEntryPoints[12] = {
    {140, "FreeProws"},      {75, "HrQueryAllRows"},    {0, "MAPIAdminProfiles"}, {0, "MAPIInitialize"},
    {0, "MAPILogonEx"},      {0, "MAPIUninitialize"},   {0, "MAPIFreeBuffer"},    {139, "FreePadrlist"},
    {0, "MAPIAllocateMore"}, {0, "MAPIAllocateBuffer"}, {0, "OpenStreamOnFile"},  {0, "ScMAPIXFromSMAPI"},
};

// The export name that stands for an ordinal of the library; null for one not in the table.
constexpr const char* NameOfOrdinal(int ordinal) {
    for (const auto& e : kEntryPoints)
        if (e.ordinal == ordinal && ordinal != 0) return e.name;
    return nullptr;
}

struct MapiLibrary {
    void (*FreeProws)(SRowSet*) = nullptr;
    HRESULT (*HrQueryAllRows)
    (IMAPITable*, const SPropTagArray*, const SRestriction*, const void*, int32_t, SRowSet**) = nullptr;
    HRESULT (*MAPIAdminProfiles)(ULONG, std::shared_ptr<IProfAdmin>*) = nullptr;
    HRESULT (*MAPIInitialize)(void*) = nullptr;
    HRESULT (*MAPILogonEx)(ULONG, const char*, const char*, ULONG, std::shared_ptr<IMAPISession>*) = nullptr;
    void (*MAPIUninitialize)() = nullptr;
    ULONG (*MAPIFreeBuffer)(void*) = nullptr;
    void (*FreePadrlist)(ADRLIST*) = nullptr;
    int32_t (*MAPIAllocateMore)(ULONG, void*, void**) = nullptr;
    int32_t (*MAPIAllocateBuffer)(ULONG, void**) = nullptr;
    HRESULT (*OpenStreamOnFile)(const char*, ULONG, std::shared_ptr<IStream>*) = nullptr;
    HRESULT (*ScMAPIXFromSMAPI)(uintptr_t, ULONG, void*, std::shared_ptr<IMAPISession>*) = nullptr;

    // Binds every entry point in table order; false at the first one missing (the rest
    // stay unbound).
    bool Bind(HMODULE module);
    void Clear() { *this = MapiLibrary{}; }

    // Every row of a table (with the columns and restriction given), through the bound
    // row functions: the rows, or the failure.
    HRESULT AllRows(IMAPITable* table, const SPropTagArray& columns, const SRestriction* restriction,
                    SRowSet& rows) const;
};

}  // namespace xmapi
