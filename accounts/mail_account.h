#pragma once
// One mail account of one desktop user: the desktop values, the account as configured on
// the handheld, the pending changes for the handheld and the server folder table, kept
// together in the account file acc%d.dat.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "accounts/account_environment.h"
#include "accounts/account_file.h"
#include "accounts/aes_binding.h"
#include "accounts/handheld_account_records.h"
#include "common/message_filter.h"

namespace tess::accounts {

struct AccountInit {
    int userId = 0;  // -2: no user; `path` names the account file itself
    int accountNumber = 0;
    unsigned dataVersion = layout::kDataVersion;  // below 517 the account lives in the per-user store
    std::string path;
    std::string userDirectory;
    int logFolderAdditions = 0;
    int callerValue = 0;
};

// A folder newly placed on the handheld in this synchronisation.
struct CDeviceFolder {
    int preferenceId = 0;
    int slot = 0;
    std::string name;
    std::string second;
    int value = 0;
};

// One folder of the host's folder list.
struct ServerFolderInfo {
    std::string_view name;
    std::span<const uint8_t> data;
};

enum AccountValueId {
    kValueActive = 0,
    kValueGenerateKey,
    kValueUnreadOnly,
    kValueSyncInbox,
    kValueSyncOutbox,
    kValueMailClient,
    kValueDaysToSync,
    kValueMessageSize,
    kValueAccountName,
    kValueHostName,
    kValueDesktopUser,
    kValueDesktopPassword,
    kValueMapiProfile,
    kValueDownloadAttachments,
};

inline constexpr int32_t kMailClientNone = -1;
inline constexpr int32_t kMailClientPlaceholder = 255;
inline constexpr int32_t kMailClientImap = 7;

// Results of Reconcile besides 0 and the sync manager's error codes.
enum : int {
    kReconcileNotDesktop = -2,
    kReconcileDeleted = -3,
    kReconcileNoRecord = -4,
    kReconcileImapOneSide = -5,
    kReconcileAlreadyPlaceholder = 16385,
};

class CMailAccount {
public:
    CMailAccount(const AccountInit& init, AccountEnvironment& env);
    CMailAccount(const CMailAccount&) = delete;
    CMailAccount& operator=(const CMailAccount&) = delete;

    int Load();
    int Save();
    void SetDefaults();
    void ResetToDefaults();
    void SetAccountName(const char* name, int resetFirst);
    int SetValue(int valueId, const void* data, unsigned length);
    int HasMapiProfile() const;
    int NameHasAtSign() const;
    int GetBlindCopyAddress(std::string* out) const;
    int GetReplyToAddress(std::string* out) const;
    void MarkSynchronised();
    void MarkAsPlaceholder();
    int IsRelayUser();
    int IsRelayInstalled();
    void ClearRelayInstalled();

    // Records a change of a handheld value to be written at the next synchronisation.
    void AddPendingChange(uint32_t tag);

    // Folders.
    int CountFolders(int* handheldSlots, int* mappedFolders, int* serverFolders, int* markedFolders) const;
    int FindQueuedFolder(std::string_view name, int* index) const;
    int FindHandheldFolder(std::string_view name, int* index) const;
    const char* QueuedFolderName(int slot) const;
    // Switches a server folder's handheld synchronisation (name compared without regard to
    // case): 0 when no folder has that name, or when a folder not yet on the handheld
    // cannot get a handheld slot (it is then left off); else 1.
    int SetFolderSync(std::string_view name, int on);
    int MergeServerFolders(std::span<const ServerFolderInfo> folders, int useQueued);
    int SelectedFolders(std::vector<int>& slots, std::vector<std::string>& names) const;

    // The handheld.
    void ApplyHandheldBlock(std::span<const uint8_t> block);
    int WriteDeviceFolders(HandheldPreferences& prefs);
    int FlushPendingChanges(HandheldPreferences& prefs, AccountRecord* record, const char* key);
    void ResetHandheldAccount(HandheldPreferences& prefs);
    void WriteFreshAccountRecord(HandheldPreferences& prefs);
    int EncryptPassword(const char* text, std::string* out, const char* key);
    int DecryptPassword(const char* sealed, std::string* out, const char* key);
    int Reconcile(HandheldPreferences& prefs, int logToProductLog, int readOnly, int skipBusiness, const char* key);

    // Server folder entry, 0-based, while its name is not empty.
    struct FolderEntry {
        std::string name;
        std::vector<uint8_t> data;
        int32_t slot = layout::kNoSlot;
        int32_t synchronised = 0;
        uint32_t flags = 0;
    };
    std::vector<FolderEntry> Folders() const;
    void SetFolders(const std::vector<FolderEntry>& folders);

    // Values.
    std::string AccountName() const;
    int32_t MailClient() const;
    int32_t Active() const;
    uint32_t HeadWord(size_t offset) const;
    void SetHeadWord(size_t offset, uint32_t value);
    MessageFilter Filter(int index) const;
    void SetFilter(int index, const MessageFilter& filter);
    const AccountFileImage& Image() const { return image_; }
    AccountFileImage& MutableImage() { return image_; }
    std::span<const uint8_t> SecondHandheldBlock() const { return secondHandheld_; }
    const std::vector<CDeviceFolder>& QueuedFolders() const { return queued_; }
    const std::filesystem::path& FilePath() const { return path_; }
    bool IsLoaded() const { return loaded_; }
    bool DeletedThisSync() const { return deletedThisSync_; }
    int CallerValue() const { return init_.callerValue; }

private:
    bool loadFromStore();
    bool logsToProductLog() const;
    void log(std::string_view line);
    int writeName(HandheldPreferences& prefs, std::string_view name);
    int createOnHandheld(HandheldPreferences& prefs, const std::string& name, bool logging);
    void readHandheldTexts(HandheldPreferences& prefs, std::span<uint8_t> block, const char* key);
    int readFolderPreference(HandheldPreferences& prefs, std::span<uint8_t> block);
    void readFilters(HandheldPreferences& prefs, std::span<uint8_t> block);

    AccountInit init_;
    AccountEnvironment& env_;
    std::filesystem::path path_;
    bool loaded_ = false;
    bool deletedThisSync_ = false;
    AccountFileImage image_;
    std::array<uint8_t, layout::kHandheldSize> secondHandheld_{};
    std::vector<CDeviceFolder> queued_;
    std::shared_ptr<AesBinding> aes_;  // keeps the process's HXAES binding while the account lives
};

}  // namespace tess::accounts
