#include "accounts/aes_binding.h"

#include <mutex>
#include <string>

#include "platform/core/module.h"

namespace tess::accounts {

struct AesBinding::Entry {
    int (*initialize)(int) = nullptr;
    int (*uninitialize)() = nullptr;
    int (*setKey)(const char*) = nullptr;
    int (*getKey)(unsigned char*, unsigned int*) = nullptr;
    int (*generateKeyN)(unsigned char*, unsigned int) = nullptr;
    int (*generateKeyA)(char*, unsigned int) = nullptr;
    int (*encrypt)(const unsigned char*, unsigned int, int, unsigned char**, unsigned int*) = nullptr;
    int (*decrypt)(const unsigned char*, unsigned int, int, unsigned char**, unsigned int*) = nullptr;
};

namespace {
std::mutex gMutex;
std::weak_ptr<AesBinding> gBinding;

template <typename F>
bool bind(HMODULE m, const char* name, F& fn) {
    fn = reinterpret_cast<F>(GetProcAddress(m, name));
    return fn != nullptr;
}
}  // namespace

std::shared_ptr<AesBinding> AesBinding::Acquire() {
    std::lock_guard lock(gMutex);
    if (auto existing = gBinding.lock()) return existing;
    std::shared_ptr<AesBinding> made(new AesBinding());
    gBinding = made;
    return made;
}

long AesBinding::References() {
    std::lock_guard lock(gMutex);
    return gBinding.use_count();
}

AesBinding::AesBinding() : entry_(std::make_unique<Entry>()) {
    HMODULE m = LoadLibraryA("HXAES.dll");
    if (!m) return;
    Entry& e = *entry_;
    const bool all = bind(m, "AESInitialize", e.initialize) && bind(m, "AESSetKey", e.setKey) &&
                     bind(m, "AESGetKey", e.getKey) && bind(m, "AESGenerateKeyN", e.generateKeyN) &&
                     bind(m, "AESGenerateKeyA", e.generateKeyA) && bind(m, "AESEncrypt", e.encrypt) &&
                     bind(m, "AESDecrypt", e.decrypt) && bind(m, "AESUninitialize", e.uninitialize);
    const int rc = all ? e.initialize(1) : -1;
    if (rc != 0 && rc != 2) {
        FreeLibrary(m);
        *entry_ = Entry{};
        return;
    }
    module_ = m;
    available_ = true;
}

AesBinding::~AesBinding() {
    if (!module_) return;
    entry_->uninitialize();
    FreeLibrary(static_cast<HMODULE>(module_));
}

std::optional<std::vector<uint8_t>> AesBinding::Encrypt(std::span<const uint8_t> data, std::string_view key) const {
    return run(true, data, key);
}

std::optional<std::vector<uint8_t>> AesBinding::Decrypt(std::span<const uint8_t> data, std::string_view key) const {
    return run(false, data, key);
}

std::optional<std::vector<uint8_t>> AesBinding::run(bool encrypt, std::span<const uint8_t> data,
                                                    std::string_view key) const {
    if (!available_ || key.empty() || data.empty()) return std::nullopt;
    // The library's key is process-wide: setting it and using it is one step.
    std::lock_guard lock(gMutex);
    const std::string keyText(key);
    if (entry_->setKey(keyText.c_str()) != 0) return std::nullopt;
    unsigned char* out = nullptr;
    unsigned int outLength = 0;
    const auto fn = encrypt ? entry_->encrypt : entry_->decrypt;
    if (fn(data.data(), unsigned(data.size()), 0, &out, &outLength) != 0 || !out) return std::nullopt;
    std::vector<uint8_t> result(out, out + outLength);
    GlobalFree(out);
    return result;
}

}  // namespace tess::accounts
