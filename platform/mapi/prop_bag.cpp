#include "platform/mapi/prop_bag.h"

#include <algorithm>
#include <cstring>

namespace platform::mapi {

MemoryStream::MemoryStream(std::vector<uint8_t> bytes, std::function<HRESULT(const std::vector<uint8_t>&)> commit)
    : bytes_(std::move(bytes)), commit_(std::move(commit)) {}

HRESULT MemoryStream::Read(void* buffer, ULONG size, ULONG* read) {
    if (!buffer && size) return MAPI_E_INVALID_PARAMETER;
    size_t n = std::min<size_t>(size, position_ < bytes_.size() ? bytes_.size() - position_ : 0);
    if (n) std::memcpy(buffer, bytes_.data() + position_, n);
    position_ += n;
    if (read) *read = static_cast<ULONG>(n);
    return S_OK;
}

HRESULT MemoryStream::Write(const void* buffer, ULONG size, ULONG* written) {
    if (!buffer && size) return MAPI_E_INVALID_PARAMETER;
    if (position_ + size > bytes_.size()) bytes_.resize(position_ + size);
    if (size) std::memcpy(bytes_.data() + position_, buffer, size);
    position_ += size;
    if (written) *written = size;
    return S_OK;
}

HRESULT MemoryStream::Stat(uint64_t* size) {
    if (!size) return MAPI_E_INVALID_PARAMETER;
    *size = bytes_.size();
    return S_OK;
}

HRESULT MemoryStream::SetSize(uint64_t size) {
    bytes_.resize(static_cast<size_t>(size));
    position_ = std::min(position_, bytes_.size());
    return S_OK;
}

HRESULT MemoryStream::Seek(int64_t offset, int origin, uint64_t* position) {
    int64_t base = origin == 0   ? 0
                   : origin == 1 ? static_cast<int64_t>(position_)
                                 : static_cast<int64_t>(bytes_.size());
    if (origin < 0 || origin > 2 || base + offset < 0) return MAPI_E_INVALID_PARAMETER;
    position_ = static_cast<size_t>(base + offset);
    if (position) *position = position_;
    return S_OK;
}

HRESULT MemoryStream::Commit() { return commit_ ? commit_(bytes_) : S_OK; }

HRESULT MemoryStream::CopyTo(IStream* target, uint64_t size, uint64_t* read, uint64_t* written) {
    if (!target) return MAPI_E_INVALID_PARAMETER;
    const size_t left = position_ < bytes_.size() ? bytes_.size() - position_ : 0;
    const size_t n = static_cast<size_t>(std::min<uint64_t>(size, left));
    ULONG done = 0;
    HRESULT hr = n ? target->Write(bytes_.data() + position_, static_cast<ULONG>(n), &done) : S_OK;
    position_ += n;
    if (read) *read = n;
    if (written) *written = done;
    if (FAILED(hr)) return hr;
    return done == n ? S_OK : MAPI_E_NOT_ENOUGH_DISK;
}

}  // namespace platform::mapi
