#pragma once
// CMapiSession: one logon of the Extended MAPI host. The default store with its Inbox,
// Outbox, Deleted Items, Sent Items and IPM subtree, the address book and the mail folders
// found under the subtree; listing a folder into message blocks, reading bodies,
// recipients and attachments, and the changes the engine sends back (read marks, deletes,
// priorities, new mail).
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/host_records.h"
#include "common/mail_msg.h"
#include "common/msg_record.h"
#include "common/progress_messages.h"
#include "hosts/xmapi/mapi_library.h"
#include "platform/core/os.h"
#include "platform/ui/window_messages.h"

namespace xmapi {

using tess::AttachmentTable;
using tess::CMsg;
using tess::FolderRecord;
using tess::MailMsg;
using tess::MapiLogonRecord;

enum : int {
    kNoAttachmentsWanted = -1,
    kStub = 1,
    kRefused = 3,
    kNotMessage = 4,
    kNoMemory = 5,
    kNoEntryPoint = 100,
    kLogonFailed = 200,
    kNoLibrary = 204,
    kNotInstalled = 205,
    kNullList = 211,
};

// Progress messages to the engine's window during a listing.

// Rows read from a contents table at a time.
constexpr int kRowBatch = 100;
// The most body text read through a stream.
constexpr size_t kMaxBody = 65534;

// What the host keeps of the logon record.
struct LogonValues {
    std::string hostName, profile, password, userDirectory, accountName;
    int days = 0;
    bool semicolons = false;  // the version flag: address lists joined with ";"
    bool attachments = false;
    bool preferHtml = false;
    HWND window = nullptr;

    static LogonValues From(const MapiLogonRecord& r);
    char Separator() const { return semicolons ? ';' : ','; }
};

// A mail folder kept from the walk under the IPM subtree.
struct FolderEntry {
    std::shared_ptr<IMAPIFolder> folder;
    std::string name;
    int kind = 11;
    EntryId id;
    int depth = 0;
    std::string path;
};

// The address of one address-book entry in the given address type: its own address when
// its type is that one, else its proxy address of that type. The text is allocated with
// the library's MAPIAllocateBuffer (the caller frees it with MAPIFreeBuffer). 0 when
// found, else a failure (MAPI_E_NOT_FOUND when the entry has no such address).
HRESULT GetRecipientAddressByType(const MapiLibrary& lib, IAddrBook* book, ULONG idLength, const uint8_t* id,
                                  const char* addressType, bool* richInfo, char** address);

class CMapiSession {
public:
    using LogSink = std::function<void(const std::string&)>;

    CMapiSession(const MapiLibrary& lib, const LogonValues& values, bool logging, LogSink log);
    ~CMapiSession();
    CMapiSession(const CMapiSession&) = delete;
    CMapiSession& operator=(const CMapiSession&) = delete;

    // Logs on and opens the store, the address book and the folders: 0, or 200 (logged).
    int Open();
    void Close();

    int GetFolderList(FolderRecord*** out, int* count);
    int GetAllMsgs(const FolderRecord* folder, MailMsg*** out, int* count, bool headersOnly);
    int SetReadStatus(const MailMsg* msg, bool seen);
    int SetPriority(const MailMsg* msg, int priority);
    int Delete(const FolderRecord* folder, const MailMsg* msg);
    int Send(const MailMsg* msg);
    int Save(const MailMsg* msg);
    int GetAttachments(int idLength, const void* idBytes, AttachmentTable** out);
    bool SameMessage(const EntryId& a, const EntryId& b);
    bool SmtpAddressOf(const EntryId& entry, std::string& address);
    // The user's SMTP address (PR_SMTP_ADDRESS of the identity); empty when unknown.
    std::string UserAddress();

    void Log(const std::string& line) const;

private:
    bool OpenDefaultStore();
    bool OpenFolders();
    void Walk(IMAPIFolder& parent, int depth, const std::string& path);
    int KindOf(const EntryId& id, const std::string& containerClass);
    std::shared_ptr<IMessage> OpenMessage(const EntryId& id, ULONG* type = nullptr);
    std::shared_ptr<IMAPIFolder> OpenFolder(const EntryId& id);
    // The message of a row into m; the failure of its recipients or attachment names (3
    // or 4), else 0.
    int BuildMessage(const SRow& row, bool headersOnly, CMsg& m);
    std::string ReadBody(IMessage& message);
    int ReadRecipients(IMessage& message, CMsg& m);
    int ReadAttachmentNames(IMessage& message, CMsg& m);
    std::string AddressText(const std::string& type, const std::string& address, const std::string& name,
                            const EntryId* entry);
    // The recipient list for sending: 0, or the failure.
    HRESULT ResolveList(const std::string& list, ULONG recipientType, ADRLIST& out);
    HRESULT SetRecipients(IMessage& message, const CMsg& m);
    bool Progress(unsigned message, WPARAM wParam) const;
    bool HasMarker(const MailMsg* msg) const;
    std::optional<std::filesystem::path> AttachmentDir();

    const MapiLibrary& lib_;
    LogonValues values_;
    bool logging_;
    LogSink log_;
    std::optional<SRestriction> dateRestriction_;

    std::shared_ptr<IMAPISession> session_;
    std::shared_ptr<IMsgStore> store_;
    std::shared_ptr<IAddrBook> book_;
    EntryId storeId_;
    // Inbox, Outbox, Deleted Items, Sent Items, IPM subtree.
    enum { kInbox, kOutbox, kDeleted, kSent, kSubtree, kSpecialCount };
    EntryId ids_[kSpecialCount];
    std::shared_ptr<IMAPIFolder> special_[kSpecialCount];
    std::vector<FolderEntry> folders_;
    std::optional<platform::TempDir> attachmentDir_;
};

}  // namespace xmapi
