#include "platform/notes/notes_admin.h"

#include <strings.h>

#include <fstream>
#include <iterator>

#include "platform/core/module.h"
#include "platform/core/registry.h"
#include "platform/core/runtime.h"
#include "platform/notes/client_state.h"
#include "platform/notes/mail_items.h"
#include "platform/notes/mail_router.h"

namespace platform::notes {

namespace {

const char* versionKey(int version) {
    if (version == 40) return "SOFTWARE\\Lotus\\Notes\\4.0";
    return version == 50 ? "SOFTWARE\\Lotus\\Notes\\5.0" : "SOFTWARE\\Lotus\\Notes\\6.0";
}

std::filesystem::path iniFor(const std::filesystem::path& programDir, int version) {
    return version == 60 ? programDir / "notes.ini" : platform::windowsSystemDir() / "notes.ini";
}

void createMailFile(const std::filesystem::path& file, const std::string& owner) {
    NoteDb db(file, true);
    db.setMeta("owner", owner);
    db.setAccess(owner, ACL_MANAGER);
    db.setAccess("-Default-", ACL_NOACCESS);
    if (!db.findDesign("$FolderInfo", NOTE_CLASS_VIEW)) {
        db.createFolder("$FolderInfo", false);
        db.createFolder("($Inbox)", true);
        db.createFolder("($Trash)", true);
        db.createFolder("($Sent)", false);
        db.createFolder("($Drafts)", false);
    }
}

}  // namespace

bool createInstallation(const std::filesystem::path& root, int version, Installation& out, std::string& error) {
    std::error_code ec;
    out.programDir = root / "program";
    out.dataDir = root / "data";
    out.iniPath = iniFor(out.programDir, version);
    out.mailServer = "CN=Mailhub/O=Tess";
    for (const auto& dir : {out.programDir, out.dataDir / "mail", out.iniPath.parent_path(), platform::windowsDir()}) {
        std::filesystem::create_directories(dir, ec);
        if (ec) {
            error = "cannot create " + dir.string() + ": " + ec.message();
            return false;
        }
    }
    const auto library = out.programDir / "nnotes.dll";
    std::filesystem::remove(library, ec);
    std::filesystem::create_symlink(platform::resolveModulePath("nnotes.dll"), library, ec);
    if (ec) {
        error = "cannot link " + library.string() + ": " + ec.message();
        return false;
    }
    try {
        NoteDb names(out.dataDir / "names.nsf", true);
        names.setAccess("-Default-", ACL_READER);
        NoteDb box(out.dataDir / "mail.box", true);
        box.setAccess("-Default-", ACL_DEPOSITOR);
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
    if (!std::filesystem::exists(out.iniPath)) {
        std::ofstream ini(out.iniPath);
        ini << "[Notes]\nDirectory=" << out.dataDir.string() << "\nMailServer=" << out.mailServer << "\n";
        if (!ini.flush()) {
            error = "cannot write " + out.iniPath.string();
            return false;
        }
    }
    HKEY key = nullptr;
    if (RegCreateKeyA(HKEY_LOCAL_MACHINE, versionKey(version), &key) != ERROR_SUCCESS) {
        error = "cannot create the registry key";
        return false;
    }
    const std::string path = out.programDir.string();
    const LSTATUS st = RegSetValueExA(key, "Path", 0, REG_SZ, reinterpret_cast<const unsigned char*>(path.c_str()),
                                      static_cast<DWORD>(path.size() + 1));
    RegCloseKey(key);
    if (st != ERROR_SUCCESS) error = "cannot write the registry key";
    return st == ERROR_SUCCESS;
}

bool findInstallation(Installation& out) {
    for (int version : {60, 50, 40}) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, versionKey(version), 0, KEY_READ, &key) != ERROR_SUCCESS) continue;
        char path[260] = {};
        DWORD size = sizeof path - 1;
        const LSTATUS st =
            RegQueryValueExA(key, "Path", nullptr, nullptr, reinterpret_cast<unsigned char*>(path), &size);
        RegCloseKey(key);
        if (st != ERROR_SUCCESS) return false;
        out.programDir = path;
        out.iniPath = iniFor(out.programDir, version);
        const auto ini = readIni(out.iniPath);
        auto get = [&](const char* k) {
            auto it = ini.find(k);
            return it == ini.end() ? std::string() : it->second;
        };
        out.dataDir = get("Directory");
        out.mailServer = get("MailServer");
        return !out.dataDir.empty();
    }
    return false;
}

bool addUser(const Installation& inst, const User& user, std::filesystem::path& idFile, std::string& error) {
    if (user.fullName.empty() || user.shortName.empty()) {
        error = "a user needs a full name and a short name";
        return false;
    }
    idFile = inst.dataDir / (user.shortName + ".id");
    const std::string mailFile = "mail/" + user.shortName + ".nsf";
    try {
        if (!writeIdFile(idFile, user.fullName, user.password)) {
            error = "cannot write " + idFile.string();
            return false;
        }
        createMailFile(inst.dataDir / mailFile, user.fullName);
        NoteDb names(inst.dataDir / "names.nsf", false);
        if (names.findPeople(user.fullName).empty())
            names.addPerson({user.fullName, user.shortName, user.internetAddress, mailFile});
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
    const auto ini = readIni(inst.iniPath);
    if (ini.find("KeyFilename") == ini.end()) {
        writeIniValue(inst.iniPath, "KeyFilename", idFile.string());
        writeIniValue(inst.iniPath, "MailFile", "mail\\" + user.shortName + ".nsf");
    }
    return true;
}

uint32_t addMail(const Installation& inst, const std::string& user, const Mail& mail, std::string& error) {
    NoteData note;
    note.set("Form", TYPE_TEXT, "Memo");
    note.set("From", TYPE_TEXT, mail.from);
    note.set("SendTo", TYPE_TEXT_LIST, encodeTextList(mail.to));
    if (!mail.cc.empty()) note.set("CopyTo", TYPE_TEXT_LIST, encodeTextList(mail.cc));
    note.set("Subject", TYPE_TEXT, mail.subject);
    note.set("Body", TYPE_COMPOSITE, mail.body);
    const TIMEDATE posted = mail.postedUnix ? fromTicks(mail.postedUnix * 100) : nowTimeDate();
    note.set("PostedDate", TYPE_TIME, std::string(reinterpret_cast<const char*>(&posted), sizeof posted));
    for (const auto& file : mail.attachments) {
        std::ifstream in(file, std::ios::binary);
        if (!in) {
            error = "cannot read " + file.string();
            return 0;
        }
        std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        note.items.push_back({"$FILE", TYPE_OBJECT, fileObject(file.filename().string(), data)});
    }
    try {
        NoteDb names(inst.dataDir / "names.nsf", false);
        const auto people = names.findPeople(user);
        if (people.empty()) {
            error = "no user '" + user + "' in the address book";
            return 0;
        }
        return deliverToMailFile(inst.dataDir, people.front(), note, mail.folder, mail.unread);
    } catch (const std::exception& e) {
        error = e.what();
        return 0;
    }
}

bool setAccess(const Installation& inst, const std::string& database, const std::string& name, int level,
               std::string& error) {
    try {
        NoteDb db(resolveDbPath(database, inst.dataDir), false);
        db.setAccess(name, static_cast<WORD>(level));
        return true;
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
}

bool setSmtpRelay(const Installation& inst, const SmtpRelay& relay, std::string& error) {
    const auto file = inst.dataDir / "server.ini";
    if (!writeIniValue(file, "SMTPRelay", relay.url) || !writeIniValue(file, "SMTPUser", relay.user) ||
        !writeIniValue(file, "SMTPPassword", relay.password)) {
        error = "cannot write " + file.string();
        return false;
    }
    return true;
}

RouteResult routeMail(const Installation& inst) { return routeMailBox(inst.dataDir); }

}  // namespace platform::notes
