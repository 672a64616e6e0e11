// Reading notes into message records: the folder's recent notes, their recipients, body
// text, attachment names and attachment files.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "common/address_list.h"
#include "common/language_module.h"
#include "hosts/notes/notes_session.h"
#include "platform/syncmgr/syncmgr.h"

namespace notes {

using tess::AttachmentTable;
using tess::CMsg;
using tess::FolderRecord;
using tess::kMsgFlagRead;
using tess::kMsgFlagSeenOnHost;
using tess::kProgressAdvanceStep;
using tess::kProgressSetStepCount;
using tess::LoadLangString;
using tess::MailMsg;

namespace {

STATUS CollectMatch(void* param, const SEARCH_MATCH* match, const void*) {
    auto* s = static_cast<std::pair<const NotesApi*, DHANDLE>*>(param);
    if (match->SERetFlags & SE_FMATCH) s->first->IDInsert(s->second, match->ID, nullptr);
    return NOERROR;
}

std::string MsgIdText(const CMsg& msg) {
    int32_t length = 0;
    const uint8_t* bytes = msg.msgId.GetData(&length);
    return bytes ? std::string(reinterpret_cast<const char*>(bytes), static_cast<size_t>(length)) : std::string();
}

// An open note of the mail file (opened again by its path) for one read.
class NoteReader {
public:
    NoteReader(const CNotesPlugInApp& app, const CMsg& msg) : app_(app) {
        if (!(msg.flags & kMsgFlagSeenOnHost))
            result_ = 3;
        else if (app.mailFilePath.empty())
            result_ = kNotInitialised;
        else if (app.api.NSFDbOpen(app.mailFilePath.c_str(), &db_) != NOERROR)
            result_ = kMailFileNotOpen, db_ = 0;
        else if (MsgIdText(msg).empty())
            result_ = kNoNoteId;
        else if (app.api.NSFNoteOpen(db_, CNotesPlugInApp::NoteIdOf(MsgIdText(msg)), 0, &note_) != NOERROR)
            result_ = kNoteNotOpen, note_ = 0;
    }
    ~NoteReader() {
        if (note_) app_.api.NSFNoteClose(note_);
        if (db_) app_.api.NSFDbClose(db_);
    }
    int result() const { return result_; }
    NOTEHANDLE note() const { return note_; }

private:
    const CNotesPlugInApp& app_;
    DBHANDLE db_ = 0;
    NOTEHANDLE note_ = 0;
    int result_ = 0;
};

// A date inside the fields the handheld can show; anything else is taken as now.
bool Plausible(const TIME& t) { return t.day >= 1 && t.day <= 31 && t.month >= 1 && t.month <= 12 && t.year >= 1970; }

std::string Format3(const std::string& pattern, const std::string& a, const std::string& b, const std::string& c) {
    std::string out(pattern.size() + a.size() + b.size() + c.size() + 16, '\0');
    const int n = std::snprintf(out.data(), out.size(), pattern.c_str(), a.c_str(), b.c_str(), c.c_str());
    out.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return out;
}

}  // namespace

int CNotesPlugInApp::ReadRecipients(CMsg& msg, bool withBlindCopies) const {
    NoteReader reader(*this, msg);
    if (reader.result()) return reader.result();
    const NOTEHANDLE note = reader.note();
    msg.status &= static_cast<uint16_t>(~0x0300);
    const std::vector<std::string> copyTo = TextList(note, "CopyTo");
    WORD length = 0;
    char probe[2];
    if (api.MailGetMessageItem(note, MAIL_BLINDCOPYTO_ITEM_NUM, probe, 1, &length)) {
        msg.status |= 0x0200;
        if (withBlindCopies) msg.Bcc = ConvertAddressList(FromNotes(MailItem(note, MAIL_BLINDCOPYTO_ITEM_NUM, 1024)));
    } else {
        for (const auto& c : copyTo)
            if (c == userName || c == userAddress || c == userDn) msg.status |= 0x0100;
    }
    std::string cc, to;
    for (const auto& c : copyTo) cc += (cc.empty() ? "" : ";") + c;
    for (const auto& t : TextList(note, "SendTo")) to += (to.empty() ? "" : ";") + t;
    msg.Cc = ConvertAddressList(cc);
    msg.To = ConvertAddressList(to);
    return 0;
}

int CNotesPlugInApp::ReadBody(CMsg& msg) const {
    NoteReader reader(*this, msg);
    if (reader.result()) return reader.result();
    BLOCKID item{}, value{};
    WORD type = 0;
    DWORD length = 0;
    if (api.NSFItemInfo(reader.note(), "Body", 4, &item, &type, &value, &length) != NOERROR) return 0;
    const std::string file = TempDirectory() + "Body";
    DWORD size = 0;
    if (api.MailGetMessageBodyText(reader.note(), "Body", "\r\n", 80, 1, file.c_str(), &size) != NOERROR) {
        std::remove(file.c_str());
        return kBodyNotWritten;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        std::remove(file.c_str());
        return kBodyFileNotOpen;
    }
    std::string text(65534, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(in.gcount()));
    in.close();
    std::remove(file.c_str());
    std::erase(text, '\xFF');
    msg.Body = tess::UnwrapLines(FromNotes(text));
    return 0;
}

int CNotesPlugInApp::ReadAttachmentNames(CMsg& msg) const {
    if (!(msg.flags & 0x10000)) return 0;
    NoteReader reader(*this, msg);
    if (reader.result()) return reader.result();
    msg.flags &= ~0x10000u;
    char name[257] = {};
    BLOCKID item{};
    DWORD size = 0;
    for (WORD i = 0; api.MailGetMessageAttachmentInfo(reader.note(), i, &item, &size, name, sizeof name); ++i) {
        if (!msg.AttachmentNames.empty()) msg.AttachmentNames += ",";
        msg.AttachmentNames += "\t" + std::string(name);
    }
    return 0;
}

int CNotesPlugInApp::GetAllMsgs(const FolderRecord* folder, MailMsg*** out, int* count, int option) {
    Log("NOTES: Beginning to get all messages.");
    if (count) *count = 0;
    if (out) *out = nullptr;
    if (!initialised) return kNotInitialised;
    NOTEID folderId = 0;
    if (!mailDb || !folder || folder->extraLength != 4 || !folder->extra) return kNeedsLogon;
    std::memcpy(&folderId, folder->extra, sizeof folderId);
    if (!FindFolder(folderId)) return kNeedsLogon;
    SyncYieldCycles(10);
    TIMEDATE cutoff{};
    api.OSCurrentTIMEDATE(&cutoff);
    api.TimeDateAdjust(&cutoff, 0, 0, 0, -days, 0, 0);
    DHANDLE recent = 0;
    if (api.IDCreateTable(sizeof(NOTEID), &recent) != NOERROR) return kListFailed;
    std::pair<const NotesApi*, DHANDLE> search{&api, recent};
    if (api.NSFSearch(mailDb, 0, nullptr, 1026, NOTE_CLASS_DOCUMENT, &cutoff, CollectMatch, &search, nullptr) !=
        NOERROR) {
        api.IDDestroyTable(recent);
        return kListFailed;
    }
    if (api.IDEntries(recent) == 0) {
        api.IDDestroyTable(recent);
        return 0;
    }
    DHANDLE inFolder = 0;
    if (api.NSFFolderGetIDTable(mailDb, mailDb, folderId, 0, &inFolder) != NOERROR) {
        std::vector<NOTEID> ids;
        if (api.IDCreateTable(sizeof(NOTEID), &inFolder) != NOERROR || !ReadCollection(folderId, ids)) {
            if (inFolder) api.IDDestroyTable(inFolder);
            api.IDDestroyTable(recent);
            return kListFailed;
        }
        for (NOTEID note : ids) api.IDInsert(inFolder, note, nullptr);
    }
    std::vector<std::unique_ptr<CMsg>> records;
    if (api.IDEntries(inFolder) != 0) SendMessageA(progressWindow, kProgressSetStepCount, api.IDEntries(recent), 0);
    NOTEID id = 0;
    for (NBOOL more = api.IDEntries(inFolder) ? api.IDScan(recent, 1, &id) : 0; more;
         more = api.IDScan(recent, 0, &id)) {
        if (!api.IDIsPresent(inFolder, id)) continue;
        SyncYieldCycles(10);
        NOTEHANDLE note = 0;
        if (api.NSFNoteOpen(mailDb, id, 0, &note) != NOERROR) {
            Log("NOTES: Unable to open a message in message list.");
            continue;
        }
        auto msg = std::make_unique<CMsg>();
        msg->flags |= kMsgFlagSeenOnHost;
        if (unread) {
            if (api.IDIsPresent(unread, id))
                msg->flags &= ~kMsgFlagRead;
            else
                msg->flags |= kMsgFlagRead;
        }
        const std::string idText = std::to_string(id);
        msg->msgId.SetData(idText.data(), static_cast<int32_t>(idText.size()));
        msg->hostId.SetData(mailFileName.data(), static_cast<int32_t>(mailFileName.size()));
        char priority[33] = {};
        WORD priorityLength = 0;
        const int level = api.MailGetMessageItem(note, MAIL_DELIVERYPRIORITY_ITEM_NUM, priority, 32, &priorityLength)
                              ? std::atoi(std::string(priority, priorityLength).c_str())
                              : 1;
        msg->flags &= ~0x600000u;
        if (level == 0)
            msg->flags |= 0x400000;
        else if (level != 2)
            msg->flags |= 0x200000;
        msg->From = ConvertAddress(FromNotes(MailItem(note, MAIL_FROM_ITEM_NUM, 256)));
        msg->Subject = FromNotes(MailItem(note, MAIL_SUBJECT_ITEM_NUM, 256));
        // The record's date: the delivery time, else the compose time, else now.
        TIMEDATE when{};
        bool known = api.MailGetMessageItemTimeDate(note, MAIL_DELIVEREDDATE_ITEM_NUM, &when) ||
                     api.MailGetMessageItemTimeDate(note, MAIL_POSTEDDATE_ITEM_NUM, &when);
        if (!known) {
            Log("NOTES: No compose time in message using current time.");
            api.OSCurrentTIMEDATE(&when);
        }
        TIME t{};
        t.GM = when;
        if (api.TimeGMToLocal(&t) != NOERROR) {
            Log("NOTES: Error converting compose time.");
            api.MailCloseMessage(note);
            continue;
        }
        if (!Plausible(t)) api.OSCurrentTIMEDATE(&t.GM);
        msg->date = static_cast<int32_t>(((static_cast<uint64_t>(t.GM.Innards[1]) << 32) | t.GM.Innards[0]) / 100);
        SyncYieldCycles(10);
        if (const int rc = ReadRecipients(*msg, false); rc != 0) {
            Log("NOTES: Unable to retrieve recipient header information: " + ErrorText(rc, *this));
            api.MailCloseMessage(note);
            continue;
        }
        if (attachmentsWanted) {
            BLOCKID item{};
            DWORD size = 0;
            char name[257];
            if (api.MailGetMessageAttachmentInfo(note, 0, &item, &size, name, sizeof name))
                msg->flags |= 0x10000;
            else
                msg->flags &= ~0x10000u;
        }
        if (option == 0) {
            ReadBody(*msg);
            ReadAttachmentNames(*msg);
            msg->status = static_cast<uint16_t>((msg->status & ~0xC0) | 0x80);
        }
        const std::string reason = MailItem(note, MAIL_FAILUREREASON_ITEM_NUM, 1024);
        if (!reason.empty()) {
            msg->Body = Format3(LoadLangString(4344), msg->Subject, msg->To, FromNotes(reason));
            msg->To = msg->From;
            msg->From = LoadLangString(4345);
        }
        msg->size = static_cast<int32_t>(msg->GetMailMsgSize());
        records.push_back(std::move(msg));
        api.MailCloseMessage(note);
        SendMessageA(progressWindow, kProgressAdvanceStep, 0, 0);
    }
    SyncYieldCycles(10);
    int stored = 0;
    if (!records.empty() && out) {
        auto** list = static_cast<MailMsg**>(std::calloc(records.size(), sizeof(MailMsg*)));
        if (list) {
            for (const auto& r : records)
                if (r->ToMailMsg(&list[stored]) == 0) ++stored;
            *out = list;
        }
    }
    if (count) *count = stored;
    api.IDDestroyTable(inFolder);
    api.IDDestroyTable(recent);
    Log("NOTES: Finished getting all messages.");
    return 0;
}

int CNotesPlugInApp::GetMessageAttachment(int idLength, const void* idBytes, AttachmentTable** out) const {
    if (out) *out = nullptr;
    if (!attachmentsWanted) return -1;
    if (mailFilePath.empty()) return kNotInitialised;
    DBHANDLE db = 0;
    if (api.NSFDbOpen(mailFilePath.c_str(), &db) != NOERROR) return kMailFileNotOpen;
    const std::string idText(static_cast<const char*>(idBytes),
                             idBytes && idLength > 0 ? static_cast<size_t>(idLength) : 0);
    NOTEHANDLE note = 0;
    if (api.NSFNoteOpen(db, NoteIdOf(idText), 0, &note) != NOERROR) {
        api.NSFDbClose(db);
        return kNoteNotOpen;
    }
    std::vector<std::string> paths;
    std::set<std::string> taken;  // lower case
    auto lower = [](std::string s) {
        for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    };
    int result = 0;
    char name[257] = {};
    BLOCKID item{};
    DWORD size = 0;
    for (WORD i = 0; i < 10 && api.MailGetMessageAttachmentInfo(note, i, &item, &size, name, sizeof name); ++i) {
        std::string file = std::filesystem::path(name).filename().string();
        if (file.empty()) file = "attachment";
        if (taken.count(lower(file))) {
            const size_t dot = file.rfind('.');
            const std::string stem = dot == std::string::npos ? file : file.substr(0, dot);
            const std::string ext = dot == std::string::npos ? "" : file.substr(dot);
            for (int n = 1;; ++n) {
                const std::string candidate = stem + "(" + std::to_string(n) + ")" + ext;
                if (!taken.count(lower(candidate))) {
                    file = candidate;
                    break;
                }
            }
        }
        taken.insert(lower(file));
        const std::string path = TempDirectory() + file;
        if (path.size() >= 256 || api.MailExtractMessageAttachment(note, item, path.c_str()) != NOERROR) {
            result = 3;
            break;
        }
        paths.push_back(path);
    }
    api.NSFNoteClose(note);
    api.NSFDbClose(db);
    if (result != 0) {
        for (const auto& p : paths) std::remove(p.c_str());
        return result;
    }
    if (paths.empty() || !out) return 0;
    auto* table = static_cast<AttachmentTable*>(std::calloc(1, sizeof(AttachmentTable)));
    if (!table) return kNoMemory;
    for (const auto& p : paths) {
        std::memcpy(table->path[table->count], p.c_str(), p.size() + 1);
        ++table->count;
        Log("ATT: " + p);
    }
    *out = table;
    return 0;
}

}  // namespace notes
