#include "tools/tallyhop/notes_command.h"

#include <algorithm>
#include <cctype>
#include <map>

#include "platform/core/runtime.h"
#include "platform/notes/notes_admin.h"

namespace tallyhop {

const char* const kNotesUsage =
    "       tallyhop init --notes [--notes-password PW]   (also a Notes client with one user)\n"
    "       tallyhop notes add-user --name CN=..../O=... --short NAME --address A --password PW\n"
    "       tallyhop notes add-mail --user NAME --from X --to A[,B] [--cc A[,B]] --subject S\n"
    "                               [--body TEXT] [--attach FILE]... [--read]\n"
    "       tallyhop notes relay --url smtp://HOST:PORT [--smtp-user U --smtp-password P]\n"
    "       tallyhop notes route   (delivers what waits in mail.box)\n";

namespace {

std::vector<std::string> splitCommas(const std::string& text) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t comma = text.find(',', start);
        std::string part = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        while (!part.empty() && part.front() == ' ') part.erase(0, 1);
        while (!part.empty() && part.back() == ' ') part.pop_back();
        if (!part.empty()) out.push_back(part);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return out;
}

// "--name value" pairs; a repeated name keeps every value; flags listed in `flags` take none.
bool parse(const std::vector<std::string>& args, size_t from, const std::vector<std::string>& flags,
           std::multimap<std::string, std::string>& out, std::ostream& err) {
    for (size_t i = from; i < args.size(); ++i) {
        const bool isFlag = std::find(flags.begin(), flags.end(), args[i]) != flags.end();
        if (args[i].rfind("--", 0) != 0 || (!isFlag && i + 1 >= args.size())) {
            err << "tallyhop notes: unexpected argument '" << args[i] << "'\n";
            return false;
        }
        const std::string name = args[i];
        out.emplace(name, isFlag ? std::string() : args[++i]);
    }
    return true;
}

std::string value(const std::multimap<std::string, std::string>& opts, const char* name) {
    auto it = opts.find(name);
    return it == opts.end() ? std::string() : it->second;
}

bool installation(platform::notes::Installation& inst, std::ostream& err) {
    if (platform::notes::findInstallation(inst)) return true;
    err << "tallyhop notes: no Notes installation (run tallyhop init --notes)\n";
    return false;
}

}  // namespace

int initNotes(const std::string& userName, const std::string& password, std::ostream& out, std::ostream& err) {
    platform::notes::Installation inst;
    std::string error;
    if (!platform::notes::createInstallation(platform::runtimeRoot() / "notes", 60, inst, error)) {
        err << "tallyhop: " << error << "\n";
        return 1;
    }
    std::string shortName;
    for (char c : userName)
        if (std::isalnum(static_cast<unsigned char>(c)))
            shortName += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (shortName.empty()) shortName = "user";
    const platform::notes::User user{"CN=" + userName + "/O=Tess", shortName, shortName + "@tess.test", password};
    std::filesystem::path idFile;
    if (!platform::notes::addUser(inst, user, idFile, error)) {
        err << "tallyhop: " << error << "\n";
        return 1;
    }
    out << "Notes client: " << inst.programDir.string() << " (notes.ini " << inst.iniPath.string() << ")\n"
        << "Notes user: " << user.fullName << ", ID file " << idFile.string() << ", mail file "
        << (inst.dataDir / "mail" / (shortName + ".nsf")).string() << "\n";
    return 0;
}

int notesCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty()) {
        err << "usage:\n" << kNotesUsage;
        return 2;
    }
    std::multimap<std::string, std::string> opts;
    if (!parse(args, 1, {"--read"}, opts, err)) return 2;
    platform::notes::Installation inst;
    if (!installation(inst, err)) return 1;
    std::string error;
    const std::string& sub = args[0];
    if (sub == "add-user") {
        const platform::notes::User user{value(opts, "--name"), value(opts, "--short"), value(opts, "--address"),
                                         value(opts, "--password")};
        std::filesystem::path idFile;
        if (!platform::notes::addUser(inst, user, idFile, error)) {
            err << "tallyhop notes: " << error << "\n";
            return 1;
        }
        out << "ID file " << idFile.string() << "\n";
        return 0;
    }
    if (sub == "add-mail") {
        platform::notes::Mail mail;
        mail.from = value(opts, "--from");
        mail.to = splitCommas(value(opts, "--to"));
        mail.cc = splitCommas(value(opts, "--cc"));
        mail.subject = value(opts, "--subject");
        mail.body = value(opts, "--body");
        mail.unread = opts.find("--read") == opts.end();
        for (auto [it, end] = opts.equal_range("--attach"); it != end; ++it) mail.attachments.push_back(it->second);
        const uint32_t id = platform::notes::addMail(inst, value(opts, "--user"), mail, error);
        if (!id) {
            err << "tallyhop notes: " << error << "\n";
            return 1;
        }
        out << "Note " << id << "\n";
        return 0;
    }
    if (sub == "relay") {
        if (!platform::notes::setSmtpRelay(
                inst, {value(opts, "--url"), value(opts, "--smtp-user"), value(opts, "--smtp-password")}, error)) {
            err << "tallyhop notes: " << error << "\n";
            return 1;
        }
        return 0;
    }
    if (sub == "route") {
        const auto result = platform::notes::routeMail(inst);
        out << "Delivered " << result.delivered << ", sent " << result.sent << ", failed " << result.failed << "\n";
        if (!result.error.empty()) err << "tallyhop notes: " << result.error << "\n";
        return result.failed ? 1 : 0;
    }
    err << "tallyhop notes: unknown subcommand '" << sub << "'\n";
    return 2;
}

}  // namespace tallyhop
