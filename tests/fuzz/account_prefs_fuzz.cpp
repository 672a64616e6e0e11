// The handheld's account preferences as the handheld may hand them over: any bytes for
// the account record, the name, the texts, the folder preference and the filters.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <unistd.h>

#include "accounts/mail_account.h"

using tess::MessageFilter;

using namespace tess::accounts;

namespace {

class FuzzPrefs : public HandheldPreferences {
public:
    std::map<int, std::vector<uint8_t>> prefs;
    int Read(uint32_t, int id, std::vector<uint8_t>& out) override {
        auto it = prefs.find(id);
        if (it == prefs.end()) return 16387;
        out = it->second;
        return 0;
    }
    int Write(uint32_t, int id, std::span<const uint8_t> bytes) override {
        prefs[id].assign(bytes.begin(), bytes.end());
        return 0;
    }
};

class QuietEnvironment : public AccountEnvironment {
public:
    void SyncMessage(int, std::string_view, std::string_view) override {}
    void ProductLog(std::string_view) override {}
    std::optional<uint32_t> ReadRelayValue(std::string_view) override { return 1; }
    bool WriteRelayValue(std::string_view, uint32_t) override { return true; }
    bool LoadStoredAccount(int, unsigned, int, StoredAccount&) override { return false; }
    void ClearRelayEnterprise(int) override {}
    std::optional<std::string> SealPassword(std::string_view t, std::string_view) override { return std::string(t); }
    std::optional<std::string> UnsealPassword(std::string_view t, std::string_view) override { return std::string(t); }
};

const int kIds[] = {0,  16, 21,  23,  15,  17,  11,  22,  18,  350, 20,  10,  400, 410,
                    12, 13, 160, 170, 171, 172, 173, 174, 175, 176, 177, 178, 179, 180};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::filesystem::path dir = [] {
        // Memory-backed when there is one: every reconciliation saves the account file.
        std::string templ = std::filesystem::exists("/dev/shm") ? "/dev/shm/account_prefs_fuzz.XXXXXX"
                                                                : "/tmp/account_prefs_fuzz.XXXXXX";
        return std::filesystem::path(mkdtemp(templ.data()));
    }();
    // The input is cut into preferences at each 0xFF 0xFE pair, in the order of kIds.
    FuzzPrefs prefs;
    size_t start = 0, which = 0;
    for (size_t i = 0; i + 1 <= size && which < std::size(kIds); ++i) {
        if (i + 1 == size || (data[i] == 0xFF && data[i + 1] == 0xFE)) {
            const size_t end = i + 1 == size ? size : i;
            prefs.prefs[kIds[which++]].assign(data + start, data + end);
            start = i + 2;
            ++i;
        }
    }
    QuietEnvironment env;
    AccountInit init;
    init.userId = 1;
    init.accountNumber = 0;
    init.userDirectory = dir.string();
    init.logFolderAdditions = 1;
    CMailAccount account(init, env);
    account.Load();
    account.SetAccountName("Fuzz", 0);
    account.AddPendingChange(size > 0 ? data[0] % 30 : 2);
    account.Reconcile(prefs, 1, 0, 0, "key");
    account.WriteDeviceFolders(prefs);
    for (auto f : layout::kHandheldScrambled)
        if (!std::memchr(account.Image().handheld.data() + f.offset, 0, f.width)) std::abort();
    for (int i = 0; i < layout::kMaxFilters; ++i) {
        const MessageFilter filter = account.Filter(i);
        if (!std::memchr(filter.name, 0, sizeof filter.name) || !std::memchr(filter.extra, 0, sizeof filter.extra))
            std::abort();
    }
    return 0;
}
