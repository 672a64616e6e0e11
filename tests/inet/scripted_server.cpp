#include "tests/inet/scripted_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace inet::test {

ScriptedServer::ScriptedServer(std::vector<Step> script) {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::listen(listenFd_, 1);
    socklen_t len = sizeof addr;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread(&ScriptedServer::Run, this, std::move(script));
}

ScriptedServer::~ScriptedServer() {
    Finish();
    if (listenFd_ >= 0) ::close(listenFd_);
}

bool ScriptedServer::Finish() {
    if (thread_.joinable()) thread_.join();
    std::lock_guard lock(mutex_);
    return failure_.empty();
}

std::vector<std::string> ScriptedServer::received() {
    std::lock_guard lock(mutex_);
    return received_;
}

std::string ScriptedServer::failure() {
    std::lock_guard lock(mutex_);
    return failure_;
}

bool ScriptedServer::ReadLine(int fd, std::string& line) {
    for (;;) {
        std::size_t lf = pending_.find('\n');
        if (lf != std::string::npos) {
            line = pending_.substr(0, lf);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            pending_.erase(0, lf + 1);
            return true;
        }
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 10000) <= 0) return false;
        char buf[4096];
        ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) return false;
        pending_.append(buf, static_cast<std::size_t>(n));
    }
}

void ScriptedServer::Run(std::vector<Step> script) {
    pollfd p{listenFd_, POLLIN, 0};
    if (::poll(&p, 1, 10000) <= 0) {
        std::lock_guard lock(mutex_);
        failure_ = "no connection";
        return;
    }
    int fd = ::accept(listenFd_, nullptr, nullptr);
    std::string tag;
    for (const Step& step : script) {
        if (step.kind == Step::kSend) {
            std::string text = step.text;
            for (std::size_t at; (at = text.find("{tag}")) != std::string::npos;) text.replace(at, 5, tag);
            ::send(fd, text.data(), text.size(), MSG_NOSIGNAL);
        } else if (step.kind == Step::kExpect) {
            std::string line;
            bool ok = ReadLine(fd, line);
            std::lock_guard lock(mutex_);
            if (ok) received_.push_back(line);
            tag = line.substr(0, line.find(' '));
            if (!ok || !line.starts_with(step.text)) {
                failure_ = "expected '" + step.text + "', got '" + (ok ? line : "<nothing>") + "'";
                break;
            }
        } else if (step.kind == Step::kReadBytes) {
            std::string data;
            while (static_cast<int>(pending_.size()) < step.value) {
                pollfd q{fd, POLLIN, 0};
                char buf[4096];
                ssize_t n = ::poll(&q, 1, 10000) > 0 ? ::recv(fd, buf, sizeof buf, 0) : 0;
                if (n <= 0) break;
                pending_.append(buf, static_cast<std::size_t>(n));
            }
            std::lock_guard lock(mutex_);
            received_.push_back(pending_.substr(0, static_cast<std::size_t>(step.value)));
            pending_.erase(0, static_cast<std::size_t>(step.value));
        } else if (step.kind == Step::kReadUntil) {
            std::string all, line;
            bool ok = false;
            while ((ok = ReadLine(fd, line))) {
                all += line + "\n";
                if (line == step.text) break;
            }
            std::lock_guard lock(mutex_);
            received_.push_back(all);
            if (!ok) {
                failure_ = "no line '" + step.text + "'";
                break;
            }
        } else if (step.kind == Step::kPause) {
            std::this_thread::sleep_for(std::chrono::milliseconds(step.value));
        } else {
            break;
        }
    }
    ::shutdown(fd, SHUT_RDWR);
    ::close(fd);
}

}  // namespace inet::test
