#include "tools/tallyhop/account_command.h"

#include <charconv>

#include "accounts/user_settings.h"
#include "accounts/mail_account.h"
#include "accounts/system_environment.h"
#include "datamgr/ledgerly.h"
#include "platform/core/module.h"
#include "platform/syncmgr/syncmgr.h"
#include "platform/syncmgr/syncmgr_control.h"
#include "tools/tallyhop/runtime_setup.h"

namespace tallyhop {

const char* const kAccountUsage =
    "       tallyhop account [--user NAME] --number N [--name TEXT] [--client imap|pop|N]\n"
    "                        [--active 0|1] [--days N] [--inbox 0|1] [--outbox 0|1] [--size KB]\n"
    "                        [--log off|info|debug]\n";

namespace {

constexpr uint32_t kMailCreator = SYNC_FOURCC('a', 's', 'c', '3');

// Sync-log messages of the accounts library go nowhere: this is configuration, not a sync.
// Its product-log lines still reach the product log.
class ConfigEnvironment : public tess::accounts::SystemAccountEnvironment {
public:
    void SyncMessage(int, std::string_view, std::string_view) override {}
    void ProductLog(std::string_view line) override { MLOGAdd(std::string(line).c_str()); }
};

bool ParseInt(const std::string& text, int32_t& value) {
    const char* end = text.data() + text.size();
    auto [p, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && p == end;
}

// The version check a synchronisation makes: without a stored conduit version it
// rewrites every account, so the settings are created first, by the engine itself.
bool HasSettings(int userId) {
    int version = 0;
    RosterReadInt(userId, "Tessaline", "ConduitVersion", &version, 0);
    if (version == 0) RosterReadInt(userId, "Larkspur", "ConduitVersion", &version, 0);
    return version != 0;
}

int CreateSettings(int userId, std::ostream& err) {
    HMODULE engine = LoadLibraryA("Tidewater.dll");
    if (!engine) {
        err << "tallyhop: the engine Tidewater cannot be loaded\n";
        return 1;
    }
    using CreateFn = int (*)(int);
    auto create = reinterpret_cast<CreateFn>(GetProcAddress(engine, "CreateIniFileSettings"));
    const int rc = create ? create(userId) : -1;
    FreeLibrary(engine);
    if (rc != 0) {
        err << "tallyhop: the user's settings cannot be created (" << rc << ")\n";
        return 1;
    }
    return 0;
}

}  // namespace

bool parseAccountOptions(const std::vector<std::string>& args, AccountOptions& o, std::ostream& err) {
    bool haveNumber = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (i + 1 >= args.size()) {
            err << "tallyhop: '" << a << "' needs a value\n";
            return false;
        }
        const std::string& v = args[++i];
        int32_t n = 0;
        const bool isInt = ParseInt(v, n);
        if (a == "--user") {
            o.userName = v;
        } else if (a == "--log") {
            if (v == "off")
                o.log = 0;
            else if (v == "info")
                o.log = 1;
            else if (v == "debug")
                o.log = 2;
            else
                return err << "tallyhop: --log takes off, info or debug\n", false;
        } else if (a == "--name") {
            o.name = v;
        } else if (a == "--client") {
            if (v == "imap")
                o.client = 7;
            else if (v == "pop")
                o.client = 8;
            else if (isInt)
                o.client = n;
            else
                return err << "tallyhop: --client takes imap, pop or a number\n", false;
        } else if (!isInt) {
            err << "tallyhop: " << a << " takes a number, not '" << v << "'\n";
            return false;
        } else if (a == "--number") {
            if (n < 0 || n > 9) return err << "tallyhop: --number is 0 to 9\n", false;
            o.number = n;
            haveNumber = true;
        } else if (a == "--active") {
            o.active = n;
        } else if (a == "--days") {
            o.days = n;
        } else if (a == "--inbox") {
            o.syncInbox = n;
        } else if (a == "--outbox") {
            o.syncOutbox = n;
        } else if (a == "--size") {
            o.sizeKb = n;
        } else {
            err << "tallyhop: unexpected argument '" << a << "'\n";
            return false;
        }
    }
    if (!haveNumber && !o.log) {
        err << "tallyhop: account needs --number or --log\n";
        return false;
    }
    return true;
}

int configureAccount(const AccountOptions& o, std::ostream& out, std::ostream& err) {
    int userId = 0;
    if (findUser(o.userName, &userId) != 0) {
        err << "tallyhop: no user '" << o.userName << "' (run tallyhop init)\n";
        return 1;
    }
    platform::syncmgr::setSessionUser(userId);
    if (!HasSettings(userId) && CreateSettings(userId, err) != 0) return 1;

    if (o.log) {
        // Loaded and saved as the engine does: section "Larkspur", data version 517.
        tess::accounts::CGeneralSettings general;
        general.SetDefaults();
        general.Load(userId, "Larkspur", 517, int(0xFF000000));
        general.enableLogging = *o.log != 0;
        general.logInformational = *o.log == 1;
        general.logDebug = *o.log == 2;
        if (!general.Save(userId, "Larkspur", 517, int(0xFF000000))) {
            err << "tallyhop: the user's settings cannot be saved\n";
            return 1;
        }
        out << "logging " << (*o.log == 0 ? "off" : *o.log == 1 ? "informational" : "debug") << "\n";
    }
    if (o.number < 0) return 0;

    char folder[256];
    int size = sizeof folder;
    if (QuayGetConduitDirectory(kMailCreator, folder, &size) != SYNC_OK) {
        err << "tallyhop: the mail conduit is not registered (run tallyhop init)\n";
        return 1;
    }
    ConfigEnvironment env;
    tess::accounts::AccountInit init;
    init.userId = userId;
    init.accountNumber = o.number;
    init.userDirectory = (platform::syncmgr::userDirectory(userId) / folder).string();
    tess::accounts::CMailAccount account(init, env);
    account.Load();
    if (o.name) account.SetAccountName(o.name->c_str(), 0);
    const std::pair<int, const std::optional<int32_t>*> values[] = {
        {tess::accounts::kValueMailClient, &o.client},     {tess::accounts::kValueActive, &o.active},
        {tess::accounts::kValueDaysToSync, &o.days},       {tess::accounts::kValueSyncInbox, &o.syncInbox},
        {tess::accounts::kValueSyncOutbox, &o.syncOutbox}, {tess::accounts::kValueMessageSize, &o.sizeKb},
    };
    for (const auto& [id, value] : values)
        if (*value) account.SetValue(id, &**value, 4);
    if (!account.Save()) {
        err << "tallyhop: account " << o.number << " cannot be saved to " << account.FilePath().string() << "\n";
        return 1;
    }
    out << "account " << o.number << " \"" << account.AccountName() << "\": mail client " << account.MailClient()
        << ", active " << account.Active() << "\n";
    return 0;
}

int accountCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    AccountOptions options;
    if (!parseAccountOptions(args, options, err)) return 2;
    return configureAccount(options, out, err);
}

}  // namespace tallyhop
