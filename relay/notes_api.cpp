#include "relay/notes_api.h"

#include <cstdio>
#include <cstring>

#include "platform/core/registry.h"
#include "platform/core/runtime.h"
#include "relay/relay_log.h"
#include "relay/relay_text.h"

namespace tess::relay {

namespace {

// MailAppendBodyItemLine takes at most this many bytes per paragraph.
constexpr size_t kParagraphLimit = 0xFFFF;

WORD length16(const std::string& text) { return static_cast<WORD>(std::min<size_t>(text.size(), 0xFFFF)); }

}  // namespace

const char* NotesApi::Calls::Bind(HMODULE module) {
    RELAY_NOTES_CALLS(TESS_NOTES_BIND_CALL)
    return nullptr;
}

std::string RelayNotesIniPath() { return (platform::windowsDir().parent_path() / "notes.ini").string(); }

void SplitAddressList(const std::string& text, std::vector<std::string>& out) {
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        const std::string piece =
            tess::Trim(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (!piece.empty()) out.push_back(piece);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
}

NotesApi::~NotesApi() {
    if (pathExtended_) path_.Restore();
}

bool NotesApi::Load() {
    notesDirectory_.clear();
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Lotus\\Notes\\5.0", 0, KEY_READ, &key) != ERROR_SUCCESS &&
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Lotus\\Notes\\4.0", 0, KEY_READ, &key) != ERROR_SUCCESS) {
        LogWrite(kLogFatal, Text(57418));
        return false;
    }
    char directory[260] = {};
    DWORD size = 256;
    const LSTATUS read =
        RegQueryValueExA(key, "Path", nullptr, nullptr, reinterpret_cast<unsigned char*>(directory), &size);
    RegCloseKey(key);
    if (read != ERROR_SUCCESS) {
        LogWrite(kLogFatal, Text(57419));
        return false;
    }
    notesDirectory_ = directory;
    if (path_.Extend(notesDirectory_)) pathExtended_ = true;
    // The directory as read, without a check for a trailing separator.
    libraryPath_ = notesDirectory_ + "/nnotes.dll";
    library_ = LoadLibraryA(libraryPath_.c_str());
    if (!library_) {
        LogWrite(kLogFatal, Format(57420, libraryPath_));
        return false;
    }
    if (calls_.Bind(library_)) {
        LogWrite(kLogFatal, Format(57420, libraryPath_));
        return false;
    }
    const std::string ini = RelayNotesIniPath();
    if (const STATUS status = calls_.NotesInitIni(ini.c_str()); status != NOERROR) {
        char line[600];
        std::snprintf(line, sizeof line, "Unable to initialize the Lotus Notes client with %s (status 0x%04X).",
                      ini.c_str(), status);
        LogWrite(kLogFatal, line);
        return false;
    }
    char name[257] = {};
    calls_.SECKFMGetUserName(name);
    userName_ = name;
    return true;
}

void NotesApi::Unload() {
    if (!library_) return;
    if (calls_.NotesTerm) calls_.NotesTerm();
    FreeLibrary(library_);
    library_ = nullptr;
    calls_ = Calls{};
}

bool NotesApi::OpenMailFile() {
    if (!library_ || !calls_.OSGetEnvironmentString) return false;
    char value[257] = {};
    if (!calls_.OSGetEnvironmentString("MailServer", value, 256)) {
        LogWrite(kLogFatal, Text(57426));
        return false;
    }
    mailServer_ = value;
    std::memset(value, 0, sizeof value);
    if (!calls_.OSGetEnvironmentString("MailFile", value, 256)) {
        LogWrite(kLogFatal, Text(57427));
        return false;
    }
    mailFileName_ = value;
    char path[257] = {};
    calls_.OSPathNetConstruct(nullptr, mailServer_.c_str(), mailFileName_.c_str(), path);
    if (calls_.MailOpenMessageFile(path, &mailFile_) != NOERROR) {
        mailFile_ = 0;
        LogWrite(kLogFatal, Text(57428));
        return false;
    }
    WORD level = 0, flags = 0;
    if (calls_.NSFDbAccessGet(mailFile_, &level, &flags) != NOERROR || level != ACL_MANAGER) {
        LogWrite(kLogFatal, Text(57429));
        calls_.MailCloseMessageFile(mailFile_);
        mailFile_ = 0;
        return false;
    }
    return true;
}

bool NotesApi::MakeList(const std::vector<const std::vector<std::string>*>& parts, DHANDLE& list, WORD& size) const {
    void* pointer = nullptr;
    list = 0;
    size = 0;
    if (calls_.ListAllocate(0, 0, 1, &list, &pointer, &size) != NOERROR) return false;
    calls_.OSUnlockObject(list);
    WORD entry = 0;
    for (const auto* part : parts)
        for (const std::string& address : *part)
            calls_.ListAddEntry(list, 1, &size, entry++, address.c_str(), length16(address));
    return true;
}

STATUS NotesApi::WriteNote(NOTEHANDLE note, const std::vector<std::string>& to, const std::vector<std::string>& cc,
                           const std::vector<std::string>& bcc, const NotesMessage& message, DHANDLE& body) {
    DHANDLE list = 0;
    WORD size = 0;
    if (!MakeList({&to, &cc, &bcc}, list, size)) return ERR_NO_MEMORY;
    STATUS status = calls_.MailAddRecipientsItem(note, list, size);
    if (status != NOERROR) return status;
    const std::pair<const std::vector<std::string>*, WORD> headers[] = {
        {&to, MAIL_SENDTO_ITEM_NUM}, {&cc, MAIL_COPYTO_ITEM_NUM}, {&bcc, MAIL_BLINDCOPYTO_ITEM_NUM}};
    for (const auto& header : headers) {
        if (header.first->empty()) continue;
        if (!MakeList({header.first}, list, size)) return ERR_NO_MEMORY;
        if ((status = calls_.MailAddHeaderItemByHandle(note, header.second, list, size, 0)) != NOERROR) return status;
    }
    if (!message.sender.empty()) {
        const std::string from = "+" + message.sender;
        if ((status = calls_.MailAddHeaderItem(note, MAIL_FROM_ITEM_NUM, from.c_str(), length16(from))) != NOERROR)
            return status;
        for (const char* item : {"$INetReplyTo", "ReplyTo"})
            if ((status = calls_.NSFItemAppend(note, 0, item, static_cast<WORD>(std::strlen(item)), TYPE_TEXT,
                                               message.sender.c_str(), message.sender.size())) != NOERROR)
                return status;
    }
    if (!message.subject.empty() &&
        (status = calls_.MailAddHeaderItem(note, MAIL_SUBJECT_ITEM_NUM, message.subject.c_str(),
                                           length16(message.subject))) != NOERROR)
        return status;
    if (!message.body.empty()) {
        DWORD bodyLength = 0;
        if ((status = calls_.MailCreateBodyItem(&body, &bodyLength)) != NOERROR) {
            body = 0;
            return status;
        }
        // The body goes in as one paragraph. One longer than a paragraph can hold is cut
        // at its line breaks (paragraphs are joined by a line break again), so that no
        // text is lost.
        const std::string& text = message.body;
        size_t start = 0;
        do {
            size_t end = text.size();
            if (end - start > kParagraphLimit) {
                const size_t cut = text.rfind("\r\n", start + kParagraphLimit);
                end = cut != std::string::npos && cut >= start ? cut : start + kParagraphLimit;
            }
            const size_t next = text.compare(end, 2, "\r\n") == 0 && end < text.size() ? end + 2 : end;
            if ((status = calls_.MailAppendBodyItemLine(body, &bodyLength, text.data() + start,
                                                        static_cast<WORD>(end - start))) != NOERROR)
                return status;
            start = next;
        } while (start < text.size());
        if ((status = calls_.MailAddBodyItem(note, body, bodyLength, nullptr)) != NOERROR) return status;
    }
    return calls_.NSFNoteUpdate(note, 0);
}

bool NotesApi::SubmitToMailBox(const std::vector<std::string>& to, const std::vector<std::string>& cc,
                               const std::vector<std::string>& bcc, const NotesMessage& message, uint32_t /*reserved*/,
                               std::string& error) {
    if (!library_) {
        error = Text(57430);
        return false;
    }
    if (mailBox_ == 0) {
        char path[257] = {};
        calls_.OSPathNetConstruct(nullptr, mailServer_.c_str(), "mail.box", path);
        if (calls_.MailOpenMessageFile(path, &mailBox_) != NOERROR) {
            mailBox_ = 0;
            error = Text(57430);
            return false;
        }
    }
    NOTEHANDLE note = 0;
    if (calls_.MailCreateMessage(mailBox_, &note) != NOERROR) {
        error = Text(57431);
        return false;
    }
    DHANDLE body = 0;
    const STATUS status = WriteNote(note, to, cc, bcc, message, body);
    if (body) calls_.OSMemFree(body);
    calls_.MailCloseMessage(note);
    if (status != NOERROR) {
        char text[64];
        std::snprintf(text, sizeof text, "Notes error 0x%04X.", status);
        error = text;
    }
    return status == NOERROR;
}

bool NotesApi::DeleteNote(NOTEID id) {
    return library_ && calls_.NSFNoteDelete(mailFile_, id, UPDATE_NOCOMMIT) == NOERROR;
}

uint32_t NotesApi::ReadNoteBody(NOTEID id, std::string& body) {
    if (!library_) return 0;
    NOTEHANDLE note = 0;
    if (calls_.NSFNoteOpen(mailFile_, id, OPEN_MARK_READ, &note) != NOERROR) return 0;
    DHANDLE handle = 0;
    DWORD length = 0;
    uint32_t copied = 0;
    if (calls_.MailGetMessageBody(note, &handle, &length) == NOERROR) {
        if (const char* bytes = static_cast<const char*>(calls_.OSLockObject(handle))) {
            body.assign(bytes, length);
            copied = length;
            calls_.OSUnlockObject(handle);
        }
    }
    calls_.NSFNoteClose(note);
    return copied;
}

STATUS NotesApi::DescribeNote(NOTEID id, std::string& text) {
    if (!library_) return ERR_NOTES_NOT_INIT;
    NOTEHANDLE note = 0;
    if (const STATUS status = calls_.NSFNoteOpen(mailFile_, id, 0, &note); status != NOERROR) return status;
    auto item = [&](WORD number) {
        char buffer[257] = {};
        WORD length = 0;
        calls_.MailGetMessageItem(note, number, buffer, 256, &length);
        return std::string(buffer, std::min<WORD>(length, 256));
    };
    const std::string sender = item(MAIL_FROM_ITEM_NUM), subject = item(MAIL_SUBJECT_ITEM_NUM);
    text = Format(57415, sender, subject);
    calls_.NSFNoteClose(note);
    return NOERROR;
}

std::string NotesApi::FormatUnid(const uint32_t unid[4]) {
    char text[33];
    std::snprintf(text, sizeof text, "%08X%08X%08X%08X", unid[1], unid[0], unid[3], unid[2]);
    return text;
}

}  // namespace tess::relay
