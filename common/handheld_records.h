#pragma once
// Handheld records besides the message record: attachment chains, part-information
// records ("Part Plus" database) and id-cache records. All integers big-endian; every
// record at most 63000 bytes.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "common/msg_record.h"
#include "platform/core/os.h"

namespace tess {

constexpr size_t kMaxRecordBytes = 63000;

// Result codes of the record functions.
enum : int {
    kRecordOk = 0,
    kRecordBufferNoMemory = 4106,
    kRecordShort = 16405,
    kRecordNoMemory = 16406,
};

// One handheld record as the sync manager moves it: id, attribute byte, category and
// the data bytes.
struct HandheldRecord {
    uint32_t id = 0;
    uint8_t attributes = 0;
    int category = 0;
    std::vector<uint8_t> data;
};

// ---- Part-information record

class CPartInfoRecord {
public:
    CPartInfoRecord() = default;
    CPartInfoRecord(const CPartInfoRecord&) = default;
    CPartInfoRecord& operator=(const CPartInfoRecord&) = default;
    virtual ~CPartInfoRecord() = default;

    uint32_t recordId = 0;
    // Stored id, third size, delivered size, total size, fifth value.
    uint32_t values[5] = {};
    std::string name;
    CId firstId;   // MAPI accounts: the message's id
    CId secondId;  // MAPI accounts: the host's id

    void SetFirstId(const CId& id);
    void SetSecondId(const CId& id);
    const std::string& FirstIdText() const { return firstText_; }
    const std::string& SecondIdText() const { return secondText_; }

    // The five values, the name, the base64 texts of the two ids, each text with a NUL.
    // Fails (kRecordShort) when it would not fit into kMaxRecordBytes.
    int Pack(HandheldRecord& record) const;
    // kRecordShort when the record ends early; nothing is kept then.
    int Unpack(const HandheldRecord& record);

private:
    std::string firstText_, secondText_;
};

// ---- Id-cache record

class CIdCacheRecord {
public:
    int32_t recordId = -1;
    int category = 0;
    uint32_t time = 0;
    std::string texts[3];

    // Byte 0 = 0, bytes 1-4 the time, then three times: 16-bit length + 1, text, NUL.
    int Pack(HandheldRecord& record) const;
    int Unpack(const HandheldRecord& record);
};

// ---- Attachment records

// Attachment types (bits 0-6 of the kind word).
enum AttachmentType : uint8_t {
    kAttTxt = 0,
    kAttHtm,
    kAttDat,
    kAttPrc,
    kAttPdb,
    kAttGif,
    kAttDoc,
    kAttVcf,
    kAttBmp,
    kAttXls,
    kAttZip,
    kAttJpg,
    kAttBin,
    kAttSit,
    kAttWav,
    kAttQsh,
    kAttVcs,
    kAttCsv,
    kAttEdf,
    kAttPdf,
    kAttAra,
};
// ".txt" ... ".ara"; any other type ".txt".
const char* AttachmentTypeExtension(unsigned type);
// The types whose records carry one more zero byte behind the data.
inline bool IsTextAttachmentType(unsigned type) { return type == kAttQsh || type == kAttVcs || type == kAttCsv; }

constexpr size_t kAttachmentPieceBytes = 62739;
constexpr size_t kMaxAttachmentNameChars = 256;

struct AttachmentEntry {
    uint32_t recordId = 0;
    uint32_t kind = 0;  // bits 0-6 type, bit 7 caller's flag, 8-31 attachment number
    std::string name;   // path when made from a file; file name only when read
    std::vector<uint8_t> data;

    unsigned Type() const { return kind & 0x7F; }
    bool IsTerminator() const { return name == "--"; }
    // Kind word, file name without directory and NUL, data (+ NUL for text types).
    int Pack(HandheldRecord& record) const;
    // kRecordShort when the name has no terminator inside the record. The name kept is
    // the file name alone: any directory part from the handheld is dropped.
    int Unpack(const HandheldRecord& record);
};

// The file name part of a path written with '/' or '\' (never "." or "..").
std::string AttachmentBaseName(const std::string& path);

class CAttachmentChain {
public:
    std::vector<AttachmentEntry> entries;

    // Reads the file in pieces, one entry each, then the terminator. An empty file is
    // the terminator alone. kRecordNoMemory when the file cannot be read. Pieces are
    // cut so that each record, name and text terminator included, stays within
    // kMaxRecordBytes.
    int MakeFromFile(const std::string& path, bool flag);
    // The terminator entry: name "--", data " ", length 0.
    static AttachmentEntry Terminator();

    std::string FirstName() const { return entries.empty() ? std::string() : entries.front().name; }
    uint32_t AttachmentNumber() const { return entries.empty() ? 0 : entries.front().kind >> 8; }
    void SetAttachmentNumber(uint32_t n);

    // Writes the data up to the terminator into a new file of the private temp directory
    // and returns its path, or "" when the chain is empty or no file could be made. The
    // name is the first entry's without any directory part, "," made a blank, its type's
    // extension added when it has no "."; the directory makes it safe and unique.
    std::filesystem::path WriteToTempFile(const platform::TempDir& dir) const;
};

}  // namespace tess
