#include "common/handheld_records.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "common/base64.h"
#include "common/byte_io.h"
#include "common/mapped_file.h"

namespace tess {

// ---- Part-information record

namespace {

std::string IdText(const CId& id) {
    std::string text;
    int32_t n = 0;
    const uint8_t* data = id.GetData(&n);
    tess::Base64Encode(data, n, text, false);
    return text;
}

void IdFromText(const std::string& text, CId& id) {
    std::vector<uint8_t> buf;
    uint32_t n = 0;
    if (tess::Base64Decode(text, buf, &n) == tess::kBase64Ok)
        id.SetData(buf.data(), static_cast<int32_t>(n));
    else
        id.Empty();
}

}  // namespace

void CPartInfoRecord::SetFirstId(const CId& id) {
    firstId = id;
    firstText_ = IdText(id);
}

void CPartInfoRecord::SetSecondId(const CId& id) {
    secondId = id;
    secondText_ = IdText(id);
}

int CPartInfoRecord::Pack(HandheldRecord& record) const {
    tess::ByteWriter w(record.data, kMaxRecordBytes);
    for (uint32_t v : values) w.u32be(v);
    w.cstring(name);
    w.cstring(firstText_);
    w.cstring(secondText_);
    if (!w.ok()) return kRecordShort;
    record.id = recordId;
    return kRecordOk;
}

int CPartInfoRecord::Unpack(const HandheldRecord& record) {
    tess::ByteReader r(record.data);
    uint32_t v[5];
    std::string n, first, second;
    for (uint32_t& x : v) r.u32be(x);
    r.cstring(n);
    r.cstring(first);
    r.cstring(second);
    if (!r.ok()) return kRecordShort;
    recordId = record.id;
    std::copy(std::begin(v), std::end(v), values);
    name = n;
    firstText_ = first;
    secondText_ = second;
    IdFromText(firstText_, firstId);
    IdFromText(secondText_, secondId);
    return kRecordOk;
}

// ---- Id-cache record

int CIdCacheRecord::Pack(HandheldRecord& record) const {
    tess::ByteWriter w(record.data, kMaxRecordBytes);
    w.u8(0);
    w.u32be(time);
    for (const std::string& t : texts) {
        if (t.size() + 1 > 0xFFFF) return kRecordShort;
        w.u16be(static_cast<uint16_t>(t.size() + 1));
        w.cstring(t);
    }
    if (!w.ok()) return kRecordShort;
    record.category = category;
    return kRecordOk;
}

int CIdCacheRecord::Unpack(const HandheldRecord& record) {
    tess::ByteReader r(record.data);
    uint8_t zero = 0;
    uint32_t t = 0;
    std::string got[3];
    r.u8(zero);
    r.u32be(t);
    for (std::string& s : got) {
        uint16_t n = 0;
        std::vector<uint8_t> bytes;
        // The count includes the NUL; the text is what precedes it.
        if (!r.u16be(n) || n == 0 || !r.bytes(bytes, n) || bytes.back() != 0) return kRecordShort;
        s.assign(reinterpret_cast<const char*>(bytes.data()), n - 1);
    }
    if (!r.ok()) return kRecordShort;
    recordId = static_cast<int32_t>(record.id);
    category = record.category;
    time = t;
    for (int i = 0; i < 3; ++i) texts[i] = got[i];
    return kRecordOk;
}

// ---- Attachment records

const char* AttachmentTypeExtension(unsigned type) {
    static const char* const kExt[] = {".txt", ".htm", ".dat", ".prc", ".pdb", ".gif", ".doc",
                                       ".vcf", ".bmp", ".xls", ".zip", ".jpg", ".bin", ".sit",
                                       ".wav", ".qsh", ".vcs", ".csv", ".edf", ".pdf", ".ara"};
    return type < sizeof kExt / sizeof kExt[0] ? kExt[type] : ".txt";
}

std::string AttachmentBaseName(const std::string& path) {
    const size_t cut = path.find_last_of("/\\");
    std::string name = cut == std::string::npos ? path : path.substr(cut + 1);
    if (name == "." || name == "..") name.clear();
    if (name.size() > kMaxAttachmentNameChars) name.resize(kMaxAttachmentNameChars);
    return name;
}

int AttachmentEntry::Pack(HandheldRecord& record) const {
    record.data.clear();
    tess::ByteWriter w(record.data, kMaxRecordBytes);
    w.u32be(kind);
    w.cstring(IsTerminator() ? name : AttachmentBaseName(name));
    w.bytes(data.data(), data.size());
    if (IsTextAttachmentType(Type()) && !IsTerminator()) w.u8(0);
    if (!w.ok()) return kRecordShort;
    record.attributes = kRecordAttr40;
    return kRecordOk;
}

int AttachmentEntry::Unpack(const HandheldRecord& record) {
    tess::ByteReader r(record.data);
    uint32_t k = 0;
    std::string n;
    if (!r.u32be(k) || !r.cstring(n)) return kRecordShort;
    std::vector<uint8_t> d;
    size_t count = r.remaining();
    if (IsTextAttachmentType(k & 0x7F) && n != "--" && count > 0) --count;
    r.bytes(d, count);
    recordId = record.id;
    kind = k;
    name = n == "--" ? n : AttachmentBaseName(n);
    data = std::move(d);
    return kRecordOk;
}

AttachmentEntry CAttachmentChain::Terminator() {
    AttachmentEntry e;
    e.name = "--";
    return e;
}

void CAttachmentChain::SetAttachmentNumber(uint32_t n) {
    if (!entries.empty()) entries.front().kind = (entries.front().kind & 0xFF) | n << 8;
}

int CAttachmentChain::MakeFromFile(const std::string& path, bool flag) {
    entries.clear();
    CTypedMappedFile file(path);
    if (!file.IsOpen()) return kRecordNoMemory;
    const uint32_t kind = file.GetAttachmentKind() | (flag ? 0x80u : 0u);
    // Each record holds the kind word, the name and its NUL, the piece, and for text
    // types one more zero byte; keep it within the record limit whatever the name.
    const size_t overhead = 4 + AttachmentBaseName(path).size() + 1 + (IsTextAttachmentType(kind & 0x7F) ? 1 : 0);
    const uint32_t piece = static_cast<uint32_t>(std::min(kAttachmentPieceBytes, kMaxRecordBytes - overhead));
    std::vector<uint8_t> buf(piece);
    for (;;) {
        uint32_t len = piece;
        uint8_t* p = buf.data();
        const uint32_t before = file.Position();
        const int rc = file.Read(&p, &len);
        // "End" comes both with a last piece and with nothing left; the cursor tells.
        if (const uint32_t got = file.Position() - before) {
            AttachmentEntry e;
            e.kind = kind;
            e.name = path;
            e.data.assign(buf.begin(), buf.begin() + got);
            entries.push_back(std::move(e));
        }
        if (rc == kMappedReadEnd) break;
        if (rc != kMappedReadMore) {
            entries.clear();
            return kRecordNoMemory;
        }
    }
    entries.push_back(Terminator());
    return kRecordOk;
}

std::filesystem::path CAttachmentChain::WriteToTempFile(const platform::TempDir& dir) const {
    if (entries.empty() || entries.front().IsTerminator()) return {};
    std::string name = AttachmentBaseName(entries.front().name);
    for (char& c : name)
        if (c == ',') c = ' ';
    const size_t named = name.find_first_not_of('.');
    if (named == std::string::npos) name = "file";
    if (name.find('.', named == std::string::npos ? 0 : named) == std::string::npos)
        name += AttachmentTypeExtension(entries.front().Type());

    std::error_code ec;
    const auto target = dir.reserveFile(name, ec);
    if (!target) return {};
    const int fd = ::open(target->c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOFOLLOW);
    bool ok = fd >= 0;
    for (const AttachmentEntry& e : entries) {
        if (!ok || e.IsTerminator()) break;
        size_t done = 0;
        while (ok && done < e.data.size()) {
            const ssize_t w = ::write(fd, e.data.data() + done, e.data.size() - done);
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0)
                ok = false;
            else
                done += static_cast<size_t>(w);
        }
    }
    if (fd >= 0) ::close(fd);
    if (!ok) {
        std::filesystem::remove(*target, ec);
        return {};
    }
    return *target;
}

}  // namespace tess
