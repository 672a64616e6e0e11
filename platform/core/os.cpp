#include "platform/core/os.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "platform/core/runtime.h"

namespace platform {

uint64_t fnv1a(std::string_view s) {
    uint64_t h = 14695981039346656037ull;
    for (unsigned char c : s) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

namespace {

std::error_code lastError() { return {errno, std::generic_category()}; }

// A file descriptor closed on every road out.
class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

// Bookkeeping in front of a section's data: the data size asked at creation and how many
// opens are live. Both change only under the object's flock.
struct SectionHeader {
    uint64_t size;
    uint64_t users;
};
constexpr size_t kHeaderSize = 64;  // keeps the data aligned for any use
static_assert(sizeof(SectionHeader) <= kHeaderSize);

}  // namespace

std::string SharedSection::objectName(std::string_view name) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "/tess-%016llx-%016llx",
                  static_cast<unsigned long long>(fnv1a(runtimeRoot().string())),
                  static_cast<unsigned long long>(fnv1a(name)));
    return buf;
}

std::optional<SharedSection> SharedSection::open(std::string_view name, size_t size, std::error_code& ec) {
    ec.clear();
    if (size == 0 || size > (size_t{1} << 32)) {
        ec = std::make_error_code(std::errc::invalid_argument);
        return std::nullopt;
    }
    const std::string object = objectName(name);
    // Another process may remove the object between our open and our lock; then the open
    // we hold is of a dead object and we start again.
    for (int attempt = 0; attempt < 100; ++attempt) {
        Fd fd(shm_open(object.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
        if (fd.get() < 0 || flock(fd.get(), LOCK_EX) != 0) {
            ec = lastError();
            return std::nullopt;
        }
        struct stat st {};
        if (fstat(fd.get(), &st) != 0) {
            ec = lastError();
            return std::nullopt;
        }
        if (st.st_nlink == 0) continue;
        const bool creating = st.st_size == 0;
        const size_t total = kHeaderSize + size;
        if (creating && ftruncate(fd.get(), static_cast<off_t>(total)) != 0) {
            ec = lastError();
            shm_unlink(object.c_str());
            return std::nullopt;
        }
        if (!creating && static_cast<size_t>(st.st_size) != total) {
            ec = std::make_error_code(std::errc::invalid_argument);
            return std::nullopt;
        }
        void* base = mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_SHARED, fd.get(), 0);
        if (base == MAP_FAILED) {
            ec = lastError();
            if (creating) shm_unlink(object.c_str());
            return std::nullopt;
        }
        auto* header = static_cast<SectionHeader*>(base);
        if (creating) header->size = size;
        ++header->users;
        flock(fd.get(), LOCK_UN);

        SharedSection section;
        section.objectName_ = object;
        section.fd_ = fd.release();
        section.base_ = base;
        section.mapped_ = total;
        section.data_ = static_cast<unsigned char*>(base) + kHeaderSize;
        section.size_ = size;
        section.created_ = creating;
        return section;
    }
    ec = std::make_error_code(std::errc::resource_unavailable_try_again);
    return std::nullopt;
}

void SharedSection::release() noexcept {
    if (fd_ < 0) return;
    if (flock(fd_, LOCK_EX) == 0) {
        auto* header = static_cast<SectionHeader*>(base_);
        if (header->users > 0 && --header->users == 0) shm_unlink(objectName_.c_str());
        flock(fd_, LOCK_UN);
    }
    munmap(base_, mapped_);
    ::close(fd_);
    fd_ = -1;
    base_ = data_ = nullptr;
    mapped_ = size_ = 0;
}

SharedSection::SharedSection(SharedSection&& other) noexcept { *this = std::move(other); }

SharedSection& SharedSection::operator=(SharedSection&& other) noexcept {
    if (this != &other) {
        release();
        objectName_ = std::move(other.objectName_);
        fd_ = std::exchange(other.fd_, -1);
        base_ = std::exchange(other.base_, nullptr);
        mapped_ = std::exchange(other.mapped_, 0);
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        created_ = other.created_;
    }
    return *this;
}

SharedSection::~SharedSection() { release(); }

std::optional<InstanceLock> InstanceLock::acquire(std::string_view name, std::error_code& ec) {
    ec.clear();
    const auto path = runtimeRoot() / (safeFileName(name) + ".lock");
    Fd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (fd.get() < 0) {
        ec = lastError();
        return std::nullopt;
    }
    if (flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        ec = errno == EWOULDBLOCK ? std::make_error_code(std::errc::resource_unavailable_try_again) : lastError();
        return std::nullopt;
    }
    return InstanceLock(fd.release());
}

InstanceLock::InstanceLock(InstanceLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

InstanceLock& InstanceLock::operator=(InstanceLock&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

InstanceLock::~InstanceLock() {
    if (fd_ >= 0) ::close(fd_);  // closing the last descriptor releases the flock
}

std::optional<MappedFile> MappedFile::open(const std::filesystem::path& path, std::error_code& ec) {
    ec.clear();
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) {
        ec = lastError();
        return std::nullopt;
    }
    struct stat st {};
    if (fstat(fd.get(), &st) != 0) {
        ec = lastError();
        return std::nullopt;
    }
    if (!S_ISREG(st.st_mode)) {
        ec = std::make_error_code(std::errc::invalid_argument);
        return std::nullopt;
    }
    MappedFile file;
    if (st.st_size == 0) return file;  // mmap refuses length 0; empty data is the right answer
    void* p = mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd.get(), 0);
    if (p == MAP_FAILED) {
        ec = lastError();
        return std::nullopt;
    }
    file.data_ = p;
    file.size_ = static_cast<size_t>(st.st_size);
    return file;
}

MappedFile::MappedFile(MappedFile&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept {
    if (this != &other) {
        if (data_) munmap(data_, size_);
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

MappedFile::~MappedFile() {
    if (data_) munmap(data_, size_);
}

std::optional<TempDir> TempDir::create(std::error_code& ec) {
    ec.clear();
    const auto parent = runtimeRoot() / "tmp";
    std::filesystem::create_directories(parent, ec);
    if (ec) return std::nullopt;
    std::string tmpl = (parent / "t-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) {  // mkdtemp makes it 0700
        ec = lastError();
        return std::nullopt;
    }
    TempDir dir;
    dir.path_ = tmpl;
    return dir;
}

TempDir::TempDir(TempDir&& other) noexcept : path_(std::exchange(other.path_, {})) {}

TempDir& TempDir::operator=(TempDir&& other) noexcept {
    if (this != &other) {
        TempDir old(std::move(*this));
        path_ = std::exchange(other.path_, {});
    }
    return *this;
}

TempDir::~TempDir() {
    if (path_.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string safeFileName(std::string_view name) {
    constexpr size_t kMaxName = 120;  // well under NAME_MAX with room for "-NNN"
    const size_t slash = name.find_last_of("/\\");
    if (slash != std::string_view::npos) name.remove_prefix(slash + 1);
    std::string out;
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7F) continue;
        if (out.empty() && c == '.') continue;  // no ".", "..", nor hidden files
        out += static_cast<char>(c);
    }
    while (!out.empty() && (out.back() == ' ' || out.back() == '.')) out.pop_back();
    if (out.empty()) return "file";
    if (out.size() > kMaxName) {
        const size_t dot = out.rfind('.');
        const size_t extLen = dot != std::string::npos && out.size() - dot <= 16 ? out.size() - dot : 0;
        out = out.substr(0, kMaxName - extLen) + out.substr(out.size() - extLen);
    }
    return out;
}

std::optional<std::filesystem::path> TempDir::reserveFile(std::string_view untrustedName, std::error_code& ec) const {
    ec.clear();
    const std::string base = safeFileName(untrustedName);
    const size_t dot = base.rfind('.');
    const std::string stem = dot == std::string::npos ? base : base.substr(0, dot);
    const std::string ext = dot == std::string::npos ? std::string() : base.substr(dot);
    for (int n = 0; n < 10000; ++n) {
        const std::string candidate = n == 0 ? base : stem + "-" + std::to_string(n) + ext;
        const auto path = path_ / candidate;
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd >= 0) {
            ::close(fd);
            return path;
        }
        if (errno != EEXIST) {
            ec = lastError();
            return std::nullopt;
        }
    }
    ec = std::make_error_code(std::errc::file_exists);
    return std::nullopt;
}

}  // namespace platform

namespace platform {

bool replaceFile(const std::filesystem::path& file, std::string_view bytes, std::string_view tempSuffix,
                 std::error_code& ec, const char** step) {
    std::filesystem::path temp = file;
    temp += tempSuffix;
    auto fail = [&](const char* what) {
        ec = lastError();
        if (step) *step = what;
        ::unlink(temp.c_str());
        return false;
    };
    Fd out(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    if (out.get() < 0) return fail("create");
    for (std::string_view rest = bytes; !rest.empty();) {
        const ssize_t n = ::write(out.get(), rest.data(), rest.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return fail("write");
        rest.remove_prefix(static_cast<size_t>(n));
    }
    if (::fsync(out.get()) != 0) return fail("write");
    if (::close(out.release()) != 0) return fail("close");
    if (::rename(temp.c_str(), file.c_str()) != 0) return fail("rename");
    const std::filesystem::path dir = file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
    Fd folder(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() >= 0) ::fsync(folder.get());
    ec.clear();
    return true;
}

bool replaceFile(const std::filesystem::path& file, std::string_view bytes, std::string_view tempSuffix,
                 std::string& why) {
    std::error_code ec;
    const char* step = "write";
    if (replaceFile(file, bytes, tempSuffix, ec, &step)) return true;
    why = std::string("cannot ") + step + " " + file.string() + std::string(tempSuffix) + ": " + ec.message();
    return false;
}

bool openWithDesktop(const std::string& target) {
    char opener[] = "xdg-open";
    std::string copy = target;
    char* argv[] = {opener, copy.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, opener, nullptr, nullptr, argv, environ) != 0) return false;
    int status = 0;
    // The opener hands the target on and returns.
    if (waitpid(pid, &status, 0) != pid) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace platform
