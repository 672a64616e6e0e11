#pragma once
// Operating-system services the product expects of its platform: shared data sections,
// a single-instance lock, read-only file mappings, private temporary directories and
// time-zone information. Every failure comes back as a std::error_code; nothing throws.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>

#include "platform/export.h"

namespace platform {

// A block of memory shared by every process of this runtime root that opens the same
// name (POSIX shared memory named from a hash of the runtime root and the section name,
// so separate roots, such as parallel tests, never meet). Zero-filled when created. The
// section lives while any process has it open: the last one to close it removes it.
class TESS_EXPORT SharedSection {
public:
    // Opens the section, creating it when no process has it. A section that exists with
    // another size is refused (std::errc::invalid_argument); size 0 is refused too.
    static std::optional<SharedSection> open(std::string_view name, size_t size, std::error_code& ec);

    SharedSection(SharedSection&& other) noexcept;
    SharedSection& operator=(SharedSection&& other) noexcept;
    SharedSection(const SharedSection&) = delete;
    SharedSection& operator=(const SharedSection&) = delete;
    ~SharedSection();

    void* data() const { return data_; }
    size_t size() const { return size_; }
    // True when this open made the section (it was zero-filled for us).
    bool created() const { return created_; }
    // The POSIX shared-memory object name used for `name` under the current runtime root.
    static std::string objectName(std::string_view name);

private:
    SharedSection() = default;
    void release() noexcept;

    std::string objectName_;
    int fd_ = -1;
    void* base_ = nullptr;
    size_t mapped_ = 0;
    void* data_ = nullptr;
    size_t size_ = 0;
    bool created_ = false;
};

// Holds an exclusive flock on <runtime root>/<name>.lock while it lives. A second holder,
// in this process or another, is refused with std::errc::resource_unavailable_try_again.
class TESS_EXPORT InstanceLock {
public:
    static std::optional<InstanceLock> acquire(std::string_view name, std::error_code& ec);

    InstanceLock(InstanceLock&& other) noexcept;
    InstanceLock& operator=(InstanceLock&& other) noexcept;
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;
    ~InstanceLock();

private:
    explicit InstanceLock(int fd) : fd_(fd) {}
    int fd_ = -1;
};

// A whole regular file mapped read-only (anything else, such as a directory or a pipe, is
// refused with std::errc::invalid_argument). An empty file maps as empty data. The bytes are
// only valid while the object lives; a file truncated meanwhile by someone else is the
// caller's risk, as with any mapping.
class TESS_EXPORT MappedFile {
public:
    static std::optional<MappedFile> open(const std::filesystem::path& path, std::error_code& ec);

    MappedFile(MappedFile&& other) noexcept;
    MappedFile& operator=(MappedFile&& other) noexcept;
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    ~MappedFile();

    std::span<const unsigned char> bytes() const { return {static_cast<const unsigned char*>(data_), size_}; }
    size_t size() const { return size_; }

private:
    MappedFile() = default;
    void* data_ = nullptr;
    size_t size_ = 0;
};

// A private directory (mode 0700) under <runtime root>/tmp/, removed with its contents
// when the object goes.
class TESS_EXPORT TempDir {
public:
    static std::optional<TempDir> create(std::error_code& ec);

    TempDir(TempDir&& other) noexcept;
    TempDir& operator=(TempDir&& other) noexcept;
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir();

    const std::filesystem::path& path() const { return path_; }

    // Makes a new empty file (mode 0600) in this directory named after an untrusted name
    // (an attachment's, a server's): only its last path part is kept, control characters
    // and leading dots are dropped, an empty result becomes "file", and the name is cut to
    // a sane length keeping its extension. When the name is taken, "-1", "-2", ... go
    // before the extension. Returns the new file's path.
    std::optional<std::filesystem::path> reserveFile(std::string_view untrustedName, std::error_code& ec) const;

private:
    TempDir() = default;
    std::filesystem::path path_;
};

// The safe file name reserveFile starts from (exposed for tests).
TESS_EXPORT std::string safeFileName(std::string_view untrustedName);

// The 64-bit FNV-1a hash of bytes: a check that a file read back is the one written, not
// a defence against anyone who means to change it.
TESS_EXPORT uint64_t fnv1a(std::string_view bytes);

// Replaces file with bytes so that a reader, or the next run after a crash, finds the old
// file or the new one whole, never a mix: the bytes go to file + tempSuffix, are synced and
// renamed over file, and the rename is synced with the directory. On failure file is
// untouched, the temporary file is removed, ec holds the error and *step (when given)
// names what failed: "create", "write", "close" or "rename".
TESS_EXPORT bool replaceFile(const std::filesystem::path& file, std::string_view bytes, std::string_view tempSuffix,
                             std::error_code& ec, const char** step = nullptr);
// The same, with what failed said in why: "cannot <step> <temporary file>: <error>".
TESS_EXPORT bool replaceFile(const std::filesystem::path& file, std::string_view bytes, std::string_view tempSuffix,
                             std::string& why);

// Opens a file or web address with the desktop's opener (xdg-open), as the shell's "open"
// verb does: true when the opener ran and reported success.
TESS_EXPORT bool openWithDesktop(const std::string& target);

// A date and wall-clock time of a time-zone transition, as local time just before it.
struct ZoneDate {
    int year = 0;       // 0 with month 0: no transition
    int month = 0;      // 1-12
    int day = 0;        // 1-31
    int dayOfWeek = 0;  // 0 = Sunday
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// A zone's rules for one year, in the platform's sign convention: UTC = local + bias
// (minutes). In daylight time the bias is bias + daylightBias.
struct TimeZoneInfo {
    int bias = 0;
    int standardBias = 0;
    int daylightBias = 0;
    bool hasDaylight = false;  // the zone changes to daylight time and back in that year
    ZoneDate standardDate;     // daylight time ends (local daylight time)
    ZoneDate daylightDate;     // daylight time begins (local standard time)
    std::string standardName;
    std::string daylightName;
};

// The offset in force at one instant.
struct ZoneOffset {
    int utcOffsetSeconds = 0;  // local = UTC + offset
    bool isDaylight = false;
    std::string abbreviation;
    int bias() const { return -utcOffsetSeconds / 60; }
};

// `zone` is a tz database name ("Europe/Berlin"); empty means the local zone ($TZ, else
// /etc/localtime). Unknown or malformed zones, and years beyond +-200000, give
// std::errc::invalid_argument. Instants are taken within some 250,000 years of 1970.
TESS_EXPORT std::optional<TimeZoneInfo> timeZoneInfo(std::string_view zone, int year, std::error_code& ec);
TESS_EXPORT std::optional<ZoneOffset> zoneOffsetAt(std::string_view zone, int64_t utcSeconds, std::error_code& ec);

}  // namespace platform
