#include "accounts/mail_account.h"

#include <cstring>
#include <ctime>

#include "accounts/block_fields.h"

namespace tess::accounts {

using namespace layout;

namespace {

struct ValueField {
    enum Kind { none, number, text } kind;
    size_t offset;
    size_t width;      // text field width
    size_t maxLength;  // longest text taken
};

ValueField valueField(int id) {
    switch (id) {
    case kValueActive: return {ValueField::number, kActive, 0, 0};
    case kValueGenerateKey: return {ValueField::number, kGenerateKey, 0, 0};
    case kValueUnreadOnly: return {ValueField::number, kUnreadOnly, 0, 0};
    case kValueSyncInbox: return {ValueField::number, kSyncInbox, 0, 0};
    case kValueSyncOutbox: return {ValueField::number, kSyncOutbox, 0, 0};
    case kValueMailClient: return {ValueField::number, kMailClient, 0, 0};
    case kValueDaysToSync: return {ValueField::number, kDaysToSync, 0, 0};
    case kValueMessageSize: return {ValueField::number, kMessageSizeKb, 0, 0};
    case kValueDownloadAttachments: return {ValueField::number, kDownloadAttachments, 0, 0};
    // Each text keeps room for its terminator inside its field.
    case kValueAccountName: return {ValueField::text, kAccountName.offset, kAccountName.width, 14};
    case kValueHostName: return {ValueField::text, kHostName.offset, kHostName.width, kHostName.width - 1};
    case kValueDesktopUser: return {ValueField::text, kDesktopUser.offset, kDesktopUser.width, kDesktopUser.width - 1};
    case kValueDesktopPassword:
        return {ValueField::text, kDesktopPassword.offset, kDesktopPassword.width, kDesktopPassword.width - 1};
    case kValueMapiProfile: return {ValueField::text, kMapiProfile.offset, kMapiProfile.width, kMapiProfile.width - 1};
    default: return {ValueField::none, 0, 0, 0};
    }
}

// The placeholder name for an account that the handheld does not synchronise through
// the desktop.
constexpr const char* kPlaceholderName = "corvid.example";

}  // namespace

CMailAccount::CMailAccount(const AccountInit& init, AccountEnvironment& env)
    : init_(init), env_(env), aes_(AesBinding::Acquire()) {
    if (init.userId == -2) {
        path_ = init.path;
    } else {
        char name[32];
        std::snprintf(name, sizeof name, "acc%d.dat", init.accountNumber);
        path_ = std::filesystem::path(init.userDirectory) / name;
    }
    SetDefaults();
}

void CMailAccount::SetDefaults() {
    ByteSpan head(image_.head);
    head.putU32le(kHeadDataVersion, kDataVersion);
    for (size_t at : {kHeadDropMessages, kHeadServerChanged, kHeadPendingCount, kHeadDeleteFromHandheld, kHeadLastSync})
        head.putU32le(at, 0);
    image_.desktop.fill(0);
    image_.handheld.fill(0);
    secondHandheld_.fill(0);
    image_.tags.clear();

    ByteSpan d(image_.desktop);
    d.putU32le(kDownloadAttachments, 1);
    d.putU32le(kSyncInbox, 1);
    d.putU32le(kSyncOutbox, 1);
    d.putU32le(kMessageSizeKb, 50);
    d.putU32le(kMailClient, uint32_t(kMailClientNone));
    d.putU32le(kDaysToSync, 4);

    ByteSpan h(image_.handheld);
    h.putU32le(kSwitch548, 1);
    h.putU32le(kSwitch552, 1);
    h.putU32le(kSwitch3500, 1);
    h.putU32le(kMaxMessageBytes, 5120);
    h.putU16le(kIncomingPort, 110);
    h.putU16le(kSmtpPort, 25);
}

bool CMailAccount::loadFromStore() {
    StoredAccount stored;
    if (!env_.LoadStoredAccount(init_.userId, init_.dataVersion, init_.accountNumber, stored)) return false;
    ByteSpan d(image_.desktop);
    auto text = [&](TextField f, const std::string& s) {
        if (!s.empty()) d.putTextCut(f.offset, f.width, s);
    };
    text(kAccountName, stored.name);
    d.putU32le(kActive, uint32_t(stored.active));
    d.putU32le(kGenerateKey, uint32_t(stored.generateKey));
    d.putU32le(kUnreadOnly, uint32_t(stored.unreadOnly));
    d.putU32le(kDownloadAttachments, 1);
    d.putU32le(kSyncInbox, uint32_t(stored.syncInbox));
    d.putU32le(kSyncOutbox, uint32_t(stored.syncOutbox));
    d.putU32le(kMessageSizeKb, uint32_t(stored.messageSizeKb));
    d.putU32le(kMailClient, uint32_t(stored.mailClient));
    d.putU32le(kDaysToSync, uint32_t(stored.daysToSync));
    text(kHostName, stored.hostName);
    text(kMapiProfile, stored.mapiProfile);
    text(kDesktopUser, stored.desktopUser);
    text(kDesktopPassword, stored.desktopPassword);
    ByteSpan(image_.head).putU32le(kHeadDataVersion, kDataVersion);
    loaded_ = true;
    return true;
}

int CMailAccount::Load() {
    SetDefaults();
    if (init_.dataVersion < kDataVersion) return loadFromStore() ? 1 : 0;

    std::string error;
    FileResult r = ReadAccountFile(path_, image_, &error);
    if (r == FileResult::missing) {
        if (!Save()) return 0;
        SetDefaults();
        r = ReadAccountFile(path_, image_, &error);
    }
    if (r != FileResult::ok) {
        SetDefaults();
        env_.ProductLog("Unable to read account file " + path_.string() + " (" + error + ")");
        return 0;
    }
    secondHandheld_ = image_.handheld;
    loaded_ = true;
    return 1;
}

int CMailAccount::Save() {
    std::string error;
    if (WriteAccountFile(path_, image_, &error) != FileResult::ok) {
        // The account in memory stays as it is; the file on disk is untouched.
        env_.ProductLog("Unable to write account file " + path_.string() + " (" + error + ")");
        return 0;
    }
    return 1;
}

void CMailAccount::ResetToDefaults() {
    SetDefaults();
    Save();
}

void CMailAccount::SetAccountName(const char* name, int resetFirst) {
    if (resetFirst) SetDefaults();
    SetValue(kValueAccountName, name, name ? unsigned(strlen(name) + 1) : 0);
    Save();
}

int CMailAccount::SetValue(int valueId, const void* data, unsigned length) {
    const ValueField field = valueField(valueId);
    ByteSpan d(image_.desktop);
    ByteView current(image_.desktop);
    switch (field.kind) {
    case ValueField::none: return 0;
    case ValueField::number: {
        if (!data) {
            d.putU32le(field.offset, 0);
            return 1;
        }
        if (length != 4) return 0;
        uint32_t v;
        std::memcpy(&v, data, 4);
        if (current.u32le(field.offset) == v) return 0;
        d.putU32le(field.offset, v);
        return 1;
    }
    case ValueField::text: {
        if (!data) {
            d.zero(field.offset, field.width);
            return 1;
        }
        const std::string_view text(static_cast<const char*>(data), strnlen(static_cast<const char*>(data), length));
        if (text.size() > field.maxLength) return 0;
        if (current.text(field.offset, field.width) == text) return 0;
        d.putText(field.offset, field.width, text);
        return 1;
    }
    }
    return 0;
}

std::string CMailAccount::AccountName() const {
    return std::string(ByteView(image_.desktop).text(kAccountName.offset, kAccountName.width));
}
int32_t CMailAccount::MailClient() const { return int32_t(ByteView(image_.desktop).u32le(kMailClient)); }
int32_t CMailAccount::Active() const { return int32_t(ByteView(image_.desktop).u32le(kActive)); }
uint32_t CMailAccount::HeadWord(size_t offset) const { return ByteView(image_.head).u32le(offset); }
void CMailAccount::SetHeadWord(size_t offset, uint32_t value) { ByteSpan(image_.head).putU32le(offset, value); }

int CMailAccount::HasMapiProfile() const {
    const int32_t client = MailClient();
    if (client != 4 && client != 5) return 1;
    return ByteView(image_.desktop).text(kMapiProfile.offset, kMapiProfile.width).empty() ? 0 : 1;
}

int CMailAccount::NameHasAtSign() const { return AccountName().find('@') != std::string::npos ? 1 : 0; }

namespace {
int switchedText(std::span<const uint8_t> block, size_t switchAt, TextField field, std::string* out) {
    ByteView v(block);
    if (!v.u32le(switchAt)) return 0;
    const std::string_view text = v.text(field.offset, field.width);
    if (text.empty()) return 0;
    if (out) *out = std::string(text);
    return 1;
}
}  // namespace

int CMailAccount::GetBlindCopyAddress(std::string* out) const {
    return switchedText(secondHandheld_, kBlindCopyOn, kBlindCopy, out);
}
int CMailAccount::GetReplyToAddress(std::string* out) const {
    return switchedText(secondHandheld_, kReplyToOn, kReplyTo, out);
}

void CMailAccount::MarkSynchronised() {
    SetHeadWord(kHeadLastSync, uint32_t(std::time(nullptr)));
    Save();
}

void CMailAccount::MarkAsPlaceholder() {
    image_.desktop.fill(0);
    ByteSpan d(image_.desktop);
    d.putTextCut(kAccountName.offset, kAccountName.width, kPlaceholderName);
    d.putTextCut(kHostName.offset, kHostName.width, kPlaceholderName);
    d.putU32le(kMailClient, uint32_t(kMailClientPlaceholder));
    Save();
}

int CMailAccount::IsRelayUser() {
    const auto user = env_.ReadRelayValue("User");
    return user && int32_t(*user) == init_.userId ? 1 : 0;
}

int CMailAccount::IsRelayInstalled() {
    const auto installed = env_.ReadRelayValue("Installed");
    return installed && (*installed & 1) ? 1 : 0;
}

void CMailAccount::ClearRelayInstalled() {
    if (const auto installed = env_.ReadRelayValue("Installed")) env_.WriteRelayValue("Installed", *installed & ~1u);
}

void CMailAccount::AddPendingChange(uint32_t tag) {
    image_.tags.push_back(tag);
    SetHeadWord(kHeadPendingCount, uint32_t(image_.tags.size()));
}

MessageFilter CMailAccount::Filter(int index) const {
    if (index < 0 || index >= kMaxFilters) return {};
    return DecodeFilterRecord(
        ByteView(image_.handheld).bytes(kFilters + size_t(index) * kFilterRecordSize, kFilterRecordSize));
}

void CMailAccount::SetFilter(int index, const MessageFilter& filter) {
    if (index < 0 || index >= kMaxFilters) return;
    ByteSpan(image_.handheld).copy(kFilters + size_t(index) * kFilterRecordSize, EncodeFilterRecord(filter));
}

void CMailAccount::ApplyHandheldBlock(std::span<const uint8_t> block) {
    image_.handheld.fill(0);
    if (!block.empty())
        std::copy_n(block.begin(), std::min(block.size(), image_.handheld.size()), image_.handheld.begin());
    secondHandheld_ = image_.handheld;
    image_.tags.clear();
    SetHeadWord(kHeadPendingCount, 0);
    Save();
}

int CMailAccount::EncryptPassword(const char* text, std::string* out, const char* key) {
    if (!text || !*text || !key || !*key || !out) return 0;
    auto sealed = env_.SealPassword(text, key);
    if (!sealed) return 0;
    *out = std::move(*sealed);
    return 1;
}

int CMailAccount::DecryptPassword(const char* sealed, std::string* out, const char* key) {
    if (!sealed || !*sealed || !key || !*key || !out) return 0;
    auto text = env_.UnsealPassword(sealed, key);
    if (!text) return 0;
    *out = std::move(*text);
    return 1;
}

bool CMailAccount::logsToProductLog() const { return init_.logFolderAdditions && Active(); }

void CMailAccount::log(std::string_view line) {
    if (logsToProductLog()) env_.ProductLog(line);
}

}  // namespace tess::accounts
