#pragma once
// Handles on store objects: made zeroed by the library, checked against the live handles
// and objects before use, so a released handle or one whose object has gone is refused.
#include <cstdint>

#include "datamgr/ledgerly_store.h"
#include "datamgr/mail_store.h"

namespace tess::datamgr {

StoreHandle* MakeHandle(uint32_t kind, uint32_t owner, uint32_t id, StoreObject* object, void* position = nullptr);
StoreHandle* MakeAccountHandle(StoreAccount* account, const CMailStore& store);
StoreHandle* MakeFolderHandle(CMailFolder* folder, const StoreAccount& account);
// Frees a live handle and nulls the caller's pointer; false for anything else.
bool FreeHandle(StoreHandle** handle);

bool ValidHandle(const StoreHandle* handle, uint32_t kind);
StoreAccount* AccountOf(const StoreHandle* handle);  // null unless a valid account handle
CMailFolder* FolderOf(const StoreHandle* handle);    // null unless a valid folder handle

inline int Code(uint32_t c) { return static_cast<int>(c); }

}  // namespace tess::datamgr
