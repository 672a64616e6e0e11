// The MAcc exports: accounts through handles.
#include <cstring>
#include <ctime>
#include <string>

#include "datamgr/account_field_tags.h"
#include "datamgr/ledgerly.h"
#include "datamgr/store_handles.h"
#include "accounts/account_layout.h"
#include "accounts/block_fields.h"

using namespace tess::datamgr;
namespace layout = tess::accounts::layout;

namespace {

struct StringId {
    int tag;
    size_t limit;  // with the terminator
};
constexpr StringId kStringIds[] = {
    {30, 14},  {20, 80}, {1, 80},  {2, 80},  {3, 80},   {0, 128}, {11, 128},
    {16, 128}, {22, 80}, {13, 80}, {14, 80}, {18, 255}, {26, 16}, {27, 16},
};
constexpr int kNameId = 0;
constexpr int kMultiLineId = 11;

// Bool ids: a field tag, or one of the account's own values.
enum BoolSource { kTag, kInvertedTag, kValue, kResetMarker, kNotSupported };
struct BoolId {
    BoolSource source;
    int key;  // tag, or the account's value id
};
constexpr BoolId kBoolIds[] = {
    {kValue, tess::accounts::kValueActive},
    {kTag, 17},
    {kTag, 8},
    {kTag, 6},
    {kTag, 12},
    {kNotSupported, 0},
    {kTag, 9},
    {kTag, 10},
    {kTag, 15},
    {kTag, 32},
    {kInvertedTag, 4},
    {kTag, 7},
    {kTag, 23},
    {kTag, 31},
    {kResetMarker, 0},
    // Value id 14 does not exist in the account record.
    {kNotSupported, 14},
    {kValue, tess::accounts::kValueSyncInbox},
    {kValue, tess::accounts::kValueSyncOutbox},
};

constexpr int kProtocolTag = 5;
constexpr int kConnectionTag = 4;

size_t ValueOffset(int valueId) {
    switch (valueId) {
    case tess::accounts::kValueActive: return layout::kActive;
    case tess::accounts::kValueSyncInbox: return layout::kSyncInbox;
    case tess::accounts::kValueSyncOutbox: return layout::kSyncOutbox;
    case tess::accounts::kValueDaysToSync: return layout::kDaysToSync;
    case tess::accounts::kValueMessageSize: return layout::kMessageSizeKb;
    default: return layout::kActive;
    }
}

int32_t ValueOf(const tess::accounts::CMailAccount& a, int valueId) {
    return static_cast<int32_t>(tess::accounts::ByteView(a.Image().desktop).u32le(ValueOffset(valueId)));
}

void SetValueOf(tess::accounts::CMailAccount& a, int valueId, int32_t v) { a.SetValue(valueId, &v, sizeof v); }

bool MarkedGone(const tess::accounts::CMailAccount& a) {
    return a.HeadWord(layout::kHeadDeleteFromHandheld) != 0 || a.HeadWord(layout::kHeadDropMessages) != 0;
}

template <typename Fn>
int WithAccount(StoreHandle* h, Fn fn) {
    StoreAccount* account = AccountOf(h);
    if (!account) return Code(LDG_E_INVALID_PARAMETER);
    return fn(*account, *account->account);
}

int SumMessages(const StoreAccount& account) {
    int n = 0;
    for (const auto& f : account.folders) n += static_cast<int>(f->messages.size());
    return n;
}

}  // namespace

int MAccGetVersion(int* version) {
    if (!version) return Code(LDG_E_INVALID_PARAMETER);
    *version = 1;
    return 0;
}

int MAccGetFirst(StoreHandle** out) {
    if (!out) return Code(LDG_E_INVALID_PARAMETER);
    CMailStore& store = TheMailStore();
    if (store.accounts().empty()) return Code(LDG_E_NO_MEMORY);
    *out = MakeAccountHandle(store.accounts().front().get(), store);
    return *out ? 0 : Code(LDG_E_NO_MEMORY);
}

int MAccGetNext(StoreHandle* account, StoreHandle** out) { return IPES_GetNextAccount(account, out); }

int MAccCreate(StoreHandle** out) {
    if (!out) return Code(LDG_E_INVALID_PARAMETER);
    StoreAccount* made = nullptr;
    if (const int rc = TheMailStore().CreateAccount(&made); rc != 0) return rc;
    *out = MakeAccountHandle(made, TheMailStore());
    return *out ? 0 : Code(LDG_E_NO_MEMORY);
}

int MAccDelete(StoreHandle** account) {
    if (!account) return Code(LDG_E_INVALID_PARAMETER);
    return WithAccount(*account, [](StoreAccount& entry, auto&) { return TheMailStore().DeleteAccount(entry); });
}

int MAccSave(StoreHandle* account) {
    return WithAccount(account, [](StoreAccount& entry, auto&) { return TheMailStore().SaveAccount(entry); });
}

int MAccRelease(StoreHandle** account) { return FreeHandle(account) ? 0 : Code(LDG_E_INVALID_PARAMETER); }

int MAccForceDatReload(StoreHandle* account) {
    return WithAccount(account, [](StoreAccount&, tess::accounts::CMailAccount& a) {
        a.SetDefaults();
        return a.Load() ? 0 : Code(LDG_E_IO_READ_DEVICE);
    });
}

int MAccGetPersistentID(StoreHandle* account, int* id) {
    return WithAccount(account, [id](StoreAccount& entry, auto&) {
        if (!id) return Code(LDG_E_INVALID_PARAMETER);
        *id = entry.id;
        return 0;
    });
}

int MAccGetStringData(StoreHandle* account, int id, const char** text, int* length) {
    return WithAccount(account, [=](StoreAccount&, tess::accounts::CMailAccount& a) {
        // The engine asks for the name without a length.
        if (!text) return Code(LDG_E_INVALID_PARAMETER);
        if (id < 0 || id >= static_cast<int>(std::size(kStringIds))) return Code(LDG_E_NOT_SUPPORTED);
        const std::string_view v = TagText(a, kStringIds[id].tag);
        *text = v.data();
        if (length) *length = static_cast<int>(v.size());
        return 0;
    });
}

int MAccSetStringData(StoreHandle* account, int id, const char* text) {
    return WithAccount(account, [=](StoreAccount&, tess::accounts::CMailAccount& a) {
        if (id < 0 || id >= static_cast<int>(std::size(kStringIds))) return Code(LDG_E_NOT_SUPPORTED);
        std::string value = text ? text : "";
        if (id == kMultiLineId) std::erase(value, '\r');
        if (id == kNameId) {
            if (value.empty()) return Code(LDG_E_INVALID_PARAMETER);
            if (value.find_first_of("@-") != std::string::npos) return Code(LDG_E_ACCOUNT_NAME_CHAR);
        }
        // Over the limit, or over the field's real capacity: refused, nothing stored.
        if (value.size() + 1 > kStringIds[id].limit) return Code(LDG_E_INVALID_PARAMETER);
        switch (SetTagText(a, kStringIds[id].tag, value)) {
        case SetResult::tooLong: return Code(LDG_E_INVALID_PARAMETER);
        case SetResult::noField: return Code(LDG_E_IO_SAVE);
        default: return 0;
        }
    });
}

int MAccGetInt16Data(StoreHandle* account, int id, short* value) {
    return WithAccount(account, [=](StoreAccount&, tess::accounts::CMailAccount& a) {
        if (!value) return Code(LDG_E_INVALID_PARAMETER);
        switch (id) {
        case 0: *value = static_cast<short>(TagNumber(a, 19)); return 0;
        case 1: *value = static_cast<short>(TagNumber(a, 21)); return 0;
        case 2: *value = static_cast<short>(ValueOf(a, tess::accounts::kValueMessageSize)); return 0;
        case 3: *value = static_cast<short>(ValueOf(a, tess::accounts::kValueDaysToSync)); return 0;
        default: return Code(LDG_E_NOT_SUPPORTED);
        }
    });
}

int MAccSetInt16Data(StoreHandle* account, int id, short* value) {
    return WithAccount(account, [=](StoreAccount&, tess::accounts::CMailAccount& a) {
        switch (id) {
        case 0:
        case 1:
            if (!value || *value <= 0) return Code(LDG_E_OUT_OF_RANGE);
            SetTagNumber(a, id == 0 ? 19 : 21, *value);
            return 0;
        case 2:
            if (!value || *value < 1 || *value > 5120) return Code(LDG_E_OUT_OF_RANGE);
            SetValueOf(a, tess::accounts::kValueMessageSize, *value);
            return 0;
        case 3: {
            const short v = value ? *value : 0;
            if (v < 0 || v > 999) return Code(LDG_E_OUT_OF_RANGE);
            SetValueOf(a, tess::accounts::kValueDaysToSync, v);
            return 0;
        }
        default: return 0;
        }
    });
}

int MAccGetInt32Data(StoreHandle* account, int id, int* value) {
    return WithAccount(account, [=](StoreAccount&, tess::accounts::CMailAccount& a) {
        if (!value) return Code(LDG_E_INVALID_PARAMETER);
        if (id != 0) return Code(LDG_E_NOT_SUPPORTED);
        *value = static_cast<int>(a.HeadWord(layout::kHeadLastSync));
        return 0;
    });
}

int MAccSetInt32Data(StoreHandle* account, int id, int* value) {
    return WithAccount(account, [=](StoreAccount&, tess::accounts::CMailAccount& a) {
        if (id != 0) return Code(LDG_E_NOT_SUPPORTED);
        a.SetHeadWord(layout::kHeadLastSync, static_cast<uint32_t>(value ? *value : std::time(nullptr)));
        return a.Save() ? 0 : Code(LDG_E_IO_SAVE);
    });
}

int MAccGetBoolData(StoreHandle* account, int id, char* value) {
    return WithAccount(account, [=](StoreAccount&, tess::accounts::CMailAccount& a) {
        if (!value) return Code(LDG_E_INVALID_PARAMETER);
        if (id < 0 || id >= static_cast<int>(std::size(kBoolIds))) return Code(LDG_E_NOT_SUPPORTED);
        const BoolId b = kBoolIds[id];
        switch (b.source) {
        case kTag: *value = TagNumber(a, b.key) != 0; return 0;
        case kInvertedTag: *value = TagNumber(a, b.key) == 0; return 0;
        case kValue: *value = ValueOf(a, b.key) != 0; return 0;
        case kResetMarker: *value = MarkedGone(a); return 0;
        default: return Code(LDG_E_NOT_SUPPORTED);
        }
    });
}

int MAccSetBoolData(StoreHandle* account, int id, char* value) {
    return WithAccount(account, [=](StoreAccount&, tess::accounts::CMailAccount& a) {
        if (id < 0 || id >= static_cast<int>(std::size(kBoolIds))) return Code(LDG_E_NOT_SUPPORTED);
        const bool on = value && *value;
        const BoolId b = kBoolIds[id];
        switch (b.source) {
        case kTag: SetTagNumber(a, b.key, on ? 1 : 0); return 0;
        case kInvertedTag: SetTagNumber(a, b.key, on ? 0 : 1); return 0;
        case kValue: SetValueOf(a, b.key, on ? 1 : 0); return 0;
        case kResetMarker: {
            const bool inUse = !a.AccountName().empty();
            a.SetDefaults();
            if (inUse) a.SetHeadWord(layout::kHeadDropMessages, 1);
            return a.Save() ? 0 : Code(LDG_E_IO_SAVE);
        }
        default: return Code(LDG_E_NOT_SUPPORTED);
        }
    });
}

int MAccGetType(StoreHandle* account, int* type) {
    return WithAccount(account, [=](StoreAccount&, tess::accounts::CMailAccount& a) {
        if (!type) return Code(LDG_E_IO_READ_DEVICE);
        *type = static_cast<int>(TagNumber(a, kProtocolTag));
        return 0;
    });
}

int MAccSetType(StoreHandle* account, short* type) {
    return WithAccount(account, [=](StoreAccount&, tess::accounts::CMailAccount& a) {
        if (!type) return Code(LDG_E_INVALID_PARAMETER);
        SetTagNumber(a, kProtocolTag, *type);
        return 0;
    });
}

int MAccGetConnectionType(StoreHandle* account, int* type) {
    return WithAccount(account, [=](StoreAccount&, tess::accounts::CMailAccount& a) {
        if (!type) return Code(LDG_E_INVALID_PARAMETER);
        *type = static_cast<int>(TagNumber(a, kConnectionTag));
        return 0;
    });
}

int MAccSetConnectionType(StoreHandle* account, short* type) {
    return WithAccount(account, [=](StoreAccount&, tess::accounts::CMailAccount& a) {
        if (!type) return Code(LDG_E_INVALID_PARAMETER);
        SetTagNumber(a, kConnectionTag, *type);
        return 0;
    });
}

int MAccGetNumMessages(StoreHandle* account, int* count) {
    return WithAccount(account, [=](StoreAccount& entry, auto&) {
        if (!count) return Code(LDG_E_INVALID_PARAMETER);
        if (!TheMailStore().syncSession()) return Code(LDG_E_INVALID_OPERATION);
        *count = SumMessages(entry);
        return 0;
    });
}

int MAccGetCommonFolder(StoreHandle* account, int slot, StoreHandle** out) {
    return WithAccount(account, [=](StoreAccount& entry, auto&) {
        if (!out) return Code(LDG_E_INVALID_PARAMETER);
        CMailFolder* folder = slot >= 0 ? entry.FolderBySlot(slot) : nullptr;
        if (!folder) return Code(LDG_E_FOLDER_INVALID);
        *out = MakeFolderHandle(folder, entry);
        return *out ? 0 : Code(LDG_E_NO_MEMORY);
    });
}

int MAccGetFirstFolder(StoreHandle* account, StoreHandle** out) {
    return WithAccount(account, [=](StoreAccount& entry, auto&) {
        if (!out) return Code(LDG_E_INVALID_PARAMETER);
        if (entry.folders.empty()) return Code(LDG_E_IO_READ_DEVICE);
        *out = MakeFolderHandle(entry.folders.front().get(), entry);
        return *out ? 0 : Code(LDG_E_NO_MEMORY);
    });
}

int MAccGetNextFolder(StoreHandle* account, StoreHandle* previous, StoreHandle** out) {
    return WithAccount(account, [=](StoreAccount& entry, auto&) {
        CMailFolder* prev = FolderOf(previous);
        if (!prev || !out || prev->accountId != entry.id) return Code(LDG_E_INVALID_PARAMETER);
        if (entry.folders.empty()) return Code(LDG_E_IO_READ_DEVICE);
        for (size_t i = 0; i < entry.folders.size(); ++i) {
            if (entry.folders[i].get() != prev) continue;
            if (i + 1 >= entry.folders.size()) return Code(LDG_E_END_OF_LIST);
            *out = MakeFolderHandle(entry.folders[i + 1].get(), entry);
            return *out ? 0 : Code(LDG_E_NO_MEMORY);
        }
        return Code(LDG_E_INVALID_PARAMETER);
    });
}

int MAccGetCurrentClientInfo(StoreHandle* account, int* clientId, char** name, char** text1, char** text2, char* flag) {
    return WithAccount(account, [=](StoreAccount&, tess::accounts::CMailAccount& a) {
        if (!clientId || !name || !text1 || !text2 || !flag) return Code(LDG_E_INVALID_PARAMETER);
        auto& desktop = a.MutableImage().desktop;
        auto text = [&](layout::TextField f) { return reinterpret_cast<char*>(desktop.data() + f.offset); };
        const int32_t id = static_cast<int32_t>(tess::accounts::ByteView(desktop).u32le(layout::kClientId));
        *name = text(layout::kClientName);
        *text1 = text(layout::kClientText1);
        *text2 = text(layout::kClientText2);
        *flag = static_cast<char>(desktop[layout::kClientFlag]);
        *clientId = id == 0 && **name == '\0' ? -1 : id;
        return 0;
    });
}

int MAccSetCurrentClientInfo(StoreHandle* account, int clientId, const char* name, const char* text1, const char* text2,
                             int flag) {
    return WithAccount(account, [=](StoreAccount&, tess::accounts::CMailAccount& a) {
        const bool keep = clientId == -1;
        const std::pair<layout::TextField, std::string_view> texts[] = {
            {layout::kClientName, keep && name ? name : ""},
            {layout::kClientText1, keep && text1 ? text1 : ""},
            {layout::kClientText2, keep && text2 ? text2 : ""},
        };
        for (const auto& [field, value] : texts)
            if (value.size() + 1 > field.width) return Code(LDG_E_INVALID_PARAMETER);
        tess::accounts::ByteSpan desktop(a.MutableImage().desktop);
        for (const auto& [field, value] : texts) desktop.putText(field.offset, field.width, value);
        desktop.putU8(layout::kClientFlag, keep ? static_cast<uint8_t>(flag) : 0);
        desktop.putU32le(layout::kClientId, 0xFFFFFFFFu);
        return 0;
    });
}

int MAccGetServerSyncFolders(StoreHandle* account, StoreHandle*** out, int* count) {
    return WithAccount(account, [=](StoreAccount& entry, tess::accounts::CMailAccount& a) {
        if (!out || !count) return Code(LDG_E_INVALID_PARAMETER);
        std::vector<int> slots;
        std::vector<std::string> names;
        a.SelectedFolders(slots, names);
        auto** list = new (std::nothrow) StoreHandle*[slots.size() + 1]();
        if (!list) return Code(LDG_E_NO_MEMORY);
        int n = 0;
        for (int slot : slots)
            if (CMailFolder* folder = entry.FolderBySlot(slot))
                if (StoreHandle* h = MakeFolderHandle(folder, entry)) list[n++] = h;
        *out = list;
        *count = n;
        return 0;
    });
}

int MAccFreeServerSyncFolders(StoreHandle** folders) {
    delete[] folders;
    return 0;
}
