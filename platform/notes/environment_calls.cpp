// Start-up, notes.ini, the current ID, names, time and character-set calls.
#include <strings.h>

#include <cstring>
#include <ctime>

#include "platform/notes/client_state.h"

using namespace platform::notes;

STATUS NotesInitIni(const char* iniPath) {
    if (!iniPath || !*iniPath) return ERR_INVALID_ARG;
    return guarded([&](ClientState& s) -> STATUS {
        bool ok = false;
        IniMap env = readIni(iniPath, &ok);
        if (!ok) return ERR_NO_SUCH_FILE;
        s.env = std::move(env);
        s.iniPath = iniPath;
        s.initialised = true;
        s.userName.clear();
        return NOERROR;
    });
}

void NotesTerm(void) {
    guarded([](ClientState& s) -> STATUS {
        s.initialised = false;
        s.env.clear();
        s.userName.clear();
        return NOERROR;
    });
}

NBOOL OSGetEnvironmentString(const char* name, char* value, WORD maxLen) {
    if (value && maxLen) value[0] = '\0';
    if (!name) return 0;
    return guarded([&](ClientState& s) -> STATUS {
        auto it = s.env.find(name);
        if (!s.initialised || it == s.env.end()) return 0;
        copyOut(it->second, value, maxLen);
        return 1;
    });
}

STATUS SECKFMGetUserName(char* userName) {
    if (!userName) return ERR_INVALID_ARG;
    userName[0] = '\0';
    return guarded([&](ClientState& s) -> STATUS {
        if (!s.initialised) return ERR_NOTES_NOT_INIT;
        if (s.userName.empty()) {
            auto it = s.env.find("KeyFilename");
            IdFile id;
            if (it == s.env.end() || !readIdFile(resolveDbPath(it->second, s.dataDir()), id)) return ERR_NO_ID;
            s.userName = id.fullName;
        }
        copyOut(s.userName, userName, 256);
        return NOERROR;
    });
}

STATUS SECKFMSwitchToIDFile(const char* idFile, const char* password, char* userName, WORD maxLen, DWORD, void*) {
    if (userName && maxLen) userName[0] = '\0';
    if (!idFile || !*idFile) return ERR_INVALID_ARG;
    return guarded([&](ClientState& s) -> STATUS {
        const auto path = resolveDbPath(idFile, s.dataDir());
        if (!std::filesystem::exists(path)) return ERR_NO_SUCH_FILE;
        IdFile id;
        if (!readIdFile(path, id)) return ERR_BAD_ID;
        if (!passwordMatches(id, password ? password : "")) return ERR_BAD_PASSWORD;
        s.userName = id.fullName;
        if (!s.iniPath.empty()) {
            writeIniValue(s.iniPath, "KeyFilename", path.string());
            s.env["KeyFilename"] = path.string();
        }
        copyOut(id.fullName, userName, maxLen);
        return NOERROR;
    });
}

STATUS DNParse(DWORD, const char*, const char* dn, DN_COMPONENTS* parts, WORD partsSize) {
    if (!dn || !parts || partsSize < sizeof(DN_COMPONENTS)) return ERR_INVALID_ARG;
    *parts = DN_COMPONENTS{};
    const char* p = dn;
    bool any = false;
    while (*p) {
        const char* end = std::strchr(p, '/');
        if (!end) end = p + std::strlen(p);
        const char* eq = static_cast<const char*>(std::memchr(p, '=', static_cast<size_t>(end - p)));
        if (eq) {
            const std::string key(p, eq);
            const char* value = eq + 1;
            const WORD len = static_cast<WORD>(end - value);
            if (strcasecmp(key.c_str(), "CN") == 0)
                parts->CN = value, parts->CNLength = len, any = true;
            else if (strcasecmp(key.c_str(), "OU") == 0 && !parts->OU)
                parts->OU = value, parts->OULength = len;
            else if (strcasecmp(key.c_str(), "O") == 0)
                parts->O = value, parts->OLength = len;
            else if (strcasecmp(key.c_str(), "C") == 0)
                parts->C = value, parts->CLength = len;
        }
        p = *end ? end + 1 : end;
    }
    if (!any) {  // a flat name is its own common name
        parts->CN = dn;
        parts->CNLength = static_cast<WORD>(std::strlen(dn));
    }
    return NOERROR;
}

STATUS OSPathNetConstruct(const char* port, const char* server, const char* file, char* path) {
    if (!file || !path) return ERR_INVALID_ARG;
    std::string out;
    if (port && *port) out = std::string(port) + "!!!";
    if (server && *server) out += std::string(server) + "!!";
    out += file;
    if (out.size() >= 256) return ERR_INVALID_ARG;
    copyOut(out, path, 256);
    return NOERROR;
}

WORD OSLoadString(void*, STATUS code, char* buffer, WORD bufferLength) {
    const char* text = "Notes error";
    switch (code) {
    case ERR_NOTES_NOT_INIT: text = "Notes is not initialized"; break;
    case ERR_NO_SUCH_FILE: text = "File does not exist"; break;
    case ERR_BAD_HANDLE: text = "Invalid handle"; break;
    case ERR_NO_MEMORY: text = "Insufficient memory"; break;
    case ERR_DB_IO: text = "Database file could not be read or written"; break;
    case ERR_INVALID_ARG: text = "Invalid argument"; break;
    case ERR_NOT_FOUND: text = "Entry not found"; break;
    case ERR_NOTE_DELETED: text = "Note has been deleted"; break;
    case ERR_NO_ACCESS: text = "You are not authorized to perform that operation"; break;
    case ERR_BAD_PASSWORD: text = "Wrong password"; break;
    case ERR_NO_ID: text = "No ID file is in use"; break;
    case ERR_BAD_ID: text = "The ID file is damaged"; break;
    case ERR_SMTP: text = "The mail could not be handed to the SMTP relay"; break;
    default: break;
    }
    copyOut(text, buffer, bufferLength);
    return static_cast<WORD>(buffer && bufferLength ? std::strlen(buffer) : 0);
}

// UTF-8 in, UTF-16LE out; a byte that starts no valid sequence stands for itself.
WORD OSTranslate(WORD mode, const char* in, WORD inLength, char* out, WORD outLength) {
    if (!in || !out) return 0;
    size_t o = 0;
    if (mode != OS_TRANSLATE_LMBCS_TO_UNICODE) {
        const size_t n = std::min<size_t>(inLength, outLength);
        std::memcpy(out, in, n);
        return static_cast<WORD>(n);
    }
    const auto* s = reinterpret_cast<const unsigned char*>(in);
    auto put = [&](uint32_t u) {
        if (o + 2 > outLength) return false;
        out[o++] = static_cast<char>(u & 0xFF);
        out[o++] = static_cast<char>((u >> 8) & 0xFF);
        return true;
    };
    for (size_t i = 0; i < inLength;) {
        uint32_t cp = s[i];
        size_t n = 1;
        if (cp >= 0xC2 && cp <= 0xDF && i + 1 < inLength && (s[i + 1] & 0xC0) == 0x80) {
            cp = ((cp & 0x1F) << 6) | (s[i + 1] & 0x3F), n = 2;
        } else if (cp >= 0xE0 && cp <= 0xEF && i + 2 < inLength && (s[i + 1] & 0xC0) == 0x80 &&
                   (s[i + 2] & 0xC0) == 0x80) {
            cp = ((cp & 0x0F) << 12) | ((s[i + 1] & 0x3F) << 6) | (s[i + 2] & 0x3F), n = 3;
        } else if (cp >= 0xF0 && cp <= 0xF4 && i + 3 < inLength && (s[i + 1] & 0xC0) == 0x80 &&
                   (s[i + 2] & 0xC0) == 0x80 && (s[i + 3] & 0xC0) == 0x80) {
            cp = ((cp & 0x07) << 18) | ((s[i + 1] & 0x3F) << 12) | ((s[i + 2] & 0x3F) << 6) | (s[i + 3] & 0x3F), n = 4;
        }
        if (cp >= 0x10000) {
            if (o + 4 > outLength) break;
            cp -= 0x10000;
            put(0xD800 | (cp >> 10));
            put(0xDC00 | (cp & 0x3FF));
        } else if (!put(cp)) {
            break;
        }
        i += n;
    }
    return static_cast<WORD>(o);
}

void OSCurrentTIMEDATE(TIMEDATE* now) {
    if (now) *now = nowTimeDate();
}

STATUS TimeGMToLocal(TIME* t) {
    if (!t) return ERR_INVALID_ARG;
    const int64_t ticks = toTicks(t->GM);
    if (ticks < 0) return ERR_INVALID_ARG;
    const time_t secs = static_cast<time_t>(ticks / 100);
    std::tm tm{};
    if (!localtime_r(&secs, &tm)) return ERR_INVALID_ARG;
    t->year = tm.tm_year + 1900;
    t->month = tm.tm_mon + 1;
    t->day = tm.tm_mday;
    t->weekday = tm.tm_wday + 1;
    t->hour = tm.tm_hour;
    t->minute = tm.tm_min;
    t->second = tm.tm_sec;
    t->hundredth = static_cast<int>(ticks % 100);
    t->dst = tm.tm_isdst > 0 ? 1 : 0;
    t->zone = static_cast<int>(tm.tm_gmtoff / 60);
    return NOERROR;
}

STATUS TimeDateAdjust(TIMEDATE* td, int seconds, int minutes, int hours, int days, int months, int years) {
    if (!td) return ERR_INVALID_ARG;
    const int64_t ticks = toTicks(*td);
    const time_t secs = static_cast<time_t>(ticks / 100);
    std::tm tm{};
    if (!gmtime_r(&secs, &tm)) return ERR_INVALID_ARG;
    tm.tm_sec += seconds;
    tm.tm_min += minutes;
    tm.tm_hour += hours;
    tm.tm_mday += days;
    tm.tm_mon += months;
    tm.tm_year += years;
    const time_t adjusted = timegm(&tm);
    *td = fromTicks(static_cast<int64_t>(adjusted) * 100 + ticks % 100);
    return NOERROR;
}

// --- Address book lookups. A lookup buffer: DWORD total size, WORD name count, then per
// name: WORD match count, DWORD record size, then per match: WORD item count, DWORD match
// size, then per item: WORD length and the text.

namespace {

void putWord(std::string& out, WORD w) { out.append({static_cast<char>(w & 0xFF), static_cast<char>(w >> 8)}); }
void putDword(std::string& out, DWORD d) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>((d >> shift) & 0xFF));
}
void setDword(std::string& out, size_t at, DWORD d) {
    for (int i = 0; i < 4; ++i) out[at + static_cast<size_t>(i)] = static_cast<char>((d >> (8 * i)) & 0xFF);
}
WORD getWord(const void* p) {
    const auto* b = static_cast<const unsigned char*>(p);
    return static_cast<WORD>(b[0] | (b[1] << 8));
}
DWORD getDword(const void* p) {
    const auto* b = static_cast<const unsigned char*>(p);
    return b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<DWORD>(b[3]) << 24);
}

std::vector<std::string> splitNul(const char* texts, WORD count) {
    std::vector<std::string> out;
    for (WORD i = 0; texts && i < count; ++i) {
        out.emplace_back(texts);
        texts += out.back().size() + 1;
    }
    return out;
}

std::string personItem(const Person& p, const std::string& item) {
    if (strcasecmp(item.c_str(), "InternetAddress") == 0) return p.internetAddress;
    if (strcasecmp(item.c_str(), "FullName") == 0) return p.fullName;
    if (strcasecmp(item.c_str(), "ShortName") == 0) return p.shortName;
    if (strcasecmp(item.c_str(), "MailFile") == 0) return p.mailFile;
    return {};
}

}  // namespace

STATUS NAMELookup(const char*, DWORD, WORD nameSpaces, const char* nameSpaceNames, WORD names, const char* nameList,
                  WORD items, const char* itemNames, DHANDLE* buffer) {
    if (!buffer) return ERR_INVALID_ARG;
    *buffer = 0;
    return guarded([&](ClientState& s) -> STATUS {
        if (!s.initialised) return ERR_NOTES_NOT_INIT;
        const auto spaces = splitNul(nameSpaceNames, nameSpaces);
        const auto wanted = splitNul(nameList, names);
        const auto fields = splitNul(itemNames, items);
        bool users = false;
        for (const auto& ns : spaces) users |= strcasecmp(ns.c_str(), "$Users") == 0;
        const auto book = s.dataDir() / "names.nsf";
        std::unique_ptr<NoteDb> db;
        if (users && std::filesystem::exists(book)) db = std::make_unique<NoteDb>(book, false);
        std::string out;
        putDword(out, 0);
        putWord(out, static_cast<WORD>(wanted.size()));
        for (const auto& name : wanted) {
            const auto people = db ? db->findPeople(name) : std::vector<Person>{};
            const size_t record = out.size();
            putWord(out, static_cast<WORD>(people.size()));
            putDword(out, 0);
            for (const auto& p : people) {
                const size_t match = out.size();
                putWord(out, static_cast<WORD>(fields.size()));
                putDword(out, 0);
                for (const auto& f : fields) {
                    const std::string v = personItem(p, f).substr(0, 0xFFFF);
                    putWord(out, static_cast<WORD>(v.size()));
                    out += v;
                }
                setDword(out, match + 2, static_cast<DWORD>(out.size() - match));
            }
            setDword(out, record + 2, static_cast<DWORD>(out.size() - record));
        }
        setDword(out, 0, static_cast<DWORD>(out.size()));
        *buffer = s.newMemory(std::move(out));
        return NOERROR;
    });
}

void* NAMELocateNextName(void* lookup, void* previousName, WORD* matches) {
    if (matches) *matches = 0;
    if (!lookup) return nullptr;
    auto* base = static_cast<char*>(lookup);
    const DWORD total = getDword(base);
    char* next =
        previousName ? static_cast<char*>(previousName) + getDword(static_cast<char*>(previousName) + 2) : base + 6;
    if (next + 6 > base + total) return nullptr;
    if (matches) *matches = getWord(next);
    return next;
}

void* NAMELocateNextMatch(void*, void* name, void* previousMatch) {
    if (!name) return nullptr;
    auto* record = static_cast<char*>(name);
    char* end = record + getDword(record + 2);
    char* next = previousMatch ? static_cast<char*>(previousMatch) + getDword(static_cast<char*>(previousMatch) + 2)
                               : record + 6;
    return next + 6 <= end ? next : nullptr;
}

STATUS NAMEGetTextItem(void* match, WORD item, WORD, char* buffer, WORD maxLength) {
    if (buffer && maxLength) buffer[0] = '\0';
    if (!match) return ERR_INVALID_ARG;
    const auto* m = static_cast<const char*>(match);
    if (item >= getWord(m)) return ERR_NOT_FOUND;
    const char* p = m + 6;
    for (WORD i = 0; i < item; ++i) p += 2 + getWord(p);
    const WORD len = getWord(p);
    if (len == 0) return ERR_NOT_FOUND;
    copyOut(std::string(p + 2, len), buffer, maxLength);
    return NOERROR;
}
