#include "common/mapped_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tess {

uint8_t GetAttachmentKindOfExtension(const std::string& extension) {
    static const struct {
        const char* ext;
        uint8_t kind;
    } kTable[] = {
        {"txt", 0},  {"htm", 1},  {"html", 1}, {"dat", 2},  {"prc", 3},  {"pdb", 4},  {"gif", 5},  {"doc", 6},
        {"vcf", 7},  {"bmp", 8},  {"xls", 9},  {"zip", 10}, {"jpg", 11}, {"bin", 12}, {"sit", 13}, {"wav", 14},
        {"qsh", 15}, {"vcs", 16}, {"vca", 16}, {"csv", 17}, {"edf", 18}, {"pdf", 19}, {"ara", 20},
    };
    std::string lower = extension;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
    for (const auto& e : kTable)
        if (lower == e.ext) return e.kind;
    return 0;
}

// ---- CMappedFile

CMappedFile::CMappedFile(const std::string& path) : path_(path) {
    const size_t slash = path.find_last_of("/\\");
    const size_t dot = path.rfind('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) extension_ = path.substr(dot + 1);

    // Read-only: an attachment being sent is never changed or locked by us.
    std::error_code ec;
    auto view = platform::MappedFile::open(path, ec);
    if (!view || view->size() > UINT32_MAX) return;
    view_ = std::move(view);
    size_ = static_cast<uint32_t>(view_->size());
    open_ = true;
}

int CMappedFile::Read(uint8_t** buffer, uint32_t* length) {
    if (!open_) return kMappedReadNotOpen;
    if (!buffer || !*buffer || !length || *length == 0) return kMappedReadBadArgument;
    const uint32_t left = size_ - cursor_;
    if (left == 0) return kMappedReadEnd;
    const uint32_t n = std::min(*length, left);
    std::memcpy(*buffer, view_->bytes().data() + cursor_, n);
    cursor_ += n;
    if (n < *length) {
        *length = n;
        return kMappedReadEnd;
    }
    return cursor_ == size_ ? kMappedReadEnd : kMappedReadMore;
}

void CMappedFile::Seek(int origin, uint32_t offset) {
    switch (origin) {
    case kSeekStart:
        if (offset <= size_) cursor_ = offset;
        break;
    case kSeekEnd: cursor_ = size_; break;
    case kSeekFromEnd:
        if (offset <= size_) cursor_ = size_ - offset;
        break;
    default: break;
    }
}

CTypedMappedFile::CTypedMappedFile(const std::string& path) : CMappedFile(path) {
    if (IsOpen()) kind_ = GetAttachmentKindOfExtension(Extension());
}

// ---- CPlainFile

CPlainFile::CPlainFile(const char* path, bool create) {
    if (path) Open(path, create);
}

int CPlainFile::Open(const char* path, bool create) {
    Close();
    if (!path) return 0;
    fd_ = ::open(path, O_RDWR | O_CREAT | O_CLOEXEC | (create ? O_TRUNC : 0), 0600);
    return fd_ >= 0 ? 1 : 0;
}

int CPlainFile::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    return 1;
}

int CPlainFile::Read(uint8_t** buffer, uint32_t* size) {
    if (fd_ < 0 || !buffer || !*buffer || !size) return 0;
    std::memset(*buffer, 0, *size);
    ssize_t n;
    do {
        n = ::read(fd_, *buffer, *size);
    } while (n < 0 && errno == EINTR);
    *size = n > 0 ? static_cast<uint32_t>(n) : 0;
    return n > 0 ? 1 : 0;
}

int CPlainFile::Write(const uint8_t* buffer, uint32_t* size) {
    if (fd_ < 0 || !buffer || !size) return 0;
    uint32_t done = 0;
    while (done < *size) {
        const ssize_t n = ::write(fd_, buffer + done, *size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<uint32_t>(n);
    }
    const bool whole = done == *size && done > 0;
    *size = done;
    return whole ? 1 : 0;
}

// ---- Line ends

std::string ExpandLineFeeds(const char* text, size_t length) {
    std::string out;
    if (!text) return out;
    out.reserve(length + length / 16);
    // Whole lines at a time: every message body read from the handheld comes through here.
    size_t start = 0;
    while (start < length) {
        const void* lf = std::memchr(text + start, '\n', length - start);
        const size_t end = lf ? static_cast<size_t>(static_cast<const char*>(lf) - text) : length;
        out.append(text + start, end - start);
        if (!lf) break;
        out += "\r\n";
        start = end + 1;
    }
    return out;
}

std::string StripCarriageReturns(const char* text, size_t length) {
    std::string out;
    if (!text) return out;
    // The text ends at its first NUL; between carriage returns it goes across in runs:
    // every record packed for the handheld, bodies included, comes through here.
    if (const void* nul = std::memchr(text, '\0', length)) length = size_t(static_cast<const char*>(nul) - text);
    out.reserve(length);
    size_t start = 0;
    while (start < length) {
        const void* cr = std::memchr(text + start, '\r', length - start);
        const size_t end = cr ? size_t(static_cast<const char*>(cr) - text) : length;
        out.append(text + start, end - start);
        start = end + 1;
    }
    return out;
}

}  // namespace tess
