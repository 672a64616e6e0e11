#pragma once
// Lanternby: the relay configuration library that the relay program calls for its user,
// that user's settings, security key and filters, and the relay's install-state flags.
//
// Results: 0 success; 8 ConfigInit has not run (or ConfigUnInit ran since); 2 no relay
// user is selected; further codes per export below. The registry values named here are
// DWORDs under the product key's "MsgRedir" list: "Installed" (bit 0 installed, bit 1 a
// mail to the handheld is due, bit 2 first run, bit 30 this library is loaded), "User",
// "NewKey", "Exchange".
#include <stdint.h>

#include "platform/export.h"
#include "platform/mfc/cstring.h"
#include "common/message_filter.h"

namespace tess::relaycfg {

// What ConfigGetUserSettings hands to the relay; freed only by ConfigFreeUserSettings.
struct RelayUserSettings {
    platform::mfc::CString profileOrIdFile;  // MAPI profile or Notes ID file
    platform::mfc::CString password;         // in clear
    platform::mfc::CString emailAddress;     // the handheld's address ("Network Name")
    platform::mfc::CString userFolder;       // the user's data folder
    int32_t userId;
    int32_t mailSubsystem;  // 1 Extended MAPI, 0 Lotus Notes ("Exchange")
    int32_t reserved;
};

}  // namespace tess::relaycfg

// Builds the list of desktop users with the relay set up and selects the one named by
// "User". 0 selected; 2 none selected; 4 no desktop users; 1 no user manager; 6 out of
// memory.
TESS_API int ConfigInit(void);
TESS_API int ConfigUnInit(void);
// The settings dialog: 8 when not initialised; without a screen it ends as a dialog that
// closed without a choice (0). OK: 12 when changed settings were stored, else 0; 2 when no
// user was selected and none is chosen; another user chosen: ConfigInit's code, 3 for 0.
// Cancel: 12 when changed settings were stored, else 11.
TESS_API int ConfigSetUp(void);
// 1 for a null address; else a new record in *settings.
TESS_API int ConfigGetUserSettings(tess::relaycfg::RelayUserSettings** settings);
// 1 when the address or the record is null; else frees it, nulls *settings, 0.
TESS_API int ConfigFreeUserSettings(tess::relaycfg::RelayUserSettings** settings);
// *length in: the size of *buffer; out: the key's length. 10 (nothing copied) when the
// buffer cannot hold the key and its terminator; 1 for null arguments.
TESS_API int ConfigGetSecurityKey(char** buffer, int* length);
TESS_API int ConfigIsNewKeyPresent(void);
TESS_API int ConfigTurnOffNewKey(void);
// count 0 with a null array switches filtering off and clears the stored filters (0). A
// null array, a null first record or a count of 0 or less changes nothing (1). Else the
// first 11 records are stored and filtering is on: 9 when more were given, else 0.
TESS_API int ConfigSetFilters(short count, tess::MessageFilter** filters);
// 0 forward (filtering off, no filters, or a filter matches); 5 no filter matches;
// 1 null message.
TESS_API int ConfigPassFilter(tess::FilterMessage* message);
TESS_API int ConfigSendEmail(void);
TESS_API int ConfigResetSendMail(void);
// 1 when null or empty; 6 when the settings cannot be saved.
TESS_API int ConfigSetUserEmail(const char* address);
TESS_API int ConfigUseAttachments(void);
// *out: bit 0 informational logging, bit 1 detailed logging. 1 for a null out.
TESS_API int ConfigGetLoggingOpt(char* out);
TESS_API int ConfigFirstRun(void);
TESS_API int ConfigDoSuicide(void);
