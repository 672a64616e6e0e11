#include "platform/mapi/profiles.h"

#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

#include "platform/core/runtime.h"
#include "platform/mapi/text_util.h"

namespace platform::mapi {

namespace {

std::mutex g_mutex;
std::vector<std::pair<Profile, std::shared_ptr<MemoryBacking>>> g_memory;

std::string trim(const std::string& s) {
    size_t a = s.find_first_not_of(" \t\r"), b = s.find_last_not_of(" \t\r");
    return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

std::vector<std::string> split(const std::string& s, char sep) {
    std::vector<std::string> out;
    std::string part;
    std::istringstream in(s);
    while (std::getline(in, part, sep)) out.push_back(part);
    if (!s.empty() && s.back() == sep) out.emplace_back();
    return out;
}

// An address-list line: type|display name|address|proxy,proxy
std::string formatEntry(const AddressEntry& e) {
    std::string proxies;
    for (const auto& p : e.proxies) proxies += (proxies.empty() ? "" : ",") + p;
    return e.addrType + "|" + e.displayName + "|" + e.address + "|" + proxies;
}

bool parseEntry(const std::string& line, AddressEntry& e) {
    auto f = split(line, '|');
    if (f.size() < 3) return false;
    e.addrType = f[0];
    e.displayName = f[1];
    e.address = f[2];
    if (f.size() > 3 && !f[3].empty()) e.proxies = split(f[3], ',');
    return true;
}

}  // namespace

std::filesystem::path profilesFile() { return platform::runtimeRoot() / "mapi" / "profiles.ini"; }

std::vector<Profile> loadProfiles() {
    std::vector<Profile> out;
    std::ifstream in(profilesFile());
    std::string line;
    while (std::getline(in, line)) {
        line = trim(line);
        if (line.empty() || line[0] == '#') continue;
        if (line.front() == '[' && line.back() == ']') {
            out.emplace_back();
            out.back().name = trim(line.substr(1, line.size() - 2));
            continue;
        }
        if (out.empty()) continue;
        auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = trim(line.substr(0, eq)), value = trim(line.substr(eq + 1));
        Profile& p = out.back();
        if (key == "default")
            p.isDefault = value == "1";
        else if (key == "password")
            p.password = value;
        else if (key == "maildir")
            p.maildir = value;
        else if (key == "smtp")
            p.smtpUrl = value;
        else if (key == "smtp_user")
            p.smtpUser = value;
        else if (key == "smtp_password")
            p.smtpPassword = value;
        else if (key == "identity")
            parseEntry(value, p.identity);
        else if (key == "entry") {
            AddressEntry e;
            if (parseEntry(value, e)) p.addressList.push_back(std::move(e));
        }
    }
    return out;
}

bool saveProfile(const Profile& profile) {
    if (profile.name.empty() || profile.name.find_first_of("[]\n") != std::string::npos) return false;
    auto all = loadProfiles();
    bool replaced = false;
    for (auto& p : all) {
        if (profile.isDefault) p.isDefault = false;
        if (iequals(p.name, profile.name)) {
            p = profile;
            replaced = true;
        }
    }
    if (!replaced) all.push_back(profile);
    std::error_code ec;
    std::filesystem::create_directories(profilesFile().parent_path(), ec);
    // Written aside, then renamed, so a reader never sees half a file.
    const auto tmp = profilesFile().string() + ".tmp";
    {
        std::ofstream out(tmp, std::ios::trunc);
        for (const auto& p : all) {
            out << "[" << p.name << "]\n";
            out << "default = " << (p.isDefault ? 1 : 0) << "\n";
            out << "password = " << p.password << "\n";
            out << "maildir = " << p.maildir << "\n";
            out << "smtp = " << p.smtpUrl << "\n";
            out << "smtp_user = " << p.smtpUser << "\n";
            out << "smtp_password = " << p.smtpPassword << "\n";
            out << "identity = " << formatEntry(p.identity) << "\n";
            for (const auto& e : p.addressList) out << "entry = " << formatEntry(e) << "\n";
            out << "\n";
        }
        if (!out) return false;
    }
    std::filesystem::rename(tmp, profilesFile(), ec);
    return !ec;
}

void registerMemoryProfile(const Profile& profile, std::shared_ptr<MemoryBacking> backing) {
    std::lock_guard lock(g_mutex);
    for (auto& [p, b] : g_memory)
        if (iequals(p.name, profile.name)) {
            p = profile;
            b = std::move(backing);
            return;
        }
    g_memory.emplace_back(profile, std::move(backing));
}

void clearMemoryProfiles() {
    std::lock_guard lock(g_mutex);
    g_memory.clear();
}

std::vector<Profile> allProfiles() {
    std::vector<Profile> out;
    {
        std::lock_guard lock(g_mutex);
        for (const auto& [p, b] : g_memory) out.push_back(p);
    }
    for (auto& p : loadProfiles()) out.push_back(std::move(p));
    return out;
}

std::shared_ptr<MemoryBacking> memoryBackingOf(const std::string& name) {
    std::lock_guard lock(g_mutex);
    for (const auto& [p, b] : g_memory)
        if (iequals(p.name, name)) return b;
    return nullptr;
}

}  // namespace platform::mapi
