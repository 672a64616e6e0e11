#pragma once
// The product log Tessaline.log: one per desktop user, opened at session start, a line
// per MLOGAdd, a closing running-time line when the library unloads.
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace tess::datamgr {

constexpr uint64_t kLogHeaderRestartBytes = 102400;  // at open: begin anew with a header
constexpr uint64_t kLogHardLimitBytes = 104857600;   // past it: begin anew, no header
constexpr const char* kLogFileName = "Tessaline.log";

// What the header prints; the session start gathers it (system report, registry
// values, conduit registration, registered components).
struct LogRegistryValue {
    enum Type { kText, kNumber, kOther } type = kText;
    std::string name;
    std::string text;
    int32_t number = 0;
};
struct LogComponent {
    std::string display, hostPath, configPath;
};
struct LogHeaderInfo {
    std::string computer, operatingSystem, currentUser, defaultClient, mapiPath, mapiVersion;
    std::vector<LogRegistryValue> general, syncHost, msgHost, configHost;
    std::string tallyhopVersion, tallyhopPath;
    bool conduitLoaded = false;
    std::string conduitTitle, conduitLibrary, conduitDirectory, conduitRemoteDb;
    std::vector<LogComponent> components;
};

// "%m-%d-%Y %I:%M:%S %p" in local time (22 characters).
std::string FormatLogStamp(std::time_t t);
// "%-26s %s\r\n" with carriage returns dropped and each line feed continued on a new line
// indented by 29 blanks.
std::string FormatLogLine(const std::string& stamp, const char* text);
// "Running Time: h:m:s", hours modulo 24, unpadded.
std::string FormatRunningTime(int64_t seconds);

class ProductLog {
public:
    using Clock = std::function<std::time_t()>;
    explicit ProductLog(Clock clock = nullptr);
    // Unloading writes the running-time line.
    ~ProductLog();
    ProductLog(const ProductLog&) = delete;
    ProductLog& operator=(const ProductLog&) = delete;

    // Session start: with logging enabled, opens <userDir>/<conduitDir>/Tessaline.log
    // (a log already open here gets its running-time line instead), begins it anew with
    // a header at 102400 bytes or more, else appends the header; then begins it anew
    // without a header when it has grown past 104857600 bytes. False when the log is
    // not open afterwards; the session goes on either way.
    bool Start(const std::string& userDir, const std::string& conduitDir, bool enableLogging,
               const LogHeaderInfo& info);
    // 0, or 0x80400001 when not open or the line cannot be written.
    int Add(const char* text);
    void WriteRunningTime();

    bool IsOpen() const { return open_; }
    const std::filesystem::path& Path() const { return path_; }

private:
    bool Open(bool truncate, bool header, const LogHeaderInfo& info);
    bool AppendLocked(const std::string& bytes);
    std::string HeaderText(const LogHeaderInfo& info) const;
    std::time_t Now() const { return clock_ ? clock_() : std::time(nullptr); }

    Clock clock_;
    std::filesystem::path path_;
    bool open_ = false;
    std::time_t startTime_ = 0;
    uint64_t sizeAtOpen_ = 0;
};

// The process's log, behind MLOGAdd.
ProductLog& TheProductLog();

}  // namespace tess::datamgr
