#include "engine/settings_upgrade.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/language_module.h"
#include "common/sync_report.h"
#include "engine/engine_log.h"
#include "engine/sync_session.h"

namespace tess::engine {
namespace {

constexpr int kFlagsMask = int(0xFF000000);

std::string QuayDirectory() {
    char buf[260];
    int size = sizeof buf;
    if (QuayGetSyncManagerDirectory(buf, &size) != SYNC_OK) return {};
    return buf;
}

std::string UserFolderName(int userId) {
    char buf[260];
    int size = sizeof buf;
    if (RosterGetUserFolderName(userId, buf, &size) != SYNC_OK) return {};
    return buf;
}

bool ReadWhole(const std::filesystem::path& p, std::string& out) {
    std::ifstream in(p, std::ios::binary);
    if (!in) return false;
    std::ostringstream s;
    s << in.rdbuf();
    out = s.str();
    return true;
}

bool WriteWhole(const std::filesystem::path& p, const std::string& text) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << text;
    return bool(out.flush());
}

}  // namespace

int CreateIniFileSettingsFor(CSyncSession& s, int userId) {
    tess::accounts::CGeneralSettings fresh;
    fresh.SetDefaults();
    fresh.Save(userId, StrOr(4048, "Larkspur").c_str(), int(kDataVersion), kFlagsMask);
    if (s.FindSyncUser(userId) != 0) return -1;
    for (int slot = 0; slot < kAccountSlots; ++slot) {
        tess::accounts::AccountInit init = s.accountInit;
        init.accountNumber = slot;
        tess::accounts::CMailAccount account(init, s.Env());
        account.SetDefaults();
        if (!account.Save()) return -1;
    }
    return 0;
}

int UpgradeUserSettingsFor(CSyncSession& s, int userId, int storedVersion) {
    tess::accounts::CGeneralSettings general;
    general.SetDefaults();
    // The old sync keys are needed here, so they are read.
    general.Load(userId, StrOr(4048, "Larkspur").c_str(), 0, kFlagsMask);
    const int version = storedVersion;
    tess::accounts::CAccountSettings old[kAccountSlots];
    const bool oldAccounts = version <= 516;
    if (oldAccounts)
        for (int i = 0; i < kAccountSlots; ++i) old[i].Load(userId, tess::accounts::kSectionOlder, version, i);
    if (version == 0) {
        if (general.expires == 0) general.expires = 32798;
        general.numberOfAccounts = kAccountSlots;
        if (general.daysToSync == 0) general.daysToSync = 4;
        for (auto& a : old) {
            a.syncInbox = general.syncInbox;
            a.syncOutbox = general.syncOutbox;
            a.daysToSync = general.daysToSync;
        }
    }
    general.conduitVersion = int(kDataVersion);
    bool ok = true;
    if (oldAccounts) {
        for (int i = 0; i < kAccountSlots; ++i) old[i].Save(userId, tess::accounts::kSectionOlder, version, i);
        if (s.FindSyncUser(userId) != 0) return 0;
        for (int slot = 0; slot < kAccountSlots; ++slot) {
            tess::accounts::AccountInit init = s.accountInit;
            init.accountNumber = slot;
            init.dataVersion = unsigned(version);
            tess::accounts::CMailAccount account(init, s.Env());
            account.Load();
            if (!account.Save()) ok = false;
        }
    }
    MoveSyncIniSection(userId);
    general.Save(userId, StrOr(4048, "Larkspur").c_str(), 0, kFlagsMask);
    return ok ? 1 : 0;
}

void MoveSyncIniSection(int userId) {
    const std::string dir = QuayDirectory();
    const std::string folder = UserFolderName(userId);
    if (dir.empty() || folder.empty()) return;
    const std::filesystem::path base = std::filesystem::path(dir) / folder;
    const std::filesystem::path oldFile = base / "sync.ini";
    const std::filesystem::path newFile = base / (StrOr(4048, "Larkspur") + ".ini");
    std::string text;
    if (!ReadWhole(oldFile, text)) return;
    const std::string header = StrOr(4048, "Larkspur") + "]";
    const size_t at = text.find(header);
    if (at == std::string::npos || at == 0 || text[at - 1] != '[') return;
    const size_t begin = at - 1;
    size_t end = text.find('[', at + header.size());
    if (end == std::string::npos) end = text.size();
    const std::string section = text.substr(begin, end - begin);
    const std::string rest = text.substr(0, begin) + text.substr(end);
    // The section goes to its new file first, so that a failure loses nothing.
    if (!WriteWhole(newFile, section) || !WriteWhole(oldFile, rest)) return;
    SyncMessage(4238, kActivityError, {oldFile.string(), newFile.string()});
}

}  // namespace tess::engine
