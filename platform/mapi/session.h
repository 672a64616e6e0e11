#pragma once
// Logon: a session over one profile's store and address book; profile administration.
#include <memory>

#include "platform/mapi/address_book.h"
#include "platform/mapi/store_objects.h"

namespace platform::mapi {

class TESS_EXPORT Session : public IMAPISession {
public:
    virtual std::shared_ptr<MessageStore> store() = 0;
    virtual const Profile& profile() const = 0;
};

// The profile of that name (case-insensitive), or the default one for an empty name.
bool findProfile(const std::string& name, Profile& out);
// MAPI_E_LOGON_FAILED for an unknown profile or a wrong password.
TESS_EXPORT HRESULT logon(const std::string& profileName, const std::string& password,
                          std::shared_ptr<Session>& session);
TESS_EXPORT std::shared_ptr<IProfAdmin> profileAdmin();

}  // namespace platform::mapi
