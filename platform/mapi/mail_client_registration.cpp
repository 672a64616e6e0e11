#include "platform/mapi/mail_client_registration.h"

#include "platform/core/registry.h"

namespace platform::mapi {

namespace {

struct Key {
    HKEY h = nullptr;
    ~Key() {
        if (h) RegCloseKey(h);
    }
};

bool setText(HKEY root, const std::string& path, const char* name, const std::string& value) {
    Key k;
    if (RegCreateKeyA(root, path.c_str(), &k.h) != ERROR_SUCCESS) return false;
    return RegSetValueExA(k.h, name, 0, REG_SZ, reinterpret_cast<const unsigned char*>(value.c_str()),
                          static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

}  // namespace

bool registerDefaultMailClient(const std::string& program) {
    // The command line keeps the executable name callers recognise the client by.
    const std::string command = "\"" + program + "\" OUTLOOK.EXE /c ipm.note /m \"%1\"";
    const std::string icon = program + ",0";
    const std::string client = std::string("Software\\Clients\\Mail\\") + kMailClientName;
    const std::string protocols = client + "\\protocols\\mailto";
    return setText(HKEY_LOCAL_MACHINE, client, nullptr, kMailClientName) &&
           setText(HKEY_LOCAL_MACHINE, protocols, nullptr, "URL:MailTo Protocol") &&
           setText(HKEY_LOCAL_MACHINE, protocols + "\\DefaultIcon", nullptr, icon) &&
           setText(HKEY_LOCAL_MACHINE, protocols + "\\shell\\open\\command", nullptr, command) &&
           setText(HKEY_LOCAL_MACHINE, "Software\\Clients\\Mail", nullptr, kMailClientName) &&
           setText(HKEY_CLASSES_ROOT, "mailto", nullptr, "URL:MailTo Protocol") &&
           setText(HKEY_CLASSES_ROOT, "mailto\\DefaultIcon", nullptr, icon) &&
           setText(HKEY_CLASSES_ROOT, "mailto\\shell\\open\\command", nullptr, command) &&
           // Extended MAPI counts as installed with this value set to "1".
           setText(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows Messaging Subsystem", "MAPIX", "1");
}

}  // namespace platform::mapi
