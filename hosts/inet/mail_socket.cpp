#include "hosts/inet/mail_socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <optional>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace inet {
namespace {

constexpr int kSendRetries = 8;
// A reply is read in pieces of up to this size: a large one (a batch of message bodies)
// then costs few system calls.
constexpr std::size_t kChunk = 64 * 1024;

const char* TextOf(int code) {
    switch (code) {
    case kSockCreateFailed: return "Creation of the socket failed.";
    case kSockStartupFailed: return "Failed to initialize Winsock.";
    case kSockNotStarted: return "The socket has not been intitialized";
    case kSockConnectFailed:
    case kSockNotConnected: return "There is no connection for the socket";
    case kSockBadParameter: return "A bad parameter was passed to the function";
    case kSockReset: return "The connection was terminated on a reset";
    case kSockAborted: return "The connection was aborted";
    case kSockTimedOut: return "The connection timed out";
    case kSockNoData: return "No data on the socket";
    default: return "An unknown winsock error occured.";
    }
}

// The next whole line at or after pos: its start, or npos. next receives the
// position after its LF.
std::size_t NextLine(std::string_view text, std::size_t pos, std::size_t& next) {
    std::size_t lf = text.find('\n', pos);
    if (lf == std::string_view::npos) return std::string_view::npos;
    next = lf + 1;
    return pos;
}

}  // namespace

bool LineStartsWith::Complete(std::string_view reply) {
    std::size_t next = 0;
    for (std::size_t start; (start = NextLine(reply, scanned_, next)) != std::string_view::npos; scanned_ = next) {
        if (reply.substr(start, next - start).starts_with(terminator_)) {
            scanned_ = next;
            return true;
        }
    }
    return false;
}

bool SmtpReplyEnd::Complete(std::string_view reply) {
    std::size_t next = 0;
    for (std::size_t start; (start = NextLine(reply, scanned_, next)) != std::string_view::npos; scanned_ = next) {
        std::string_view line = reply.substr(start, next - start);
        bool digits = line.size() >= 4;
        for (std::size_t i = 0; digits && i < 3; ++i) digits = line[i] >= '0' && line[i] <= '9';
        if (digits && (line[3] == ' ' || line[3] == '\r' || line[3] == '\n')) {
            scanned_ = next;
            return true;
        }
    }
    return false;
}

CMailSocket::CMailSocket(SocketSettings settings) : settings_(std::move(settings)) {
    port_ = settings_.port == -1 ? 80 : settings_.port;
}

CMailSocket::~CMailSocket() { Close(); }

int OpenSocket(const ServerEndpoint& endpoint, const char* protocol, std::unique_ptr<CMailSocket>& socket,
               int startupFailed, int connectFailed) {
    SocketSettings s;
    s.host = endpoint.server;
    s.port = endpoint.port;
    s.receiveTimeout = endpoint.receiveTimeout;
    s.sendTimeout = endpoint.sendTimeout;
    s.waitTimeout = endpoint.waitTimeout;
    s.minRate = endpoint.minRate;
    s.rateGrace = endpoint.rateGrace;
    s.yield = endpoint.yield;
    socket = std::make_unique<CMailSocket>(std::move(s));
    if (socket->Startup() != kSockOk) {
        endpoint.Log(std::string(protocol) + ": Could not intitialize socket.\n" + socket->LastError());
        socket.reset();
        return startupFailed;
    }
    if (socket->Connect() != kSockOk) {
        endpoint.Log(std::string(protocol) + ": Could not connect socket.\n" + socket->LastError());
        socket.reset();
        return connectFailed;
    }
    return 0;
}

int CMailSocket::Fail(int code) {
    if (code == kSockBadServer) {
        lastError_ = "The supplied server '" + settings_.host + "' is invalid";
    } else {
        lastError_ = TextOf(code);
    }
    return code;
}

int CMailSocket::FailErrno(int err) {
    switch (err) {
    case ENETRESET:
    case ECONNRESET:
    case EPIPE: return Fail(kSockReset);
    case ECONNABORTED:
    case ENOTCONN: return Fail(kSockAborted);
    case ETIMEDOUT:
    case EAGAIN: return Fail(kSockTimedOut);
    default: return Fail(kSockUnknown);
    }
}

int CMailSocket::Startup() {
    started_ = true;
    return kSockOk;
}

int CMailSocket::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    connected_ = false;
    return kSockOk;
}

int CMailSocket::Connect() {
    if (!started_) return Fail(kSockNotStarted);
    Close();

    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(static_cast<uint16_t>(port_));
    if (settings_.host.empty()) return Fail(kSockBadServer);
    if (inet_pton(AF_INET, settings_.host.c_str(), &peer.sin_addr) != 1) {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        if (getaddrinfo(settings_.host.c_str(), nullptr, &hints, &found) != 0 || !found) {
            return Fail(kSockBadServer);
        }
        peer.sin_addr = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
        freeaddrinfo(found);
    }

    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return Fail(kSockCreateFailed);
    auto setTimeout = [this](int option, int ms) {
        if (ms == -1) return;
        timeval tv{ms / 1000, (ms % 1000) * 1000};
        setsockopt(fd_, SOL_SOCKET, option, &tv, sizeof tv);
    };
    setTimeout(SO_RCVTIMEO, settings_.receiveTimeout);
    setTimeout(SO_SNDTIMEO, settings_.sendTimeout);
    int one = 1;
    setsockopt(fd_, SOL_SOCKET, SO_KEEPALIVE, &one, sizeof one);

    // Connect without blocking so that an unanswered address costs the wait time-out only.
    int flags = fcntl(fd_, F_GETFL);
    fcntl(fd_, F_SETFL, flags | O_NONBLOCK);
    int rc = ::connect(fd_, reinterpret_cast<sockaddr*>(&peer), sizeof peer);
    if (rc != 0 && errno == EINPROGRESS) {
        pollfd p{fd_, POLLOUT, 0};
        int err = 0;
        socklen_t len = sizeof err;
        if (::poll(&p, 1, settings_.waitTimeout) == 1 && getsockopt(fd_, SOL_SOCKET, SO_ERROR, &err, &len) == 0 &&
            err == 0) {
            rc = 0;
        }
    }
    fcntl(fd_, F_SETFL, flags);
    if (rc != 0) {
        Close();
        return Fail(kSockConnectFailed);
    }
    connected_ = true;
    return kSockOk;
}

int CMailSocket::Send(std::string_view text) {
    if (!connected_) return Fail(kSockNotConnected);
    if (!started_) return Fail(kSockNotStarted);
    if (text.empty()) return Fail(kSockBadParameter);
    int timeouts = 0;
    while (!text.empty()) {
        ssize_t n = ::send(fd_, text.data(), text.size(), MSG_NOSIGNAL);
        if (n > 0) {
            text.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        int err = errno;
        if (n < 0 && err == EINTR) continue;
        if (n < 0 && (err == EAGAIN || err == ETIMEDOUT) && ++timeouts <= kSendRetries) continue;
        return FailErrno(n < 0 ? err : ECONNABORTED);
    }
    return kSockOk;
}

int CMailSocket::WaitReadable(int timeoutMs) {
    pollfd p{fd_, POLLIN, 0};
    for (;;) {
        int rc = ::poll(&p, 1, timeoutMs);
        if (rc > 0) return kSockOk;
        if (rc == 0) return kSockTimedOut;
        if (errno != EINTR) return FailErrno(errno);
    }
}

int CMailSocket::Receive(std::string& reply, bool retryOnTimeout, ReplyEnd& end) {
    using Clock = std::chrono::steady_clock;
    using std::chrono::milliseconds;
    reply.clear();
    end.Reset();
    if (!connected_) return Fail(kSockNotConnected);
    if (!started_) return Fail(kSockNotStarted);

    int retries = retryOnTimeout ? kSendRetries : 0;
    buffer_.resize(kChunk);
    char* const buffer = buffer_.data();
    // Silence before the first byte is bounded by the waits and their retries. Once the
    // reply flows, it must keep up the minimum rate after a grace period: the time
    // it may take grows with what has arrived, so a slow but steady transfer goes on.
    // Silence inside the reply is still bounded by each wait as well.
    std::optional<Clock::time_point> firstByte;
    auto msLeft = [&]() -> long long {
        const auto allowed = milliseconds(settings_.rateGrace) +
                             milliseconds(static_cast<long long>(reply.size()) * 1000 / settings_.minRate);
        return std::chrono::duration_cast<milliseconds>(allowed - (Clock::now() - *firstByte)).count();
    };
    const bool rateBound = settings_.minRate > 0;
    for (;;) {
        int wait = settings_.waitTimeout;
        bool cutByRate = false;
        if (rateBound && firstByte) {
            const long long left = msLeft();
            if (left <= 0) return TooSlow();
            if (left < wait) {
                wait = static_cast<int>(left);
                cutByRate = true;
            }
        }
        if (settings_.yield) settings_.yield();
        int rc = WaitReadable(wait);
        if (settings_.yield) settings_.yield();
        if (rc == kSockTimedOut) {
            if (cutByRate) return TooSlow();
            if (retries-- > 0) continue;
            return Fail(reply.empty() ? kSockNoData : kSockTimedOut);
        }
        if (rc != kSockOk) return rc;

        ssize_t n = ::recv(fd_, buffer, kChunk, 0);
        if (n < 0) {
            int err = errno;
            if (err == EINTR) continue;
            if ((err == EAGAIN || err == ETIMEDOUT) && retries-- > 0) continue;
            return FailErrno(err);
        }
        if (n == 0) {
            // The peer closed before the reply was complete: what we have is a fragment.
            return Fail(reply.empty() ? kSockNoData : kSockAborted);
        }
        if (reply.size() + static_cast<std::size_t>(n) > settings_.maxReply) {
            lastError_ = "The reply exceeded the size limit";
            return kSockUnknown;
        }
        if (!firstByte) firstByte = Clock::now();
        reply.append(buffer, static_cast<std::size_t>(n));
        if (end.Complete(reply)) return kSockOk;
    }
}

int CMailSocket::TooSlow() {
    lastError_ = "The server sent its reply too slowly (under " + std::to_string(settings_.minRate) +
                 " bytes a second); the connection was given up";
    return kSockTimedOut;
}

int CMailSocket::Receive(std::string& reply, bool retryOnTimeout, const char* terminator) {
    LineStartsWith end(terminator ? terminator : "");
    return Receive(reply, retryOnTimeout, end);
}

}  // namespace inet
