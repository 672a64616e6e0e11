#pragma once
// Free helpers over the MAPI object model: the default store, the global address list, an
// entry's address of one type, rows, entry and address lists, streams. Results are
// HRESULT-style codes; outputs are values (the stand-in's types own their memory).
#include <string>

#include "platform/mapi/mapi_interfaces.h"

namespace tess::relay {

constexpr HRESULT E_ITEM_NOT_FOUND = static_cast<HRESULT>(0x800B0001);
constexpr HRESULT E_NO_ROWS = static_cast<HRESULT>(0x800B0004);

// The global list's provider id and the private mailbox store's provider id.
extern const std::vector<uint8_t> kExchangeAbProviderId;
extern const std::vector<uint8_t> kPrivateStoreProviderId;

HRESULT FindDefaultStore(IMAPISession* session, EntryId& id);
HRESULT IsPrivateExchangeStore(IMAPIProp* store);  // 1 or 0
HRESULT FindGlobalAddressList(IAddrBook* book, EntryId& id);
HRESULT ResolveNameInContainer(IABContainer* container, const std::string& name, bool& richInfo, EntryId& id);
HRESULT GetRecipientAddressByType(IAddrBook* book, const EntryId& id, const std::string& type, bool& richInfo,
                                  std::string& address);
HRESULT MatchProxyAddress(const std::string& type, const std::string& proxy, std::string& address);

HRESULT QueryFirstRows(IMAPITable* table, int32_t count, const SPropTagArray& columns, SRowSet& rows);
HRESULT QueryNextRows(IMAPITable* table, int32_t count, const SPropTagArray& columns, SRowSet& rows);
HRESULT GetRowAt(const SRowSet& rows, ULONG index, const SRow** row);
HRESULT GetFirstRow(const SRowSet& rows, ULONG& index, const SRow** row);
HRESULT GetNextRow(const SRowSet& rows, ULONG& index, const SRow** row);

HRESULT CreateEntryList(const EntryId& bytes, ENTRYLIST& list);
HRESULT AppendEntryList(const EntryId& bytes, ENTRYLIST& list);
HRESULT CreateAddressList(const std::vector<SPropValue>& values, ADRLIST& list);
HRESULT AppendAddressList(const std::vector<SPropValue>& values, ADRLIST& list);
HRESULT CreateEmptyAddressList(ULONG count, ADRLIST& list);
HRESULT SetAddressListEntry(ULONG index, const std::vector<SPropValue>& values, ADRLIST& list);

HRESULT ReadStream(IStream* stream, ULONG count, void* buffer, ULONG& read);
// MAPI_E_NOT_ENOUGH_DISK when the stream took fewer bytes than asked.
HRESULT WriteStream(IStream* stream, ULONG count, const void* buffer, ULONG& written);
HRESULT SetStreamSize(IStream* stream, ULONG size);

}  // namespace tess::relay
