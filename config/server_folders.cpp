// The current account's folder list read afresh from its server, through the account's
// message host library as the engine binds it: Initialize, Logon, GetFolderList,
// FreeFolderList, Logoff, Uninitialize.
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "accounts/account_layout.h"
#include "accounts/block_fields.h"
#include "common/host_records.h"
#include "common/plugin_registry.h"
#include "common/standard_folders.h"
#include "config/config_text.h"
#include "config/user_config.h"
#include "engine/tidewater.h"
#include "platform/core/module.h"

namespace tess::config {

using namespace tess::accounts::layout;
using tess::accounts::ByteView;
using tess::accounts::CMailAccount;

namespace {

constexpr int kImapFolderLimit = 10000;  // largest message the listing logon announces, bytes
constexpr int kDefaultImapPort = 143;
constexpr int kDefaultSmtpPort = 25;
// Handheld field tags of the account.
constexpr int kTagEmail = 0, kTagUser = 1, kTagPassword = 2, kTagDisplayName = 3;
constexpr int kTagIncomingPort = 19, kTagIncomingServer = 20, kTagOutgoingPort = 21, kTagOutgoingServer = 22;

// The host that lists the server folders of a mail client, or null.
const char* FolderHostName(int code) {
    switch (code) {
    case 4:
    case 5: return "Copperfen";
    case 6: return "Briarholt";
    case 7: return "Heronwick";
    default: return nullptr;
    }
}

std::string DesktopText(const CMailAccount& a, TextField f) {
    return std::string(ByteView(a.Image().desktop).text(f.offset, f.width));
}

// A port of the handheld fields; 0 becomes the protocol's default, kept in the account.
int PortOrDefault(CMailAccount& a, int tag, int fallback) {
    const int port = int(TagNumber(a, tag));
    if (port != 0) return port;
    const auto t = tess::accounts::LookUpPendingTag(uint32_t(tag));
    tess::accounts::ByteSpan(a.MutableImage().handheld).putU16le(t.blockOffset, uint16_t(fallback));
    return fallback;
}

// One host library loaded for one listing. Whatever was started is ended when it goes:
// logged off, uninitialised, unloaded.
class FolderHost {
public:
    explicit FolderHost(const std::string& path) : library_(path) {}
    ~FolderHost() {
        if (loggedOn_)
            if (auto logoff = Bind<HostLogoffFn>("Logoff")) logoff();
        if (initialised_)
            if (auto uninitialize = Bind<HostUninitializeFn>("Uninitialize")) uninitialize();
    }
    FolderHost(const FolderHost&) = delete;
    FolderHost& operator=(const FolderHost&) = delete;

    template <class Fn>
    Fn Bind(const char* name) const {
        return library_.Bind<Fn>(name);
    }
    bool Initialize() {
        auto initialize = Bind<HostInitializeFn>("Initialize");
        initialised_ = initialize && initialize() == 0;
        return initialised_;
    }
    // Without a Logon export the host needs none.
    bool Logon(const void* record) {
        auto logon = Bind<HostLogonFn>("Logon");
        if (!logon) return true;
        loggedOn_ = logon(record, 0, 1) == 0;
        return loggedOn_;
    }

private:
    platform::LoadedModule library_;  // freed after the host is ended
    bool initialised_ = false;
    bool loggedOn_ = false;
};

// The library registered for the host, found by its value name in the host list.
std::string RegisteredHostPath(const char* hostName) {
    tess::CPluginRegistry registry;
    tess::PluginEntry* entry = nullptr;
    if (!registry.ReadValues(tess::kMsgHostPlugins) || !registry.GetEntry(tess::kMsgHostPlugins, hostName, &entry) ||
        !entry)
        return {};
    return entry->text;
}

// The host's folders merged into a copy of the account, returned as the merged table. The
// account object writes its file after a merge; the window writes only when the user
// saves, so the merge runs on a copy whose file is a scratch one.
bool MergedFolders(const CMailAccount& account, const std::vector<tess::accounts::ServerFolderInfo>& folders,
                   std::vector<CMailAccount::FolderEntry>& out) {
    std::error_code error;
    std::string pattern = (std::filesystem::temp_directory_path(error) / "panelwright-folders-XXXXXX").string();
    if (error || !mkdtemp(pattern.data())) return false;
    const std::filesystem::path scratch = pattern;
    ConfigEnvironment env;
    tess::accounts::AccountInit init;
    init.userId = -2;
    init.path = (scratch / "acc.dat").string();
    CMailAccount copy(init, env);
    copy.MutableImage() = account.Image();
    const bool merged = copy.MergeServerFolders(folders, 0) != 0;
    if (merged) out = copy.Folders();
    std::filesystem::remove_all(scratch, error);
    return merged;
}

}  // namespace

int CUserConfig::CanFetchServerFolders() const { return FolderHostName(GetAccountProtocol(currentAccount)) ? 1 : 0; }

int CUserConfig::GetServerFolders() {
    CMailAccount* a = FindAccount(currentAccount);
    const char* hostName = a ? FolderHostName(a->MailClient()) : nullptr;
    if (!hostName) return 0;
    const std::string path = RegisteredHostPath(hostName);
    if (path.empty()) return 0;
    FolderHost host(path);
    if (!host.Initialize()) return 0;

    const int code = a->MailClient();
    bool loggedOn = false;
    if (code == 7) {
        const std::string server = TagText(*a, kTagIncomingServer), smtp = TagText(*a, kTagOutgoingServer);
        const std::string user = TagText(*a, kTagUser), password = TagText(*a, kTagPassword);
        if (server.empty() || smtp.empty() || user.empty() || password.empty()) return 0;
        LogonRecord r{};
        r.server = server.c_str();
        r.smtpServer = smtp.c_str();
        r.port = PortOrDefault(*a, kTagIncomingPort, kDefaultImapPort);
        r.smtpPort = PortOrDefault(*a, kTagOutgoingPort, kDefaultSmtpPort);
        r.reserved2 = -1;
        r.user = user.c_str();
        r.password = password.c_str();
        r.emailAddress = TagText(*a, kTagEmail).c_str();
        r.accountName = TagText(*a, kTagDisplayName).c_str();
        r.serverUsable = 1;
        r.maxSize = kImapFolderLimit;
        loggedOn = host.Logon(&r);
    } else if (code == 6) {
        char cwd[4096] = {};
        if (!getcwd(cwd, sizeof cwd)) cwd[0] = 0;
        NotesLogonRecord r{};
        r.idFile = DesktopText(*a, kMapiProfile).c_str();
        r.password = DesktopText(*a, kDesktopPassword).c_str();
        r.programDirectory = cwd;
        r.localSync = int32_t(ByteView(a->Image().desktop).u32le(kLocalReplica));
        loggedOn = host.Logon(&r);
    } else {
        MapiLogonRecord r{};
        r.hostName = DesktopText(*a, kHostName).c_str();
        r.profile = DesktopText(*a, kMapiProfile).c_str();
        r.password = DesktopText(*a, kDesktopPassword).c_str();
        loggedOn = host.Logon(&r);
    }
    if (!loggedOn) return 0;

    auto getList = host.Bind<HostGetFolderListFn>("GetFolderList");
    if (!getList) return 1;
    FolderRecord** list = nullptr;
    int count = 0;
    // A listing the server refused is no list: the folders stay as they were.
    const int listed = getList(&list, &count);
    if (!list) count = 0;
    tess::NameStandardFolders(list, count, LangText);
    std::vector<tess::accounts::ServerFolderInfo> folders;
    for (int i = 0; i < count; ++i) {
        const FolderRecord* f = list[i];
        if (!f || !f->name) continue;
        const auto* extra = static_cast<const uint8_t*>(f->extra);
        folders.push_back({f->name, {extra, extra ? size_t(std::max(0, f->extraLength)) : 0}});
    }
    std::vector<CMailAccount::FolderEntry> merged;
    const bool ok = listed == 0 && (folders.empty() || MergedFolders(*a, folders, merged));
    if (auto freeList = host.Bind<HostFreeFolderListFn>("FreeFolderList"); freeList && list) freeList(list, count);
    if (!ok) return 0;
    if (!folders.empty()) {
        auto same = [](const CMailAccount::FolderEntry& x, const CMailAccount::FolderEntry& y) {
            return x.name == y.name && x.data == y.data && x.slot == y.slot && x.synchronised == y.synchronised &&
                   x.flags == y.flags;
        };
        const std::vector<CMailAccount::FolderEntry> old = a->Folders();
        if (!std::equal(old.begin(), old.end(), merged.begin(), merged.end(), same)) {
            a->SetFolders(merged);
            changed = 1;
        }
    }
    return 1;
}

}  // namespace tess::config
