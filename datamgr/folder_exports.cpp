// The MFld exports: an account's handheld folders through handles.
#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "common/msg_record.h"
#include "datamgr/ledgerly.h"
#include "datamgr/store_handles.h"
#include "datamgr/store_texts.h"
#include "accounts/account_layout.h"
#include "accounts/handheld_account_records.h"

using namespace tess::datamgr;
namespace layout = tess::accounts::layout;

namespace {

constexpr size_t kMaxFolderName = 15;
constexpr int kFolderTableTag = 29;

bool SameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && strcasecmp(a.c_str(), b.c_str()) == 0;
}

StoreAccount* OwnerOf(const CMailFolder& folder) { return TheMailStore().AccountById(folder.accountId); }

// The account's folder table to the handheld; a failed write leaves the table marked
// for the next synchronisation.
void WriteFolderTable(StoreAccount& entry) {
    tess::accounts::CMailAccount& a = *entry.account;
    int rc = -1;
    if (TheMailStore().syncSession()) {
        const auto& block = a.Image().handheld;
        rc = WriteAppPreference(0, kCreatorMail,
                                             static_cast<uint16_t>(tess::accounts::FolderPrefId(entry.id)),
                                             block.data() + layout::kFolderPrefCopy, layout::kFolderPrefSize);
    }
    const auto& tags = a.Image().tags;
    if (rc != 0 && std::find(tags.begin(), tags.end(), uint32_t(kFolderTableTag)) == tags.end())
        a.AddPendingChange(kFolderTableTag);
}

template <typename Fn>
int WithFolder(StoreHandle* h, Fn fn) {
    CMailFolder* folder = FolderOf(h);
    StoreAccount* owner = folder ? OwnerOf(*folder) : nullptr;
    if (!folder || !owner) return Code(LDG_E_INVALID_PARAMETER);
    return fn(*folder, *owner);
}

}  // namespace

int MFldCreate(StoreHandle* account, StoreHandle** out) {
    StoreAccount* entry = AccountOf(account);
    if (!entry || !out) return Code(LDG_E_INVALID_PARAMETER);
    if (entry->folders.size() >= kMaxFolderSlots - 1) return Code(LDG_E_FOLDER_LIMIT);
    int slot = 0;
    while (slot < kMaxFolderSlots && entry->FolderBySlot(slot)) ++slot;
    auto taken = [&](const std::string& name) {
        return std::any_of(entry->folders.begin(), entry->folders.end(),
                           [&](const auto& f) { return SameName(f->name, name); });
    };
    std::string name;
    for (int n = slot + 1;; ++n) {
        char text[32];
        std::snprintf(text, sizeof text, StoreText(kTextNewFolder), n);
        if (!taken(text)) {
            name = text;
            break;
        }
    }
    entry->folders.push_back(std::make_unique<CMailFolder>(entry->id, -1, name));
    *out = MakeFolderHandle(entry->folders.back().get(), *entry);
    return *out ? 0 : Code(LDG_E_NO_MEMORY);
}

int MFldGetName(StoreHandle* folder, char** name) {
    return WithFolder(folder, [=](CMailFolder& f, StoreAccount&) {
        if (!name) return Code(LDG_E_INVALID_PARAMETER);
        *name = f.name.data();
        return 0;
    });
}

int MFldSetName(StoreHandle* folder, const char* name) {
    return WithFolder(folder, [=](CMailFolder& f, StoreAccount& owner) {
        const std::string value = name ? name : "";
        if (value.empty() || value.size() > kMaxFolderName || value.find_first_not_of(' ') == std::string::npos)
            return Code(LDG_E_INVALID_PARAMETER);
        if (f.slot >= 0 && f.slot < kCommonFolders) return Code(LDG_E_SHARED_FOLDER);
        for (const auto& other : owner.folders)
            if (other.get() != &f && SameName(other->name, value)) return Code(LDG_E_FOLDER_EXISTS);
        f.name = value;
        return 0;
    });
}

int MFldSave(StoreHandle* folder) {
    return WithFolder(folder, [=](CMailFolder& f, StoreAccount& owner) {
        tess::accounts::CMailAccount& a = *owner.account;
        if (f.slot < 0) {
            int slot = 0;
            while (slot < kMaxFolderSlots && !CMailStore::FolderSlotName(a, slot).empty()) ++slot;
            if (slot == kMaxFolderSlots) return Code(LDG_E_IO_SAVE);
            f.slot = slot;
            if (StoreHandle* fields = HandleFields(folder)) fields->id = static_cast<uint32_t>(slot);
        }
        CMailStore::SetFolderSlotName(a, f.slot, f.name);
        WriteFolderTable(owner);
        return a.Save() ? 0 : Code(LDG_E_IO_SAVE);
    });
}

int MFldDelete(StoreHandle* account, StoreHandle** folder) {
    StoreAccount* entry = AccountOf(account);
    CMailFolder* f = folder ? FolderOf(*folder) : nullptr;
    if (!entry || !f || f->accountId != entry->id) return Code(LDG_E_INVALID_PARAMETER);
    if (f->slot >= 0 && f->slot < kCommonFolders) return Code(LDG_E_SHARED_FOLDER);
    bool saved = true;
    if (f->slot >= 0) {
        CMailStore::SetFolderSlotName(*entry->account, f->slot, "");
        WriteFolderTable(*entry);
        saved = entry->account->Save();
    }
    std::erase_if(entry->folders, [f](const auto& p) { return p.get() == f; });
    FreeHandle(folder);
    // Gone here and on the handheld, but the account file still names it: said so.
    return saved ? 0 : Code(LDG_E_IO_SAVE);
}

int MFldGetNumMsgs(StoreHandle* folder, int* count) {
    return WithFolder(folder, [=](CMailFolder& f, StoreAccount&) {
        if (!count) return Code(LDG_E_INVALID_PARAMETER);
        if (!TheMailStore().syncSession()) return Code(LDG_E_INVALID_OPERATION);
        *count = static_cast<int>(f.messages.size());
        return 0;
    });
}

int MFldGetNumMsgsRead(StoreHandle* folder, int* count) {
    return WithFolder(folder, [=](CMailFolder& f, StoreAccount&) {
        if (!count) return Code(LDG_E_INVALID_PARAMETER);
        if (!TheMailStore().syncSession()) return Code(LDG_E_INVALID_OPERATION);
        *count = static_cast<int>(std::count_if(f.messages.begin(), f.messages.end(),
                                                [](const auto& m) { return (m->msg.status & kMsgStatusRead) != 0; }));
        return 0;
    });
}

namespace {

StoreHandle* MessageHandle(const CMailFolder& folder, size_t index) {
    CMailMessage* m = folder.messages[index].get();
    void* next = index + 1 < folder.messages.size() ? folder.messages[index + 1].get() : nullptr;
    const uint32_t owner =
        static_cast<uint32_t>(folder.accountId) << 16 | (static_cast<uint32_t>(folder.slot) & 0xFFFF);
    return MakeHandle(kMessageKind, owner, m->recordId, m, next);
}

}  // namespace

int MFldGetFirstMessage(StoreHandle* folder, StoreHandle** out) {
    return WithFolder(folder, [=](CMailFolder& f, StoreAccount&) {
        if (!out) return Code(LDG_E_INVALID_PARAMETER);
        if (!TheMailStore().syncSession()) return Code(LDG_E_INVALID_OPERATION);
        if (f.messages.empty()) return Code(LDG_E_END_OF_LIST);
        *out = MessageHandle(f, 0);
        return *out ? 0 : Code(LDG_E_NO_MEMORY);
    });
}

int MFldGetNextMessage(StoreHandle* folder, StoreHandle* previous, StoreHandle** out) {
    return WithFolder(folder, [=](CMailFolder& f, StoreAccount&) {
        const CMailMessage* prev = MessageOf(previous);
        if (!out || !prev) return Code(LDG_E_INVALID_PARAMETER);
        if (!TheMailStore().syncSession()) return Code(LDG_E_INVALID_OPERATION);
        for (size_t i = 0; i < f.messages.size(); ++i) {
            if (f.messages[i].get() != prev) continue;
            if (i + 1 >= f.messages.size()) return Code(LDG_E_END_OF_LIST);
            *out = MessageHandle(f, i + 1);
            return *out ? 0 : Code(LDG_E_NO_MEMORY);
        }
        return Code(LDG_E_INVALID_PARAMETER);  // not a message of this folder
    });
}

int MFldMoveMsgsIntoFolder(StoreHandle* folder, StoreHandle** messages, int count) {
    return WithFolder(folder, [=](CMailFolder& target, StoreAccount& owner) {
        if (!TheMailStore().syncSession()) return Code(LDG_E_INVALID_OPERATION);
        if (count < 0 || (count > 0 && !messages)) return Code(LDG_E_INVALID_PARAMETER);
        if (target.slot < 0) return Code(LDG_E_FOLDER_NOT_SAVED);
        // All or nothing is checked first. A message stays with its account: its record
        // names the account, so a folder of another account would lose it on the next load.
        for (int i = 0; i < count; ++i) {
            const CMailMessage* m = MessageOf(messages[i]);
            if (!m || m->accountId != owner.id) return Code(LDG_E_INVALID_PARAMETER);
        }
        for (int i = 0; i < count; ++i) {
            CMailMessage* m = MessageOf(messages[i]);
            if (!m) return Code(LDG_E_INVALID_PARAMETER);
            CMailFolder* from = owner.FolderBySlot(m->msg.category);
            if (!from) return Code(LDG_E_FOLDER_INVALID);
            auto it =
                std::find_if(from->messages.begin(), from->messages.end(), [m](const auto& p) { return p.get() == m; });
            if (it == from->messages.end()) return Code(LDG_E_FOLDER_INVALID);
            if (from == &target) continue;
            const auto place = it - from->messages.begin();
            std::unique_ptr<CMailMessage> moving = std::move(*it);
            from->messages.erase(it);
            const int16_t oldCategory = m->msg.category;
            m->msg.category = static_cast<int16_t>(target.slot);
            if (const int rc = TheMailStore().SaveMessage(*m); rc != 0) {
                // Not on the handheld: the store keeps showing what the handheld holds.
                m->msg.category = oldCategory;
                from->messages.insert(from->messages.begin() + place, std::move(moving));
                return rc;
            }
            target.messages.push_back(std::move(moving));
            if (StoreHandle* fields = HandleFields(messages[i])) {
                fields->owner = static_cast<uint32_t>(owner.id) << 16 | (static_cast<uint32_t>(target.slot) & 0xFFFF);
                fields->id = m->recordId;
            }
        }
        return 0;
    });
}

int MFldGetPersistentID(StoreHandle* folder, int* id) {
    return WithFolder(folder, [=](CMailFolder& f, StoreAccount& owner) {
        if (!id) return Code(LDG_E_INVALID_PARAMETER);
        *id = (owner.id << 16) | (f.slot & 0xFFFF);
        return 0;
    });
}

int MFldGetHandle(int id, StoreHandle** out) {
    if (!out) return Code(LDG_E_INVALID_PARAMETER);
    StoreAccount* entry = TheMailStore().AccountById(id >> 16);
    CMailFolder* f = entry ? entry->FolderBySlot(id & 0xFFFF) : nullptr;
    if (!f) return Code(LDG_E_FOLDER_INVALID);
    *out = MakeFolderHandle(f, *entry);
    return *out ? 0 : Code(LDG_E_NO_MEMORY);
}

int MFldRelease(StoreHandle** folder) { return FreeHandle(folder) ? 0 : Code(LDG_E_INVALID_PARAMETER); }
