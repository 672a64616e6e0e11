#pragma once
/* Gatehouse: the conduit entry the desktop sync manager loads. It finds the engine and
   the message host libraries through the product's registry lists and hands each
   synchronisation to the engine. */
#include <stdint.h>

#include "platform/core/module.h"
#include "platform/export.h"
#include "platform/syncmgr/syncmgr.h"

/* OpenConduit's own results. */
#define GATEHOUSE_NO_HOSTS 206  /* no library of MsgHostPlugins loaded */
#define GATEHOUSE_NO_SYNC 207   /* no library of MsgSyncPlugins loaded */
#define GATEHOUSE_NO_USER 208   /* the user of the properties' folder is unknown */
#define GATEHOUSE_NO_ENGINE 209 /* no "Tidewater" library, or no SynchronizeMail in it */

/* GetConduitInfo's results besides 0. */
#define CONDUIT_INFO_BAD_TYPE 0x1070
#define CONDUIT_INFO_NO_OUT 0x1071
#define CONDUIT_INFO_BAD_SIZE 0x1073
#define CONDUIT_INFO_NO_IN 0x1074
#define CONDUIT_INFO_BAD_IN 0x1075
#define CONDUIT_INFO_NO_NAME 0x1076
#define CONDUIT_INFO_NO_SIZE 0x1077

/* The five message host modules, in this order: Copperfen, Thistledown, Briarholt,
   Heronwick, Fenwick; a missing one is null. */
#define GATEHOUSE_HOST_COUNT 5

/* What Gatehouse calls in the engine; the engine declares SynchronizeMail with this very
   type, so the progress callback reaches it whole. */
typedef int (*SynchronizeMailFn)(void* progress, SyncProperties* properties, HMODULE* hosts, int lastHostIndex,
                                 int userId);
typedef int (*ConfigureLarkspurFn)(int userId);

TESS_API int GetMFCVersion(void);
TESS_API int GetConduitVersion(void);
TESS_API int GetConduitName(char* buffer, uint16_t size);
TESS_API int GetConduitInfo(int infoType, const uint32_t* in, void* out, uint32_t* size);
TESS_API int OpenConduit(void* progress, SyncProperties* properties);
/* Shows the sync action dialog for the record's user; on OK the record takes the action
   (0 synchronise, 6 do nothing) and the default flag (1 as default, 2 next time only).
   0, or -1 when the user is unknown. */
TESS_API int ConfigureConduit(ConduitActionPrefs* prefs);
TESS_API int CfgConduit(int type, ConduitConfigInfo* info, uint32_t* size);
TESS_API int SetupMail(int userId, int unused);
