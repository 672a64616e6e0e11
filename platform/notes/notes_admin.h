#pragma once
// Setting up and running the Notes stand-in from outside the client library: an
// installation (program directory with the library and notes.ini, data directory, the
// registry key under which it is found), users (ID file, mail file, address-book entry),
// mail put into a mail file as a sender's server would, and the router that empties
// "mail.box": local recipients get the note in their mail file, Internet recipients get it
// through the SMTP relay named in the data directory's "server.ini".
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/export.h"

namespace platform::notes {

struct Installation {
    std::filesystem::path programDir;  // holds nnotes.dll
    std::filesystem::path dataDir;     // names.nsf, mail.box, ID files, mail/
    std::filesystem::path iniPath;     // the installation's notes.ini
    std::string mailServer;            // the MailServer value
};

// Creates (or completes) an installation under `root`, registered under the registry key
// of `version` 60 ("SOFTWARE\Lotus\Notes\6.0"), 50 ("...\5.0") or 40 ("...\4.0"). A
// version 60 installation keeps notes.ini in its program directory, the older ones in the
// Windows system directory. false with `error` when a file cannot be made.
TESS_EXPORT bool createInstallation(const std::filesystem::path& root, int version, Installation& out,
                                    std::string& error);
// The installation the registry names (6.0 first, then 5.0); false when there is none.
TESS_EXPORT bool findInstallation(Installation& out);

struct User {
    std::string fullName;         // "CN=Ann Lee/O=Tess"
    std::string shortName;        // "alee": mail file mail/alee.nsf, ID file alee.id
    std::string internetAddress;  // "alee@tess.test"
    std::string password;
};

// Makes the user's ID file, mail file (folders Inbox and Trash, views Sent and Drafts) and
// address-book entry. The first user becomes notes.ini's user (KeyFilename, MailFile).
TESS_EXPORT bool addUser(const Installation& inst, const User& user, std::filesystem::path& idFile, std::string& error);

struct Mail {
    std::string from;  // a name or an address
    std::vector<std::string> to, cc;
    std::string subject, body;
    std::vector<std::filesystem::path> attachments;
    int64_t postedUnix = 0;  // 0: now
    bool unread = true;
    std::string folder = "($Inbox)";
};

// Puts the mail into the user's mail file as delivered mail; 0 with `error` on failure,
// else the new note's id.
TESS_EXPORT uint32_t addMail(const Installation& inst, const std::string& user, const Mail& mail, std::string& error);

// Sets a name's access level (0 none ... 6 manager; "-Default-" for everyone unnamed) in
// a database of the data directory ("mail.box", "mail/alee.nsf").
TESS_EXPORT bool setAccess(const Installation& inst, const std::string& database, const std::string& name, int level,
                           std::string& error);

struct SmtpRelay {
    std::string url;  // smtp://host:port
    std::string user, password;
};
TESS_EXPORT bool setSmtpRelay(const Installation& inst, const SmtpRelay& relay, std::string& error);

struct RouteResult {
    int delivered = 0;  // notes put into local mail files (one per local recipient)
    int sent = 0;       // notes handed to the SMTP relay
    int failed = 0;     // notes left in mail.box or answered with a failure report
    std::string error;
};
// One pass over mail.box. A note leaves mail.box once each recipient has it or has been
// answered with a failure report; a note the relay did not take stays for the next pass.
TESS_EXPORT RouteResult routeMail(const Installation& inst);

}  // namespace platform::notes
