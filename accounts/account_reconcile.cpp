// Bringing an account on the desktop and the same account on the handheld into agreement.
#include <strings.h>

#include <algorithm>

#include "accounts/block_fields.h"
#include "accounts/mail_account.h"

namespace tess::accounts {

using namespace layout;

namespace {

constexpr const char* kDeletedName = "@@deleted";
constexpr const char* kBusinessName = "@@Business";
constexpr uint16_t kProtocolImap = 1;
constexpr uint16_t kProtocolNotDesktop = 3;
constexpr uint16_t kProtocolBusiness = 4;
constexpr int kMsgCreatedOnHandheld = 4101;
constexpr int kMsgNameWriteFailed = 4102;
constexpr int kMsgNoRecord = 4173;
constexpr int kMsgCreatedOnDesktop = 4174;
constexpr int kMsgBusinessRemoved = 4208;
constexpr int kMsgCreatedOnDesktopName = 4267;
constexpr int kMsgProtocolChanged = 4463;
constexpr int kMsgMessagesRemoved = 4465;
constexpr int kAccountsChecked = 8;  // accounts a handheld holds by default
constexpr uint8_t kNoName[1] = {0};

// Account record switch bytes and where the block keeps them.
struct SwitchMap {
    size_t record;
    size_t block;
};
constexpr size_t kConnectionTypeByte = 134;
constexpr SwitchMap kSwitches[] = {
    {2, kSwitch3500},    {30, kSwitch544},  {40, kSwitch552},  {52, kSwitch548},  {128, kSmtpLogin}, {130, kSwitch1648},
    {132, kBlindCopyOn}, {134, kValue2936}, {135, kReplyToOn}, {138, kValue3504}, {146, kValue3508}, {150, 3516},
};

// The account's texts: handheld text id k and the block field it fills.
struct TextMap {
    int k;
    TextField field;
    bool sealed;
};
constexpr TextMap kTexts[] = {
    {21, kText255, false},    {15, kIncomingServer, false}, {17, kUserName, false},     {11, kText720, false},
    {22, kText848, false},    {18, kPassword, true},        {350, kBlindCopy, false},   {20, kReplyTo, false},
    {10, kSmtpServer, false}, {400, kSmtpUser, false},      {410, kSmtpPassword, true}, {12, kEmailAddress, false},
    {13, kText1391, false},
};

bool equalNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

std::string textOf(const std::vector<uint8_t>& bytes) { return std::string(ByteView(bytes).text(0, bytes.size())); }

std::string format(const char* fmt, const std::string& a, const std::string& b = {}) {
    char buf[512];
    std::snprintf(buf, sizeof buf, fmt, a.c_str(), b.c_str());
    return buf;
}

// Copies one pending change's field from the old block into the new one, so that a
// change not yet on the handheld survives the handheld's values.
void keepPendingField(uint32_t tag, std::span<const uint8_t> from, std::span<uint8_t> to) {
    const PendingTag t = LookUpPendingTag(tag);
    size_t width = t.width;
    if (t.kind == PendingTag::word)
        width = 2;
    else if (t.kind != PendingTag::text && t.kind != PendingTag::folderName)
        width = 4;
    if (t.kind == PendingTag::none) return;
    ByteSpan(to).copy(t.blockOffset, ByteView(from).bytes(t.blockOffset, width));
}

}  // namespace

// Text ids n x 19 + 350, 400 and 410 can fall on another account's filter ids.
static void logPreferenceCollisions(int account, AccountEnvironment& env) {
    for (int k : {350, 400, 410}) {
        const int id = TextPrefId(account, k);
        for (int other = 0; other < std::max(kAccountsChecked, account + 1); ++other) {
            const int first = FilterPrefId(other, 0);
            if (id >= first && id < first + kMaxFilters)
                env.ProductLog("Device preference " + std::to_string(id) + " of account " + std::to_string(account) +
                               " is also filter " + std::to_string(id - first) + " of account " +
                               std::to_string(other));
        }
    }
}

int CMailAccount::writeName(HandheldPreferences& prefs, std::string_view name) {
    const std::string text(name);
    const int rc = prefs.Write(kCreatorMail, TextPrefId(init_.accountNumber, kNameText),
                               {reinterpret_cast<const uint8_t*>(text.c_str()), text.size() + 1});
    if (rc != 0) env_.SyncMessage(kMsgNameWriteFailed);
    return rc;
}

int CMailAccount::createOnHandheld(HandheldPreferences& prefs, const std::string& name, bool logging) {
    if (logging)
        env_.ProductLog(format("Account name, %s,  detected on Desktop is being created on the device.", name));
    if (const int rc = writeName(prefs, name); rc != 0) return rc;
    env_.SyncMessage(kMsgCreatedOnHandheld, name);
    SetHeadWord(kHeadPresentOnHandheld, 1);
    Save();
    WriteFreshAccountRecord(prefs);
    return 0;
}

void CMailAccount::readHandheldTexts(HandheldPreferences& prefs, std::span<uint8_t> block, const char* key) {
    ByteSpan b(block);
    const int n = init_.accountNumber;
    std::vector<uint8_t> bytes;
    for (const TextMap& t : kTexts) {
        if (prefs.Read(kCreatorMail, TextPrefId(n, t.k), bytes) == 0) {
            std::string text = textOf(bytes);
            std::string plain;
            if (t.sealed && key && DecryptPassword(text.c_str(), &plain, key)) text = plain;
            b.putTextCut(t.field.offset, t.field.width, text);
        }
        // Text 23 stands in for 21 when it is longer, whether or not 21 is there.
        if (t.k == 21 && prefs.Read(kCreatorMail, TextPrefId(n, 23), bytes) == 0) {
            const std::string longer = textOf(bytes);
            if (longer.size() > 5) b.putTextCut(t.field.offset, t.field.width, longer);
        }
    }
}

int CMailAccount::readFolderPreference(HandheldPreferences& prefs, std::span<uint8_t> block) {
    std::vector<uint8_t> pref;
    const int rc = prefs.Read(kCreatorMail, FolderPrefId(init_.accountNumber), pref);
    if (rc != 0) return rc;
    pref.resize(kFolderPrefSize, 0);
    ByteSpan copy(block.subspan(kFolderPrefCopy, kFolderPrefSize));
    copy.copy(0, pref);
    copy.putU16le(0, 0);
    copy.zero(kFolderPrefFlags, kHandheldSlots);
    copy.zero(kFolderPrefByte274, 4);  // bytes 274 and 275 and the closing word
    ByteView v(pref);
    for (int slot = 0; slot < kHandheldSlots; ++slot) {
        const std::string_view name = v.text(kFolderPrefSlots + size_t(slot) * kFolderSlotWidth, kFolderSlotWidth);
        if (!name.empty()) queued_.push_back({FolderPrefId(init_.accountNumber), slot, std::string(name), {}, 0});
    }
    return 0;
}

void CMailAccount::readFilters(HandheldPreferences& prefs, std::span<uint8_t> block) {
    ByteSpan b(block);
    std::vector<uint8_t> bytes;
    int count = 0;
    for (; count < kMaxFilters; ++count) {
        if (prefs.Read(kCreatorMail, FilterPrefId(init_.accountNumber, count), bytes) != 0) break;
        b.copy(kFilters + size_t(count) * kFilterRecordSize, EncodeFilterRecord(DecodeHandheldFilter(bytes)));
    }
    b.putU32le(kFilterCount, uint32_t(count));
}

int CMailAccount::Reconcile(HandheldPreferences& prefs, int logToProductLog, int readOnly, int skipBusiness,
                            const char* key) {
    const int n = init_.accountNumber;
    const bool logging = logsToProductLog();
    queued_.clear();
    deletedThisSync_ = false;
    std::array<uint8_t, kHandheldSize> fresh{};
    ByteSpan block(fresh);
    logPreferenceCollisions(n, env_);

    // Step: the account becomes present once it exists with a usable name.
    const bool wasPresent = HeadWord(kHeadPresentOnHandheld) != 0;
    std::string desktopName = AccountName();
    if (!readOnly && !wasPresent && Active() && !desktopName.empty() && desktopName[0] != '@') {
        SetHeadWord(kHeadPresentOnHandheld, 1);
        Save();
    }

    std::vector<uint8_t> recordBytes;
    if (prefs.Read(kCreatorMail, AccountRecordId(n), recordBytes) != 0) {
        env_.SyncMessage(kMsgNoRecord);
        return kReconcileNoRecord;
    }
    recordBytes.resize(kAccountRecordSize, 0);
    AccountRecord record;
    std::copy_n(recordBytes.begin(), kAccountRecordSize, record.begin());
    if (!readOnly && !image_.tags.empty()) FlushPendingChanges(prefs, &record, key);

    ByteView r(record);
    const uint16_t protocol = r.u16be(0);
    // Every road from here that saves the account saves the handheld's word 0 with it.
    if (!readOnly) SetHeadWord(kHeadHandheldWord0, protocol);
    block.putTextCut(kSentFolder.offset, kSentFolder.width, r.text(79, 17));
    block.putTextCut(kTrashFolder.offset, kTrashFolder.width, r.text(96, 17));
    block.putU16le(kWord0, protocol);
    block.putU16le(kIncomingPort, r.u16be(4));
    block.putU16le(kSmtpPort, r.u16be(32));
    // Record byte 134 is the connection type (0 sync only, 1 dial-up, 2 wireless, 3 TCP/IP):
    // flattened to a switch, wireless and TCP/IP accounts would be run as dial-up ones.
    for (const SwitchMap& s : kSwitches)
        block.putU32le(s.block, s.record == kConnectionTypeByte ? r.u8(s.record) : (r.u8(s.record) ? 1 : 0));
    block.putU32le(kMaxMessageBytes, uint32_t(r.u16be(6)) * 1024);
    block.putU16le(3512, r.u16be(152));
    block.putU16le(3514, r.u16be(154));

    if (protocol == kProtocolNotDesktop) {
        if (MailClient() == kMailClientPlaceholder) return kReconcileAlreadyPlaceholder;
        if (!readOnly) MarkAsPlaceholder();
        return kReconcileNotDesktop;
    }

    // Names.
    std::vector<uint8_t> nameBytes;
    std::string handheldName;
    if (const int rc = prefs.Read(kCreatorMail, TextPrefId(n, kNameText), nameBytes); rc != 0) {
        if (desktopName.empty()) return rc;
        if (!readOnly)
            if (const int wrc = createOnHandheld(prefs, desktopName, logging); wrc != 0) return wrc;
        handheldName = desktopName;
    } else {
        handheldName = textOf(nameBytes);
        if (HeadWord(kHeadDeleteFromHandheld)) {
            if (!readOnly) ResetHandheldAccount(prefs);
            handheldName = kDeletedName;
        }
    }

    const uint16_t storedProtocol = ByteView(image_.handheld).u16le(kWord0);
    if (!skipBusiness && storedProtocol == kProtocolBusiness && handheldName.find("@@") != std::string::npos &&
        IsRelayInstalled()) {
        std::string newName;
        if (handheldName != kDeletedName) {
            newName = handheldName.substr(2);
        } else {
            if (readOnly) return kReconcileDeleted;
            newName = kBusinessName;
            env_.ClearRelayEnterprise(init_.userId);
            ResetToDefaults();
            deletedThisSync_ = true;
            ByteSpan(image_.desktop).putU32le(kActive, 1);
            if (IsRelayUser()) ClearRelayInstalled();
            env_.SyncMessage(kMsgBusinessRemoved);
        }
        if (!readOnly)
            if (const int rc = writeName(prefs, newName); rc != 0) return rc;
        if (deletedThisSync_) return kReconcileDeleted;
        handheldName = newName;
    }

    desktopName = AccountName();
    if (!handheldName.empty() || desktopName.empty()) {
        if (handheldName == kDeletedName) {
            if (!readOnly) {
                const int nameRc =
                    prefs.Write(kCreatorMail, TextPrefId(n, kNameText), std::span<const uint8_t>(kNoName));
                ResetHandheldAccount(prefs);
                ResetToDefaults();
                if (nameRc != 0) {
                    // The handheld still shows the account: without the mark it would come
                    // back from the handheld at the next synchronisation.
                    env_.ProductLog("Unable to remove the name of account " + desktopName + " from the device (error " +
                                    std::to_string(nameRc) +
                                    "); the removal is tried again at the next synchronisation");
                    SetHeadWord(kHeadDeleteFromHandheld, 1);
                    Save();
                }
                deletedThisSync_ = true;
                ByteSpan(image_.desktop).putU32le(kActive, 1);
                // Active again by now, so a logging account always writes the line.
                log(format("Account %s is marked for deletion from the device and will be removed.", desktopName));
            }
            return kReconcileDeleted;
        }
        if (!handheldName.empty() && !desktopName.empty() && !equalNoCase(handheldName, desktopName)) {
            if (logging)
                env_.ProductLog(
                    format("Conflicting account names, %s(device) and %s(desktop) detected. Desktop name being "
                           "overwritten by device.",
                           handheldName, desktopName));
            if (!readOnly) SetAccountName(handheldName.c_str(), 0);
        } else if (!handheldName.empty() && desktopName.empty() && !readOnly) {
            SetHeadWord(kHeadPresentOnHandheld, 1);
            SetAccountName(handheldName.c_str(), 1);
            if (logging) {
                env_.ProductLog(
                    format("Account name, %s,  detected on device is being created on the desktop.", handheldName));
            } else if (handheldName[0] != '@') {
                env_.SyncMessage(kMsgCreatedOnDesktop);
                env_.SyncMessage(kMsgCreatedOnDesktopName, handheldName, handheldName);
            }
        }
    } else if (!readOnly) {
        if (const int rc = createOnHandheld(prefs, desktopName, logging); rc != 0) return rc;
    }

    const int32_t client = MailClient();
    const bool imapOneSide = client < 256 && ((protocol == kProtocolImap) != (client == kMailClientImap));

    readHandheldTexts(prefs, fresh, key);

    if (!readOnly && wasPresent && protocol != storedProtocol && client < 256) {
        env_.SyncMessage(kMsgProtocolChanged, AccountName());
        env_.SyncMessage(kMsgMessagesRemoved);
        if (logToProductLog)
            env_.ProductLog(format("The incoming mail protocol has changed for account '%s'.", AccountName()));
        SetHeadWord(kHeadServerChanged, 1);
    }

    const int folderResult = readFolderPreference(prefs, fresh);
    readFilters(prefs, fresh);

    if (!readOnly) {
        // Changes that could not be written yet keep their desktop values and their tags.
        const std::vector<uint32_t> kept = image_.tags;
        for (uint32_t tag : kept) keepPendingField(tag, image_.handheld, fresh);
        ApplyHandheldBlock(fresh);
        if (!kept.empty()) {
            for (uint32_t tag : kept) AddPendingChange(tag);
            Save();
        }
    }
    return imapOneSide ? kReconcileImapOneSide : folderResult;
}

}  // namespace tess::accounts
