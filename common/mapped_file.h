#pragma once
// Files that attachments travel in: a read-only mapped reader handed out piece by
// piece, its typed form that knows the handheld attachment type, and a plain read/write
// file for decoded attachment parts.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/core/os.h"

namespace tess {

// Results of CMappedFile::Read.
enum : int {
    kMappedReadMore = 0,
    kMappedReadEnd = 1,
    kMappedReadNotOpen = 2,
    kMappedReadBadArgument = 3,
};
// Seek origins.
enum : int { kSeekStart = 1, kSeekEnd = 2, kSeekFromEnd = 3 };

// The attachment type of an extension (without the dot; any case); unknown or empty: 0.
uint8_t GetAttachmentKindOfExtension(const std::string& extension);

class CMappedFile {
public:
    // Maps an existing file read-only. An empty file opens with nothing to read. Any
    // failure (missing, not a regular file, over 4 GB) leaves it closed.
    explicit CMappedFile(const std::string& path);
    virtual ~CMappedFile() = default;
    CMappedFile(const CMappedFile&) = delete;
    CMappedFile& operator=(const CMappedFile&) = delete;

    bool IsOpen() const { return open_; }
    const std::string& Path() const { return path_; }
    const std::string& Extension() const { return extension_; }
    uint32_t Size() const { return size_; }

    // Copies up to *length bytes from the cursor into *buffer. 2 not open; 3 null buffer
    // or zero length; 1 nothing left (length unchanged), fewer left than asked (length
    // set to the count) or the end reached exactly; 0 otherwise.
    int Read(uint8_t** buffer, uint32_t* length);
    void Seek(int origin, uint32_t offset);
    uint32_t Position() const { return cursor_; }

private:
    bool open_ = false;
    std::string path_;
    std::string extension_;
    uint32_t size_ = 0;
    std::optional<platform::MappedFile> view_;
    uint32_t cursor_ = 0;
};

class CTypedMappedFile : public CMappedFile {
public:
    explicit CTypedMappedFile(const std::string& path);
    // The attachment type of the extension; 0 when the file could not be opened.
    uint8_t GetAttachmentKind() const { return kind_; }

private:
    uint8_t kind_ = 0;
};

class CPlainFile {
public:
    CPlainFile() = default;
    CPlainFile(const char* path, bool create);
    virtual ~CPlainFile() { Close(); }
    CPlainFile(const CPlainFile&) = delete;
    CPlainFile& operator=(const CPlainFile&) = delete;

    // create: made empty (an existing file is truncated); else opened, made when
    // missing. 1, or 0 when it cannot be opened.
    int Open(const char* path, bool create);
    int Close();
    bool IsOpen() const { return fd_ >= 0; }
    // Clears *size bytes of the buffer, reads up to *size; *size becomes the count.
    // Nonzero on success; 0 when closed, on error, or when nothing was read.
    int Read(uint8_t** buffer, uint32_t* size);
    // Nonzero on success; 0 when closed, on error, or when nothing was written.
    int Write(const uint8_t* buffer, uint32_t* size);

private:
    int fd_ = -1;
};

// ---- Small functions of the record codecs

inline uint32_t ReadBigEndian32(const uint8_t b[4]) {
    return uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3];
}
inline uint16_t Swap16(uint16_t v) { return uint16_t(v << 8 | v >> 8); }

// Handheld texts end lines with LF, desktop texts with CR LF.
// The first length characters of text with each LF as CR LF.
std::string ExpandLineFeeds(const char* text, size_t length);
// The text without carriage returns, stopping at a NUL or after length characters.
std::string StripCarriageReturns(const char* text, size_t length);

}  // namespace tess
