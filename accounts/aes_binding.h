#pragma once
// The process's one binding of the outside AES library HXAES. Every account that may seal
// passwords holds a reference; the library is initialised once and released only when
// the last reference goes, so one account ending never pulls it from under another.
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace tess::accounts {

class AesBinding {
public:
    // The process's binding, bound on first use. Never null; `available()` says whether
    // the library loaded and initialised.
    static std::shared_ptr<AesBinding> Acquire();
    // How many references are held (for tests and diagnostics).
    static long References();

    ~AesBinding();
    AesBinding(const AesBinding&) = delete;
    AesBinding& operator=(const AesBinding&) = delete;

    bool available() const { return available_; }
    // Seals or opens bytes under a text key; empty on any failure.
    std::optional<std::vector<uint8_t>> Encrypt(std::span<const uint8_t> data, std::string_view key) const;
    std::optional<std::vector<uint8_t>> Decrypt(std::span<const uint8_t> data, std::string_view key) const;

private:
    struct Entry;
    AesBinding();
    std::optional<std::vector<uint8_t>> run(bool encrypt, std::span<const uint8_t> data, std::string_view key) const;

    void* module_ = nullptr;
    bool available_ = false;
    std::unique_ptr<Entry> entry_;
};

}  // namespace tess::accounts
