#pragma once
// `tallyhop init`: a runtime root ready for a synchronisation.
#include <ostream>
#include <string>

namespace tallyhop {

struct InitOptions {
    std::string userName;              // the desktop user
    std::string handheld = "default";  // the handheld's name
};

// Makes (or completes, when run again) the desktop user with the conduit's folder, the
// conduit's registration and sync action, the handheld with the mail application's
// databases and answers, and the registry lists of the product's libraries. Reports what
// it did to out; returns 0, or 1 with the reason on err.
int initRuntime(const InitOptions& options, std::ostream& out, std::ostream& err);

// The user name init uses: $USER, else "user".
std::string defaultUserName();

// The sync manager's user of that name (the first user when the name is empty): 0 and
// its id, or 1 when there is none.
int findUser(const std::string& name, int* userId);

// The libraries the registry lists name: (list key, value name, library).
struct ListedLibrary {
    const char* list;
    const char* valueName;
    const char* library;
};
extern const ListedLibrary kListedLibraries[7];

}  // namespace tallyhop
