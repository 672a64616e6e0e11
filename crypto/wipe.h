#pragma once
// Zeroing that the compiler may not drop: secrets and caller contexts.
#include <openssl/crypto.h>

#include <cstddef>

namespace tess::crypto {

inline void wipe(void* p, size_t n) { OPENSSL_cleanse(p, n); }

template <typename T>
inline void wipeObject(T& object) {
    OPENSSL_cleanse(&object, sizeof(T));
}

// Wipes a stack object when it leaves scope.
template <typename T>
class WipeOnExit {
public:
    explicit WipeOnExit(T& object) : object_(object) {}
    ~WipeOnExit() { wipeObject(object_); }
    WipeOnExit(const WipeOnExit&) = delete;
    WipeOnExit& operator=(const WipeOnExit&) = delete;

private:
    T& object_;
};

}  // namespace tess::crypto
