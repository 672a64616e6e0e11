// The IMAP session: logon, clean-up and the folder list.
#include "hosts/imap/imap_session.h"

#include <cstdlib>
#include <cstring>
#include <ctime>

#include "datamgr/ledgerly.h"
#include "platform/syncmgr/syncmgr.h"

namespace imap {

using tess::CMsg;
using tess::FolderRecord;
using tess::LogonRecord;

namespace {

constexpr int kMaxFolders = 50;
constexpr std::size_t kMaxFolderName = 15;   // longer names do not fit the handheld
constexpr unsigned kTextInfo = 4327;         // "TESSALINE INFO -- %s"
constexpr unsigned kTextLogonFailed = 4328;  // "Server logon failed for user '%s'"

std::string SearchDate(int days) {
    if (days <= 0) return "01-Jan-1990";
    static const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::time_t then = std::time(nullptr) - static_cast<std::time_t>(days) * 86400;
    std::tm local{};
    localtime_r(&then, &local);
    char text[16];
    snprintf(text, sizeof text, "%02d-%s-%04d", local.tm_mday, kMonths[local.tm_mon], local.tm_year + 1900);
    return text;
}

// A text of the language library, else the plug-in's own.
std::string LanguageText(unsigned id) {
    std::string text = id == kTextInfo ? "TESSALINE INFO -- %s" : "Server logon failed for user '%s'";
    if (HINSTANCE library = LanguageLoadLibrary("HeronwickLang.DLL", nullptr, nullptr)) {
        char buffer[512];
        if (LanguageLoadString(library, id, buffer, sizeof buffer) > 0) text = buffer;
        LanguageFreeLibrary(library, nullptr);
    }
    return text;
}

FolderRecord* MakeFolderRecord(const std::string& name, int type) {
    auto* record = static_cast<FolderRecord*>(std::calloc(1, sizeof(FolderRecord)));
    if (!record) return nullptr;
    record->name = static_cast<char*>(std::calloc(name.size() + 1, 1));
    if (!record->name) {
        std::free(record);
        return nullptr;
    }
    std::memcpy(record->name, name.data(), name.size());
    record->type = type;
    return record;
}

}  // namespace

bool UidOf(const uint8_t* bytes, int32_t length, uint32_t& uid) {
    if (!bytes || length < 4) return false;
    uid = static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
          static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
    return true;
}

void SetHostId(CMsg& msg, uint32_t uid) {
    uint8_t bytes[4] = {static_cast<uint8_t>(uid), static_cast<uint8_t>(uid >> 8), static_cast<uint8_t>(uid >> 16),
                        static_cast<uint8_t>(uid >> 24)};
    msg.hostId.SetData(bytes, 4);
}

CImapSession::CImapSession() : CHostSession("IMAP", [](const std::string& text) { MLOGAdd(text.c_str()); }) {}

CImapSession::~CImapSession() { Cleanup(); }

int CImapSession::Logon(const LogonRecord* record, int flags) {
    if (!record) return 1;
    imapUsable_ = BeginLogon(*record, flags);
    if (imapUsable_) {
        ImapSettings& s = imapSettings_;
        s = ImapSettings{};
        FillServerSettings(*record, s);
        s.accountText = record->emailAddress.str();
        s.sentFolder = record->sentFolder.str();
        s.sinceDate = SearchDate(record->days);
        if (connection_.Connect(&s) != kImapOk) {
            Log("IMAP: Socket for server '" + s.server + "' on port " + std::to_string(s.port) +
                " failed to connect. ");
            imapUsable_ = false;
        } else {
            LoadValidities(*record);
            ListInboxAtLogin();
            if (connection_.ImapLogin() != kImapOk) {
                Log("IMAP: IMAP logon failed for user '" + s.user + "'");
                connection_.Disconnect();
                imapUsable_ = false;
            } else {
                for (const auto& name : connection_.FolderNames()) {
                    folderNames_.push_back(name);
                    auto folder = std::make_unique<CImapFolder>();
                    folder->name = name;
                    folders_.push_back(std::move(folder));
                }
            }
        }
    }
    return EndLogon(imapUsable_);
}

void CImapSession::ListInboxAtLogin() {
    // The inbox is the folder a sync lists first; with a state kept of it, its listing
    // can go with the LOGIN and save the round trip of its own.
    keptAtLogin_.reset();
    const std::filesystem::path file = ListingStateFile("INBOX");
    ListingState kept;
    std::string why;
    if (file.empty() || !LoadListingState(file, ValidityKey("INBOX"), kept, why)) return;
    keptAtLogin_.emplace(ValidityKey("INBOX"), kept);
    connection_.ListAtLogin("INBOX", std::move(kept));
}

bool CImapSession::KeptListing(const std::string& folder, const std::filesystem::path& file, ListingState& kept,
                               std::string& why) {
    if (keptAtLogin_ && keptAtLogin_->first == ValidityKey(folder)) {
        kept = std::move(keptAtLogin_->second);
        keptAtLogin_.reset();
        return true;
    }
    return !file.empty() && LoadListingState(file, ValidityKey(folder), kept, why);
}

void CImapSession::LogUnusable(bool serverUsable) const {
    if (!serverUsable) Log("IMAP: Invalid connection. Cannot continue");
    if (!smtpUsable_) Log("IMAP: Invalid connection. Cannot continue");
}

std::string CImapSession::LogonFailureLine() const {
    return inet::FormatOne(LanguageText(kTextInfo), inet::FormatOne(LanguageText(kTextLogonFailed), user_));
}

int CImapSession::Logoff() {
    // A changed folder takes its new value only once its empty listing has cleared the
    // handheld's copies; otherwise the next sync finds the change again.
    for (const std::string& key : relisted_) validities_[key] = changed_[key];
    if (!relisted_.empty()) SaveValidities();
    relisted_.clear();
    changed_.clear();
    if (connection_.IsLoggedIn()) connection_.Logout();
    return 1;
}

void CImapSession::Cleanup() {
    if (imapUsable_) connection_.Disconnect();
    folders_.clear();
    folderNames_.clear();
    imapUsable_ = false;
    ResetShared();
}

CImapFolder* CImapSession::FindFolder(const std::string& name) {
    for (auto& folder : folders_) {
        if (EqualsNoCase(folder->name, name)) return folder.get();
    }
    return nullptr;
}

int CImapSession::SpecialFolderName(const char* name) {
    static const char* kSpecial[] = {"inbox", "outbox", "drafts", "sent", "trash"};
    if (!name) return -1;
    for (int i = 0; i < 5; ++i) {
        if (EqualsNoCase(name, kSpecial[i])) return i;
    }
    return -1;
}

int CImapSession::GetFolderList(FolderRecord*** out, int* count) {
    if (!imapUsable_) return kImapNotConnected;
    if (!out || !count) return kImapNotReady;
    *count = 0;
    if (folderNames_.empty()) return kImapOk;

    const int names = static_cast<int>(folderNames_.size());
    auto** list = static_cast<FolderRecord**>(std::calloc(static_cast<std::size_t>(names) + 1, sizeof(FolderRecord*)));
    if (!list) return kImapFolderChange;
    int made = 0;
    bool inbox = false;
    // Long names are passed over without using up one of the 50 places; the walk never
    // goes past the end of the list.
    for (int i = 0; i < names && made < kMaxFolders; ++i) {
        const std::string& name = folderNames_[static_cast<std::size_t>(i)];
        if (name.size() > kMaxFolderName) continue;
        FolderRecord* record = MakeFolderRecord(name, SpecialFolderName(name.c_str()));
        if (!record) {
            inet::FreeFolderRecords(list, made);
            *count = 0;
            return kImapFolderChange;
        }
        list[made++] = record;
        inbox = inbox || EqualsNoCase(name, "Inbox");
    }
    if (!inbox) {
        if (made < kMaxFolders) {
            FolderRecord* record = MakeFolderRecord("Inbox", 0);
            if (!record) {
                inet::FreeFolderRecords(list, made);
                return kImapFolderChange;
            }
            list[made++] = record;
        } else {
            FolderRecord* last = list[made - 1];
            char* name = static_cast<char*>(std::calloc(6, 1));
            if (!name) {
                inet::FreeFolderRecords(list, made);
                return kImapFolderChange;
            }
            std::memcpy(name, "Inbox", 5);
            std::free(last->name);
            last->name = name;
            last->type = 0;
        }
    }
    *out = list;
    *count = made;
    return kImapOk;
}

}  // namespace imap
