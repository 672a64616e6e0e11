#include "platform/notes/client_state.h"

#include <openssl/evp.h>
#include <openssl/rand.h>
#include <strings.h>

#include <cstring>
#include <fstream>
#include <sstream>

namespace platform::notes {

bool NoCase::operator()(const std::string& a, const std::string& b) const {
    return strcasecmp(a.c_str(), b.c_str()) < 0;
}

static std::string trim(std::string s) {
    while (!s.empty() && (s.back() == '\r' || s.back() == '\n' || s.back() == ' ' || s.back() == '\t')) s.pop_back();
    size_t start = 0;
    while (start < s.size() && (s[start] == ' ' || s[start] == '\t')) ++start;
    return s.substr(start);
}

IniMap readIni(const std::filesystem::path& file, bool* ok) {
    IniMap out;
    std::ifstream in(file);
    if (ok) *ok = static_cast<bool>(in);
    std::string line;
    while (std::getline(in, line)) {
        line = trim(line);
        if (line.empty() || line[0] == '[' || line[0] == ';') continue;
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        out[trim(line.substr(0, eq))] = trim(line.substr(eq + 1));
    }
    return out;
}

bool writeIniValue(const std::filesystem::path& file, const std::string& key, const std::string& value) {
    std::vector<std::string> lines;
    {
        std::ifstream in(file);
        std::string line;
        while (std::getline(in, line)) lines.push_back(line);
    }
    bool replaced = false;
    for (auto& line : lines) {
        const size_t eq = line.find('=');
        if (eq != std::string::npos && strcasecmp(trim(line.substr(0, eq)).c_str(), key.c_str()) == 0) {
            line = key + "=" + value;
            replaced = true;
        }
    }
    if (!replaced) lines.push_back(key + "=" + value);
    std::ofstream out(file, std::ios::trunc);
    for (const auto& line : lines) out << line << "\n";
    return static_cast<bool>(out.flush());
}

static std::string hex(const unsigned char* bytes, size_t n) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < n; ++i) {
        out.push_back(digits[bytes[i] >> 4]);
        out.push_back(digits[bytes[i] & 15]);
    }
    return out;
}

static std::string passwordHash(const std::string& password, const std::string& salt) {
    unsigned char out[32];
    if (PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()),
                          reinterpret_cast<const unsigned char*>(salt.data()), static_cast<int>(salt.size()), 20000,
                          EVP_sha256(), sizeof out, out) != 1)
        return {};
    return hex(out, sizeof out);
}

bool readIdFile(const std::filesystem::path& file, IdFile& out) {
    bool ok = false;
    const IniMap values = readIni(file, &ok);
    if (!ok) return false;
    auto get = [&](const char* key) {
        auto it = values.find(key);
        return it == values.end() ? std::string() : it->second;
    };
    if (get("Format") != "tessaline-id-1") return false;
    out = IdFile{get("FullName"), get("Salt"), get("Hash")};
    return !out.fullName.empty() && !out.salt.empty() && !out.hash.empty();
}

bool writeIdFile(const std::filesystem::path& file, const std::string& fullName, const std::string& password) {
    unsigned char salt[16];
    if (RAND_bytes(salt, sizeof salt) != 1) return false;
    IdFile id{fullName, hex(salt, sizeof salt), {}};
    id.hash = passwordHash(password, id.salt);
    if (id.hash.empty()) return false;
    std::ofstream out(file, std::ios::trunc);
    out << "Format=tessaline-id-1\nFullName=" << id.fullName << "\nSalt=" << id.salt << "\nHash=" << id.hash << "\n";
    return static_cast<bool>(out.flush());
}

bool passwordMatches(const IdFile& id, const std::string& password) {
    const std::string h = passwordHash(password, id.salt);
    return !h.empty() && h.size() == id.hash.size() && CRYPTO_memcmp(h.data(), id.hash.data(), h.size()) == 0;
}

std::filesystem::path resolveDbPath(const std::string& notesPath, const std::filesystem::path& dataDir) {
    std::string file = notesPath;
    if (const size_t bang = file.find("!!"); bang != std::string::npos) file = file.substr(bang + 2);
    for (auto& c : file)
        if (c == '\\') c = '/';
    std::filesystem::path p(file);
    return p.is_absolute() ? p : dataDir / p;
}

ClientState& ClientState::get() {
    static ClientState state;
    return state;
}

std::filesystem::path ClientState::dataDir() const {
    auto it = env.find("Directory");
    return it == env.end() ? std::filesystem::path() : std::filesystem::path(it->second);
}

bool ClientState::release(DHANDLE h) {
    if (OpenNote* n = notes_.find(h)) {
        for (DHANDLE pool : n->pools) memory_.erase(pool);
        return notes_.erase(h);
    }
    return memory_.erase(h) || dbs_.erase(h) || tables_.erase(h) || collections_.erase(h);
}

void copyOut(const std::string& text, char* buffer, size_t size) {
    if (!buffer || size == 0) return;
    const size_t n = std::min(text.size(), size - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
}

}  // namespace platform::notes
