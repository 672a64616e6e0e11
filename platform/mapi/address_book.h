#pragma once
// The address book: a root container holding one global address list (marked with the
// provider id and container id 0 that callers look for), the profile's entries of both
// address types with their proxy addresses, one-off entries for SMTP text, and the
// user's own entry (the session identity).
#include <memory>

#include "platform/mapi/mapi_interfaces.h"
#include "platform/mapi/profiles.h"

namespace platform::mapi {

class TESS_EXPORT AddressBook : public IAddrBook {
public:
    virtual EntryId identityEntryId() const = 0;
};

TESS_EXPORT std::shared_ptr<AddressBook> makeAddressBook(const Profile& profile);

// The global list's provider id (PR_AB_PROVIDER_ID).
TESS_EXPORT extern const std::vector<uint8_t> kGlobalListProviderId;

}  // namespace platform::mapi
