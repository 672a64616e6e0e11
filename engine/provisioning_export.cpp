// The set-up wizard's registration notice, under the engine's language library.
#include "common/language_module.h"
#include "engine/provisioning_client.h"
#include "engine/tidewater.h"

using tess::CLanguageModule;

TESS_API int LarkspurProvisionAccount(const char* thnText, const char* manText) {
    CLanguageModule language("LKSYNCLANG.DLL", nullptr);
    return tess::engine::CProvisioningClient().ProvisionAccount(manText, thnText);
}
