#include "hosts/notes/notes_session.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "common/address_list.h"
#include "common/language_module.h"
#include "datamgr/ledgerly.h"
#include "platform/core/runtime.h"

namespace notes {

using platform::mfc::CString;

using tess::CMsg;
using tess::CNotesClient;
using tess::LoadLangString;
using tess::MailMsg;
using tess::NotesLogonInfo;
using tess::NotesLogonRecord;

namespace {

std::string Format(const std::string& pattern, const std::string& a, const std::string& b = {}) {
    char buf[2048];
    std::snprintf(buf, sizeof buf, pattern.c_str(), a.c_str(), b.c_str());
    return buf;
}

bool Contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

// Windows-1252 for the code points 0x80-0x9F it moves elsewhere.
char AnsiOf(uint32_t cp) {
    static const uint16_t k80[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                     0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                     0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                     0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
    if (cp < 0x80 || (cp >= 0xA0 && cp < 0x100)) return static_cast<char>(cp);
    for (int i = 0; i < 32; ++i)
        if (k80[i] == cp) return static_cast<char>(0x80 + i);
    return '?';
}

}  // namespace

CNotesPlugInApp& App() {
    static CNotesPlugInApp app;
    return app;
}

std::string ErrorText(int code, const CNotesPlugInApp& app) {
    struct Entry {
        int code;
        unsigned id;
    };
    static const Entry table[] = {{4, 4321},   {5, 4317},   {200, 4318}, {214, 4326}, {215, 4327},
                                  {216, 4328}, {217, 4329}, {218, 4330}, {219, 4331}, {220, 4332},
                                  {221, 4333}, {222, 4334}, {223, 4335}, {224, 4336}, {225, 4337},
                                  {226, 4338}, {227, 4340}, {228, 4339}, {229, 4342}};
    for (const auto& e : table) {
        if (e.code != code) continue;
        const std::string text = LoadLangString(e.id);
        if (code == 220) return Format(text, app.mailFile, app.mailServer);
        if (code == 221) return Format(text, app.client ? app.client->programDirectory() + "/nnotes.dll" : "");
        if (code == 229) return Format(text, app.mailServer);
        return text;
    }
    return {};
}

void CNotesPlugInApp::Log(const std::string& text) const {
    if (logging) MLOGAdd(text.c_str());
}

std::string CNotesPlugInApp::FromNotes(const std::string& text) const {
    if (text.empty() || !api.OSTranslate) return text;
    std::string wide(text.size() * 4 + 4, '\0');
    const WORD n = api.OSTranslate(OS_TRANSLATE_LMBCS_TO_UNICODE, text.data(),
                                   static_cast<WORD>(std::min<size_t>(text.size(), 0x3FFF)), wide.data(),
                                   static_cast<WORD>(std::min<size_t>(wide.size(), 0xFFFF)));
    std::string out;
    for (WORD i = 0; i + 1 < n; i += 2) {
        uint32_t cp = static_cast<uint8_t>(wide[i]) | (static_cast<uint8_t>(wide[i + 1]) << 8);
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 3 < n) {
            i += 2;
            cp = 0x10000;  // outside the code page either way
        }
        out.push_back(AnsiOf(cp));
    }
    return out.empty() ? text : out;
}

std::string CNotesPlugInApp::TempDirectory() const {
    const auto dir = platform::runtimeRoot() / "temp";
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    return dir.string() + "/";
}

NOTEID CNotesPlugInApp::NoteIdOf(const std::string& id) {
    return static_cast<NOTEID>(std::strtoul(id.substr(0, 31).c_str(), nullptr, 10));
}

const FolderEntry* CNotesPlugInApp::FindFolder(NOTEID id) const {
    for (const auto& f : folders)
        if (f.id == id) return &f;
    return nullptr;
}

std::vector<std::string> CNotesPlugInApp::TextList(NOTEHANDLE note, const char* item) const {
    std::vector<std::string> out;
    BLOCKID itemBlock{}, value{};
    WORD type = 0;
    DWORD length = 0;
    if (api.NSFItemInfo(note, item, static_cast<WORD>(std::strlen(item)), &itemBlock, &type, &value, &length) !=
        NOERROR)
        return out;
    const char* bytes = static_cast<const char*>(api.OSLockObject(value.pool));
    if (!bytes) return out;
    bytes += value.block;
    if (type == TYPE_TEXT_LIST) {
        const WORD count = api.ListGetNumEntries(bytes, 1);
        for (WORD i = 0; i < count; ++i) {
            const char* text = nullptr;
            WORD len = 0;
            if (api.ListGetText(bytes, 1, i, &text, &len) == NOERROR) out.push_back(FromNotes(std::string(text, len)));
        }
    } else if (type == TYPE_TEXT && length > 2) {
        out.push_back(FromNotes(std::string(bytes + 2, length - 2)));
    }
    api.OSUnlockObject(value.pool);
    return out;
}

std::string CNotesPlugInApp::MailItem(NOTEHANDLE note, WORD item, WORD max) const {
    std::string buf(max + 1u, '\0');
    WORD len = 0;
    if (!api.MailGetMessageItem(note, item, buf.data(), max, &len)) return {};
    buf.resize(len);
    return buf;
}

bool CNotesPlugInApp::Lookup(const std::string& name, std::string& address) const {
    if (name.empty()) return false;
    DHANDLE buffer = 0;
    const std::string names = name + '\0';
    if (api.NAMELookup(mailServer.c_str(), 0, 1, "$Users", 1, names.c_str(), 1, "InternetAddress", &buffer) != NOERROR)
        return false;
    bool found = false;
    void* lookup = api.OSLockObject(buffer);
    WORD matches = 0;
    void* record = lookup ? api.NAMELocateNextName(lookup, nullptr, &matches) : nullptr;
    if (record && matches > 0) {
        void* match = api.NAMELocateNextMatch(lookup, record, nullptr);
        char text[257] = {};
        if (match && api.NAMEGetTextItem(match, 0, 0, text, 256) == NOERROR) {
            address = text;
            found = true;
        }
    }
    api.OSUnlockObject(buffer);
    api.OSMemFree(buffer);
    return found;
}

std::string CNotesPlugInApp::ConvertAddress(const std::string& address) const {
    const bool at = Contains(address, "@"), dot = Contains(address, ".");
    if (!at || !dot) {
        CString common;
        std::string found;
        if (client && client->GetCommonName(address.c_str(), &common)) {
            if (Lookup(common.GetString(), found) && !found.empty()) return found;
            return address;
        }
        if (at) return address;
        return Lookup(address, found) && !found.empty() ? found : address;
    }
    if (address.find('@') == address.rfind('@')) return address;
    const size_t open = address.find('<');
    const size_t close = open == std::string::npos ? std::string::npos : address.find('>', open);
    return close == std::string::npos ? address : address.substr(open + 1, close - open - 1);
}

std::string CNotesPlugInApp::ConvertAddressList(const std::string& list) const {
    std::string text = list;
    for (auto& c : text)
        if (c == ',') c = ';';
    std::string out;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t end = text.find(';', start);
        const std::string one =
            tess::Trim(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (!one.empty()) out += (out.empty() ? "" : separator) + ConvertAddress(one);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return out;
}

int CNotesPlugInApp::Initialize() {
    client = std::make_unique<CNotesClient>();
    const int rc = client->Initialize(nullptr);
    if (rc == 1) return kNotInstalled;
    if (rc == 4) return kIniUnusable;
    const std::string libraryPath = client->programDirectory() + "/nnotes.dll";
    if (rc != 0) {
        MLOGAdd(Format("NOTES: %s.", Format(LoadLangString(4333), libraryPath)).c_str());
        return kLibraryNotLoaded;
    }
    if (!library) library = LoadLibraryA(libraryPath.c_str());
    if (!library) {
        MLOGAdd(Format("NOTES: %s.", Format(LoadLangString(4333), libraryPath)).c_str());
        return kLibraryNotLoaded;
    }
    if (const char* missing = api.Bind(library)) {
        MLOGAdd(Format("NOTES: %s.", Format(LoadLangString(4341), missing)).c_str());
        return kLibraryNotLoaded;
    }
    initialised = true;
    return 0;
}

const char* NotesApi::Bind(HMODULE module) {
    BRIARHOLT_NOTES_CALLS(TESS_NOTES_BIND_CALL)
    return nullptr;
}

void CNotesPlugInApp::Uninitialize() {
    initialised = false;
    folders.clear();
}

int CNotesPlugInApp::Logon(const NotesLogonRecord& r, int flags) {
    logging = (flags & 2) != 0;
    idFile = r.idFile.GetString();
    password = r.password.GetString();
    iniPath = r.programDirectory.GetString();
    days = r.days == 0 ? 1000 : r.days;
    separator = r.newerHandheld ? ";" : ",";
    attachmentsWanted = r.downloadAttachments != 0;
    localSync = r.localSync != 0;
    progressWindow = static_cast<HWND>(r.parentWindow);
    if (logging) {
        char line[2048];
        std::snprintf(line, sizeof line, "%-20s: %s\n%-20s: %s\n%-20s: %s\n%-20s: %s", "ID File", idFile.c_str(),
                      "Password", password.empty() ? "No" : "Yes", "Notes INI", iniPath.c_str(), "Local Sync",
                      localSync ? "Yes" : "No");
        Log(line);
    }
    if (iniPath.empty() || idFile.empty()) return kNoRecord;
    if (!initialised || !client) return kNotInitialised;
    Log("Switching to user.");
    if (client->SwitchIdFile(NotesLogonInfo{iniPath, idFile, password}) != 0) return kLogonFailed;
    Log("Switch complete.");
    if (logging) {
        std::string dump = "Notes Configuration Object Dump:\n";
        auto line = [&](const char* name, const std::string& value) {
            char buf[1024];
            std::snprintf(buf, sizeof buf, "%-20s: %s\n", name, value.c_str());
            dump += buf;
        };
        line("Notes Path", client->programDirectory());
        line("Data Path", client->dataDirectory());
        line("Notes INI Path", client->workingIni());
        line("Comp INI Path", client->installIni());
        line("Note ID", client->idFile());
        line("Mail Server", client->mailServer());
        line("User", client->userName());
        line("User DN", client->fullUserName());
        Log(dump);
    }
    userName = client->userName();
    userDn = client->fullUserName();
    Log("Initializing mail file.");
    if (const int rc = OpenMailFile(); rc != 0) {
        Log(Format("NOTES: NOTES logon failed for user '%s'", userName));
        return rc;
    }
    Log("Initialized mail file complete.");
    Log("Getting unread note table.");
    if (api.NSFDbGetUnreadNoteTable(mailDb, userDn.c_str(), static_cast<WORD>(userDn.size()), 1, &unread) == NOERROR)
        api.NSFDbUpdateUnread(mailDb, unread);
    else
        unread = 0;
    Log("Finished getting unread note table.");
    Log("Getting folder list.");
    BuildFolderList();
    Log("Finished getting folder list.");
    return 0;
}

int CNotesPlugInApp::OpenMailFile() {
    char value[256] = {};
    if (!api.OSGetEnvironmentString("MailServer", value, sizeof value) || !value[0]) return kNoMailServer;
    mailServer = std::string(value).substr(0, 255);
    Log("Mail Server: " + mailServer);
    if (!api.OSGetEnvironmentString("MailFile", value, sizeof value) || !value[0]) return kNoMailFile;
    mailFile = std::string(value).substr(0, 255);
    Log("Mail File: " + mailFile);
    mailFileName = mailFile.substr(0, mailFile.find('.'));
    char path[256] = {};
    if (!localSync) {
        api.OSPathNetConstruct(nullptr, mailServer.c_str(), mailFile.c_str(), path);
    } else if (mailFile.size() > 2 && mailFile[1] == ':' && mailFile[2] == '\\') {
        std::snprintf(path, sizeof path, "%s", mailFile.c_str());
    } else {
        std::string dir = client->dataDirectory();
        if (!dir.empty() && dir.back() != '\\' && dir.back() != '/') dir += "/";
        std::string local = dir + mailFile;
        for (auto& c : local)
            if (c == '\\') c = '/';
        if (std::filesystem::exists(local)) {
            std::snprintf(path, sizeof path, "%s", local.c_str());
        } else {
            const size_t slash = mailFile.rfind('\\');
            api.OSPathNetConstruct(nullptr, "", mailFile.substr(slash == std::string::npos ? 0 : slash + 1).c_str(),
                                   path);
        }
    }
    mailFilePath = std::string(path).substr(0, 255);
    Log("Constructed Message File: " + mailFilePath);
    Log("Opening the mail file.");
    if (api.MailOpenMessageFile(mailFilePath.c_str(), &mailDb) != NOERROR) {
        mailDb = 0;
        return kMailFileNotOpen;
    }
    Log("Opened mail file.");
    Log("Looking up user in NAB.");
    if (!Lookup(userName, userAddress)) userAddress = userName;
    Log("Lookup complete.");
    return 0;
}

bool CNotesPlugInApp::FindDesign(const char* name, NOTEID& id) const {
    return api.NIFFindDesignNoteExt(mailDb, name, NOTE_CLASS_VIEW, "-G40n", &id, 0) == NOERROR;
}

bool CNotesPlugInApp::ReadCollection(NOTEID view, std::vector<NOTEID>& ids) const {
    HCOLLECTION coll = 0;
    if (api.NIFOpenCollection(mailDb, mailDb, view, 0, 0, &coll, nullptr, nullptr, nullptr, nullptr) != NOERROR)
        return false;
    COLLECTIONPOSITION pos{};
    WORD signal = 0;
    do {
        DHANDLE buffer = 0;
        DWORD returned = 0;
        if (api.NIFReadEntries(coll, &pos, 0, 1, 0, 0xFFFFFFFF, 1, &buffer, nullptr, nullptr, &returned, &signal) !=
            NOERROR)
            break;
        if (buffer) {
            const auto* p = static_cast<const NOTEID*>(api.OSLockObject(buffer));
            ids.insert(ids.end(), p, p + returned);
            api.OSUnlockObject(buffer);
            api.OSMemFree(buffer);
        }
    } while (signal & SIGNAL_MORE_TO_DO);
    api.NIFCloseCollection(coll);
    return true;
}

void CNotesPlugInApp::BuildFolderList() {
    folders.clear();
    NOTEID view = 0;
    if (!FindDesign("$FolderInfo", view)) return;
    std::vector<NOTEID> ids;
    if (!ReadCollection(view, ids)) return;
    for (NOTEID id : ids) {
        NOTEHANDLE note = 0;
        if (api.NSFNoteOpen(mailDb, id, 0, &note) != NOERROR) continue;
        char name[129] = {};
        api.NSFItemGetText(note, "$Name", name, 128);
        api.NSFNoteClose(note);
        const std::string text = FromNotes(name);
        const bool inbox = Contains(text, "$Inbox"), trash = Contains(text, "$Trash");
        if (!inbox && !trash) {
            if (!Contains(text, "$") && !Contains(text, "(")) folders.push_back({text, text, id, -1});
            continue;
        }
        std::string internal = text;
        if (!internal.empty() && internal.front() == '(') internal.erase(0, 1);
        if (!internal.empty() && internal.back() == ')') internal.pop_back();
        std::string display = internal;
        if (!display.empty() && display.front() == '$') display.erase(0, 1);
        folders.push_back({display, internal, id, inbox ? 0 : 4});
    }
    for (const auto& [name, type] : {std::pair<const char*, int32_t>{"($Sent)", 3}, {"($Drafts)", 2}}) {
        NOTEID id = 0;
        if (!FindDesign(name, id)) continue;
        std::string internal = std::string(name).substr(2);
        internal.pop_back();
        folders.push_back({internal, internal, id, type});
    }
}

void CNotesPlugInApp::Logoff() {
    if (mailDb) api.MailCloseMessageFile(mailDb);
    mailDb = 0;
    // mail.box belongs to this user's mail server: a later logon may name another one.
    if (mailBox) api.MailCloseMessageFile(mailBox);
    mailBox = 0;
    if (unread) api.IDDestroyTable(unread);
    unread = 0;
}

int CNotesPlugInApp::SetReadStatus(const MailMsg* msg, int read) {
    if (!initialised || !mailDb || !unread || !msg) return 100;
    const NOTEID id =
        NoteIdOf(std::string(reinterpret_cast<const char*>(msg->msgId), msg->msgId ? msg->msgIdLength : 0));
    DHANDLE copy = 0;
    if (api.IDTableCopy(unread, &copy) != NOERROR) return 100;
    if (read)
        api.IDDelete(copy, id, nullptr);
    else
        api.IDInsert(copy, id, nullptr);
    api.NSFDbSetUnreadNoteTable(mailDb, userDn.c_str(), static_cast<WORD>(userDn.size()), 1, unread, copy);
    api.IDDestroyTable(copy);
    api.NSFDbUpdateUnread(mailDb, unread);
    return 0;
}

// Into "$Trash" and out of "$Inbox"; 0 when both moves were made.
int CNotesPlugInApp::MoveBetweenFolders(NOTEID note) {
    DHANDLE table = 0;
    if (api.IDCreateTable(sizeof(NOTEID), &table) != NOERROR) return 1;
    api.IDInsert(table, note, nullptr);
    NOTEID trash = 0, inbox = 0;
    const bool moved = FindDesign("($Trash)", trash) && api.FolderDocAdd(mailDb, 0, trash, table, 0) == NOERROR &&
                       FindDesign("($Inbox)", inbox) && api.FolderDocRemove(mailDb, 0, inbox, table, 0) == NOERROR;
    api.IDDestroyTable(table);
    return moved ? 0 : 1;
}

int CNotesPlugInApp::DeleteMsg(const MailMsg* msg) {
    if (!msg) return 3;
    if (!mailDb && OpenMailFile() != 0) return kMailFileNotOpen;
    const NOTEID id =
        NoteIdOf(std::string(reinterpret_cast<const char*>(msg->msgId), msg->msgId ? msg->msgIdLength : 0));
    SetReadStatus(msg, 1);
    if (MoveBetweenFolders(id) == 0) return 0;
    return api.NSFNoteDelete(mailDb, id, UPDATE_FORCE | UPDATE_NOSTUB) == NOERROR ? 0 : 3;
}

int CNotesPlugInApp::SendMsg(const MailMsg* block) {
    const CMsg msg(block);
    if (!mailBox) {
        char path[256] = {};
        api.OSPathNetConstruct(nullptr, mailServer.c_str(), "mail.box", path);
        if (api.MailOpenMessageFile(path, &mailBox) != NOERROR) {
            mailBox = 0;
            return kMailFileNotOpen;
        }
    }
    NOTEHANDLE note = 0;
    if (api.MailCreateMessage(mailDb, &note) != NOERROR) return kMailBoxFailed;
    // A mail that did not reach mail.box is a failed send, so that the handheld keeps it.
    int answer = kMailBoxFailed;
    DHANDLE body = 0;
    auto addressesOf = [&](const std::string& list) {
        std::string copy = list;
        std::vector<std::string> out;
        tess::SplitAddressList(copy, out, separator == ";");
        return out;
    };
    auto makeList = [&](const std::vector<std::string>& addresses, DHANDLE& list, WORD& size) {
        void* ptr = nullptr;
        if (api.ListAllocate(0, 0, 1, &list, &ptr, &size) != NOERROR) return false;
        api.OSUnlockObject(list);
        WORD n = 0;
        for (const auto& a : addresses)
            if (!a.empty()) api.ListAddEntry(list, 1, &size, n++, a.c_str(), static_cast<WORD>(a.size()));
        return true;
    };
    const std::vector<std::string> to = addressesOf(msg.To), cc = addressesOf(msg.Cc), bcc = addressesOf(msg.Bcc);
    // Each step below ends the send early when Notes refuses it.
    do {
        std::vector<std::string> all = to;
        all.insert(all.end(), cc.begin(), cc.end());
        all.insert(all.end(), bcc.begin(), bcc.end());
        DHANDLE list = 0;
        WORD size = 0;
        if (!makeList(all, list, size) || api.MailAddRecipientsItem(note, list, size) != NOERROR) break;
        bool ok = true;
        for (const auto& [addresses, item] :
             {std::pair{&to, WORD(MAIL_SENDTO_ITEM_NUM)}, std::pair{&cc, WORD(MAIL_COPYTO_ITEM_NUM)},
              std::pair{&bcc, WORD(MAIL_BLINDCOPYTO_ITEM_NUM)}}) {
            if (addresses->empty()) continue;
            if (!makeList(*addresses, list, size) ||
                api.MailAddHeaderItemByHandle(note, item, list, size, 0) != NOERROR)
                ok = false;
        }
        if (!ok) break;
        const std::string from = !userDn.empty() ? userDn : msg.From;
        if (from.empty()) break;
        if (api.MailAddHeaderItem(note, MAIL_FROM_ITEM_NUM, from.c_str(), static_cast<WORD>(from.size())) != NOERROR)
            break;
        if (!msg.Subject.empty() && api.MailAddHeaderItem(note, MAIL_SUBJECT_ITEM_NUM, msg.Subject.c_str(),
                                                          static_cast<WORD>(msg.Subject.size())) != NOERROR)
            break;
        if (!msg.Body.empty()) {
            DWORD length = 0;
            if (api.MailCreateBodyItem(&body, &length) != NOERROR) break;
            size_t start = 0;
            while (true) {
                const size_t end = msg.Body.find("\r\n", start);
                const std::string line =
                    msg.Body.substr(start, end == std::string::npos ? std::string::npos : end - start);
                api.MailAppendBodyItemLine(body, &length, line.c_str(),
                                           static_cast<WORD>(std::min<size_t>(line.size(), 0xFFFF)));
                if (end == std::string::npos) break;
                start = end + 2;
            }
            if (api.MailAddBodyItem(note, body, length, nullptr) != NOERROR) break;
        }
        if (!msg.AttachmentNames.empty()) {
            std::vector<std::string> paths, names, shortNames;
            tess::SplitAttachmentPaths(msg.AttachmentNames, paths, names, shortNames);
            bool attached = true;
            for (size_t i = 0; i < paths.size(); ++i)
                if (api.MailAddMessageAttachment(note, paths[i].c_str(), names[i].c_str()) != NOERROR) attached = false;
            if (!attached) break;
        }
        TIMEDATE now{};
        api.OSCurrentTIMEDATE(&now);
        api.MailAddHeaderItem(note, MAIL_POSTEDDATE_ITEM_NUM, reinterpret_cast<const char*>(&now), sizeof now);
        if (api.NSFNoteUpdate(note, UPDATE_FORCE) != NOERROR) break;
        NOTEID saved = 0;
        api.NSFNoteGetInfo(note, NOTE_INFO_ID, &saved);
        if (saved) {
            DBHANDLE db = 0;
            ORIGINATORID oid{};
            api.NSFNoteGetInfo(note, NOTE_INFO_DB, &db);
            api.NSFNoteGetInfo(note, NOTE_INFO_OID, &oid);
            const NOTEID fresh = 0x80000001u;
            api.NSFNoteSetInfo(note, NOTE_INFO_ID, &fresh);
            api.NSFNoteSetInfo(note, NOTE_INFO_DB, &mailBox);
            if (api.NSFNoteUpdate(note, UPDATE_FORCE) != NOERROR) {
                api.NSFNoteSetInfo(note, NOTE_INFO_DB, &db);
                api.NSFNoteSetInfo(note, NOTE_INFO_ID, &saved);
                api.NSFNoteSetInfo(note, NOTE_INFO_OID, &oid);
                api.NSFNoteDelete(mailDb, saved, UPDATE_FORCE | UPDATE_NOSTUB);
                break;
            }
            answer = 0;
        }
    } while (false);
    if (body) api.OSMemFree(body);
    api.MailCloseMessage(note);
    return answer;
}

}  // namespace notes
