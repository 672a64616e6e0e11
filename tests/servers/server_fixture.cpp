#include "tests/servers/server_fixture.h"

#include "tests/support/test_home.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tess::test {

namespace {

constexpr size_t kMaxLine = 1 << 20;
constexpr size_t kMaxScriptOutput = 1 << 16;

// Runs a program with its output going to `log`; returns its exit status. Not a pipe:
// daemons the program starts would inherit it and keep it open.
int runProgram(const std::vector<std::string>& args, const std::filesystem::path& log) {
    pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        int in = open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (fd < 0 || in < 0) _exit(126);
        dup2(in, STDIN_FILENO);
        dup2(fd, STDOUT_FILENO);
        dup2(fd, STDERR_FILENO);
        std::vector<char*> argv;
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

std::string readFile(const std::filesystem::path& path, size_t limit = SIZE_MAX) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    std::string out;
    char buf[4096];
    while (out.size() < limit && in.read(buf, sizeof buf).gcount() > 0)
        out.append(buf, static_cast<size_t>(in.gcount()));
    if (out.size() > limit) out.resize(limit);
    return out;
}

}  // namespace

MailServers::MailServers() {
    // The build records where the script is, so the test also runs outside CTest.
    script_ = std::getenv("TESS_SOURCE_DIR") ? sourceDir() / "tests/servers/mailservers.sh"
                                             : std::filesystem::path(TESS_SERVERS_SCRIPT);
    std::string tmpl = (std::filesystem::temp_directory_path() / "tess-servers-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    dir_ = tmpl;
    try {
        run({"start", dir_.string(), "--watch", std::to_string(getpid())});
        std::istringstream in(readFile(dir_ / "servers.env"));
        std::string line;
        while (std::getline(in, line)) {
            auto eq = line.find('=');
            if (eq != std::string::npos) env_[line.substr(0, eq)] = line.substr(eq + 1);
        }
    } catch (...) {
        stop();
        throw;
    }
}

MailServers::~MailServers() { stop(); }

void MailServers::stop() noexcept {
    try {
        runProgram({"/bin/bash", script_.string(), "stop", dir_.string()}, dir_ / "stop.log");
    } catch (...) {
    }
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

void MailServers::run(const std::vector<std::string>& args) const {
    std::vector<std::string> argv{"/bin/bash", script_.string()};
    argv.insert(argv.end(), args.begin(), args.end());
    const auto log = dir_ / "script.log";
    int rc = runProgram(argv, log);
    if (rc != 0)
        throw std::runtime_error("mailservers.sh " + args.front() + " failed (" + std::to_string(rc) +
                                 "): " + readFile(log, kMaxScriptOutput));
}

const std::string& MailServers::value(const std::string& key) const {
    auto it = env_.find(key);
    if (it == env_.end()) throw std::runtime_error("servers.env has no " + key);
    return it->second;
}

int MailServers::port(const std::string& key) const { return std::stoi(value(key)); }

void MailServers::reset() { run({"reset", dir_.string()}); }

void MailServers::refuseRecipient(const std::string& address, const std::string& reply) {
    std::ofstream out(value("SMTP_REFUSE_FILE"), std::ios::app);
    out << address;
    if (!reply.empty()) out << ' ' << reply;
    out << '\n';
    if (!out) throw std::runtime_error("cannot write the SMTP refuse file");
}

std::vector<std::string> MailServers::captured() const {
    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::directory_iterator(value("SMTP_CAPTURE_DIR")))
        if (e.path().extension() == ".eml") files.push_back(e.path());
    std::sort(files.begin(), files.end());
    std::vector<std::string> out;
    for (const auto& f : files) out.push_back(readFile(f));
    return out;
}

std::unique_ptr<MailServers> MailServersTest::servers_;

void MailServersTest::SetUpTestSuite() {
    if (!servers_) servers_ = std::make_unique<MailServers>();
}

void MailServersTest::TearDownTestSuite() { servers_.reset(); }

void MailServersTest::SetUp() { servers().reset(); }

MailServers& MailServersTest::servers() {
    if (!servers_) throw std::runtime_error("mail servers are not running");
    return *servers_;
}

LineClient::LineClient(int port, const std::string& host, std::chrono::milliseconds timeout) : timeout_(timeout) {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) throw std::runtime_error("socket failed");
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    if (inet_pton(AF_INET, host.c_str(), &addr.sin_addr) != 1 ||
        connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        std::string why = std::strerror(errno);
        close(fd_);
        throw std::runtime_error("connect to " + host + ":" + std::to_string(port) + ": " + why);
    }
}

LineClient::~LineClient() {
    if (fd_ >= 0) close(fd_);
}

std::string LineClient::readLine() {
    for (;;) {
        auto nl = buffer_.find('\n');
        if (nl != std::string::npos) {
            std::string line = buffer_.substr(0, nl);
            buffer_.erase(0, nl + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return line;
        }
        if (buffer_.size() > kMaxLine) throw std::runtime_error("reply line too long");
        pollfd p{fd_, POLLIN, 0};
        int r = poll(&p, 1, static_cast<int>(timeout_.count()));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) throw std::runtime_error("time-out waiting for a reply line");
        char buf[4096];
        ssize_t n = recv(fd_, buf, sizeof buf, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw std::runtime_error("connection closed while waiting for a reply line");
        buffer_.append(buf, static_cast<size_t>(n));
    }
}

void LineClient::send(std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw std::runtime_error(std::string("send failed: ") + std::strerror(errno));
        bytes.remove_prefix(static_cast<size_t>(n));
    }
}

void LineClient::sendLine(std::string_view line) {
    std::string s(line);
    s += "\r\n";
    send(s);
}

std::string LineClient::command(std::string_view line) {
    sendLine(line);
    return readLine();
}

std::vector<std::string> LineClient::imapCommand(std::string_view tag, std::string_view line) {
    std::string full(tag);
    full += ' ';
    full += line;
    sendLine(full);
    std::string prefix(tag);
    prefix += ' ';
    std::vector<std::string> lines;
    for (;;) {
        lines.push_back(readLine());
        if (lines.back().rfind(prefix, 0) == 0) return lines;
    }
}

ImapAdmin::ImapAdmin(int port, const std::string& user, const std::string& password) : client_(port) {
    client_.readLine();
    client_.imapCommand("a0", "LOGIN " + user + " " + password);
}

std::vector<std::string> ImapAdmin::Command(std::string_view line) {
    return client_.imapCommand("a" + std::to_string(++tag_), line);
}

ImapAdmin::Appended ImapAdmin::Append(std::string_view mailbox, std::string_view flags, const std::string& text) {
    const std::string tag = "a" + std::to_string(++tag_);
    std::string line = tag + " APPEND " + std::string(mailbox);
    if (!flags.empty()) line += " (" + std::string(flags) + ")";
    client_.sendLine(line + " {" + std::to_string(text.size()) + "}");
    Appended result;
    result.continuation = client_.readLine();
    if (result.continuation.rfind("+", 0) != 0) {
        result.status = result.continuation;
        return result;
    }
    client_.send(text + "\r\n");
    do result.status = client_.readLine();
    while (result.status.rfind(tag + " ", 0) != 0);
    return result;
}

std::string LineClient::smtpReply() {
    for (;;) {
        std::string line = readLine();
        // "250-..." continues, "250 ..." (or a bare code) ends the reply.
        if (line.size() < 4 || line[3] != '-') return line;
    }
}

std::string base64(std::string_view bytes) {
    std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                            reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
    out.resize(static_cast<size_t>(n));
    return out;
}

std::string md5Hex(std::string_view bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    if (!EVP_Digest(bytes.data(), bytes.size(), digest, &len, EVP_md5(), nullptr))
        throw std::runtime_error("MD5 failed");
    static const char* hex = "0123456789abcdef";
    std::string out;
    for (unsigned int i = 0; i < len; ++i) {
        out += hex[digest[i] >> 4];
        out += hex[digest[i] & 15];
    }
    return out;
}

}  // namespace tess::test
