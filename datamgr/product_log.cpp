#include "datamgr/product_log.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "datamgr/ledgerly.h"

namespace tess::datamgr {
namespace {

// Holds the file lock for one write; other processes' appends wait for it.
class LockedFile {
public:
    LockedFile(const std::filesystem::path& p, int flags) : fd_(::open(p.c_str(), flags | O_CLOEXEC, 0644)) {
        if (fd_ >= 0 && ::flock(fd_, LOCK_EX) != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~LockedFile() {
        if (fd_ >= 0) ::close(fd_);  // closing drops the lock
    }
    LockedFile(const LockedFile&) = delete;
    LockedFile& operator=(const LockedFile&) = delete;
    bool ok() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    uint64_t size() const {
        struct stat st {};
        return fd_ >= 0 && ::fstat(fd_, &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
    }
    bool write(const std::string& bytes) {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            done += static_cast<size_t>(n);
        }
        return true;
    }

private:
    int fd_;
};

std::string Column(const char* label, const std::string& value) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%-20s ", label);
    return buf + value;
}

}  // namespace

std::string FormatLogStamp(std::time_t t) {
    struct tm lt {};
    localtime_r(&t, &lt);
    char buf[40];
    std::strftime(buf, sizeof buf, "%m-%d-%Y %I:%M:%S %p", &lt);
    return buf;
}

std::string FormatLogLine(const std::string& stamp, const char* text) {
    std::string line = stamp;
    if (line.size() < 26) line.resize(26, ' ');
    line += ' ';
    for (const char* p = text ? text : ""; *p; ++p) {
        if (*p == '\r') continue;
        if (*p == '\n') {
            line += "\r\n";
            line.append(29, ' ');
            continue;
        }
        line += *p;
    }
    return line + "\r\n";
}

std::string FormatRunningTime(int64_t s) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "Running Time: %d:%d:%d", static_cast<int>(s / 3600 % 24),
                  static_cast<int>(s / 60 % 60), static_cast<int>(s % 60));
    return buf;
}

ProductLog::ProductLog(Clock clock) : clock_(std::move(clock)) {}

ProductLog::~ProductLog() { WriteRunningTime(); }

std::string ProductLog::HeaderText(const LogHeaderInfo& info) const {
    const std::string stamp = FormatLogStamp(Now());
    std::string out;
    auto line = [&](const std::string& text) { out += FormatLogLine(" ", text.c_str()); };
    // Header lines go out as given: their own line breaks are part of the layout.
    auto raw = [&](const std::string& text) {
        std::string l = " ";
        l.resize(26, ' ');
        out += l + ' ' + text + "\r\n";
    };
    auto empty = [&] { raw(" "); };
    auto values = [&](const char* title, const std::vector<LogRegistryValue>& list) {
        line(title);
        for (const LogRegistryValue& v : list) {
            if (v.type == LogRegistryValue::kText)
                line("\t" + v.name + " : REG_SZ : " + v.text);
            else if (v.type == LogRegistryValue::kNumber)
                line("\t" + v.name + " : REG_DWORD : " + std::to_string(v.number));
        }
    };
    out += FormatLogLine(stamp, std::string(59, '*').c_str());
    out += FormatLogLine(stamp, "Initializing Tessaline (TM) Log File");
    raw("System Information:\r\n");
    line(Column("Computer:", info.computer));
    line(Column("Operating System:", info.operatingSystem));
    line(Column("Current User:", info.currentUser));
    line(Column("Default Client:", info.defaultClient));
    line(Column("MAPI Path:", info.mapiPath));
    line(Column("MAPI Version:", info.mapiVersion));
    empty();
    values("General Tessaline Registry Settings:", info.general);
    empty();
    values("Sync Host Registry Settings:", info.syncHost);
    empty();
    values("Msg Host Registry Settings:", info.msgHost);
    empty();
    values("Config Host Registry Settings:", info.configHost);
    empty();
    line(Column("Tallyhop Version:", info.tallyhopVersion));
    line(Column("Tallyhop Path:", info.tallyhopPath));
    empty();
    if (info.conduitLoaded) {
        raw("Tessaline Registered Conduit Information:\r\n");
        line(Column("\tTitle:", info.conduitTitle));
        line(Column("\tConduit:", info.conduitLibrary));
        line(Column("\tDirectory:", info.conduitDirectory));
        line(Column("\tRemote DB:", info.conduitRemoteDb));
        empty();
    }
    raw("Tessaline Registered Conduit Extension Information:\r\n");
    for (const LogComponent& c : info.components) {
        line(Column("Name:", c.display));
        line(Column("\tSync Host:", c.hostPath));
        line(Column("\tConfig Host:", c.configPath));
    }
    empty();
    return out;
}

bool ProductLog::Open(bool truncate, bool header, const LogHeaderInfo& info) {
    LockedFile f(path_, O_RDWR | O_CREAT | (truncate ? O_TRUNC : 0));
    if (!f.ok()) return false;
    sizeAtOpen_ = f.size();
    if (header) {
        if (sizeAtOpen_ >= kLogHeaderRestartBytes && ::ftruncate(f.fd(), 0) != 0) return false;
        if (::lseek(f.fd(), 0, SEEK_END) < 0 || !f.write(HeaderText(info))) return false;
    }
    startTime_ = Now();
    open_ = true;
    return true;
}

bool ProductLog::Start(const std::string& userDir, const std::string& conduitDir, bool enableLogging,
                       const LogHeaderInfo& info) {
    if (!enableLogging) return open_;
    if (open_) {
        WriteRunningTime();
    } else {
        if (userDir.empty() || conduitDir.empty()) return false;
        path_ = std::filesystem::path(userDir) / conduitDir / kLogFileName;
        if (!Open(false, true, info)) return false;
    }
    std::error_code ec;
    const uint64_t size = std::filesystem::file_size(path_, ec);
    if (!ec && size > kLogHardLimitBytes) {
        WriteRunningTime();
        Open(true, false, info);
    }
    return open_;
}

bool ProductLog::AppendLocked(const std::string& bytes) {
    LockedFile f(path_, O_WRONLY | O_APPEND | O_CREAT);
    return f.ok() && f.write(bytes);
}

int ProductLog::Add(const char* text) {
    if (!open_) return static_cast<int>(LDG_E_LOG_OPEN);
    return AppendLocked(FormatLogLine(FormatLogStamp(Now()), text)) ? 0 : static_cast<int>(LDG_E_LOG_OPEN);
}

void ProductLog::WriteRunningTime() {
    if (!open_ || startTime_ == 0) return;
    const std::time_t now = Now();
    AppendLocked(FormatLogLine(FormatLogStamp(now), FormatRunningTime(now - startTime_).c_str()));
}

ProductLog& TheProductLog() {
    static ProductLog log;
    return log;
}

}  // namespace tess::datamgr

int MLOGAdd(const char* text) { return tess::datamgr::TheProductLog().Add(text); }
