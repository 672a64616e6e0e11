#pragma once
// CMailSocket: the one TCP connection class of the internet hosts (IMAP, POP, SMTP).
// Plain IPv4 stream socket; replies are read until they are complete by the protocol's
// own rule (a ReplyEnd), never by a quiet period. Waiting stops at the time-out, which
// is an error, so a slow reply is never cut short and reported as a success.
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace inet {

// Slower than any link a desktop works over today, faster than a peer dribbling a line at
// a time or garbage at a few KB/s.
constexpr int kDefaultMinRate = 8192;
// Long enough for a busy server's pauses inside one reply.
constexpr int kDefaultRateGrace = 120000;

// Result codes of the socket; LastError() holds the matching text.
enum SocketResult : int {
    kSockOk = 0,
    kSockBadServer = 1,
    kSockCreateFailed = 2,
    kSockStartupFailed = 3,
    kSockNotStarted = 4,
    kSockConnectFailed = 5,
    kSockNotConnected = 6,
    kSockBadParameter = 7,
    kSockUnknown = 8,
    kSockReset = 9,
    kSockAborted = 10,
    kSockTimedOut = 11,
    kSockNoData = 12,
};

struct SocketSettings {
    std::string host;         // dotted address or name
    int port = -1;            // -1: not set (connects to 80)
    int receiveTimeout = -1;  // ms for SO_RCVTIMEO, -1: system default
    int sendTimeout = -1;     // ms for SO_SNDTIMEO, -1: system default
    // Longest wait for the next piece of a reply (ms); also bounds connect.
    int waitTimeout = 45000;
    // Slowest average rate (bytes per second) a reply may keep once it has taken longer
    // than rateGrace (ms) since its first byte; 0: no bound. Without it a live peer sending
    // a line now and then would hold an exchange open for ever.
    int minRate = kDefaultMinRate;
    int rateGrace = kDefaultRateGrace;
    // Largest reply kept; a longer one is an error rather than unbounded memory.
    std::size_t maxReply = 64u << 20;
    // Called around each wait so the sync manager stays responsive.
    std::function<void()> yield;
};

// Decides when a reply is complete. Scanners keep their own position so a long reply
// is never rescanned; Reset() is called at the start of every Receive.
class ReplyEnd {
public:
    virtual ~ReplyEnd() = default;
    virtual void Reset() {}
    virtual bool Complete(std::string_view reply) = 0;
};

// Complete when a whole line (ending in LF) begins with the terminator; the first
// line counts as well. An empty terminator accepts the first whole line.
class LineStartsWith : public ReplyEnd {
public:
    explicit LineStartsWith(std::string terminator) : terminator_(std::move(terminator)) {}
    void Reset() override { scanned_ = 0; }
    bool Complete(std::string_view reply) override;

private:
    std::string terminator_;
    std::size_t scanned_ = 0;
};

// An SMTP reply: complete at the first whole line of three digits followed by a blank
// or by the line end ("250-" lines continue it).
class SmtpReplyEnd : public ReplyEnd {
public:
    void Reset() override { scanned_ = 0; }
    bool Complete(std::string_view reply) override;

private:
    std::size_t scanned_ = 0;
};

// Where a connection of the hosts goes and how it waits and logs: what the IMAP, POP3 and
// SMTP settings have in common.
struct ServerEndpoint {
    std::string server;
    int port = -1;
    int receiveTimeout = 1000;
    int sendTimeout = 1000;
    int logEnabled = 0;
    // Longest wait for a piece of a reply (ms); tests shorten it.
    int waitTimeout = 45000;
    int minRate = kDefaultMinRate;  // see SocketSettings
    int rateGrace = kDefaultRateGrace;
    std::function<void()> yield;
    // Receives product-log lines when logEnabled is set.
    std::function<void(const std::string&)> log;

    void Log(const std::string& text) const {
        if (logEnabled && log) log(text);
    }
};

class CMailSocket;

// Makes socket, starts it and connects it to the endpoint: 0 when connected. On failure
// the socket's error goes to the endpoint's log under the protocol's name ("POP: Could not
// connect socket."), socket is left empty and the result is startupFailed or connectFailed.
int OpenSocket(const ServerEndpoint& endpoint, const char* protocol, std::unique_ptr<CMailSocket>& socket,
               int startupFailed, int connectFailed);

class CMailSocket {
public:
    explicit CMailSocket(SocketSettings settings);
    virtual ~CMailSocket();
    CMailSocket(const CMailSocket&) = delete;
    CMailSocket& operator=(const CMailSocket&) = delete;

    int Startup();
    int Connect();
    int Close();
    int Send(std::string_view text);
    // Reads one reply into reply (emptied first) until end says it is complete.
    // With retryOnTimeout a wait that times out is repeated up to 8 times.
    // Whatever arrived stays in reply on failure.
    int Receive(std::string& reply, bool retryOnTimeout, ReplyEnd& end);
    // Convenience: complete at a line beginning with terminator (null: first line).
    int Receive(std::string& reply, bool retryOnTimeout, const char* terminator);

    bool IsConnected() const { return connected_; }
    const std::string& LastError() const { return lastError_; }
    int Port() const { return port_; }
    const std::string& Host() const { return settings_.host; }

private:
    int Fail(int code);
    int FailErrno(int err);
    int WaitReadable(int timeoutMs);
    int TooSlow();

    SocketSettings settings_;
    bool started_ = false;
    bool connected_ = false;
    int fd_ = -1;
    int port_ = 80;
    std::string lastError_;
    std::vector<char> buffer_;  // what one read brings, before it joins the reply
};

}  // namespace inet
