#include "engine/body_spill.h"

#include <string>

#include "common/msg_record.h"

namespace tess::engine {
namespace {
// Texts shorter than this cost less in memory than a trip through the file.
constexpr size_t kSmallestPut = 512;
}  // namespace

CBodySpill::~CBodySpill() {
    if (file_) std::fclose(file_);
}

void CBodySpill::Put(CMsg& msg) {
    if (msg.Body.size() < kSmallestPut || held_.count(&msg) || full_) return;
    if (!file_ && !(file_ = std::tmpfile())) {
        full_ = true;
        return;
    }
    if (std::fseek(file_, long(end_), SEEK_SET) != 0 ||
        std::fwrite(msg.Body.data(), 1, msg.Body.size(), file_) != msg.Body.size()) {
        // No room for more (the texts already out are still read back): later ones stay.
        full_ = true;
        return;
    }
    held_[&msg] = Span{end_, msg.Body.size()};
    end_ += msg.Body.size();
    std::string().swap(msg.Body);
}

bool CBodySpill::Take(CMsg& msg) {
    auto it = held_.find(&msg);
    if (it == held_.end()) return true;
    const Span span = it->second;
    held_.erase(it);
    std::string text(span.size, '\0');
    if (!file_ || std::fflush(file_) != 0 || std::fseek(file_, long(span.at), SEEK_SET) != 0 ||
        std::fread(text.data(), 1, span.size, file_) != span.size)
        return false;
    msg.Body = std::move(text);
    return true;
}

void CBodySpill::Clear() {
    held_.clear();
    if (file_) std::fclose(file_);
    file_ = nullptr;
    end_ = 0;
    full_ = false;
}

}  // namespace tess::engine
