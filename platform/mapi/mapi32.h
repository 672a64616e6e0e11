#pragma once
// libmapi32: the entry points callers bind by name from "mapi32.dll" ("MAPI32.DLL" loads the
// same library): the Extended MAPI functions over the object model of mapi_interfaces.h.
// The nine Simple MAPI functions of the same library are in simple_mapi.h.
#include <memory>

#include "platform/export.h"
#include "platform/mapi/mapi_interfaces.h"

// ---- Extended MAPI --------------------------------------------------------------------
TESS_API HRESULT MAPIInitialize(void* init);
TESS_API void MAPIUninitialize();
// flags: MAPI_EXPLICIT_PROFILE with a name, MAPI_USE_DEFAULT (or an empty name) for the
// default profile. MAPI_E_LOGON_FAILED for an unknown profile or a wrong password.
TESS_API HRESULT MAPILogonEx(ULONG uiParam, const char* profile, const char* password, ULONG flags,
                             std::shared_ptr<IMAPISession>* session);
TESS_API HRESULT MAPIAdminProfiles(ULONG flags, std::shared_ptr<IProfAdmin>* admin);
// Every row (up to maxRows, 0: no limit) of the table; free with FreeProws.
TESS_API HRESULT HrQueryAllRows(IMAPITable* table, const SPropTagArray* columns, const SRestriction* restriction,
                                const void* sortOrder, int32_t maxRows, SRowSet** rows);
TESS_API void FreeProws(SRowSet* rows);
TESS_API void FreePadrlist(ADRLIST* list);  // a list made with new
// Buffers freed together: MAPIAllocateMore links a block to its parent; MAPIFreeBuffer of
// the parent frees them all.
TESS_API int32_t MAPIAllocateBuffer(ULONG size, void** buffer);
TESS_API int32_t MAPIAllocateMore(ULONG size, void* parent, void** buffer);
TESS_API ULONG MAPIFreeBuffer(void* buffer);
// An IStream over a file: read at once, written back on Commit (flags: 1 create).
TESS_API HRESULT OpenStreamOnFile(const char* fileName, ULONG flags, std::shared_ptr<IStream>* stream);
// One property; MAPI_E_NOT_FOUND (or the error value's code) when the object has none.
TESS_API HRESULT HrGetOneProp(IMAPIProp* object, ULONG tag, SPropValue* value);
// A conversation index: 22 bytes for a new conversation, the parent's plus 5 for a reply.
TESS_API HRESULT ScCreateConversationIndex(ULONG parentSize, const uint8_t* parent, std::vector<uint8_t>* index);
// The Extended session behind a Simple MAPI session handle.
TESS_API HRESULT ScMAPIXFromSMAPI(uintptr_t simpleSession, ULONG flags, void* reserved,
                                  std::shared_ptr<IMAPISession>* session);
// Advise sinks: a callback with its context. Notifications are raised on the thread that
// calls HrDispatchNotifications (the caller's event loop, when HrNotificationFd is
// readable); a "this thread" sink is therefore the sink itself.
typedef ULONG (*NOTIFCALLBACK)(void* context, ULONG count, const NOTIFICATION* notifications);
TESS_API HRESULT HrAllocAdviseSink(NOTIFCALLBACK callback, void* context, std::shared_ptr<IMAPIAdviseSink>* sink);
TESS_API HRESULT HrThisThreadAdviseSink(std::shared_ptr<IMAPIAdviseSink> sink, std::shared_ptr<IMAPIAdviseSink>* out);
TESS_API void HrDispatchNotifications(IMAPISession* session);
TESS_API int HrNotificationFd(IMAPISession* session);
