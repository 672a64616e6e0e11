#pragma once
// CImapConnection: the IMAP4 protocol layer over one CMailSocket. Numbers and sends
// tagged commands, reads each response up to its tagged status line, keeps the
// server's folder names, the selected folder and its message count.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "hosts/imap/imap_listing_state.h"
#include "hosts/imap/imap_readers.h"
#include "hosts/imap/imap_response.h"
#include "hosts/inet/host_session.h"
#include "hosts/inet/mail_socket.h"

namespace imap {

struct ImapSettings : inet::ServerSettings {
    std::string accountText;
    std::string sentFolder;
    std::string sinceDate;
};

// Results of the folder and message operations.
enum ImapResult : int {
    kImapOk = 0,
    kImapNotReady = 1,
    kImapSendFailed = 2,
    kImapNothing = 3,  // also: receive failed (login), fetch refused
    kImapSelectFailed = 4,
    kImapCreateSocket = 5,
    kImapStartup = 6,
    kImapConnect = 7,
    kImapNotConnected = 8,
    kImapLogoutRefused = 9,
    kImapLoginRefused = 10,
    kImapDeleteRefused = 11,
    kImapNoSuchFolder = 12,
    kImapNoneCopied = 13,
    kImapAppendRefused = 14,
    kImapSeenFailed = 15,
    kImapFolderChange = 16,
};

class CImapConnection {
public:
    CImapConnection() = default;
    virtual ~CImapConnection();
    CImapConnection(const CImapConnection&) = delete;
    CImapConnection& operator=(const CImapConnection&) = delete;

    std::string NextTag();
    // True when the response's own tagged line says OK.
    bool SendTaggedCommand(const std::string& command, std::string& response);

    int Connect(const ImapSettings* settings);
    // Has the next ImapLogin send the QRESYNC listing of folder, from its kept state,
    // with the LOGIN (see ListAhead), when the greeting offers ENABLE.
    void ListAtLogin(const std::string& folder, ListingState kept) { atLogin_.emplace(folder, std::move(kept)); }
    int ImapLogin();
    int Logout();
    int Disconnect();

    bool Select(const std::string& folder);
    int SelectFolder(const std::string& folder);
    bool ListFolders();
    int GetFolderNames(std::vector<std::string>& out);
    bool FolderExists(const std::string& name) const;
    // Removes for good the messages this session flagged \Deleted, and only those:
    // another client's \Deleted flag is its own business. With UIDPLUS each folder gets
    // a UID EXPUNGE of our UIDs; without it a folder is expunged only when every
    // \Deleted message in it is ours, otherwise ours stay flagged for a later sync.
    // False when the server refused an expunge it was sent.
    bool Expunge();

    // Selects folder (when it is not the selected one) and searches it as SearchMessages
    // does, the commands sent together; where the server keeps search results (SEARCHRES)
    // the flags of what the search found come in the same round trip. SearchMessages and
    // PrefetchInfo then answer from what it brought, until another folder is selected.
    //
    // Where the server offers QRESYNC the selection is made with it: given the folder's
    // kept state (kept), the server tells only what changed since, which is applied to
    // it; without one, or when the result does not hold together (another UIDVALIDITY,
    // a count other than the server's), the flags of every message in the folder are
    // fetched. TakeListingState then hands out the folder's new state.
    void ListAhead(const std::string& folder, const ListingState* kept = nullptr);
    // The state of the folder the last ListAhead listed, when that listing was complete
    // and agreed with the server's count; empty otherwise. Handed out once.
    std::optional<ListingState> TakeListingState();
    // The server would not enable QRESYNC or take a selection with it.
    bool QresyncRefused() const { return qresyncRefused_; }

    int FetchSeenFlag(const std::string& folder, uint32_t uid, int* seen);
    int FetchSize(const std::string& folder, uint32_t uid);
    // The INTERNALDATE text of a message.
    int FetchInternalDate(const std::string& folder, uint32_t uid, std::string& text);
    int StoreSeenFlag(const std::string* folder, uint32_t uid, bool seen);
    int StoreDeleted(const std::string& folder, uint32_t uid);
    int CopyMessages(const std::string& from, const std::string& to, int count, const uint32_t* uids);
    int CreateFolder(const std::string& name);
    int RenameFolder(const std::string& name, const std::string& newName);
    int DeleteFolder(const std::string& name);
    int AppendMessage(const std::string& folder, const std::string& text);
    // The server's name of the folder for copies of sent mail: the account's name as the
    // server lists it, by itself or under the personal namespace's prefix ("INBOX.Sent"),
    // else the folder the server marks \Sent, else the name under the prefix.
    std::string SentFolderName(const std::string& named);

    // Message search and fetch (imap_fetch.cpp).
    int SearchMessages(const std::string& folder, std::vector<uint32_t>& uids);
    // receivedText: the date text of the first Received header ("" when none).
    int FetchSeenAndReceived(const std::string& folder, uint32_t uid, int* seen, std::string& receivedText);
    // The message text (whole, header only, or its first text part with the headers
    // that frame it); complete is 0 when only the text parts were fetched.
    bool FetchMessageParts(const std::string& folder, uint32_t uid, std::string& text, int* complete, bool headersOnly,
                           int maxSize, bool wantAttachments);

    // What batched UID FETCHes learnt of messages of the selected folder. The one-message
    // calls above answer from it and ask the server only for what it lacks; it is
    // forgotten when another folder is selected, on an expunge and on disconnect.
    struct Prefetched {
        bool hasSeen = false;
        int seen = 0;
        bool hasSize = false;
        uint64_t size = 0;
        std::string internalDate;  // "" when not fetched
        bool hasReceived = false;
        std::string received;  // as FetchSeenAndReceived gives it
        bool hasType = false;
        std::string typeHeader;  // the Content-Type header block
    };
    // Flags (and, with details, size, INTERNALDATE, the Received and Content-Type
    // headers) of uids, a few thousand to each UID FETCH over a UID set, all in one round
    // trip. False when one failed: what came stays, the rest is asked for one by one.
    bool PrefetchInfo(const std::string& folder, const std::vector<uint32_t>& uids, bool details);
    // The body sections items names ("BODY.PEEK[]", "BODY.PEEK[1.MIME] ...") of uids, one
    // UID FETCH per request, all sent together and answered in one round trip; each
    // section is kept until FetchMessageParts takes it. The fetches of ahead go out once
    // these are read, and their answer is left to come while the caller works on these
    // bodies: a later call with ahead's requests takes it without asking again, and any
    // other command first reads it (what came whole is kept, as for any fetch).
    struct BodyRequest {
        std::vector<uint32_t> uids;
        std::string items;
    };
    bool PrefetchBodies(const std::string& folder, const std::vector<BodyRequest>& requests,
                        const std::vector<BodyRequest>& ahead = {});
    void DropBodies() { bodies_.clear(); }
    const Prefetched* Known(const std::string& folder, uint32_t uid) const;
    bool HasBody(const std::string& folder, uint32_t uid) const;

    bool IsConnected() const { return connected_; }
    bool IsLoggedIn() const { return loggedIn_; }
    bool FolderListRead() const { return folderListRead_; }
    const std::vector<std::string>& FolderNames() const { return folderNames_; }
    const std::string& SelectedFolder() const { return selectedFolder_; }
    int ExistsCount() const { return existsCount_; }
    // The [UIDVALIDITY] of the last SELECT; 0 when the server sent none.
    uint32_t UidValidity() const { return uidValidity_; }
    const std::string& Tag() const { return tag_; }
    const ImapSettings& Settings() const { return settings_; }

    // Resets the process-wide tag counter (as a Disconnect does).
    static void ResetTags();

private:
    bool Ready() const { return connected_ && socket_ && loggedIn_; }
    void Log(const std::string& text) const;
    // Sends one tagged command; response holds its bytes, lines the parsed lines. True
    // when the command's own tagged line says OK.
    bool Exchange(const std::string& command, std::string& response, std::vector<ParsedLine>& lines);
    // Sends one tagged command and parses its response.
    bool Command(const std::string& command, std::vector<ParsedLine>& lines);
    // Sends commands in one write and reads their replies in one round trip (they must
    // not depend on each other's success). replies[i] holds the lines after command
    // i-1's tagged line up to command i's, ok[i] whether it said OK; a server may
    // interleave untagged lines of commands it runs together, so they can come in a
    // later command's reply. False when not every reply came: what came whole is
    // still in replies. Untagged lines that take answers true for are its own and not
    // kept (as ImapReplyEnd::TakeUntagged).
    bool Pipeline(const std::vector<std::string>& commands, std::vector<std::vector<ParsedLine>>& replies,
                  std::vector<bool>& ok, std::function<bool(ParsedLine&)> take = {});
    // Reads the answer to the body fetches sent ahead, if any, keeping what came whole.
    void CollectAhead();
    // Keeps the body sections of a FETCH line of one of the UIDs in sets (each sorted).
    bool KeepBodies(ParsedLine& line, const std::vector<std::vector<uint32_t>>& sets);
    // Keeps what a SELECT of folder answered.
    void Selected(const std::string& folder, const std::vector<ParsedLine>& lines);
    std::string SearchCommand() const;
    // ListAhead with QRESYNC (imap_resync.cpp); false when the server would not take it,
    // so that the folder is listed the plain way.
    bool ListWithState(const std::string& folder, const std::string& quoted, const ListingState* kept);
    // The commands of a QRESYNC listing and where its SELECT and search are; state starts
    // as the kept one and takes the server's changes as they are read.
    struct ResyncPlan {
        std::vector<std::string> commands;
        bool enable = false, resync = false, esearch = false;
        // The date window is worked out from state (no SEARCH sent): at searchAt stands the
        // FETCH of the dates of messages new since the kept state, or, with none kept, the
        // flags and dates of all.
        bool localWindow = false;
        uint32_t sinceDay = 0;
        std::size_t selectAt = 0, searchAt = 0, flagsAt = 0;
        ListingState state;
    };
    ResyncPlan PlanResync(const std::string& quoted, const ListingState* kept, bool esearch) const;
    // The day of the window's first date (0 without a window); false when it is not a date.
    bool WindowDay(uint32_t& day) const;
    // The UIDs the window's search would find in a whole, dated state, in order.
    std::vector<uint32_t> Window(const ListingState& state, uint32_t sinceDay) const;
    // Reads the answers to plan's commands (as Pipeline hands them out); unplaced: flags
    // came for a message without its UID. False when QRESYNC is not usable.
    bool FinishResync(const std::string& folder, const ListingState* kept, ResyncPlan& plan,
                      const std::vector<std::vector<ParsedLine>>& replies, const std::vector<bool>& ok, bool unplaced);
    // LOGIN and LIST with the QRESYNC listing of folder behind them.
    int LoginWithListing(const std::string& folder, const ListingState& kept);
    // Makes folder the selected one: 0, 12 not listed, 4 not selectable.
    int MakeCurrent(const std::string& folder);
    bool IsSelected(const std::string& folder) const;
    // Commands sent behind a LOGIN and its LIST, with their answers (as Pipeline's); take
    // gets their untagged lines as they come.
    struct LoginExtra {
        std::vector<std::string> commands;
        std::function<bool(ParsedLine&)> take;
        std::vector<std::vector<ParsedLine>> replies;
        std::vector<bool> ok;
    };
    // One LOGIN with the folder list (and extra) behind it: 0, 2 send failed, 3 no answer,
    // 10 refused.
    int SendLogin(bool quoted, LoginExtra* extra = nullptr);
    void RemoveFolderName(const std::string& name);
    // Keeps the selectable folders of a LIST answer (none when it failed), INBOX always.
    void ReadFolderList(const std::vector<ParsedLine>& lines);
    // A section fetched ahead: true when it was there (nil then says it was NIL).
    bool TakeSection(const std::string& folder, uint32_t uid, const std::string& section, std::string& text, bool& nil);
    void ForgetPrefetched();
    bool HasCapability(const std::string& name);

    std::unique_ptr<inet::CMailSocket> socket_;
    ImapSettings settings_;
    std::string tag_;
    bool connected_ = false;
    bool loggedIn_ = false;
    bool folderListRead_ = false;
    bool inboxListed_ = false;
    std::vector<std::string> folderNames_;
    std::string selectedFolder_;
    int existsCount_ = 0;
    uint32_t uidValidity_ = 0;
    // Folder name -> UIDs this session flagged \Deleted, waiting for Expunge.
    std::map<std::string, std::set<uint32_t>> flaggedByUs_;
    // From the LOGIN answer, else the greeting, else asked once; empty: not known.
    std::vector<std::string> capabilities_;
    bool qresyncEnabled_ = false;  // ENABLE QRESYNC answered on this connection
    bool qresyncRefused_ = false;  // the server would not enable or take it
    std::optional<ListingState> listingState_;
    std::optional<std::pair<std::string, ListingState>> atLogin_;  // to list with the LOGIN
    std::string listedAtLogin_;  // the folder listed with the LOGIN, until ListAhead takes it
    // The UIDs ListAhead found in the selected folder, until SearchMessages takes them.
    std::optional<std::vector<uint32_t>> listed_;
    std::string prefetchFolder_;
    std::unordered_map<uint32_t, Prefetched> prefetched_;
    struct Section {
        bool nil = false;
        std::string text;
    };
    // UID -> lower-case section name -> what the server sent.
    std::unordered_map<uint32_t, std::map<std::string, Section>> bodies_;
    // Body fetches sent ahead whose answer is not read yet.
    struct Ahead {
        std::string folder;
        std::vector<std::string> commands, tags;
        std::vector<std::vector<uint32_t>> sets;
    };
    std::optional<Ahead> ahead_;
};

}  // namespace imap
