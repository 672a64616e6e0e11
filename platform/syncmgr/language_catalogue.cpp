#include "platform/syncmgr/language_catalogue.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <system_error>

#include "platform/core/runtime.h"
#include "platform/syncmgr/syncmgr.h"
#include "platform/syncmgr/text_encoding.h"

namespace platform::syncmgr {

namespace {

constexpr std::streamsize kMaxCatalogueBytes = 4 << 20;

bool unescape(const std::string& raw, std::string* out, std::string* reason) {
    out->clear();
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '\\') {
            *out += raw[i];
            continue;
        }
        if (++i == raw.size()) {
            *reason = "backslash at the end of the line";
            return false;
        }
        switch (raw[i]) {
        case 'n': *out += '\n'; break;
        case 'r': *out += '\r'; break;
        case 't': *out += '\t'; break;
        case '\\': *out += '\\'; break;
        default: *reason = std::string("unknown escape \\") + raw[i]; return false;
        }
    }
    return true;
}

}  // namespace

bool parseCatalogue(const std::string& content, Catalogue* out, std::string* error) {
    Catalogue result;
    std::istringstream in(content);
    std::string line;
    int lineNo = 0;
    auto failAt = [&](const std::string& reason) {
        if (error) *error = "line " + std::to_string(lineNo) + ": " + reason;
        return false;
    };
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        size_t tab = line.find('\t');
        if (tab == std::string::npos) return failAt("no tab between id and text");
        std::string idText = line.substr(0, tab);
        if (idText.empty() || idText.size() > 5 || idText.find_first_not_of("0123456789") != std::string::npos)
            return failAt("bad id '" + idText + "'");
        unsigned long id = std::stoul(idText);
        if (id > 65535) return failAt("id above 65535");
        std::string text, reason, ansi;
        if (!unescape(line.substr(tab + 1), &text, &reason)) return failAt(reason);
        if (!convertText("UTF-8", "WINDOWS-1252", text, &ansi))
            return failAt("text is not UTF-8 or has no Windows-1252 form");
        if (!result.strings.emplace(static_cast<unsigned>(id), std::move(ansi)).second)
            return failAt("id " + idText + " appears twice");
    }
    if (out) *out = std::move(result);
    return true;
}

namespace {

std::mutex gMutex;
std::set<std::unique_ptr<Catalogue>, std::less<>>& loaded() {
    static std::set<std::unique_ptr<Catalogue>, std::less<>> set;
    return set;
}

Catalogue* findLoaded(HINSTANCE handle) {
    for (const auto& c : loaded())
        if (reinterpret_cast<HINSTANCE>(c.get()) == handle) return c.get();
    return nullptr;
}

std::string lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// "dir\LKSYNCLANG.DLL" -> <module dir>/lang/LKSYNCLANG.lang, the name matched without
// regard to case; empty when there is none.
std::filesystem::path catalogueFile(const std::string& fileName) {
    std::string base = fileName.substr(fileName.find_last_of("/\\") + 1);
    if (base.size() > 4 && lower(base.substr(base.size() - 4)) == ".dll") base.resize(base.size() - 4);
    if (base.empty()) return {};
    std::filesystem::path dir = platform::moduleDir() / "lang";
    std::filesystem::path exact = dir / (base + ".lang");
    std::error_code ec;
    if (std::filesystem::is_regular_file(exact, ec)) return exact;
    std::string wanted = lower(base + ".lang");
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec))
        if (lower(entry.path().filename().string()) == wanted) return entry.path();
    return {};
}

}  // namespace

}  // namespace platform::syncmgr

HINSTANCE LanguageLoadLibrary(const char* fileName, HINSTANCE /*owner*/, uint32_t* /*ownerSlot*/) {
    using namespace platform::syncmgr;
    if (!fileName || !*fileName) return nullptr;
    std::filesystem::path file = catalogueFile(fileName);
    if (file.empty()) return nullptr;
    std::ifstream in(file, std::ios::binary);
    // Room for the file as it is now, and one byte more to see one that outgrew the limit:
    // every module loads its catalogue at each synchronisation, and a buffer of the whole
    // limit each time cost more than reading the file.
    std::error_code ec;
    const auto size = std::filesystem::file_size(file, ec);
    const std::streamsize want =
        ec ? kMaxCatalogueBytes + 1 : std::min<std::streamsize>(std::streamsize(size), kMaxCatalogueBytes) + 1;
    std::string content(static_cast<size_t>(want), '\0');
    in.read(content.data(), want);
    content.resize(static_cast<size_t>(in.gcount()));
    if (static_cast<std::streamsize>(content.size()) > kMaxCatalogueBytes) {
        std::fprintf(stderr, "syncmgr: %s: catalogue larger than %ld bytes\n", file.c_str(), long{kMaxCatalogueBytes});
        return nullptr;
    }
    auto catalogue = std::make_unique<Catalogue>();
    std::string error;
    if (!parseCatalogue(content, catalogue.get(), &error)) {
        std::fprintf(stderr, "syncmgr: %s: %s\n", file.c_str(), error.c_str());
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(gMutex);
    HINSTANCE handle = reinterpret_cast<HINSTANCE>(catalogue.get());
    loaded().insert(std::move(catalogue));
    return handle;
}

int LanguageFreeLibrary(HINSTANCE library, HINSTANCE /*owner*/) {
    using namespace platform::syncmgr;
    if (!library) return SYNCERR_BAD_ARGUMENT;
    std::lock_guard<std::mutex> lock(gMutex);
    for (auto it = loaded().begin(); it != loaded().end(); ++it) {
        if (reinterpret_cast<HINSTANCE>(it->get()) == library) {
            loaded().erase(it);
            return SYNC_OK;
        }
    }
    return SYNCERR_NOT_FOUND;
}

int LanguageLoadString(HINSTANCE library, unsigned id, char* buffer, int size) {
    using namespace platform::syncmgr;
    if (!buffer || size <= 0) return 0;
    buffer[0] = '\0';
    std::lock_guard<std::mutex> lock(gMutex);
    Catalogue* c = findLoaded(library);
    if (!c) return 0;
    auto it = c->strings.find(id);
    if (it == c->strings.end()) return 0;
    size_t n = std::min(it->second.size(), static_cast<size_t>(size) - 1);
    std::memcpy(buffer, it->second.data(), n);
    buffer[n] = '\0';
    return static_cast<int>(n);
}
