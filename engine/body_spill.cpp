#include "engine/body_spill.h"

#include <unistd.h>

#include <cerrno>
#include <string>

#include "common/msg_record.h"

namespace tess::engine {
namespace {
// Texts shorter than this cost less in memory than a trip through the file.
constexpr size_t kSmallestPut = 512;

// Whole transfers at a given offset, straight between the text and the file: no stream
// buffer to copy through or flush, and no seek, for each message.
template <typename Io, typename Buffer>
bool Whole(Io io, int fd, Buffer* data, size_t size, uint64_t at) {
    while (size > 0) {
        const ssize_t n = io(fd, data, size, off_t(at));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= size_t(n);
        at += uint64_t(n);
    }
    return true;
}
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
    if (!Whole(::pwrite, fileno(file_), msg.Body.data(), msg.Body.size(), end_)) {
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
    if (!file_ || !Whole(::pread, fileno(file_), text.data(), span.size, span.at)) return false;
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
