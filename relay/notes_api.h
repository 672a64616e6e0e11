#pragma once
// NotesApi: the relay's hold on the Lotus Notes client when the user's store is provided
// by Notes. Finds the client through the registry, puts its directory on PATH, loads its
// library and binds the calls the relay needs, opens the user's mail file, and submits
// mail by writing a note into the mail server's "mail.box"; it also reads, describes and
// deletes notes of the mail file for the control mails.
#include <cstdint>
#include <string>
#include <vector>

#include "common/address_list.h"
#include "common/notes_binding.h"
#include "relay/notes_calls.h"

namespace tess::relay {

// What a submission takes from a message besides its recipients.
struct NotesMessage {
    std::string sender;
    std::string subject;
    std::string body;
};

class NotesApi {
public:
    NotesApi() = default;
    virtual ~NotesApi();
    NotesApi(const NotesApi&) = delete;
    NotesApi& operator=(const NotesApi&) = delete;

    // True when the library is loaded, every call bound, Notes initialised and the user's
    // name read. Failures are logged; the object stays usable for Unload.
    bool Load();
    // NotesTerm and the library freed (when loaded). The database handles stay as they are.
    void Unload();
    // True when the user's mail file is open with manager access.
    bool OpenMailFile();
    // Writes the mail as a new note into the server's "mail.box". false with the reason
    // in `error` when a step fails.
    bool SubmitToMailBox(const std::vector<std::string>& to, const std::vector<std::string>& cc,
                         const std::vector<std::string>& bcc, const NotesMessage& message, uint32_t reserved,
                         std::string& error);
    bool DeleteNote(NOTEID id);
    // The body's length (its bytes in `body`), 0 on any failure. Marks the note read.
    uint32_t ReadNoteBody(NOTEID id, std::string& body);
    // 0 with "Message from '...' with a subject of '...'." in `text`, else the status of
    // the failed open.
    STATUS DescribeNote(NOTEID id, std::string& text);
    // A universal id (four words) as 32 upper-case hex digits: words 2, 1, 4, 3.
    static std::string FormatUnid(const uint32_t unid[4]);

    bool IsLoaded() const { return library_ != nullptr; }
    bool PathExtended() const { return pathExtended_; }
    const std::string& NotesDirectory() const { return notesDirectory_; }
    const std::string& LibraryPath() const { return libraryPath_; }
    const std::string& UserName() const { return userName_; }
    const std::string& MailServer() const { return mailServer_; }
    DBHANDLE MailFile() const { return mailFile_; }

private:
    // A Notes list of the addresses (entry numbers from 0); false when it cannot be made.
    bool MakeList(const std::vector<const std::vector<std::string>*>& parts, DHANDLE& list, WORD& size) const;
    STATUS WriteNote(NOTEHANDLE note, const std::vector<std::string>& to, const std::vector<std::string>& cc,
                     const std::vector<std::string>& bcc, const NotesMessage& message, DHANDLE& body);

    struct Calls {
        RELAY_NOTES_CALLS(TESS_NOTES_CALL_SLOT)
        // The name of the first call the library lacks, or null.
        const char* Bind(HMODULE module);
    } calls_;
    HMODULE library_ = nullptr;
    tess::CPathEnvironment path_;
    bool pathExtended_ = false;
    std::string notesDirectory_;
    DBHANDLE mailFile_ = 0;
    DBHANDLE mailBox_ = 0;
    std::string libraryPath_;
    std::string mailServer_, mailFileName_, userName_;
};

// Splits at every ',' and appends each non-empty piece, trimmed on both sides.
void SplitAddressList(const std::string& text, std::vector<std::string>& out);

// The path the relay starts Notes with: notes.ini at the root of the desktop's system
// drive (the drive that holds the Windows directory).
std::string RelayNotesIniPath();

}  // namespace tess::relay
