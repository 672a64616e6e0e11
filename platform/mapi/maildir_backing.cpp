#include "platform/mapi/maildir_backing.h"

#include <sqlite3.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <set>
#include <sstream>

#include "platform/mapi/mime_codec.h"
#include "platform/mapi/smtp_submit.h"
#include "platform/mapi/text_util.h"

namespace fs = std::filesystem;

namespace platform::mapi {

namespace {

constexpr size_t kMaxMessageFile = 64u << 20;  // larger files are not read as messages

struct SqliteCloser {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};
struct StmtCloser {
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Stmt = std::unique_ptr<sqlite3_stmt, StmtCloser>;

// The unique part of a Maildir file name: everything before the info (":2,...").
std::string uniquePart(const std::string& name) { return name.substr(0, name.find(':')); }

bool readFile(const fs::path& path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out.clear();
    char buf[65536];
    while (in.read(buf, sizeof buf) || in.gcount() > 0) {
        out.append(buf, static_cast<size_t>(in.gcount()));
        if (out.size() > kMaxMessageFile) return false;
    }
    return true;
}

// Property values in the sidecar: the tag and a small text or binary form of the value.
std::string encodeValue(const SPropValue& v) {
    switch (PROP_TYPE(v.ulPropTag)) {
    case PT_SHORT:
    case PT_LONG: return std::to_string(v.l);
    case PT_BOOLEAN: return v.b ? "1" : "0";
    case PT_I8: return std::to_string(v.li);
    case PT_SYSTIME: return std::to_string(v.ft);
    case PT_STRING8: return v.str;
    case PT_BINARY: return std::string(v.bin.begin(), v.bin.end());
    case PT_MV_STRING8: {
        std::string out;
        for (const auto& s : v.mv) out += s + std::string(1, '\0');
        return out;
    }
    default: return {};
    }
}

bool decodeValue(ULONG tag, const std::string& text, SPropValue& v) {
    v = SPropValue();
    v.ulPropTag = tag;
    try {
        switch (PROP_TYPE(tag)) {
        case PT_SHORT:
        case PT_LONG: v.l = static_cast<int32_t>(std::stol(text)); return true;
        case PT_BOOLEAN: v.b = text == "1"; return true;
        case PT_I8: v.li = std::stoll(text); return true;
        case PT_SYSTIME: v.ft = std::stoull(text); return true;
        case PT_STRING8: v.str = text; return true;
        case PT_BINARY: v.bin.assign(text.begin(), text.end()); return true;
        case PT_MV_STRING8: {
            size_t pos = 0;
            while (pos < text.size()) {
                size_t nul = text.find('\0', pos);
                if (nul == std::string::npos) break;
                v.mv.push_back(text.substr(pos, nul - pos));
                pos = nul + 1;
            }
            return true;
        }
        default: return false;
        }
    } catch (const std::exception&) {
        return false;
    }
}

// The recipients of a message saved through the store, with the properties a header
// cannot hold (report texts, entry ids): per recipient a count, then tag, length, value.
constexpr ULONG kRecipientsRow = 0xFFFF0102;

void putU32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}
bool getU32(const std::string& in, size_t& pos, uint32_t& v) {
    if (in.size() - pos < 4 || pos > in.size()) return false;
    v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(static_cast<unsigned char>(in[pos + i])) << (8 * i);
    pos += 4;
    return true;
}

std::string encodeRecipients(const std::vector<PropMap>& recipients) {
    std::string out;
    putU32(out, static_cast<uint32_t>(recipients.size()));
    for (const auto& r : recipients) {
        putU32(out, static_cast<uint32_t>(r.size()));
        for (const auto& [tag, v] : r) {
            const std::string value = encodeValue(v);
            putU32(out, tag);
            putU32(out, static_cast<uint32_t>(value.size()));
            out += value;
        }
    }
    return out;
}

bool decodeRecipients(const std::string& in, std::vector<PropMap>& out) {
    size_t pos = 0;
    uint32_t count = 0;
    if (!getU32(in, pos, count)) return false;
    std::vector<PropMap> list;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t props = 0;
        if (!getU32(in, pos, props)) return false;
        PropMap r;
        for (uint32_t j = 0; j < props; ++j) {
            uint32_t tag = 0, len = 0;
            if (!getU32(in, pos, tag) || !getU32(in, pos, len) || in.size() - pos < len) return false;
            SPropValue v;
            if (decodeValue(tag, in.substr(pos, len), v)) r[tag] = std::move(v);
            pos += len;
        }
        list.push_back(std::move(r));
    }
    out = std::move(list);
    return true;
}

// Properties that the RFC 822 form carries itself (or that are computed): not kept aside.
bool carriedByMessage(ULONG tag) {
    switch (tag) {
    case PR_BODY:
    case PR_BODY_HTML:
    case PR_TRANSPORT_MESSAGE_HEADERS:
    case PR_ENTRYID:
    case PR_PARENT_ENTRYID:
    case PR_MESSAGE_FLAGS:
    case PR_MESSAGE_SIZE:
    case PR_HASATTACH:
    case PR_OBJECT_TYPE: return true;
    default: return false;
    }
}

class Maildir : public Backing {
public:
    explicit Maildir(const Profile& p) : root_(p.maildir), smtp_{p.smtpUrl, p.smtpUser, p.smtpPassword} {
        from_ = p.identity.address;
        if (!iequals(p.identity.addrType, "SMTP"))
            for (const auto& x : p.identity.proxies)
                if (x.rfind("SMTP:", 0) == 0) from_ = x.substr(5);
        folders_ = {{"", "Inbox", FolderRole::Inbox},
                    {"Outbox", "Outbox", FolderRole::Outbox},
                    {"Sent", "Sent Items", FolderRole::Sent},
                    {"Trash", "Deleted Items", FolderRole::Trash},
                    {"Drafts", "Drafts", FolderRole::Drafts}};
        // The store's uid follows its path, so entry ids stay valid across sessions.
        const std::string key = fs::absolute(root_).lexically_normal().string();
        uint64_t h1 = 1469598103934665603ull, h2 = 1099511628211ull;
        for (unsigned char ch : key) {
            h1 = (h1 ^ ch) * 1099511628211ull;
            h2 = (h2 + ch) * 6364136223846793005ull + 1442695040888963407ull;
        }
        for (int i = 0; i < 8; ++i) uid_.push_back(static_cast<uint8_t>(h1 >> (8 * i)));
        for (int i = 0; i < 8; ++i) uid_.push_back(static_cast<uint8_t>(h2 >> (8 * i)));
    }
    ~Maildir() override {
        if (inotify_ >= 0) close(inotify_);
    }

    HRESULT logon() override {
        std::error_code ec;
        for (const auto& f : folders_) {
            for (const char* sub : {"", "cur", "new", "tmp"}) {
                const fs::path d = dir(f.name) / sub;
                if (fs::exists(d)) continue;
                fs::create_directories(d, ec);
                if (ec || !ownLikeRoot(d)) return MAPI_E_LOGON_FAILED;
            }
            if (!f.name.empty() && !fs::exists(dir(f.name) / "maildirfolder")) {
                std::ofstream(dir(f.name) / "maildirfolder");
                ownLikeRoot(dir(f.name) / "maildirfolder");
            }
        }
        sqlite3* raw = nullptr;
        if (sqlite3_open((root_ / ".tessmapi.db").c_str(), &raw) != SQLITE_OK) {
            sqlite3_close(raw);
            return MAPI_E_LOGON_FAILED;
        }
        db_.reset(raw);
        sqlite3_busy_timeout(raw, 5000);
        if (sqlite3_exec(raw,
                         "PRAGMA journal_mode=WAL;"
                         "CREATE TABLE IF NOT EXISTS props(folder TEXT, key TEXT, tag INTEGER, value BLOB,"
                         " PRIMARY KEY(folder, key, tag));",
                         nullptr, nullptr, nullptr) != SQLITE_OK)
            return MAPI_E_LOGON_FAILED;
        inotify_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (inotify_ < 0) return MAPI_E_LOGON_FAILED;
        for (const auto& f : folders_) {
            int wd = inotify_add_watch(inotify_, (dir(f.name) / "new").c_str(), IN_CREATE | IN_MOVED_TO);
            if (wd < 0) return MAPI_E_LOGON_FAILED;
            watches_[wd] = f.name;
        }
        // Mail already waiting is not new mail.
        for (const auto& f : folders_) seenNew(f.name, true);
        return S_OK;
    }

    std::vector<FolderInfo> folders() override { return folders_; }

    HRESULT listMessages(const std::string& folder, std::vector<StoredMessage>& out) override {
        out.clear();
        if (!known(folder)) return MAPI_E_NOT_FOUND;
        std::set<std::string> keys;
        for (const char* sub : {"cur", "new"}) {
            std::error_code ec;
            fs::directory_iterator it(dir(folder) / sub, ec);
            // A folder that is there but cannot be read is a failure, not an empty folder:
            // callers would take every message in it for gone.
            if (ec && ec != std::errc::no_such_file_or_directory) return MAPI_E_CALL_FAILED;
            for (const auto& e : it) {
                const std::string name = e.path().filename().string();
                if (name.empty() || name[0] == '.' || !keys.insert(uniquePart(name)).second) continue;
                StoredMessage m;
                if (!FAILED(loadFile(folder, e.path(), m))) out.push_back(std::move(m));
            }
        }
        return S_OK;
    }

    HRESULT loadMessage(const std::string& folder, const std::string& key, StoredMessage& out) override {
        fs::path path;
        if (!known(folder) || !find(folder, key, path)) return MAPI_E_NOT_FOUND;
        return loadFile(folder, path, out);
    }

    HRESULT saveMessage(const std::string& folder, StoredMessage& m) override {
        if (!known(folder)) return MAPI_E_NOT_FOUND;
        fs::path old;
        const bool replacing = !m.key.empty() && find(folder, m.key, old);
        const std::string key = m.key.empty() ? newKey() : m.key;
        const std::string bytes = buildRfc822(m, true, false);
        const fs::path tmp = dir(folder) / "tmp" / key;
        if (!writeFile(tmp, bytes)) return MAPI_E_NOT_ENOUGH_DISK;
        const fs::path target = dir(folder) / "cur" / (key + ":2," + (m.read ? "S" : ""));
        // The sidecar first: a crash between the two leaves extra properties, never a
        // message without them.
        if (HRESULT hr = writeSidecar(folder, key, m.props, m.recipients); FAILED(hr)) {
            fs::remove(tmp);
            return hr;
        }
        std::error_code ec;
        fs::rename(tmp, target, ec);
        if (ec) {
            fs::remove(tmp, ec);
            return MAPI_E_NOT_ENOUGH_DISK;
        }
        if (replacing && old != target) fs::remove(old, ec);
        m.key = key;
        return S_OK;
    }

    HRESULT deleteMessage(const std::string& folder, const std::string& key) override {
        fs::path path;
        if (!known(folder) || !find(folder, key, path)) return MAPI_E_NOT_FOUND;
        std::error_code ec;
        if (!fs::remove(path, ec) || ec) return MAPI_E_CALL_FAILED;
        eraseSidecar(folder, key);
        return S_OK;
    }

    HRESULT setRead(const std::string& folder, const std::string& key, bool read) override {
        fs::path path;
        if (!known(folder) || !find(folder, key, path)) return MAPI_E_NOT_FOUND;
        const std::string name = path.filename().string();
        auto colon = name.find(":2,");
        std::string flags = colon == std::string::npos ? "" : name.substr(colon + 3);
        flags.erase(std::remove(flags.begin(), flags.end(), 'S'), flags.end());
        if (read) flags += 'S';
        std::sort(flags.begin(), flags.end());
        const fs::path target = dir(folder) / "cur" / (key + ":2," + flags);
        std::error_code ec;
        if (target != path) fs::rename(path, target, ec);
        return ec ? MAPI_E_CALL_FAILED : S_OK;
    }

    HRESULT submit(const StoredMessage& m, std::vector<Refusal>& refused) override {
        if (smtp_.url.empty()) return MAPI_E_SUBMIT_FAILED;
        std::vector<std::string> rcpts;
        for (const auto& r : m.recipients) {
            auto e = r.find(PR_EMAIL_ADDRESS);
            if (e != r.end() && !e->second.str.empty()) rcpts.push_back(e->second.str);
        }
        if (rcpts.empty()) return MAPI_E_NOT_FOUND;
        std::string error;
        return smtpSubmit(smtp_, from_, rcpts, buildRfc822(m, false, true), refused, error);
    }

    std::vector<std::pair<std::string, std::string>> takeArrivals() override {
        std::vector<std::pair<std::string, std::string>> out;
        if (inotify_ < 0) return out;
        alignas(inotify_event) char buf[16384];
        bool overflow = false;
        for (;;) {
            ssize_t n = read(inotify_, buf, sizeof buf);
            if (n <= 0) break;
            for (ssize_t off = 0; off + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
                auto* ev = reinterpret_cast<inotify_event*>(buf + off);
                off += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
                if (ev->mask & IN_Q_OVERFLOW) {
                    overflow = true;
                    continue;
                }
                auto w = watches_.find(ev->wd);
                if (w == watches_.end() || !ev->len) continue;
                const std::string name(ev->name);
                if (name.empty() || name[0] == '.') continue;
                const std::string key = uniquePart(name);
                if (seen_[w->second].insert(key).second) out.emplace_back(w->second, key);
            }
        }
        // Events were lost: whatever is in new/ and not yet announced is new.
        if (overflow)
            for (const auto& f : folders_)
                for (const auto& key : seenNew(f.name, false)) out.emplace_back(f.name, key);
        return out;
    }

    int fd() const override { return inotify_; }
    std::vector<uint8_t> storeUid() const override { return uid_; }
    std::string displayName() const override { return "Personal Folders"; }

private:
    fs::path dir(const std::string& folder) const { return folder.empty() ? root_ : root_ / ("." + folder); }
    bool known(const std::string& folder) const {
        for (const auto& f : folders_)
            if (f.name == folder) return true;
        return false;
    }

    // The file of a key, in cur/ or new/ (an IMAP server may have moved or renamed it).
    bool find(const std::string& folder, const std::string& key, fs::path& out) const {
        if (key.empty() || key.find('/') != std::string::npos) return false;
        for (const char* sub : {"cur", "new"}) {
            std::error_code ec;
            for (const auto& e : fs::directory_iterator(dir(folder) / sub, ec)) {
                if (uniquePart(e.path().filename().string()) == key) {
                    out = e.path();
                    return true;
                }
            }
        }
        return false;
    }

    // Keys in new/ not announced yet (all of them are marked announced).
    std::vector<std::string> seenNew(const std::string& folder, bool quiet) {
        std::vector<std::string> fresh;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(dir(folder) / "new", ec)) {
            const std::string name = e.path().filename().string();
            if (name.empty() || name[0] == '.') continue;
            if (seen_[folder].insert(uniquePart(name)).second && !quiet) fresh.push_back(uniquePart(name));
        }
        return fresh;
    }

    HRESULT loadFile(const std::string& folder, const fs::path& path, StoredMessage& out) {
        std::string bytes;
        if (!readFile(path, bytes)) return MAPI_E_NOT_FOUND;
        std::error_code ec;
        auto mtime = fs::last_write_time(path, ec);
        time_t t =
            ec ? std::time(nullptr) : std::chrono::system_clock::to_time_t(std::chrono::file_clock::to_sys(mtime));
        StoredMessage m;
        if (!parseRfc822(bytes, fileTimeFromUnix(t), m)) return MAPI_E_CALL_FAILED;
        const std::string name = path.filename().string();
        m.key = uniquePart(name);
        auto colon = name.find(":2,");
        m.read = colon != std::string::npos && name.find('S', colon + 3) != std::string::npos;
        readSidecar(folder, m.key, m.props, m.recipients);
        out = std::move(m);
        return S_OK;
    }

    // Running as root beside a mail server, what we create belongs to the mailbox's owner.
    bool ownLikeRoot(const fs::path& path) const {
        struct stat st;
        if (geteuid() != 0 || stat(root_.c_str(), &st) != 0) return true;
        return chown(path.c_str(), st.st_uid, st.st_gid) == 0;
    }

    bool writeFile(const fs::path& path, const std::string& bytes) {
        int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) return false;
        // Running as root beside a mail server: the file belongs to the mailbox's owner.
        struct stat st;
        if (geteuid() == 0 && stat(root_.c_str(), &st) == 0 && fchown(fd, st.st_uid, st.st_gid) != 0) {
            close(fd);
            unlink(path.c_str());
            return false;
        }
        size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                close(fd);
                unlink(path.c_str());
                return false;
            }
            done += static_cast<size_t>(n);
        }
        if (fsync(fd) != 0 || close(fd) != 0) {
            unlink(path.c_str());
            return false;
        }
        return true;
    }

    std::string newKey() {
        static std::atomic<unsigned> counter{0};
        auto now = std::chrono::system_clock::now().time_since_epoch();
        auto us = std::chrono::duration_cast<std::chrono::microseconds>(now).count();
        char host[64] = "localhost";
        gethostname(host, sizeof host - 1);
        for (char* c = host; *c; ++c)
            if (*c == '/' || *c == ':') *c = '_';
        std::ostringstream s;
        s << us / 1000000 << ".M" << us % 1000000 << "P" << getpid() << "Q" << ++counter << "." << host;
        return s.str();
    }

    HRESULT writeSidecar(const std::string& folder, const std::string& key, const PropMap& props,
                         const std::vector<PropMap>& recipients) {
        sqlite3* db = db_.get();
        if (!db) return MAPI_E_CALL_FAILED;
        if (sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) return MAPI_E_CALL_FAILED;
        bool ok = eraseSidecarRows(folder, key);
        sqlite3_stmt* raw = nullptr;
        ok = ok && sqlite3_prepare_v2(db, "INSERT INTO props(folder, key, tag, value) VALUES(?,?,?,?)", -1, &raw,
                                      nullptr) == SQLITE_OK;
        Stmt st(raw);
        for (const auto& [tag, v] : props) {
            if (!ok) break;
            if (carriedByMessage(tag) || v.isError()) continue;
            const std::string value = encodeValue(v);
            sqlite3_reset(raw);
            sqlite3_bind_text(raw, 1, folder.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(raw, 2, key.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_int64(raw, 3, tag);
            sqlite3_bind_blob(raw, 4, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
            ok = sqlite3_step(raw) == SQLITE_DONE;
        }
        if (ok) {
            const std::string value = encodeRecipients(recipients);
            sqlite3_reset(raw);
            sqlite3_bind_text(raw, 1, folder.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(raw, 2, key.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_int64(raw, 3, kRecipientsRow);
            sqlite3_bind_blob(raw, 4, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
            ok = sqlite3_step(raw) == SQLITE_DONE;
        }
        st.reset();
        ok = ok && sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
        if (!ok) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        return ok ? S_OK : MAPI_E_CALL_FAILED;
    }

    bool eraseSidecarRows(const std::string& folder, const std::string& key) {
        sqlite3_stmt* raw = nullptr;
        if (sqlite3_prepare_v2(db_.get(), "DELETE FROM props WHERE folder=? AND key=?", -1, &raw, nullptr) != SQLITE_OK)
            return false;
        Stmt st(raw);
        sqlite3_bind_text(raw, 1, folder.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(raw, 2, key.c_str(), -1, SQLITE_TRANSIENT);
        return sqlite3_step(raw) == SQLITE_DONE;
    }

    void eraseSidecar(const std::string& folder, const std::string& key) {
        if (db_) eraseSidecarRows(folder, key);
    }

    void readSidecar(const std::string& folder, const std::string& key, PropMap& props,
                     std::vector<PropMap>& recipients) {
        sqlite3_stmt* raw = nullptr;
        if (!db_ || sqlite3_prepare_v2(db_.get(), "SELECT tag, value FROM props WHERE folder=? AND key=?", -1, &raw,
                                       nullptr) != SQLITE_OK)
            return;
        Stmt st(raw);
        sqlite3_bind_text(raw, 1, folder.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(raw, 2, key.c_str(), -1, SQLITE_TRANSIENT);
        while (sqlite3_step(raw) == SQLITE_ROW) {
            const ULONG tag = static_cast<ULONG>(sqlite3_column_int64(raw, 0));
            const auto* data = static_cast<const char*>(sqlite3_column_blob(raw, 1));
            std::string value(data ? data : "", static_cast<size_t>(sqlite3_column_bytes(raw, 1)));
            if (tag == kRecipientsRow) {
                decodeRecipients(value, recipients);  // a damaged row leaves the header's list
                continue;
            }
            SPropValue v;
            if (decodeValue(tag, value, v)) props[tag] = std::move(v);
        }
    }

    fs::path root_;
    SmtpSettings smtp_;
    std::string from_;
    std::vector<FolderInfo> folders_;
    std::vector<uint8_t> uid_;
    std::unique_ptr<sqlite3, SqliteCloser> db_;
    int inotify_ = -1;
    std::map<int, std::string> watches_;
    std::map<std::string, std::set<std::string>> seen_;
};

}  // namespace

std::shared_ptr<Backing> makeMaildirBacking(const Profile& profile) {
    if (profile.maildir.empty()) return nullptr;
    return std::make_shared<Maildir>(profile);
}

}  // namespace platform::mapi
