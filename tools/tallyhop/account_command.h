#pragma once
// `tallyhop account`: the desktop side of a mail account, as the configuration entry
// leaves it (mail client, active, days, inbox/outbox, message size), and the user's
// logging switches.
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace tallyhop {

struct AccountOptions {
    std::string userName;  // empty: the first user
    int number = -1;       // the account slot; -1: only the general settings
    std::optional<std::string> name;
    std::optional<int32_t> client;  // 7 IMAP, 8 POP
    std::optional<int32_t> active;
    std::optional<int32_t> days;
    std::optional<int32_t> syncInbox;
    std::optional<int32_t> syncOutbox;
    std::optional<int32_t> sizeKb;
    std::optional<int32_t> log;  // the user's sync logging: 0 off, 1 informational, 2 debug
};

// Reads the subcommand's arguments; false (with the reason on err) on a bad one.
bool parseAccountOptions(const std::vector<std::string>& args, AccountOptions& options, std::ostream& err);

// Makes sure the user's settings exist (the engine's CreateIniFileSettings when the
// user's store holds no conduit version), then writes the given values over the
// account's current ones. Returns 0, or 1 with the reason on err.
int configureAccount(const AccountOptions& options, std::ostream& out, std::ostream& err);

// The subcommand: parse, then configure; 2 on bad arguments.
int accountCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

extern const char* const kAccountUsage;

}  // namespace tallyhop
