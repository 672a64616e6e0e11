#pragma once
// The Notes host's one connection per process: the client found and switched to the
// user's ID, the bound client calls, the open mail file, the unread table and the folders.
#include <memory>
#include <string>
#include <vector>

#include "common/host_records.h"
#include "common/mail_msg.h"
#include "common/msg_record.h"
#include "common/notes_client.h"
#include "common/progress_messages.h"
#include "hosts/notes/notes_api.h"
#include "platform/ui/window_messages.h"

namespace notes {

using tess::AttachmentTable;
using tess::CMsg;
using tess::CNotesClient;
using tess::FolderRecord;
using tess::MailMsg;
using tess::NotesLogonRecord;

enum : int {
    kError = 4,
    kNoMemory = 5,
    kLogonFailed = 200,
    kNoRecord = 211,
    kNotInstalled = 214,
    kIniUnusable = 215,
    kNoMailServer = 218,
    kNoMailFile = 219,
    kMailFileNotOpen = 220,
    kLibraryNotLoaded = 221,
    kNotInitialised = 222,
    kNeedsLogon = 223,
    kListFailed = 224,
    kNoNoteId = 225,
    kNoteNotOpen = 226,
    kBodyFileNotOpen = 227,
    kBodyNotWritten = 228,
    kMailBoxFailed = 229,
};

struct FolderEntry {
    std::string display, internal;
    NOTEID id = 0;
    int32_t type = -1;
};

class CNotesPlugInApp {
public:
    bool initialised = false;
    bool logging = false;
    std::string idFile, password, iniPath;
    int days = 1000;
    std::string separator = ",";
    bool attachmentsWanted = false;
    bool localSync = false;
    // The engine's progress window (common/progress_messages.h); null: nobody listens.
    HWND progressWindow = nullptr;
    std::string mailFile, mailServer, mailFileName, mailFilePath;
    std::string userName, userDn, userAddress;
    DBHANDLE mailDb = 0, mailBox = 0;
    DHANDLE unread = 0;
    std::vector<FolderEntry> folders;
    std::unique_ptr<CNotesClient> client;
    HMODULE library = nullptr;
    NotesApi api;

    int Initialize();
    void Uninitialize();
    int Logon(const NotesLogonRecord& record, int flags);
    void Logoff();

    // A progress line in the product log, when logging is on.
    void Log(const std::string& text) const;
    // Text from the Notes character set in the desktop code page; one that converts to
    // nothing keeps its bytes.
    std::string FromNotes(const std::string& text) const;
    // The user's Internet address in the address books of the mail server.
    bool Lookup(const std::string& name, std::string& address) const;
    std::string ConvertAddress(const std::string& address) const;
    std::string ConvertAddressList(const std::string& list) const;
    const FolderEntry* FindFolder(NOTEID id) const;
    // The note id a message id holds (its number, of at most 31 characters).
    static NOTEID NoteIdOf(const std::string& id);
    // A text list item of an open note.
    std::vector<std::string> TextList(NOTEHANDLE note, const char* item) const;
    // A mail header item as text (up to max bytes); empty when missing.
    std::string MailItem(NOTEHANDLE note, WORD item, WORD max) const;
    std::string TempDirectory() const;
    // The note ids of a view or folder read as a collection; false when it does not open.
    bool ReadCollection(NOTEID view, std::vector<NOTEID>& ids) const;

    int SendMsg(const MailMsg* msg);
    int DeleteMsg(const MailMsg* msg);
    int SetReadStatus(const MailMsg* msg, int read);

    // Reading (notes_reading.cpp).
    int GetAllMsgs(const FolderRecord* folder, MailMsg*** out, int* count, int option);
    int ReadRecipients(CMsg& msg, bool withBlindCopies) const;
    int ReadBody(CMsg& msg) const;
    int ReadAttachmentNames(CMsg& msg) const;
    int GetMessageAttachment(int idLength, const void* idBytes, AttachmentTable** out) const;

private:
    int OpenMailFile();
    void BuildFolderList();
    bool FindDesign(const char* name, NOTEID& id) const;
    int MoveBetweenFolders(NOTEID note);
};

CNotesPlugInApp& App();

// The text of a result code from the language library; empty for 0 and unknown codes.
std::string ErrorText(int code, const CNotesPlugInApp& app);

}  // namespace notes
