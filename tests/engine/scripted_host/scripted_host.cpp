// The scripted message host: the export family over the test's mailbox.
#include "tests/engine/scripted_host/scripted_host.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/msg_record.h"
#include "engine/tidewater.h"

using tess::AttachmentTable;
using tess::CMsg;
using tess::FolderRecord;
using tess::FreeMailMsgBlock;
using tess::LogonRecord;
using tess::MailMsg;
using tess::MapiLogonRecord;
using tess::MsgIdDescriptor;
using tess::PopLogonRecord;

namespace scripted {

using tess::CMsg;
using tess::FolderRecord;
using tess::kMsgFlagRead;
using tess::MailMsg;

namespace {

State g;
std::string g_selected = "Inbox";
int g_tempCounter = 0;

bool Fails(const char* name, int* rc) {
    g.calls.push_back(name);
    auto it = g.failures.find(name);
    if (it == g.failures.end()) return false;
    *rc = it->second;
    return true;
}

Folder* FolderOf(const FolderRecord* f) { return g.find(f && f->name ? f->name : "Inbox"); }

uint32_t UidOf(const void* bytes, int length) {
    if (length != 4 || !bytes) return 0;
    const auto* b = static_cast<const uint8_t*>(bytes);
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

Message* FindById(Folder* f, const void* bytes, int length, bool withDeleted = false) {
    if (!f) return nullptr;
    const std::string text(static_cast<const char*>(bytes), size_t(std::max(0, length)));
    const uint32_t uid = UidOf(bytes, length);
    for (Message& m : f->msgs) {
        if (m.deleted && !withDeleted) continue;
        if (!m.msgId.empty() ? m.msgId == text : (uid != 0 && m.uid == uid)) return &m;
    }
    return nullptr;
}

// A message flagged deleted can still be flagged again, as on an IMAP server.
Message* FindByBlock(Folder* f, const MailMsg* b, bool withDeleted = false) {
    if (!b) return nullptr;
    if (b->msgIdLength > 0) {
        if (Message* m = FindById(f, b->msgId, b->msgIdLength, withDeleted)) return m;
    }
    return b->hostIdLength == 4 ? FindById(f, b->hostId, 4, withDeleted) : nullptr;
}

MailMsg* Block(const Message& m, bool full) {
    CMsg c;
    const uint8_t uid[4] = {uint8_t(m.uid), uint8_t(m.uid >> 8), uint8_t(m.uid >> 16), uint8_t(m.uid >> 24)};
    // A host with message ids (POP) reports those; the others their UIDs.
    if (!m.msgId.empty())
        c.msgId.SetData(m.msgId.data(), int32_t(m.msgId.size()));
    else
        c.hostId.SetData(uid, 4);
    c.From = m.from;
    c.To = m.to;
    c.Cc = m.cc;
    c.Subject = m.subject;
    c.date = m.date;
    c.size = int32_t(m.body.size());
    c.flags = m.read ? uint32_t(kMsgFlagRead) : 0u;
    if (full) {
        c.Body = m.body;
        for (const Attachment& a : m.attachments) c.AddAttachmentName(a.name);
    }
    MailMsg* out = nullptr;
    c.ToMailMsg(&out);
    return out;
}

MailMsg** NewArray(size_t n) { return static_cast<MailMsg**>(std::calloc(n ? n : 1, sizeof(MailMsg*))); }

}  // namespace

Folder* State::find(const std::string& name) {
    for (Folder& f : folders)
        if (f.name == name) return &f;
    return nullptr;
}

Message& State::add(const std::string& folder, Message m) {
    Folder* f = find(folder);
    if (!f) {
        folders.push_back({folder, -1, {}});
        f = &folders.back();
    }
    if (m.uid == 0) m.uid = nextUid++;
    f->msgs.push_back(std::move(m));
    return f->msgs.back();
}

int State::count(const std::string& name) const { return int(std::count(calls.begin(), calls.end(), name)); }

State& state() { return g; }

void reset() {
    g = State();
    g.folders = {{"Inbox", 0, {}}, {"Sent", 3, {}}, {"Trash", 4, {}}};
    g_selected = "Inbox";
}

}  // namespace scripted

using namespace scripted;

TESS_API int Initialize() {
    int rc;
    return Fails("Initialize", &rc) ? rc : 0;
}
TESS_API int Uninitialize() {
    int rc;
    return Fails("Uninitialize", &rc) ? rc : 0;
}
TESS_API int Logon(const void* record, int, int) {
    int rc;
    if (Fails("Logon", &rc)) return rc;
    if (g.mapiLogon) {
        const auto* r = static_cast<const MapiLogonRecord*>(record);
        g.logonUser = r->profile.GetString();
    } else if (g.popLogon) {
        const auto* r = static_cast<const PopLogonRecord*>(record);
        g.logonServer = r->server.GetString();
        g.logonUser = r->user.GetString();
        g.logonPort = r->port;
    } else {
        const auto* r = static_cast<const LogonRecord*>(record);
        g.logonServer = r->server.GetString();
        g.logonUser = r->user.GetString();
        g.logonPort = r->port;
    }
    return 0;
}
TESS_API int Logoff() {
    int rc;
    return Fails("Logoff", &rc) ? rc : 0;
}
TESS_API int HostSupportsPartialMessages() {
    g.calls.push_back("HostSupportsPartialMessages");
    return g.partial ? 1 : 0;
}
TESS_API int GetFolderList(FolderRecord*** out, int* count) {
    int rc;
    if (Fails("GetFolderList", &rc)) return rc;
    auto** list = static_cast<FolderRecord**>(std::calloc(g.folders.size() + 1, sizeof(FolderRecord*)));
    for (size_t i = 0; i < g.folders.size(); ++i) {
        auto* f = static_cast<FolderRecord*>(std::calloc(1, sizeof(FolderRecord)));
        f->name = strdup(g.folders[i].name.c_str());
        f->type = g.folders[i].type;
        list[i] = f;
    }
    *out = list;
    *count = int(g.folders.size());
    return 0;
}
TESS_API int FreeFolderList(FolderRecord** list, int count) {
    g.calls.push_back("FreeFolderList");
    for (int i = 0; i < count; ++i) {
        if (!list[i]) continue;
        std::free(list[i]->name);
        std::free(list[i]->extra);
        std::free(list[i]);
    }
    std::free(list);
    return 0;
}
TESS_API int GetMsgIds(FolderRecord* folder, MailMsg*** out, int* count) {
    int rc;
    if (Fails("GetMsgIds", &rc)) return rc;
    Folder* f = FolderOf(folder);
    if (!f) return 213;
    MailMsg** list = NewArray(f->msgs.size());
    int n = 0;
    for (const Message& m : f->msgs)
        if (!m.deleted) list[n++] = Block(m, false);
    *out = list;
    *count = n;
    return 0;
}
TESS_API int GetMsgHeaders(FolderRecord* folder, MailMsg*** out, int* count, MsgIdDescriptor** ids, int* idCount) {
    int rc;
    if (Fails("GetMsgHeaders", &rc)) return rc;
    Folder* f = FolderOf(folder);
    if (!f) return 213;
    MailMsg** list = NewArray(size_t(*idCount));
    int n = 0;
    for (int i = 0; i < *idCount; ++i)
        if (Message* m = FindById(f, ids[i]->bytes, ids[i]->length)) list[n++] = Block(*m, false);
    *out = list;
    *count = n;
    return 0;
}
TESS_API int GetAllMsgs(FolderRecord* folder, MailMsg*** out, int* count, int) {
    int rc;
    if (Fails("GetAllMsgs", &rc)) return rc;
    Folder* f = FolderOf(folder);
    if (!f) return 213;
    MailMsg** list = NewArray(f->msgs.size());
    int n = 0;
    for (const Message& m : f->msgs)
        if (!m.deleted) list[n++] = Block(m, true);
    *out = list;
    *count = n;
    return 0;
}
TESS_API int GetMsg(FolderRecord* folder, const MsgIdDescriptor* id, MailMsg** out) {
    int rc;
    if (Fails("GetMsg", &rc)) return rc;
    Message* m = FindById(FolderOf(folder), id->bytes, id->length);
    if (!m) return 3;
    *out = Block(*m, true);
    return 0;
}
TESS_API int FreeMailMsg(MailMsg** items, int count) {
    g.calls.push_back("FreeMailMsg");
    for (int i = 0; i < count; ++i) FreeMailMsgBlock(items[i]);
    std::free(items);
    return 0;
}
TESS_API int SetMsg(int) { return 0; }
TESS_API int SetMsgPriority(int, int, int) { return 0; }
TESS_API int SetMsgReadStatus(FolderRecord* folder, const MailMsg* msg, int seen) {
    int rc;
    if (Fails("SetMsgReadStatus", &rc)) return rc;
    Message* m = FindByBlock(FolderOf(folder), msg);
    if (!m) return 2;
    m->read = seen != 0;
    return 0;
}
TESS_API int SendMsg(const MailMsg* msg) {
    int rc;
    if (Fails("SendMsg", &rc)) return rc;
    const CMsg c(msg);
    SentMail s{c.From, c.To, c.Cc, c.Bcc, c.ReplyTo, c.Subject, c.Body, {}};
    for (const std::string& path : c.AttachmentNameList()) {
        std::ifstream in(path, std::ios::binary);
        if (!in) return 212;  // the engine named a file that is not there
        std::ostringstream data;
        data << in.rdbuf();
        s.attachments.push_back({std::filesystem::path(path).filename().string(), data.str()});
    }
    g.sent.push_back(std::move(s));
    return 0;
}
TESS_API int DeleteMsg(FolderRecord* folder, const MailMsg* msg) {
    int rc;
    if (Fails("DeleteMsg", &rc)) return rc;
    Folder* f = FolderOf(folder);
    Message* m = FindByBlock(f, msg, true);
    if (!m) return 2;
    f->msgs.erase(f->msgs.begin() + (m - f->msgs.data()));
    return 0;
}
TESS_API int GetMessageAttachment(FolderRecord* folder, int idLength, const void* idBytes, AttachmentTable** out) {
    int rc;
    if (Fails("GetMessageAttachment", &rc)) return rc;
    Message* m = FindById(FolderOf(folder && folder->name ? folder : nullptr), idBytes, idLength);
    if (!m) return 2;
    auto* t = static_cast<AttachmentTable*>(std::calloc(1, sizeof(AttachmentTable)));
    const char* home = std::getenv("TESSALINE_HOME");
    const std::filesystem::path dir = std::filesystem::path(home ? home : "/tmp") / "scripted_host";
    for (const Attachment& a : m->attachments) {
        if (t->count == 10) break;
        // Each file under its own name, as a mail client saves it, in a folder of its own.
        const std::filesystem::path folder = dir / std::to_string(++g_tempCounter);
        std::filesystem::create_directories(folder);
        const std::filesystem::path file = folder / a.name;
        std::ofstream(file, std::ios::binary) << a.data;
        std::snprintf(t->path[t->count++], sizeof t->path[0], "%s", file.c_str());
        ++g.openAttachmentFiles;
    }
    *out = t;
    return 0;
}
TESS_API int FreeAttachment(AttachmentTable** table) {
    g.calls.push_back("FreeAttachment");
    if (!table || !*table) return 1;
    for (int i = 0; i < (*table)->count; ++i) {
        std::error_code ec;
        if (std::filesystem::remove((*table)->path[i], ec)) --g.openAttachmentFiles;
    }
    std::free(*table);
    *table = nullptr;
    return 0;
}
TESS_API int IMAP4Commit() {
    int rc;
    if (Fails("IMAP4Commit", &rc)) return rc;
    for (Folder& f : g.folders)
        f.msgs.erase(std::remove_if(f.msgs.begin(), f.msgs.end(), [](const Message& m) { return m.deleted; }),
                     f.msgs.end());
    return 0;
}
TESS_API int IMAP4SelectFolder(const char* name) {
    int rc;
    if (Fails("IMAP4SelectFolder", &rc)) return rc;
    if (!g.find(name)) return 12;
    g_selected = name;
    return 0;
}
TESS_API int IMAP4CopyMessage(uint32_t uid, const char* from, const char* to) {
    int rc;
    if (Fails("IMAP4CopyMessage", &rc)) return rc;
    Folder* src = g.find(from);
    Folder* dst = g.find(to);
    if (!src || !dst) return 12;
    const uint8_t b[4] = {uint8_t(uid), uint8_t(uid >> 8), uint8_t(uid >> 16), uint8_t(uid >> 24)};
    Message* m = FindById(src, b, 4);
    if (!m) return 13;
    Message copy = *m;
    copy.uid = g.nextUid++;
    m->deleted = true;
    dst->msgs.push_back(copy);
    return 0;
}
TESS_API int IMAP4AddFolder(const char* name) {
    int rc;
    if (Fails("IMAP4AddFolder", &rc)) return rc;
    if (g.find(name)) return 16;
    g.folders.push_back({name, -1, {}});
    return 0;
}
TESS_API int IMAP4DeleteFolder(const char* name) {
    int rc;
    if (Fails("IMAP4DeleteFolder", &rc)) return rc;
    for (auto it = g.folders.begin(); it != g.folders.end(); ++it)
        if (it->name == name) {
            g.folders.erase(it);
            return 0;
        }
    return 12;
}
TESS_API int IMAP4RenameFolder(const char* name, const char* newName) {
    int rc;
    if (Fails("IMAP4RenameFolder", &rc)) return rc;
    Folder* f = g.find(name);
    if (!f) return 12;
    f->name = newName;
    return 0;
}
TESS_API int IMAP4SetSeenFlag(const char*, uint32_t uid, int seen) {
    int rc;
    if (Fails("IMAP4SetSeenFlag", &rc)) return rc;
    const uint8_t b[4] = {uint8_t(uid), uint8_t(uid >> 8), uint8_t(uid >> 16), uint8_t(uid >> 24)};
    Message* m = FindById(g.find(g_selected), b, 4);
    if (!m) return 15;
    m->read = seen != 0;
    return 0;
}
