#pragma once
// CPopConnection: the POP3 protocol layer over one CMailSocket. Connects and reads the
// greeting (with its APOP timestamp), logs in with USER/PASS or APOP, lists the
// mailbox's unique ids, fetches (RETR, TOP n 0) and deletes (DELE) by message number.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "hosts/inet/host_session.h"
#include "hosts/inet/mail_socket.h"
#include "hosts/pop/pop_reply.h"

namespace pop {

struct PopSettings : inet::ServerSettings {
    int useApop = 0;
    int days = 0;
};

// Codes of the connection.
enum PopResult : int {
    kPopOk = 0,
    kPopEmptyCredentials = 1,
    kPopCommandFailed = 2,  // also: a reply that could not be read as a message
    kPopNoSocket = 3,
    kPopStartup = 4,
    kPopConnect = 5,
    kPopNotConnected = 6,  // also: the POP3 side is not usable
    kPopLoginFailed = 8,   // also: APOP asked for but not offered
    kPopDeleteRefused = 9,
    kPopNoSuchMessage = 10,
    kPopNotLoggedIn = 11,
    kPopNotFetched = 12,
};

// One connection per session: not copied (it owns its socket).
class CPopConnection {
public:
    virtual ~CPopConnection();

    void SetSettings(PopSettings settings) { settings_ = std::move(settings); }
    const PopSettings& Settings() const { return settings_; }

    int Open();
    void Close();
    // Logs in and lists the mailbox. 0 once logged in, even when the listing failed
    // (Listed() tells); 1, 6 or 8 otherwise.
    int Login();
    int ListUidl();
    // QUIT when logged in: the server carries out the deletions; the socket stays. Not
    // kPopOk when deletions were made and the server did not confirm QUIT: a session that
    // ends any other way rolls every DELE back.
    int Quit();

    // The message's lines (dot-unstuffed, without the status and terminating lines).
    int Fetch(int number, bool headersOnly, std::vector<std::string>& lines);
    // A deleted message leaves the listing at once: the server refuses any later command
    // for it, and enough refusals end the session without carrying out the deletions.
    int Delete(int number);

    // The number of the entry whose id equals uidl byte for byte; -1 when none (an
    // empty id matches nothing).
    int NumberOf(std::string_view uidl) const;
    const std::vector<UidlEntry>& Entries() const { return entries_; }
    bool Listed() const { return listed_; }
    bool IsConnected() const { return connected_; }
    bool IsLoggedIn() const { return loggedIn_; }
    const std::string& ApopStamp() const { return apopTimestamp_; }
    std::string LastSocketError() const { return socket_ ? socket_->LastError() : std::string(); }

private:
    // Sends one command and reads its reply (multi-line for UIDL, RETR and TOP); true
    // when the reply begins with "+OK".
    bool Exchange(const std::string& command, std::string& reply, bool multiLine);
    void Log(const std::string& text) const;
    bool InList(int number) const;
    // The listing of a server without UIDL: LIST for the numbers, and for ids the MD5 of
    // each message's header block (TOP n 0), which stays the same from session to session.
    bool ListByHeaders();
    void Notice(const std::string& text) const;

    PopSettings settings_;
    std::unique_ptr<inet::CMailSocket> socket_;
    bool connected_ = false;
    bool loggedIn_ = false;
    bool listed_ = false;
    std::string apopTimestamp_;
    std::vector<UidlEntry> entries_;
    int deletions_ = 0;  // DELEs answered +OK since the last QUIT
};

// The host's texts by language-library id: the library's when a language scope is open,
// else the host's own.
std::string PopText(unsigned id);

// The MD5 digest of text as 32 lower-case hex digits; false for an empty text.
bool ApopDigest(std::string_view text, std::string& hex);

}  // namespace pop
