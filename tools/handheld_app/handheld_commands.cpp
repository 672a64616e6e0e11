#include "tools/handheld_app/handheld_commands.h"

#include <map>

#include "tools/handheld_app/handheld_app.h"

namespace handheld_app {

const char* const kCommandUsage =
    "       tallyhop handheld account --number N --name NAME --server HOST --user USER --password PW\n"
    "                [--smtp HOST] [--email ADDRESS] [--port N] [--smtp-port N] [--pop] [--smtp-login]\n"
    "       tallyhop handheld compose --account N --to ADDRESS --subject TEXT [--body TEXT] [--attach PATH]...\n"
    "       tallyhop handheld delete|read|unread --record ID\n"
    "       tallyhop handheld show [--category N]\n"
    "       tallyhop handheld card --size MB\n"
    "       (each takes [--handheld NAME])\n";

namespace {

const char* const kCommands[] = {"account", "compose", "delete", "read", "unread", "show", "card"};

// "--name value" pairs, "--flag" for the flags named; repeated names collect in order.
bool Parse(const std::vector<std::string>& args, const std::vector<std::string>& flags,
           std::multimap<std::string, std::string>& out, std::ostream& err) {
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.rfind("--", 0) != 0) {
            err << "tallyhop: unexpected argument '" << a << "'\n";
            return false;
        }
        bool isFlag = false;
        for (const auto& f : flags) isFlag = isFlag || a == f;
        if (isFlag) {
            out.emplace(a, "1");
        } else if (i + 1 < args.size()) {
            out.emplace(a, args[++i]);
        } else {
            err << "tallyhop: '" << a << "' wants a value\n";
            return false;
        }
    }
    return true;
}

std::string Get(const std::multimap<std::string, std::string>& o, const std::string& k, const std::string& d = "") {
    auto it = o.find(k);
    return it == o.end() ? d : it->second;
}

bool Number(const std::string& text, long min, long max, long& value) {
    try {
        size_t used = 0;
        value = std::stol(text, &used);
        return used == text.size() && value >= min && value <= max;
    } catch (...) {
        return false;
    }
}

}  // namespace

bool IsAppCommand(const std::string& word) {
    for (const char* c : kCommands)
        if (word == c) return true;
    return false;
}

int RunCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::multimap<std::string, std::string> o;
    if (args.empty() || !Parse(args, {"--pop", "--smtp-login"}, o, err)) return 2;
    const std::string handheld = Get(o, "--handheld", "default");
    const std::string& what = args[0];
    long n = 0;
    int rc = 0;
    if (what == "account") {
        AccountSetup a;
        if (!Number(Get(o, "--number", "0"), 0, 7, n)) return err << "tallyhop: --number is 0 to 7\n", 2;
        a.number = int(n);
        a.name = Get(o, "--name");
        a.server = Get(o, "--server");
        a.user = Get(o, "--user");
        a.password = Get(o, "--password");
        a.smtpServer = Get(o, "--smtp", a.server);
        a.email = Get(o, "--email");
        a.smtpLogin = o.count("--smtp-login") != 0;
        if (o.count("--pop")) {
            a.protocolWord = 0;
            a.port = 110;
        }
        long port = a.port, smtpPort = a.smtpPort;
        if (!Number(Get(o, "--port", std::to_string(port)), 0, 65535, port) ||
            !Number(Get(o, "--smtp-port", std::to_string(smtpPort)), 0, 65535, smtpPort))
            return err << "tallyhop: ports are 0 to 65535\n", 2;
        a.port = uint16_t(port);
        a.smtpPort = uint16_t(smtpPort);
        if (a.name.empty()) return err << "tallyhop: an account needs --name\n", 2;
        rc = ConfigureAccount(handheld, a);
    } else if (what == "compose") {
        if (!Number(Get(o, "--account", "0"), 0, 7, n)) return err << "tallyhop: --account is 0 to 7\n", 2;
        std::vector<std::string> files;
        for (auto [it, end] = o.equal_range("--attach"); it != end; ++it) files.push_back(it->second);
        uint32_t id = 0;
        rc = ComposeOutbox(handheld, int(n), Get(o, "--to"), Get(o, "--subject"), Get(o, "--body"), files, &id);
        if (rc == 0) out << "Outbox record " << id << "\n";
    } else if (what == "delete" || what == "read" || what == "unread") {
        if (!Number(Get(o, "--record"), 1, 0xFFFFFFFFL, n)) return err << "tallyhop: --record needs a record id\n", 2;
        rc = what == "delete" ? DeleteMessage(handheld, uint32_t(n)) : MarkRead(handheld, uint32_t(n), what == "read");
    } else if (what == "card") {
        // The memory of the handheld's card; what is stored on it stays.
        if (!Number(Get(o, "--size"), 1, kMaxCardMb, n)) {
            err << "tallyhop: --size is the card's memory in MB, 1 to " << kMaxCardMb << "\n";
            return 2;
        }
        rc = SetCardSize(handheld, uint32_t(n) << 20);
    } else if (what == "show") {
        if (!Number(Get(o, "--category", "-1"), -1, 15, n)) return err << "tallyhop: --category is 0 to 15\n", 2;
        for (const Shown& s : ListFolder(handheld, int(n)))
            out << s.recordId << "\taccount " << s.account << "\tcategory " << s.msg.category << "\t"
                << ((s.msg.status & 0x8000) ? "read  " : "unread") << "\t" << s.msg.From << "\t" << s.msg.Subject
                << "\n";
    }
    if (rc != 0) {
        err << "tallyhop: handheld " << what << " failed (error " << rc << ")\n";
        return 1;
    }
    return 0;
}

}  // namespace handheld_app
