// The mail store's readers over an account file of arbitrary bytes: every field tag, every
// folder slot, and the change list; then a message record read into the store's message,
// and the same bytes as a pending-action record.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "common/message_record_codec.h"
#include "datamgr/account_field_tags.h"
#include "datamgr/mail_store.h"
#include "accounts/account_file.h"

using tess::HandheldRecord;
using tess::UnpackMessageRecord;

namespace {

class QuietEnvironment : public tess::accounts::AccountEnvironment {
public:
    void SyncMessage(int, std::string_view, std::string_view) override {}
    void ProductLog(std::string_view) override {}
    std::optional<uint32_t> ReadRelayValue(std::string_view) override { return std::nullopt; }
    bool WriteRelayValue(std::string_view, uint32_t) override { return false; }
    bool LoadStoredAccount(int, unsigned, int, tess::accounts::StoredAccount&) override { return false; }
    void ClearRelayEnterprise(int) override {}
    std::optional<std::string> SealPassword(std::string_view, std::string_view) override { return std::nullopt; }
    std::optional<std::string> UnsealPassword(std::string_view, std::string_view) override { return std::nullopt; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static QuietEnvironment env;
    tess::accounts::AccountInit init;
    init.userId = -2;
    init.path = "/nonexistent/acc0.dat";
    tess::accounts::CMailAccount account(init, env);
    tess::accounts::DecodeAccountFile({data, size}, account.MutableImage());

    for (int tag = -1; tag <= 33; ++tag) {
        const std::string_view text = tess::datamgr::TagText(account, tag);
        if (text.size() >= tess::accounts::layout::kDesktopSize) std::abort();
        (void)tess::datamgr::TagNumber(account, tag);
        tess::datamgr::SetTagText(account, tag, text);
    }
    for (int slot = -1; slot <= tess::datamgr::kMaxFolderSlots; ++slot)
        if (tess::datamgr::CMailStore::FolderSlotName(account, slot).size() > 15) std::abort();

    HandheldRecord record;
    record.data.assign(data, data + size);
    tess::datamgr::CMailMessage message;
    UnpackMessageRecord(record, message.msg);

    tess::datamgr::PendingAction action;
    if (tess::ParseActionRecord(data, size, action) && action.arg1.size() + action.arg2.size() + 8 > size) std::abort();
    return 0;
}
