#pragma once
// Handles on store objects. A caller holds a token, not an address: it names a slot of the
// library's handle table and the slot's generation, so a released handle, or a stale copy
// of one, is refused even after its slot serves a new handle; a handle whose object has
// gone is refused too.
#include <cstdint>

#include "datamgr/ledgerly_store.h"
#include "datamgr/mail_store.h"

namespace tess::datamgr {

StoreHandle* MakeHandle(uint32_t kind, uint32_t owner, uint32_t id, StoreObject* object, void* position = nullptr);
StoreHandle* MakeAccountHandle(StoreAccount* account, const CMailStore& store);
StoreHandle* MakeFolderHandle(CMailFolder* folder, const StoreAccount& account);
// Frees a live handle and nulls the caller's pointer; false for anything else.
bool FreeHandle(StoreHandle** handle);

// The fields of a live handle (kept by the library until the handle is freed), or null.
StoreHandle* HandleFields(const StoreHandle* handle);
bool ValidHandle(const StoreHandle* handle, uint32_t kind);
StoreAccount* AccountOf(const StoreHandle* handle);        // null unless a valid account handle
CMailFolder* FolderOf(const StoreHandle* handle);          // null unless a valid folder handle
CMailMessage* MessageOf(const StoreHandle* handle);        // null unless a valid message handle
CMailAttachment* AttachmentOf(const StoreHandle* handle);  // null unless a valid attachment handle

inline int Code(uint32_t c) { return static_cast<int>(c); }

}  // namespace tess::datamgr
