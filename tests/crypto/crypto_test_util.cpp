#include "tests/crypto/crypto_test_util.h"

#include <fstream>
#include <stdexcept>

#include "tests/support/test_home.h"

namespace tess::crypto::test {

Bytes fromHex(const std::string& hex) {
    if (hex.size() % 2 != 0) throw std::invalid_argument("odd hex length: " + hex);
    Bytes out;
    out.reserve(hex.size() / 2);
    for (size_t i = 0; i < hex.size(); i += 2) {
        out.push_back(uint8_t(std::stoul(hex.substr(i, 2), nullptr, 16)));
    }
    return out;
}

std::string toHex(const uint8_t* data, size_t length) {
    static const char kDigits[] = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < length; ++i) {
        s += kDigits[data[i] >> 4];
        s += kDigits[data[i] & 15];
    }
    return s;
}

std::filesystem::path vectorPath(const std::string& name) {
    return tess::test::sourceDir() / "tests" / "crypto" / "vectors" / name;
}

namespace {
std::string trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return "";
    const auto e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}
}  // namespace

std::vector<VectorRecord> readVectorFile(const std::string& name) {
    std::ifstream in(vectorPath(name));
    if (!in) throw std::runtime_error("missing vector file " + name);
    std::vector<VectorRecord> records;
    std::string section;
    VectorRecord current;
    auto flush = [&] {
        if (!current.fields.empty()) records.push_back(current);
        current = VectorRecord{};
        current.section = section;
    };
    std::string line;
    while (std::getline(in, line)) {
        line = trim(line);
        if (line.empty()) {
            flush();
            continue;
        }
        if (line[0] == '#') continue;
        if (line[0] == '[') {
            flush();
            section = line;
            current.section = section;
            continue;
        }
        const auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        current.fields[trim(line.substr(0, eq))] = trim(line.substr(eq + 1));
    }
    flush();
    return records;
}

}  // namespace tess::crypto::test
