#include "tools/tallyhop/handheld_listing.h"

#include <cstdio>

#include "platform/syncmgr/handheld_store.h"

namespace tallyhop {

std::string fourcc(uint32_t code) {
    char text[5] = {static_cast<char>(code >> 24), static_cast<char>(code >> 16), static_cast<char>(code >> 8),
                    static_cast<char>(code), '\0'};
    for (int i = 0; i < 4; ++i) {
        if (text[i] < 0x20 || text[i] > 0x7E) {
            char hex[16];
            std::snprintf(hex, sizeof hex, "0x%08X", code);
            return hex;
        }
    }
    return std::string("'") + text + "'";
}

void hexDump(std::ostream& out, const uint8_t* data, size_t size, const std::string& indent) {
    char line[100];
    for (size_t offset = 0; offset < size; offset += 16) {
        int n = std::snprintf(line, sizeof line, "%04zx ", offset);
        std::string ascii;
        for (size_t i = 0; i < 16; ++i) {
            if (offset + i < size) {
                uint8_t b = data[offset + i];
                n += std::snprintf(line + n, sizeof line - static_cast<size_t>(n), " %02x", b);
                ascii += (b >= 0x20 && b < 0x7F) ? static_cast<char>(b) : '.';
            } else {
                n += std::snprintf(line + n, sizeof line - static_cast<size_t>(n), "   ");
            }
        }
        out << indent << line << "  |" << ascii << "|\n";
    }
}

void listHandheld(platform::syncmgr::HandheldStore& store, std::ostream& out) {
    platform::syncmgr::CardEntry card = store.card();
    std::vector<platform::syncmgr::DatabaseEntry> dbs = store.databases();
    char line[300];
    out << "Handheld " << store.name() << "\n";
    std::snprintf(line, sizeof line, "Card 0 \"%s\" by \"%s\": ROM %u bytes, RAM %u bytes, %u free\n",
                  card.name.c_str(), card.manufacturer.c_str(), card.romSize, card.ramSize, card.freeRam());
    out << line;
    out << dbs.size() << (dbs.size() == 1 ? " database\n" : " databases\n");
    for (const platform::syncmgr::DatabaseEntry& db : dbs) {
        std::snprintf(line, sizeof line,
                      "\nDatabase \"%s\" card %d creator %s type %s version %u attributes 0x%04x: %u record%s\n",
                      db.name.c_str(), db.card, fourcc(db.creator).c_str(), fourcc(db.type).c_str(), db.version,
                      db.attributes, db.recordCount, db.recordCount == 1 ? "" : "s");
        out << line;
        for (const platform::syncmgr::RecordEntry& r : store.records(db.id)) {
            std::snprintf(line, sizeof line, "  #%u id 0x%06x attributes 0x%02x category %d size %zu\n", r.index, r.id,
                          r.attributes, r.category, r.data.size());
            out << line;
            hexDump(out, r.data.data(), r.data.size(), "    ");
        }
    }
    std::vector<platform::syncmgr::PreferenceEntry> prefs = store.preferences();
    out << "\n" << prefs.size() << (prefs.size() == 1 ? " application preference\n" : " application preferences\n");
    for (const platform::syncmgr::PreferenceEntry& p : prefs) {
        std::snprintf(line, sizeof line, "  creator %s id %u %s version %u size %zu\n", fourcc(p.creator).c_str(), p.id,
                      p.backup ? "backed-up" : "not backed-up", p.version, p.data.size());
        out << line;
        hexDump(out, p.data.data(), p.data.size(), "    ");
    }
    std::vector<platform::syncmgr::RemoteAnswer> answers = store.remoteAnswers();
    out << "\n" << answers.size() << (answers.size() == 1 ? " application answer\n" : " application answers\n");
    for (const platform::syncmgr::RemoteAnswer& a : answers) {
        std::snprintf(line, sizeof line, "  creator %s action %u size %zu\n", fourcc(a.creator).c_str(), a.action,
                      a.data.size());
        out << line;
        hexDump(out, a.data.data(), a.data.size(), "    ");
    }
}

}  // namespace tallyhop
