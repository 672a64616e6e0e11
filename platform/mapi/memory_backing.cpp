#include "platform/mapi/memory_backing.h"

#include <algorithm>
#include <random>
#include <utility>

#include "platform/mapi/text_util.h"

namespace platform::mapi {

MemoryBacking::MemoryBacking() {
    folders_ = {{"", "Inbox", FolderRole::Inbox},
                {"Outbox", "Outbox", FolderRole::Outbox},
                {"Sent Items", "Sent Items", FolderRole::Sent},
                {"Deleted Items", "Deleted Items", FolderRole::Trash},
                {"Drafts", "Drafts", FolderRole::Drafts}};
    for (const auto& f : folders_) messages_[f.name];
    std::random_device rd;
    for (int i = 0; i < 16; ++i) uid_.push_back(static_cast<uint8_t>(rd()));
}

void MemoryBacking::failCall(const std::string& call, HRESULT result) {
    std::lock_guard lock(mutex_);
    faults_[call] = result;
}

void MemoryBacking::clearFaults() {
    std::lock_guard lock(mutex_);
    faults_.clear();
}

HRESULT MemoryBacking::fault(const std::string& call) const {
    std::lock_guard lock(mutex_);
    auto it = faults_.find(call);
    return it == faults_.end() ? S_OK : it->second;
}

void MemoryBacking::refuseRecipient(const std::string& address, const std::string& reason) {
    std::lock_guard lock(mutex_);
    refusals_[lower(address)] = reason;
}

std::vector<StoredMessage>* MemoryBacking::folder(const std::string& name) {
    auto it = messages_.find(name);
    return it == messages_.end() ? nullptr : &it->second;
}

std::string MemoryBacking::deliver(const std::string& name, StoredMessage message) {
    std::lock_guard lock(mutex_);
    auto* f = folder(name);
    if (!f) return {};
    message.key = "m" + std::to_string(next_++);
    f->push_back(message);
    arrivals_.emplace_back(name, message.key);
    return message.key;
}

std::string MemoryBacking::deliverNote(uint32_t noteId, StoredMessage message) {
    std::lock_guard lock(mutex_);
    auto* f = folder("");
    if (!f) return {};
    // A message entry id is a 4-byte mark, the store's uid, a kind byte, the folder's key
    // (empty for the Inbox) and a NUL before the message's key: pad the key so that the
    // note id lands at byte 28.
    const size_t keyAt = 4 + uid_.size() + 1 + 1;
    message.key = std::string(28 - keyAt, 'n');
    for (int i = 0; i < 4; ++i) message.key += static_cast<char>((noteId >> (8 * i)) & 0xFF);
    f->push_back(message);
    arrivals_.emplace_back("", message.key);
    return message.key;
}

std::vector<StoredMessage> MemoryBacking::submitted() const {
    std::lock_guard lock(mutex_);
    return submitted_;
}

HRESULT MemoryBacking::logon() { return fault("Logon"); }

std::vector<FolderInfo> MemoryBacking::folders() { return folders_; }

HRESULT MemoryBacking::listMessages(const std::string& name, std::vector<StoredMessage>& out) {
    std::lock_guard lock(mutex_);
    auto* f = folder(name);
    if (!f) return MAPI_E_NOT_FOUND;
    out = *f;
    return S_OK;
}

HRESULT MemoryBacking::loadMessage(const std::string& name, const std::string& key, StoredMessage& out) {
    std::lock_guard lock(mutex_);
    auto* f = folder(name);
    if (!f) return MAPI_E_NOT_FOUND;
    for (const auto& m : *f)
        if (m.key == key) {
            out = m;
            return S_OK;
        }
    return MAPI_E_NOT_FOUND;
}

HRESULT MemoryBacking::saveMessage(const std::string& name, StoredMessage& message) {
    std::lock_guard lock(mutex_);
    auto it = faults_.find("SaveChanges");
    if (it != faults_.end()) return it->second;
    auto* f = folder(name);
    if (!f) return MAPI_E_NOT_FOUND;
    if (message.key.empty()) {
        message.key = "m" + std::to_string(next_++);
        f->push_back(message);
        return S_OK;
    }
    for (auto& m : *f)
        if (m.key == message.key) {
            m = message;
            return S_OK;
        }
    f->push_back(message);
    return S_OK;
}

HRESULT MemoryBacking::deleteMessage(const std::string& name, const std::string& key) {
    std::lock_guard lock(mutex_);
    auto* f = folder(name);
    if (!f) return MAPI_E_NOT_FOUND;
    auto it = std::find_if(f->begin(), f->end(), [&](const StoredMessage& m) { return m.key == key; });
    if (it == f->end()) return MAPI_E_NOT_FOUND;
    f->erase(it);
    return S_OK;
}

HRESULT MemoryBacking::setRead(const std::string& name, const std::string& key, bool read) {
    std::lock_guard lock(mutex_);
    auto* f = folder(name);
    if (!f) return MAPI_E_NOT_FOUND;
    for (auto& m : *f)
        if (m.key == key) {
            m.read = read;
            return S_OK;
        }
    return MAPI_E_NOT_FOUND;
}

HRESULT MemoryBacking::submit(const StoredMessage& message, std::vector<Refusal>& refused) {
    std::lock_guard lock(mutex_);
    refused.clear();
    for (const auto& r : message.recipients) {
        auto a = r.find(PR_EMAIL_ADDRESS);
        if (a == r.end()) continue;
        auto it = refusals_.find(lower(a->second.str));
        if (it != refusals_.end()) refused.push_back({a->second.str, it->second});
    }
    submitted_.push_back(message);
    return S_OK;
}

std::vector<std::pair<std::string, std::string>> MemoryBacking::takeArrivals() {
    std::lock_guard lock(mutex_);
    return std::exchange(arrivals_, {});
}

}  // namespace platform::mapi
