#pragma once
// Helpers shared by the crypto tests: hex, and the published vector files.
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace tess::crypto::test {

using Bytes = std::vector<uint8_t>;

Bytes fromHex(const std::string& hex);
std::string toHex(const uint8_t* data, size_t length);
inline std::string toHex(const Bytes& b) { return toHex(b.data(), b.size()); }

// tests/crypto/vectors/<name> in the source tree.
std::filesystem::path vectorPath(const std::string& name);

// One record of a CAVP-style response file: "KEY = value" lines up to a blank
// line, with the [SECTION] header that was current and whether it sat under
// [ENCRYPT] or [DECRYPT].
struct VectorRecord {
    std::string section;
    std::map<std::string, std::string> fields;
    bool has(const std::string& k) const { return fields.count(k) != 0; }
    const std::string& at(const std::string& k) const { return fields.at(k); }
};
std::vector<VectorRecord> readVectorFile(const std::string& name);

}  // namespace tess::crypto::test
