// The mail calls: messages with header items by number, bodies, attachments as file
// objects, message lists.
#include <cstring>
#include <functional>
#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/notes/client_state.h"
#include "platform/notes/mail_items.h"

using namespace platform::notes;

namespace platform::notes {

std::string mailItemName(WORD item) {
    switch (item) {
    case MAIL_SENDTO_ITEM_NUM: return "SendTo";
    case MAIL_COPYTO_ITEM_NUM: return "CopyTo";
    case MAIL_FROM_ITEM_NUM: return "From";
    case MAIL_SUBJECT_ITEM_NUM: return "Subject";
    case MAIL_BODY_ITEM_NUM: return "Body";
    case MAIL_POSTEDDATE_ITEM_NUM: return "PostedDate";
    case MAIL_RECIPIENTS_ITEM_NUM: return "Recipients";
    case MAIL_INTENDEDRECIPIENT_ITEM_NUM: return "IntendedRecipient";
    case MAIL_FAILUREREASON_ITEM_NUM: return "FailureReason";
    case MAIL_ROUTINGSTATE_ITEM_NUM: return "RoutingState";
    case MAIL_BLINDCOPYTO_ITEM_NUM: return "BlindCopyTo";
    case MAIL_DELIVERYPRIORITY_ITEM_NUM: return "DeliveryPriority";
    case MAIL_DELIVEREDDATE_ITEM_NUM: return "DeliveredDate";
    default: return "MailItem" + std::to_string(item);
    }
}

std::string fileObject(const std::string& name, const std::string& data) {
    std::string out{static_cast<char>(name.size() & 0xFF), static_cast<char>((name.size() >> 8) & 0xFF)};
    return out + name + data;
}

bool readFileObject(const std::string& value, std::string& name, std::string& data) {
    if (value.size() < 2) return false;
    const size_t len = static_cast<uint8_t>(value[0]) | (static_cast<uint8_t>(value[1]) << 8);
    if (2 + len > value.size()) return false;
    name = value.substr(2, len);
    data = value.substr(2 + len);
    return true;
}

std::vector<const Item*> attachments(const NoteData& note) {
    std::vector<const Item*> out;
    for (const auto& item : note.items)
        if (item.type == TYPE_OBJECT && item.name == "$FILE") out.push_back(&item);
    return out;
}

}  // namespace platform::notes

STATUS MailOpenMessageFile(const char* path, DBHANDLE* db) { return NSFDbOpen(path, db); }

STATUS MailCloseMessageFile(DBHANDLE db) { return NSFDbClose(db); }

STATUS MailCreateMessage(DBHANDLE db, NOTEHANDLE* note) {
    if (!note) return ERR_INVALID_ARG;
    *note = 0;
    return guarded([&](ClientState& s) -> STATUS {
        if (!dbOf(s, db)) return ERR_BAD_HANDLE;
        OpenNote n{db, {}, {}};
        n.data.id = NOTEID_ADD;
        n.data.set("Form", TYPE_TEXT, "Memo");
        *note = s.add(std::move(n));
        return NOERROR;
    });
}

STATUS MailCloseMessage(NOTEHANDLE note) { return NSFNoteClose(note); }

static STATUS addListItem(NOTEHANDLE note, WORD item, DHANDLE list) {
    return guarded([&](ClientState& s) -> STATUS {
        OpenNote* n = s.note(note);
        if (!n) return ERR_BAD_HANDLE;
        if (!s.memory(list)) return ERR_BAD_HANDLE;
        n->data.set(mailItemName(item), TYPE_TEXT_LIST, listBody(s, list));
        s.prefixedLists.erase(list);
        s.release(list);  // the note owns the list now
        return NOERROR;
    });
}

STATUS MailAddRecipientsItem(NOTEHANDLE note, DHANDLE list, WORD) {
    return addListItem(note, MAIL_RECIPIENTS_ITEM_NUM, list);
}

STATUS MailAddHeaderItemByHandle(NOTEHANDLE note, WORD item, DHANDLE list, WORD, WORD) {
    return addListItem(note, item, list);
}

STATUS MailAddHeaderItem(NOTEHANDLE note, WORD item, const char* value, WORD valueLength) {
    return guarded([&](ClientState& s) -> STATUS {
        OpenNote* n = s.note(note);
        if (!n) return ERR_BAD_HANDLE;
        const std::string bytes(value ? value : "", value ? valueLength : 0);
        const bool isTime = item == MAIL_POSTEDDATE_ITEM_NUM || item == MAIL_DELIVEREDDATE_ITEM_NUM;
        if (isTime && bytes.size() != sizeof(TIMEDATE)) return ERR_INVALID_ARG;
        n->data.set(mailItemName(item), isTime ? TYPE_TIME : TYPE_TEXT, bytes);
        return NOERROR;
    });
}

// A body block starts with one mark byte, 1 once a paragraph is in it, so that an empty
// first paragraph still separates the next one.
STATUS MailCreateBodyItem(DHANDLE* body, DWORD* bodyLength) {
    if (!body) return ERR_INVALID_ARG;
    return guarded([&](ClientState& s) -> STATUS {
        *body = s.newMemory(std::string(1, '\0'));
        if (bodyLength) *bodyLength = 0;
        return NOERROR;
    });
}

// Each call adds one paragraph; paragraphs are separated by CR LF.
STATUS MailAppendBodyItemLine(DHANDLE body, DWORD* bodyLength, const char* text, WORD textLength) {
    return guarded([&](ClientState& s) -> STATUS {
        std::string* bytes = s.memory(body);
        if (!bytes || bytes->empty()) return ERR_BAD_HANDLE;
        if ((*bytes)[0]) *bytes += "\r\n";
        (*bytes)[0] = 1;
        bytes->append(text ? text : "", text ? textLength : 0);
        if (bodyLength) *bodyLength = static_cast<DWORD>(bytes->size() - 1);
        return NOERROR;
    });
}

STATUS MailAddBodyItem(NOTEHANDLE note, DHANDLE body, DWORD, void*) {
    return guarded([&](ClientState& s) -> STATUS {
        OpenNote* n = s.note(note);
        std::string* bytes = s.memory(body);
        if (!n || !bytes || bytes->empty()) return ERR_BAD_HANDLE;
        n->data.set("Body", TYPE_COMPOSITE, bytes->substr(1));
        return NOERROR;
    });
}

NBOOL MailGetMessageItem(NOTEHANDLE note, WORD item, char* buffer, WORD maxLength, WORD* length) {
    if (buffer && maxLength) buffer[0] = '\0';
    if (length) *length = 0;
    return guarded([&](ClientState& s) -> STATUS {
        OpenNote* n = s.note(note);
        const Item* it = n ? n->data.find(mailItemName(item)) : nullptr;
        if (!it) return 0;
        const std::string text = itemText(*it, ", ");
        const size_t len = std::min<size_t>(text.size(), maxLength);
        if (buffer) std::memcpy(buffer, text.data(), len);
        if (buffer && len < maxLength) buffer[len] = '\0';
        if (length) *length = static_cast<WORD>(len);
        return 1;
    });
}

NBOOL MailGetMessageItemTimeDate(NOTEHANDLE note, WORD item, TIMEDATE* td) {
    if (!td) return 0;
    return guarded([&](ClientState& s) -> STATUS {
        OpenNote* n = s.note(note);
        const Item* it = n ? n->data.find(mailItemName(item)) : nullptr;
        if (!it || it->type != TYPE_TIME || it->value.size() != sizeof(TIMEDATE)) return 0;
        std::memcpy(td, it->value.data(), sizeof(TIMEDATE));
        return 1;
    });
}

STATUS MailGetMessageBody(NOTEHANDLE note, DHANDLE* body, DWORD* length) {
    if (!body) return ERR_INVALID_ARG;
    *body = 0;
    if (length) *length = 0;
    return guarded([&](ClientState& s) -> STATUS {
        OpenNote* n = s.note(note);
        if (!n) return ERR_BAD_HANDLE;
        const Item* it = n->data.find("Body");
        if (!it) return ERR_NOT_FOUND;
        if (length) *length = static_cast<DWORD>(it->value.size());
        *body = s.newMemory(it->value);
        return NOERROR;
    });
}

// Wraps each paragraph at word boundaries so that no line exceeds lineLength (a longer
// word is cut); the blank that ends a wrapped line stays on it.
static std::string wrapBody(const std::string& text, const std::string& delimiter, size_t lineLength, bool tabs) {
    std::string body = text;
    if (tabs) {
        std::string expanded;
        for (char c : body) expanded += c == '\t' ? std::string(8, ' ') : std::string(1, c);
        body = expanded;
    }
    std::string out;
    size_t start = 0;
    while (start <= body.size()) {
        size_t end = body.find("\r\n", start);
        std::string para = body.substr(start, end == std::string::npos ? std::string::npos : end - start);
        while (lineLength && para.size() > lineLength) {
            size_t cut = para.rfind(' ', lineLength - 1);
            cut = cut == std::string::npos ? lineLength : cut + 1;
            out += para.substr(0, cut) + delimiter;
            para.erase(0, cut);
        }
        out += para;
        if (end == std::string::npos) break;
        out += delimiter;
        start = end + 2;
    }
    return out;
}

STATUS MailGetMessageBodyText(NOTEHANDLE note, const char* itemName, const char* lineDelimiter, WORD lineLength,
                              NBOOL convertTabs, const char* outputFile, DWORD* size) {
    if (!outputFile) return ERR_INVALID_ARG;
    if (size) *size = 0;
    return guarded([&](ClientState& s) -> STATUS {
        OpenNote* n = s.note(note);
        if (!n) return ERR_BAD_HANDLE;
        const Item* it = n->data.find(itemName && *itemName ? itemName : "Body");
        if (!it) return ERR_NOT_FOUND;
        const std::string text = wrapBody(it->value, lineDelimiter ? lineDelimiter : "\r\n", lineLength, convertTabs);
        std::ofstream out(outputFile, std::ios::binary | std::ios::trunc);
        out << text;
        if (!out.flush()) return ERR_NO_SUCH_FILE;
        if (size) *size = static_cast<DWORD>(text.size());
        return NOERROR;
    });
}

NBOOL MailGetMessageAttachmentInfo(NOTEHANDLE note, WORD index, BLOCKID* item, DWORD* size, char* name,
                                   WORD nameLength) {
    if (name && nameLength) name[0] = '\0';
    return guarded([&](ClientState& s) -> STATUS {
        OpenNote* n = s.note(note);
        if (!n) return 0;
        WORD seen = 0;
        for (size_t i = 0; i < n->data.items.size(); ++i) {
            const Item& it = n->data.items[i];
            if (it.type != TYPE_OBJECT || it.name != "$FILE") continue;
            if (seen++ != index) continue;
            std::string fileName, data;
            if (!readFileObject(it.value, fileName, data)) return 0;
            if (item) *item = BLOCKID{0, static_cast<WORD>(i)};
            if (size) *size = static_cast<DWORD>(data.size());
            copyOut(fileName, name, nameLength);
            return 1;
        }
        return 0;
    });
}

STATUS MailExtractMessageAttachment(NOTEHANDLE note, BLOCKID item, const char* path) {
    if (!path) return ERR_INVALID_ARG;
    return guarded([&](ClientState& s) -> STATUS {
        OpenNote* n = s.note(note);
        if (!n) return ERR_BAD_HANDLE;
        if (item.block >= n->data.items.size() || n->data.items[item.block].type != TYPE_OBJECT) return ERR_NOT_FOUND;
        std::string fileName, data;
        if (!readFileObject(n->data.items[item.block].value, fileName, data)) return ERR_NOT_FOUND;
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << data;
        return out.flush() ? NOERROR : ERR_NO_SUCH_FILE;
    });
}

STATUS MailAddMessageAttachment(NOTEHANDLE note, const char* path, const char* name) {
    if (!path) return ERR_INVALID_ARG;
    return guarded([&](ClientState& s) -> STATUS {
        OpenNote* n = s.note(note);
        if (!n) return ERR_BAD_HANDLE;
        std::ifstream in(path, std::ios::binary);
        if (!in) return ERR_NO_SUCH_FILE;
        std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::string fileName = name && *name ? name : std::filesystem::path(path).filename().string();
        if (fileName.size() > 0xFFFF) return ERR_INVALID_ARG;
        n->data.items.push_back({"$FILE", TYPE_OBJECT, fileObject(fileName, data)});
        return NOERROR;
    });
}

// A message list block: DWORD database handle, DWORD count, then the note ids.
STATUS MailCreateMessageList(DBHANDLE db, DHANDLE* list, void** listPointer, WORD* count) {
    if (!list) return ERR_INVALID_ARG;
    *list = 0;
    return guarded([&](ClientState& s) -> STATUS {
        NoteDb* d = dbOf(s, db);
        if (!d) return ERR_BAD_HANDLE;
        const auto ids = d->documents();
        std::vector<DWORD> words{db, static_cast<DWORD>(ids.size())};
        words.insert(words.end(), ids.begin(), ids.end());
        std::string bytes(words.size() * sizeof(DWORD), '\0');
        std::memcpy(bytes.data(), words.data(), bytes.size());  // an in-memory array
        *list = s.newMemory(std::move(bytes));
        if (listPointer) *listPointer = s.memory(*list)->data();
        if (count) *count = static_cast<WORD>(std::min<size_t>(ids.size(), 0xFFFF));
        return NOERROR;
    });
}

// The database and note id of entry `index` of a message list.
static bool listEntry(ClientState& s, DHANDLE list, WORD index, DBHANDLE& db, NOTEID& id) {
    const std::string* bytes = s.memory(list);
    if (!bytes || bytes->size() < 2 * sizeof(DWORD)) return false;
    DWORD head[2];
    std::memcpy(head, bytes->data(), sizeof head);
    if (index >= head[1] || bytes->size() < (2 + static_cast<size_t>(index) + 1) * sizeof(DWORD)) return false;
    db = head[0];
    std::memcpy(&id, bytes->data() + (2 + index) * sizeof(DWORD), sizeof id);
    return true;
}

STATUS MailOpenMessage(DHANDLE list, WORD index, NOTEHANDLE* note) {
    auto& s = ClientState::get();
    std::lock_guard lock(s.mutex);
    DBHANDLE db = 0;
    NOTEID id = 0;
    if (!listEntry(s, list, index, db, id)) return ERR_INVALID_ARG;
    return NSFNoteOpen(db, id, 0, note);
}

// Reads one entry of a message list as a loaded note.
static STATUS withListNote(DHANDLE list, WORD index, const std::function<void(const NoteData&)>& use) {
    return guarded([&](ClientState& s) -> STATUS {
        DBHANDLE db = 0;
        NOTEID id = 0;
        if (!listEntry(s, list, index, db, id)) return ERR_INVALID_ARG;
        NoteDb* d = dbOf(s, db);
        if (!d) return ERR_BAD_HANDLE;
        auto note = d->load(id);
        if (!note) return ERR_NOT_FOUND;
        use(*note);
        return NOERROR;
    });
}

STATUS MailGetMessageInfo(DHANDLE list, WORD index, WORD* recipientCount, WORD* subjectLength, WORD* originatorLength) {
    return withListNote(list, index, [&](const NoteData& n) {
        const Item* r = n.find("Recipients");
        const Item* subject = n.find("Subject");
        const Item* from = n.find("From");
        if (recipientCount) *recipientCount = static_cast<WORD>(r ? decodeTextList(r->value).size() : 0);
        if (subjectLength) *subjectLength = static_cast<WORD>(subject ? subject->value.size() : 0);
        if (originatorLength) *originatorLength = static_cast<WORD>(from ? from->value.size() : 0);
    });
}

STATUS MailGetMessageOriginator(DHANDLE list, WORD index, char* buffer, WORD maxLength, WORD* length) {
    return withListNote(list, index, [&](const NoteData& n) {
        const Item* from = n.find("From");
        const std::string text = from ? from->value : std::string();
        copyOut(text, buffer, maxLength);
        if (length) *length = static_cast<WORD>(std::min<size_t>(text.size(), maxLength ? maxLength - 1 : 0));
    });
}

STATUS MailGetMessageSize(DHANDLE list, WORD index, DWORD* size) {
    return withListNote(list, index, [&](const NoteData& n) {
        size_t total = 0;
        for (const auto& item : n.items) total += item.name.size() + item.value.size();
        if (size) *size = static_cast<DWORD>(total);
    });
}
