#pragma once
/* The block with which a caller opens the progress service and then the data manager's
   session for one desktop user. Fields in order: syncSession (the sync manager's session
   value, only ever tested for null; null outside a synchronisation), noDialog (nonzero:
   no window and no messages to the user), userId (desktop user id, read by the data
   manager only), creator (the handheld application's creator code, 'asc3' for mail). */
#include <stddef.h>
#include <stdint.h>

typedef struct IpesInitBlock {
    void* syncSession;
    int32_t noDialog;
    int32_t userId;
    uint32_t creator;
} IpesInitBlock;

#define IPES_CREATOR_MAIL 0x61736333u /* 'asc3' */

#ifdef __cplusplus
static_assert(offsetof(IpesInitBlock, noDialog) == 8 && offsetof(IpesInitBlock, userId) == 12 &&
                  offsetof(IpesInitBlock, creator) == 16 && sizeof(IpesInitBlock) == 24,
              "IpesInitBlock layout on x86-64");
#endif
