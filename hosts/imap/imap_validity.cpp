// The UIDVALIDITY of each folder, kept between syncs beside the account files, and the
// guard that keeps changes by UID out of a folder whose value has changed.
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <system_error>

#include "hosts/imap/imap_session.h"
#include "platform/core/os.h"

namespace imap {

using tess::LogonRecord;

namespace {

// One line per folder: value, server, user and folder name, separated by tabs.
constexpr const char* kValidityFileName = "imap-uidvalidity.txt";

}  // namespace

std::string CImapSession::ValidityKey(const std::string& folder) const {
    // INBOX is the one name that IMAP compares without regard to case.
    const std::string name = folder.empty() || EqualsNoCase(folder, "inbox") ? "INBOX" : folder;
    return imapSettings_.server + '\t' + imapSettings_.user + '\t' + name;
}

std::filesystem::path CImapSession::ListingStateFile(const std::string& folder) const {
    if (validityFile_.empty()) return {};
    return ListingStatePath(validityFile_.parent_path(), ValidityKey(folder));
}

void CImapSession::LoadValidities(const LogonRecord& record) {
    validities_.clear();
    changed_.clear();
    relisted_.clear();
    validityFile_.clear();
    const std::string dir = record.userDirectory.str();
    if (dir.empty()) return;
    validityFile_ = std::filesystem::path(dir) / kValidityFileName;
    std::ifstream in(validityFile_);
    std::string line;
    while (std::getline(in, line)) {
        const std::size_t tab = line.find('\t');
        if (tab == std::string::npos || tab == 0) continue;
        char* end = nullptr;
        const unsigned long value = std::strtoul(line.c_str(), &end, 10);
        if (end != line.c_str() + tab || value == 0 || value > UINT32_MAX) continue;
        validities_[line.substr(tab + 1)] = static_cast<uint32_t>(value);
    }
}

void CImapSession::SaveValidities() const {
    if (validityFile_.empty()) return;
    std::ostringstream text;
    for (const auto& [key, value] : validities_) {
        if (key.find('\n') != std::string::npos) continue;
        text << value << '\t' << key << '\n';
    }
    // Written whole, then renamed over the old file: a run that stops midway leaves
    // the values it had.
    std::error_code error;
    if (!platform::replaceFile(validityFile_, text.str(), ".new", error))
        Log("IMAP: Could not write " + validityFile_.string() + ": " + error.message());
}

bool CImapSession::UidsStale(const std::string& folder) {
    const std::string name = folder.empty() ? std::string("inbox") : folder;
    const std::string key = ValidityKey(name);
    if (changed_.count(key)) return true;
    if (connection_.SelectFolder(name) != kImapOk) return false;
    const uint32_t now = connection_.UidValidity();
    if (now == 0) return false;
    auto kept = validities_.find(key);
    if (kept == validities_.end()) {
        // First seen: the UIDs handed out from now on belong to this value.
        validities_[key] = now;
        SaveValidities();
        return false;
    }
    if (kept->second == now) return false;
    changed_[key] = now;
    Log("IMAP: The UIDVALIDITY of folder '" + name + "' has changed (" + std::to_string(kept->second) + " to " +
        std::to_string(now) +
        "): the server has renumbered its messages. The handheld's copies of them are "
        "replaced, and its changes to them by message number are not made.");
    return true;
}

bool CImapSession::RefuseStaleChange(const std::string& folder, const char* what, uint32_t uid) {
    if (!UidsStale(folder)) return false;
    Log(std::string("IMAP: ") + what + " of message " + std::to_string(uid) + " in folder '" +
        (folder.empty() ? std::string("inbox") : folder) +
        "' not made: its number is from before the folder's UIDVALIDITY changed.");
    return true;
}

}  // namespace imap
