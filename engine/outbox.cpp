// Mail written on the handheld sent through the account's host, then moved to the
// handheld's Sent category.
#include <fstream>
#include <set>

#include "common/handheld_records.h"
#include "common/message_record_codec.h"
#include "common/sync_report.h"
#include "engine/engine_log.h"
#include "engine/sync_session.h"

namespace tess::engine {
namespace {

constexpr int kOutbox = 1;
constexpr int kSent = 3;
constexpr size_t kPartWordOffset = 12;

// Record ids of mail that went out but whose handheld record could not be moved to Sent
// yet: kept beside the account file so that no later synchronisation sends it again.
class SentLedger {
public:
    explicit SentLedger(std::filesystem::path p) : path_(std::move(p)) {
        std::ifstream in(path_);
        uint32_t id;
        while (in >> id) ids_.insert(id);
    }
    bool Has(uint32_t id) const { return ids_.count(id) != 0; }
    void Add(uint32_t id) {
        if (ids_.insert(id).second) Save();
    }
    void Remove(uint32_t id) {
        if (ids_.erase(id)) Save();
    }

private:
    void Save() const {
        if (ids_.empty()) {
            std::error_code ec;
            std::filesystem::remove(path_, ec);
            return;
        }
        std::ofstream out(path_, std::ios::trunc);
        for (uint32_t id : ids_) out << id << '\n';
    }
    std::filesystem::path path_;
    std::set<uint32_t> ids_;
};

}  // namespace

int CSyncSession::SendOutbox(CHostConnection& c) {
    Debug("--> Beginning Send Messages");
    if (db.Open(kDbMessages) != 0) return kResultDbOpen;
    auto* outbox = c.device.Messages(kOutbox);
    const int n = outbox ? int(outbox->size()) : 0;
    progress.SetStepCount(2 * n + 1);
    SentLedger ledger(std::filesystem::path(accountInit.userDirectory) / ("sent" + std::to_string(c.slot) + ".ids"));
    int sent = 0;
    std::vector<CMsg*> pending;
    if (outbox)
        for (auto& m : *outbox) pending.push_back(m.get());
    for (CMsg* msg : pending) {
        const uint32_t recordId = FullIdAsNumber(msg->deviceId);
        std::error_code ec;
        std::optional<platform::TempDir> temp;               // every file written for this mail goes with it
        std::vector<std::filesystem::path> translatedFiles;  // and every translated one
        struct RemoveTranslated {
            std::vector<std::filesystem::path>& files;
            ~RemoveTranslated() {
                std::error_code ec;
                for (const auto& f : files) std::filesystem::remove(f, ec);
            }
        } removeTranslated{translatedFiles};
        bool send = !ledger.Has(recordId);
        bool stop = false;
        if (send && msg->partIds[0] != 0) {
            msg->AttachmentNames.clear();
            if (db.Open(kDbAttachments) != 0) break;
            temp = platform::TempDir::create(ec);
            for (int i = 0; i < kMaxPartIds && msg->partIds[i] != 0 && temp; ++i) {
                // Mail without one of its files must not go out: it waits in the outbox.
                CAttachmentChain chain;
                std::filesystem::path written;
                if (ReadAttachmentChain(db.handle(), msg->partIds[i], true, chain, &progress) == 0)
                    written = chain.WriteToTempFile(*temp);
                if (written.empty()) {
                    SyncMessage(4103, kActivityError);
                    send = false;
                    break;
                }
                bool translated = false;
                const std::filesystem::path file = TranslateAttachment(written.string(), 1, translated);
                if (translated) {
                    std::error_code removeError;
                    std::filesystem::remove(written, removeError);
                    translatedFiles.push_back(file);
                }
                // A comma inside a path would split the list the host reads.
                if (file.string().find(',') != std::string::npos) {
                    Debug("Attachment path holds a comma; the mail stays in the outbox: " + file.string());
                    send = false;
                    break;
                }
                msg->AddAttachmentName(file.string());
            }
            if (!temp) send = false;
            if (db.Open(kDbMessages) != 0) stop = true;
        }
        if (stop) break;
        progress.AdvanceStep();
        bool wentOut = !send && ledger.Has(recordId);
        if (send && c.SendMessage(*msg) == 0) {
            wentOut = true;
            ledger.Add(recordId);
        }
        if (wentOut) {
            HandheldRecord r;
            if (db.ReadById(recordId, r) == 0) {
                ++sent;
                r.attributes = 0;
                r.category = kSent;
                if (r.data.size() >= kPartWordOffset + 4) std::fill_n(r.data.begin() + kPartWordOffset, 4, 0);
                if (db.Write(r) == SYNC_OK) {
                    msg->category = kSent;
                    ledger.Remove(recordId);
                }
            }
        }
        c.device.Take(msg);
        progress.AdvanceStep();
    }
    DebugOrInfo(Printf("%d messages sent from the outbox.", sent), 4140, {std::to_string(sent)});
    return 0;
}

}  // namespace tess::engine
