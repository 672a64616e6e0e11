#pragma once
// CMAPIRedirect: the mailbox watcher. Logs on to the user's profile, watches the Inbox for
// new mail, forwards ordinary mail (sealed) to the handheld's wireless address, obeys the
// sealed control mails the handheld sends, and sends the handheld's mail from the profile.
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "common/message_filter.h"
#include "common/sealing_coder.h"
#include "platform/mapi/mapi_interfaces.h"
#include "relay/relay_config.h"
#include "relay/notes_api.h"
#include "relay/relay_smtp_session.h"

namespace tess::relay {

// What the watcher shows through the main frame's tray icon, and the quit request.
class RelayFrame {
public:
    virtual ~RelayFrame() = default;
    virtual void SetTooltip(const std::string& text) = 0;
    virtual void SetIcon(int iconId) = 0;
    // Icons first..last in turn every intervalMs until StopAnimation.
    virtual void Animate(int firstIcon, int lastIcon, int intervalMs) = 0;
    virtual void StopAnimation() = 0;
    // Ends the message loop with this exit code.
    virtual void PostQuit(int exitCode) = 0;
    // Notes mode: the user's Notes mail address, kept across watchers, and the address
    // dialog that asks for it (with the handheld's address); false when no dialog can be
    // shown.
    virtual std::string NotesAddress() const { return {}; }
    virtual void SetNotesAddress(const std::string&) {}
    virtual bool AskAddresses(std::string& wireless, std::string& notes) {
        (void)wireless;
        (void)notes;
        return false;
    }
    virtual void SetWirelessAddress(const std::string&) {}
};

enum : int { kIconRunning = 130, kIconAnimationLast = 133, kIconError = 140 };

// Request codes of control mails.
enum : int32_t {
    kRequestNone = 0,
    kRequestForward = 1,
    kRequestReply = 2,
    kRequestNewMail = 3,
    kRequestDelete = 4,
    kRequestFilters = 5,
    kRequestPause = 6,
    kRequestStart = 7,
    kRequestShutDown = 8,
    kRequestHello = 9,
    kRequestReadState = 10,
    kRequestCombined = 11,
};

extern const char* const kHelloSubject;

// The user's own entry as GetUserItems finds it.
struct UserItems {
    EntryId entryId;
    std::vector<uint8_t> searchKey;
    std::string displayName;
    std::string addressType;
    std::string smtpAddress;
    bool furtherSmtpAddresses = false;
};

// One new mail as the watcher read it.
struct MessageData {
    int32_t requestCode = 0;
    EntryId entryId;
    std::string messageClass;
    std::string senderName;
    std::string displayTo;
    std::string senderAddress;
    std::string replyTo;       // first reply recipient
    std::string toRecipients;  // To and Bcc other than the user, ';'-separated
    std::string ccRecipients;  // Cc other than the user
    std::string wholeLine;     // the whole To (or Cc) line that holds the user
    std::string subject;
    std::string displaySubject;  // at most 50 characters, "..." when cut
    std::string body;
    std::string attachmentDisplay;  // "<<name>>" joined by " " (the omitted-attachment list)
    std::string attachmentNames;    // joined by ","
    uint8_t reserved = 0;
    bool isRelayNdr = false;
    bool isEmpty = false;
    bool recipientsTruncated = false;
    uint32_t copiedToMe = 0;
    uint32_t sentToMe = 0;
    uint32_t attachmentCount = 0;
    uint32_t size = 0;
    FileTime deliveryTime = 0;
};

// A request from the handheld (and the record of a mail the relay sends itself).
struct RequestData {
    int32_t code = 0;
    int32_t reserved = 0;
    int32_t cleared = 0;
    EntryId entryId;                    // the message replied to or forwarded
    std::vector<std::string> entries;   // X-CORVID-ENTID values (and "flag:id" entries)
    std::vector<std::string> entries2;  // combined request: entries without ':'
    std::vector<std::string> to, cc, bcc;
    std::string replyTo;
    std::string subject;
    std::string text;
    std::string attachmentNames;  // the omitted-attachment list of the sending road
    uint32_t size = 0;
    FileTime time = 0;
};

// Process-wide state of the mail road.
struct RoadState {
    bool stopRequested = false;
    bool quotaExceeded = false;
    bool sendMailPending = false;
    uint32_t forwardCount = 0;
    bool forwardingOn = false;
};
RoadState& Road();

// The mail domain compared at the end of a sender name by IsRelayNDR; a deployment setting
// (the environment's TESSALINE_RELAY_MAIL_DOMAIN, else none).
std::string RelayMailDomain();

class CMAPIRedirect {
public:
    CMAPIRedirect(RelayFrame* frame, CRelayConfig* config, std::string wirelessAddress);
    virtual ~CMAPIRedirect();
    CMAPIRedirect(const CMAPIRedirect&) = delete;
    CMAPIRedirect& operator=(const CMAPIRedirect&) = delete;

    // >= 0 success.
    HRESULT Initialize();
    ULONG OnNotify(const std::vector<NOTIFICATION>& notifications);
    // Raises the notifications of mail that arrived (the event loop calls it). Not while
    // mail is being handled: what arrives meanwhile waits for the next call.
    void DispatchNotifications();
    // Readable when mail may have arrived (-1: poll).
    int NotificationFd();

    void MarkKeyNew() { keyIsNew_ = true; }
    const std::string& WirelessAddress() const { return wirelessAddress_; }
    const std::string& OwnAddress() const { return ownAddress_; }
    const UserItems& User() const { return user_; }
    CRelayConfig* Config() const { return config_; }
    SealContext* Seal() const { return seal_; }
    IMAPISession* Session() const { return session_.get(); }

    // Parts of the road, public for the tests of each.
    HRESULT PopulateMessageStruct(IMessage* message, MessageData& record);
    HRESULT GetUserItems(UserItems& items);
    HRESULT GetMAPIMsgRecipients(IMessage* message, MessageData& record);
    HRESULT GetMessageBody(IMessage* message, MessageData& record);
    bool IsRelayNDR(const MessageData& record, const std::string& userAddress) const;
    void BuildFilterMessage(const MessageData& record, FilterMessage& filter);
    bool PassFilter(FilterMessage& filter);
    HRESULT DeleteMessage(const NOTIFICATION& notification);
    void CreateNDRInOutbox(const std::string& text);

    // Forwarding to the handheld.
    void RedirectMail(IMessage* message, MessageData& record, bool seal);
    void FitMessageToLimits(MessageData& record);
    void AddAttachments(IMessage* source, IMessage* target, std::string& omitted, bool seal, bool base64First,
                        std::vector<std::string>* names);
    void EncodeDecodeAttachment(IStream* stream, std::vector<uint8_t>& out, bool seal, const std::string& name,
                                bool base64First);
    void EncodeAttachment(IStream* stream, std::vector<uint8_t>& out, const std::string& name, bool base64);
    void AddAttachmentToMsg(IMessage* target, const std::string& name, const std::vector<uint8_t>& data, bool seal,
                            std::vector<std::string>* names);
    // The pieces of a forward the three roads share: the sealed subject; the forward body
    // (the truncation line when asked, the length line, the X-CORVID lines, the sealed
    // header block and the sealed text pieces, with the omitted-attachment list when
    // withOmitted), within the size limits, false (logged) when sealing fails; and the log
    // line and tooltip of the outcome (the reason, when given, from the mail system).
    bool SealForwardSubject(MessageData& record, std::string& sealedSubject);
    bool BuildForwardBody(MessageData& record, bool truncationLine, bool bracePadding, bool withOmitted,
                          std::string& forward);
    void ReportForward(const MessageData& record, bool sent, const std::string* reason);

    // Notes mode: the store is provided by Lotus Notes; mail is still watched and read
    // through MAPI, but leaves through the Notes mail router.
    HRESULT GetStoreProviderName(std::string& text);
    void RedirectMailViaNotes(IMessage* message, MessageData& record);
    void RedirectMailViaNotes(RequestData& request);
    bool NotesMode() const { return notesMode_; }
    NotesApi* Notes() const { return notes_.get(); }
    const std::string& NotesAddress() const { return notesAddress_; }
    // The note id a Notes store's entry id carries at byte 28; 0 when it is too short.
    static NOTEID NoteIdOf(const EntryId& id);
    // Forwards mail.box did not take, handed over again; true when none is left.
    bool RetryPendingNotes();

    // Sending the handheld's mail (and the relay's own) through the profile.
    void RedirectMail(IMessage* controlMail, RequestData& request);
    void CleanRecipientList(std::vector<std::string>& list);
    void ExtractRecipientAddresses(std::string& text);
    void JoinRecipientTexts(const RequestData& request, std::string& to, std::string& cc, std::string& bcc);
    void CopyAttachments(IMessage* source, IMessage* target, const std::vector<std::string>& names);
    // The request's recipients cleaned, as an address list and as the To, Cc and Bcc texts
    // (entries joined by ", ") and all of them.
    void AddressRecipients(RequestData& request, bool extractAddresses, ADRLIST& list, std::string& toText,
                           std::string& ccText, std::string& bccText, std::string& all);
    // Resolves the list against the global address list; false with the error text.
    bool ResolveRecipients(IAddrBook* book, ADRLIST& list, std::string& error);
    static bool HasAttachments(IMessage* message);
    // A new mail whose subject begins "fwd:" names the desktop mail it forwards: that
    // mail when it has attachments, else null.
    std::shared_ptr<IMessage> ForwardedDesktopMail(const RequestData& request);
    // The body, times, flags, sender and recipients of a copy in Sent Items, then saved.
    void CompleteSentCopy(IMessage* copy, const std::string& body, const std::string& subject, ADRLIST& list);

    // Reports, hello mail, welcome text.
    void ReportSendSuccess(const RequestData& record, const std::string& to, const std::string& cc,
                           const std::string& bcc);
    void ReportSendFailure(const RequestData& record, const std::string& to, const std::string& cc,
                           const std::string& bcc, const std::string& recipients, const std::string& reason);
    void SendHelloMail();
    bool ReadWelcomeText(RequestData& record);

    // Control mails.
    void GetWayfarerRequest(MessageData& record);
    bool ValidateSender(MessageData& record);
    void ParseBodyIntoNewMsgDataStruct(const std::string& body, RequestData& request);
    void ParseValuesIntoStringList(const std::string& separator, const std::string& text,
                                   std::vector<std::string>& list);
    void ParseValuesIntoXValues(const std::string& line, const std::string& value, RequestData& request);
    void ProcessFilters(const std::string& body);
    void DeleteMessages(const NOTIFICATION& notification, RequestData& request);
    void ChangeMessageState(const NOTIFICATION& notification, RequestData& request);
    void SetMessageReadFlag(const EntryId& id, bool read);
    void DescribeMessages(const EntryId& id, std::vector<std::string>& list);

    // Key check, start-up scan, sender lookup.
    HRESULT CheckForNewKey(bool force);
    void ScanInboxForControlMails();
    void LookupSender(const std::string& displayName, std::string& address);

    // Forwards that could not be handed to the mail system are kept in the Outbox and
    // submitted again here (the poll timer calls it); true when none is left.
    bool RetryPendingForwards();

    // The SMTP road: when the relay's settings name an SMTP server, forwards and the mail
    // written on the handheld leave through the relay's own SMTP session.
    void UseSmtpRoad(std::unique_ptr<CRelaySmtpSession> session) { smtp_ = std::move(session); }
    CRelaySmtpSession* SmtpRoad() const { return smtp_.get(); }
    SmtpOutcome RedirectMailViaSMTP(IMessage* message, MessageData& record, FilterMessage& filter,
                                    CRelaySmtpSession& session);
    void RedirectMailViaSMTP(IMessage* controlMail, RequestData& request, CRelaySmtpSession& session);
    void SendSmtpFailureReport(CRelaySmtpSession& session, const RequestData& request, const std::string& to,
                               const std::string& cc, const std::string& bcc, const std::string& rejected,
                               const std::string& reason);
    int SplitSmtpRecipients(RequestData& request, std::string& to, std::string& cc, std::string& bcc, std::string& all,
                            bool& allMoved);
    void ListAttachmentNames(IMessage* message, RequestData& request);
    // The attachments of source as parts of the open mail: sealed (names and data) for
    // the handheld, or unsealed from the handheld's sealed pieces, or copied as they are.
    enum class SmtpAttachments { kSeal, kUnseal, kCopy };
    int AddAttachmentsToSMTPMsg(IMessage* source, CRelaySmtpSession& session, SmtpAttachments how,
                                std::string* omitted = nullptr);

private:
    void handleOne(const NOTIFICATION& notification, std::shared_ptr<IMessage> message, MessageData& record);
    void reportRoad(const NOTIFICATION& notification, MessageData& record);
    void ordinaryRoad(const NOTIFICATION& notification, IMessage* message, MessageData& record);
    void executeRequest(const NOTIFICATION& notification, MessageData& record, RequestData& request);
    void undo();
    HRESULT startNotes();
    // The notes a delete (or read-state) request names, by the note ids of its entries.
    void deleteNotes(RequestData& request, bool readState);
    std::shared_ptr<IMAPIFolder> openFolder(const EntryId& id, ULONG flags);
    std::shared_ptr<IMAPIFolder> openStoreFolder(ULONG tag, ULONG flags);
    std::shared_ptr<IMessage> openMessage(const EntryId& id);
    std::string profileName() const;
    bool detailedLog() const;
    void tooltip(const std::string& text);

    RelayFrame* frame_;
    UserItems user_;
    std::string wirelessAddress_;
    SealContext* seal_ = nullptr;
    bool notesMode_ = false;
    CRelayConfig* config_;
    bool keyIsNew_ = false;
    std::shared_ptr<IMAPISession> session_;
    std::shared_ptr<IMsgStore> store_;
    std::shared_ptr<IMAPIAdviseSink> sink_;
    ULONG connection_ = 0;
    std::vector<uint8_t> providerId_;
    std::string ownAddress_;
    bool initialized_ = false;
    bool loggedOn_ = false;
    bool inNotify_ = false;  // a box shown while handling mail runs a nested event loop
    std::unique_ptr<NotesApi> notes_;
    bool notesReady_ = false;
    std::string notesAddress_;
    struct PendingNote {
        int32_t kind;
        std::string subject;
        NotesMessage note;
    };
    std::vector<PendingNote> pendingNotes_;
    std::unique_ptr<CRelaySmtpSession> smtp_;
};

// The relay's SMTP road as its settings under the product key's "MsgRedir" name it
// ("SMTP Server", "SMTP Port", "SMTP User", "SMTP Password" scrambled); null when no
// server is named. Mails waiting for the server are kept in the user's folder.
std::unique_ptr<CRelaySmtpSession> OpenSmtpRoad(const CRelayConfig* config);

// Time helpers: FILETIME (100 ns since 1601, UTC) and time_t.
std::time_t FileTimeToUnix(FileTime ft);
FileTime FileTimeNow();
// The asctime text (no line feed) of ft in local time; empty when it cannot be converted.
std::string LocalAscTime(FileTime ft);

}  // namespace tess::relay
