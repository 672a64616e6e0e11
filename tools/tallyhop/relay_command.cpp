#include "tools/tallyhop/relay_command.h"

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <optional>
#include <set>

#include "accounts/user_settings.h"
#include "common/address_list.h"
#include "common/plugin_registry.h"
#include "common/sealing_coder.h"
#include "platform/mapi/profiles.h"
#include "platform/syncmgr/handheld_store.h"
#include "platform/syncmgr/syncmgr_control.h"
#include "tools/handheld_app/handheld_app.h"
#include "tools/tallyhop/runtime_setup.h"

namespace tallyhop {

const char* const kRelayUsage =
    "       tallyhop relay setup [--user NAME] [--handheld NAME] --account N --wireless ADDRESS\n"
    "                            [--profile NAME] [--log off|info|debug] [--attachments 0|1]\n"
    "                            (the desktop relay for the user; a security key shared with\n"
    "                            the handheld)\n"
    "       tallyhop relay control [--user NAME] [--handheld NAME] --request new|shutdown\n"
    "                              [--to A[,B]] [--cc A[,B]] [--subject TEXT] [--body TEXT]\n"
    "                              (a control mail sealed as the handheld seals it, on stdout)\n";

namespace {

using tess::accounts::CAccountSettings;
using tess::accounts::CRelaySettings;

constexpr int kAccountVersion = 517;  // the stored form of an account the relay reads
constexpr uint32_t kInstalled = 0x1;
constexpr const char* kNewMailSubject = "???E-N-2    Wayfarer Message - Do Not Delete";
constexpr const char* kShutDownSubject = "???S-D-2    Wayfarer Message - Do Not Delete";

using Options = std::map<std::string, std::string>;

// "--name value" pairs of the names allowed; each at most once.
bool parse(const std::vector<std::string>& args, const std::set<std::string>& allowed, Options& out,
           std::ostream& err) {
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (!allowed.count(name)) {
            err << "tallyhop relay " << args[0] << ": unexpected argument '" << name << "'\n";
            return false;
        }
        if (i + 1 >= args.size()) {
            err << "tallyhop relay " << args[0] << ": '" << name << "' needs a value\n";
            return false;
        }
        if (!out.emplace(name, args[++i]).second) {
            err << "tallyhop relay " << args[0] << ": '" << name << "' given twice\n";
            return false;
        }
    }
    return true;
}

std::string get(const Options& o, const std::string& name, const std::string& fallback = "") {
    auto it = o.find(name);
    return it == o.end() ? fallback : it->second;
}

// A plain address as the mail system takes it: local part, '@', domain; nothing that
// would end a header line or split a recipient list.
bool plainAddress(const std::string& a) {
    const size_t at = a.find('@');
    return at != std::string::npos && at > 0 && at + 1 < a.size() && a.find('@', at + 1) == std::string::npos &&
           a.find_first_of(" \t\r\n<>;,\"") == std::string::npos;
}

// Addresses separated by ',' or ';', trimmed; false (with the reason) on a bad one.
bool addressList(const std::string& option, const std::string& text, std::vector<std::string>& out, std::ostream& err) {
    size_t start = 0;
    while (start <= text.size()) {
        const size_t end = text.find_first_of(",;", start);
        std::string part = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        part.erase(0, part.find_first_not_of(' '));
        part.erase(part.find_last_not_of(' ') + 1);
        if (!part.empty()) {
            if (!plainAddress(part)) {
                err << "tallyhop relay control: " << option << " '" << part << "' is not a mail address\n";
                return false;
            }
            out.push_back(part);
        }
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return true;
}

std::string joined(const std::vector<std::string>& list) {
    std::string out;
    for (const std::string& a : list) out += (out.empty() ? "" : "; ") + a;
    return out;
}

struct RelayUser {
    int id = 0;
    CRelaySettings relay;
    CAccountSettings account;
};

int findRelayUser(const Options& o, RelayUser& user, std::ostream& err) {
    const std::string name = get(o, "--user");
    if (findUser(name, &user.id) != 0) {
        err << "tallyhop relay: " << (name.empty() ? std::string("no user") : "no user '" + name + "'")
            << " (run tallyhop init)\n";
        return 1;
    }
    return 0;
}

std::optional<platform::mapi::Profile> profileNamed(const std::string& name) {
    for (const platform::mapi::Profile& p : platform::mapi::loadProfiles())
        if (name.empty() ? p.isDefault : p.name == name) return p;
    return std::nullopt;
}

int setup(const Options& o, std::ostream& out, std::ostream& err) {
    int32_t account = -1;
    const std::string number = get(o, "--account");
    if (auto [p, ec] = std::from_chars(number.data(), number.data() + number.size(), account);
        ec != std::errc() || p != number.data() + number.size() || account < 0 || account > 7) {
        err << "tallyhop relay setup: --account is the account the relay serves, 0 to 7\n";
        return 2;
    }
    const std::string wireless = get(o, "--wireless");
    if (!plainAddress(wireless)) {
        err << "tallyhop relay setup: --wireless is the handheld's mail address (name@domain)\n";
        return 2;
    }
    const std::string log = get(o, "--log", "keep");
    const std::string attachments = get(o, "--attachments", "keep");
    if ((log != "keep" && log != "off" && log != "info" && log != "debug") ||
        (attachments != "keep" && attachments != "0" && attachments != "1")) {
        err << "tallyhop relay setup: --log takes off, info or debug; --attachments 0 or 1\n";
        return 2;
    }
    RelayUser user;
    if (int rc = findRelayUser(o, user, err)) return rc;
    const std::string handheld = get(o, "--handheld", "default");
    if (!platform::syncmgr::HandheldStore::exists(handheld)) {
        err << "tallyhop relay setup: no handheld '" << handheld << "' (run tallyhop init)\n";
        return 1;
    }
    const auto profile = profileNamed(get(o, "--profile"));
    if (!profile) {
        err << "tallyhop relay setup: "
            << (o.count("--profile") ? "no MAPI profile '" + get(o, "--profile") + "'"
                                     : std::string("no default MAPI profile"))
            << " in " << platform::mapi::profilesFile().string() << "\n";
        return 1;
    }

    CRelaySettings& relay = user.relay;
    relay.Load(user.id, tess::accounts::kSectionRelay);
    relay.enterprise = 1;
    relay.account = account;
    relay.networkName = wireless;
    if (log != "keep") {
        relay.logInformational = log == "info";
        relay.logDebug = log == "debug";
    }
    if (attachments != "keep") relay.attachments = attachments == "1";
    // The key both sides hold stays; otherwise both get a new one, as a synchronisation
    // of the account gives them.
    std::string handheldKey;
    if (int rc = handheld_app::ReadKeyRecord(handheld, handheldKey)) {
        err << "tallyhop relay setup: the handheld's security database cannot be read (error " << rc << ")\n";
        return 1;
    }
    const bool newKey = relay.securityKey.empty() || relay.securityKey != handheldKey;
    if (newKey) {
        const std::string key = tess::NewSealKeyRecord();
        if (key.empty()) {
            err << "tallyhop relay setup: no security key could be made\n";
            return 1;
        }
        if (int rc = handheld_app::StoreKeyRecord(handheld, key)) {
            err << "tallyhop relay setup: the key cannot be stored on the handheld (error " << rc << ")\n";
            return 1;
        }
        relay.SetSecurityKey(key);
    }
    user.account.Load(user.id, tess::accounts::kSectionOlder, kAccountVersion, account);
    user.account.mapiProfile = profile->name;
    if (!relay.Save(user.id, tess::accounts::kSectionRelay) ||
        !user.account.Save(user.id, tess::accounts::kSectionOlder, kAccountVersion, account)) {
        err << "tallyhop relay setup: the user's settings cannot be saved\n";
        return 1;
    }
    // The relay serves this user; a running relay takes the new key at its next look.
    tess::CPluginRegistry registry;
    const uint32_t installed = registry.ReadRelayValue("Installed").value_or(0) | kInstalled;
    if (!registry.WriteRelayValue("User", uint32_t(user.id)) || !registry.WriteRelayValue("Installed", installed) ||
        (newKey && !registry.WriteRelayValue("NewKey", 1))) {
        err << "tallyhop relay setup: the relay's registry values cannot be written\n";
        return 1;
    }
    out << "Relay user " << user.id << ": account " << account << " through MAPI profile \"" << profile->name << "\" ("
        << profile->identity.address << "), forwarding to " << wireless << "\n"
        << "Security key: " << (newKey ? "new" : "kept") << ", shared with handheld \"" << handheld << "\"\n"
        << "Relay log: " << (platform::syncmgr::userDirectory(user.id) / "Wayfarer.log").string() << "\n";
    return 0;
}

// The handheld seals the text with its terminator, in lines, without brace padding.
bool sealText(const std::string& key, const std::string& text, std::string& sealed, std::ostream& err) {
    std::string plain = text;
    plain.push_back('\0');
    if (plain.size() > tess::SealedTextCapacity(UINT16_MAX)) {
        err << "tallyhop relay control: the request is too long to seal (" << plain.size() << " bytes, at most "
            << tess::SealedTextCapacity(UINT16_MAX) << ")\n";
        return false;
    }
    std::vector<uint8_t> record(key.begin(), key.end());
    record.push_back(0);
    tess::SealContext* context = nullptr;
    if (tess::CreateSealContext(&context, record.data()) != tess::kSealOk || !context) {
        err << "tallyhop relay control: the handheld's security key is damaged (run tallyhop relay setup)\n";
        return false;
    }
    char* out = nullptr;
    uint16_t length = 0;
    const int rc = tess::SealText(context, reinterpret_cast<const uint8_t*>(plain.data()), uint16_t(plain.size()), true,
                                  false, &out, &length);
    if (rc == tess::kSealOk && out) sealed.assign(out, length);
    std::free(out);
    tess::DestroySealContext(&context);
    if (rc != tess::kSealOk) {
        err << "tallyhop relay control: the request cannot be sealed (" << rc << ")\n";
        return false;
    }
    return true;
}

std::string mailDate(std::time_t now) {
    std::tm utc{};
    gmtime_r(&now, &utc);
    static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char text[64];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d +0000", days[utc.tm_wday], utc.tm_mday,
                  months[utc.tm_mon], utc.tm_year + 1900, utc.tm_hour, utc.tm_min, utc.tm_sec);
    return text;
}

int control(const Options& o, std::ostream& out, std::ostream& err) {
    const std::string request = get(o, "--request");
    std::string subject, plain;
    if (request == "new") {
        std::vector<std::string> to, cc;
        if (!addressList("--to", get(o, "--to"), to, err) || !addressList("--cc", get(o, "--cc"), cc, err)) return 2;
        if (to.empty()) {
            err << "tallyhop relay control: a new mail needs --to\n";
            return 2;
        }
        const std::string mailSubject = get(o, "--subject");
        if (mailSubject.find_first_of("\r\n") != std::string::npos) {
            err << "tallyhop relay control: --subject is one line\n";
            return 2;
        }
        // Lines end in CR LF, as in every mail text.
        std::string mailText;
        tess::ConvertLfToCrLf(mailText, tess::ConvertCrLfToLf(get(o, "--body")));
        subject = kNewMailSubject;
        plain = "To: <" + joined(to) + ">\r\n";
        if (!cc.empty()) plain += "Cc: <" + joined(cc) + ">\r\n";
        plain += "Subject: " + mailSubject + "\r\n\r\n" + mailText;
    } else if (request == "shutdown") {
        for (const char* only : {"--to", "--cc", "--subject", "--body"})
            if (o.count(only)) {
                err << "tallyhop relay control: a shut-down request takes no " << only << "\n";
                return 2;
            }
        subject = kShutDownSubject;
        plain = kShutDownSubject;  // the relay obeys it only when the sealed text repeats the request
    } else {
        err << "tallyhop relay control: --request is new or shutdown\n";
        return 2;
    }

    RelayUser user;
    if (int rc = findRelayUser(o, user, err)) return rc;
    user.relay.Load(user.id, tess::accounts::kSectionRelay);
    if (!user.relay.enterprise || user.relay.account < 0 || user.relay.networkName.empty()) {
        err << "tallyhop relay control: no relay is set up for the user (run tallyhop relay setup)\n";
        return 1;
    }
    user.account.Load(user.id, tess::accounts::kSectionOlder, kAccountVersion, user.relay.account);
    const auto profile = profileNamed(user.account.mapiProfile);
    if (user.account.mapiProfile.empty() || !profile || profile->identity.address.empty()) {
        err << "tallyhop relay control: the relay's MAPI profile '" << user.account.mapiProfile
            << "' is missing or names no address\n";
        return 1;
    }
    const std::string handheld = get(o, "--handheld", "default");
    std::string key;
    if (!platform::syncmgr::HandheldStore::exists(handheld) || handheld_app::ReadKeyRecord(handheld, key) != 0 ||
        key.empty()) {
        err << "tallyhop relay control: handheld '" << handheld
            << "' holds no security key (run tallyhop relay setup)\n";
        return 1;
    }
    std::string sealed;
    if (!sealText(key, plain, sealed, err)) return 1;

    // From the handheld's wireless address to the desktop mailbox that the relay watches.
    const std::time_t now = std::time(nullptr);
    out << "From: " << user.relay.networkName << "\r\n"
        << "To: " << profile->identity.address << "\r\n"
        << "Subject: " << subject << "\r\n"
        << "Date: " << mailDate(now) << "\r\n"
        << "Message-ID: <" << now << "." << ::getpid() << "@handheld.invalid>\r\n"
        << "\r\n"
        << sealed << "\r\n";
    return out ? 0 : 1;
}

}  // namespace

int relayCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty()) {
        err << "usage:\n" << kRelayUsage;
        return 2;
    }
    Options o;
    if (args[0] == "setup") {
        if (!parse(args, {"--user", "--handheld", "--account", "--wireless", "--profile", "--log", "--attachments"}, o,
                   err))
            return 2;
        return setup(o, out, err);
    }
    if (args[0] == "control") {
        if (!parse(args, {"--user", "--handheld", "--request", "--to", "--cc", "--subject", "--body"}, o, err))
            return 2;
        return control(o, out, err);
    }
    err << "tallyhop relay: unknown subcommand '" << args[0] << "'\n"
        << "usage:\n"
        << kRelayUsage;
    return 2;
}

}  // namespace tallyhop
