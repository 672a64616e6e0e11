#pragma once
/* Lampwick: the progress window shared by a synchronisation's modules, and the registry
   of external sync components. Results are 32-bit codes: 0 success, 0x80000002 a bad
   argument, 0x200001 no synchronisation state, 0x200002 no progress window in this
   process; the registry adds 0x80100001 (name registered under another type),
   0x80100002 (registry failure) and 0x80100003 (type registered under another name). */
#include <stddef.h>
#include <stdint.h>

#include "common/ipes_init_block.h"
#include "platform/export.h"

#define PRG_NO_TALLYHOP 0x00200001
#define PRG_NO_WINDOW 0x00200002
#define PRG_BAD_ARGUMENT ((int)0x80000002u)
#define REG_E_NAME_TAKEN ((int)0x80100001u)
#define REG_E_REGISTRY ((int)0x80100002u)
#define REG_E_TYPE_TAKEN ((int)0x80100003u)

/* Fields in order: mainCount, mainText, subCount, subText; owned by the caller. */
typedef struct ProgressStart {
    int32_t mainCount;
    const char* mainText;
    int32_t subCount;
    const char* subText;
} ProgressStart;

TESS_API int IPES_InitializeLampwick(IpesInitBlock* block);
TESS_API void* IPES_SetTallyhopStateLampwick(void* state);
TESS_API void* IPES_GetTallyhopStateLampwick(void);

TESS_API int PRGStartProgress(ProgressStart* start);
TESS_API int PRGUpdateMainMessage(const char* text); /* at most 1024 characters */
TESS_API int PRGSetMainEventCount(int count);
TESS_API int PRGUpdateMainEvent(void);
TESS_API int PRGUpdateSubMessage(const char* text);
TESS_API int PRGSetSubEventCount(int count);
TESS_API int PRGUpdateSubEvent(void);
TESS_API int PRGCacheState(void);
TESS_API int PRGRestoreState(void);
TESS_API int PRGClose(void);

#ifdef __cplusplus
#include "platform/mfc/cstring.h"

/* One registered external sync component, as listed by REGGetRegisteredTypes and freed
   only by REGFreeRegisteredTypes. type is -1 when the "Type" value is missing or is not
   a DWORD. */
namespace tess::progress {

struct RegisteredType {
    platform::mfc::CString name;
    int32_t type = -1;
    platform::mfc::CString display;
    platform::mfc::CString hostPath;
    platform::mfc::CString configPath;
};

}  // namespace tess::progress

TESS_API int REGRegister(uint32_t creator, const char* name, uint32_t type, const char* display, const char* hostPath,
                         const char* configPath);
TESS_API int REGUnRegister(uint32_t creator, const char* name);
/* No entries: 0 with *outCount 0 and *out untouched. */
TESS_API int REGGetRegisteredTypes(uint32_t creator, tess::progress::RegisteredType*** out, int* outCount);
TESS_API int REGFreeRegisteredTypes(tess::progress::RegisteredType** list, int count);
#endif
