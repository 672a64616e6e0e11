// A stand-in for the document viewer's library, built once per version (VIEWER_VERSION).
// It logs every call, one line each, to viewer.log in the test's home, and writes as the
// handheld file a description of what it was asked: the request's fields when translated
// directly, the source path when written through its database. A test changes its
// behaviour by leaving files in its home: "unprepared" (the database needs preparing),
// "no-database" (no database object), "database-throws" (opening the database throws),
// "translate-throws" (the direct translation throws).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "platform/export.h"
#include "translate/docviewer/quillmere_viewer.h"

using namespace tess::translate::docviewer;

namespace {

std::filesystem::path Home() {
    const char* home = std::getenv("TESSALINE_HOME");
    return home ? home : ".";
}

bool Asked(const char* control) { return std::filesystem::exists(Home() / control); }

void Log(const std::string& line) { std::ofstream(Home() / "viewer.log", std::ios::app) << line << '\n'; }

std::string Code(uint32_t code) {
    if (!code) return "----";
    return {char(code >> 24), char(code >> 16), char(code >> 8), char(code)};
}

// A path block as the translator makes it; empty when its header does not match the text.
std::string FromPathBlock(const void* block) {
    const auto* bytes = static_cast<const unsigned char*>(block);
    uint32_t magic = 0, length = 0;
    std::memcpy(&magic, bytes, 4);
    std::memcpy(&length, bytes + 4, 4);
    const char* text = reinterpret_cast<const char*>(bytes + 8);
    if (magic != kPathMagic || length == 0 || std::strlen(text) + 1 != length) return {};
    return text;
}

struct Object : ViewerObject {
    const char* name;
    std::string source;  // the item's file
};

int Unexpected(ViewerObject* self) {
    Log(std::string("unexpected slot on ") + static_cast<Object*>(self)->name);
    return 1;
}
int Release(ViewerObject* self) {
    Log(std::string("release ") + static_cast<Object*>(self)->name);
    delete static_cast<Object*>(self);
    return 0;
}
int NeedsPreparing(ViewerObject*, char*, int) {
    const bool needed = Asked("unprepared");
    Log(needed ? "needs preparing" : "prepared");
    return needed ? 1 : 0;
}
int PrepareStart(ViewerObject*, char*, int) {
    Log("prepare start");
    return 0;
}
int PrepareFinish(ViewerObject*, char*) {
    Log("prepare finish");
    return 0;
}
int Open(ViewerObject*, int mode) {
    Log("open " + std::to_string(mode));
    if (Asked("database-throws")) throw std::runtime_error("database damaged");
    return 0;
}
int Close(ViewerObject*) {
    Log("close");
    return 0;
}

Object* Make(const char* name, void* const* slots) {
    auto* o = new Object;
    o->slots = slots;
    o->name = name;
    return o;
}

int ReadRecord(ViewerObject* self, unsigned char* buffer, int size) {
    // The viewer's working copy of the file; the translator deletes it afterwards.
    const std::string copy = static_cast<Object*>(self)->source + ".lcitem";
    Log("read record");
    if (size < int(24 + copy.size() + 1)) return 1;
    const uint32_t magic = kFileMagic, length = uint32_t(copy.size() + 1 + 16);
    std::memcpy(buffer, &magic, 4);
    std::memcpy(buffer + 4, &length, 4);
    std::memcpy(buffer + 24, copy.c_str(), copy.size() + 1);
    return 0;
}
int WriteFile(ViewerObject* self, void* block, int, int) {
    const std::string destination = FromPathBlock(block);
    Log("write " + destination);
    if (destination.empty()) return 1;
    std::ofstream(destination) << "database source=" << static_cast<Object*>(self)->source << '\n';
    return 0;
}

struct Tables {
    void* database[kSlotCount];
    void* list[kSlotCount];
    void* item[kSlotCount];
};

int AddFile(ViewerObject*, void* block, ViewerObject** item);
int ItemList(ViewerObject*, ViewerObject** list);

const Tables& SlotTables() {
    static const Tables tables = [] {
        Tables t;
        for (void** table : {t.database, t.list, t.item})
            for (int i = 0; i < kSlotCount; ++i) table[i] = reinterpret_cast<void*>(&Unexpected);
        for (void** table : {t.database, t.list, t.item}) table[kRelease] = reinterpret_cast<void*>(&Release);
        t.database[kNeedsPreparing] = reinterpret_cast<void*>(&NeedsPreparing);
        t.database[kPrepareStart] = reinterpret_cast<void*>(&PrepareStart);
        t.database[kPrepareFinish] = reinterpret_cast<void*>(&PrepareFinish);
        t.database[kOpen] = reinterpret_cast<void*>(&Open);
        t.database[kClose] = reinterpret_cast<void*>(&Close);
        t.database[kItemList] = reinterpret_cast<void*>(&ItemList);
        t.list[kAddFile] = reinterpret_cast<void*>(&AddFile);
        t.item[kReadRecord] = reinterpret_cast<void*>(&ReadRecord);
        t.item[kWriteFile] = reinterpret_cast<void*>(&WriteFile);
        return t;
    }();
    return tables;
}

int ItemList(ViewerObject*, ViewerObject** list) {
    Log("item list");
    *list = Make("list", SlotTables().list);
    return 0;
}
int AddFile(ViewerObject*, void* block, ViewerObject** item) {
    const std::string source = FromPathBlock(block);
    Log("add " + source);
    if (source.empty()) return 1;
    auto* o = Make("item", SlotTables().item);
    o->source = source;
    std::ofstream(source + ".lcitem") << "working copy\n";
    *item = o;
    return 0;
}

}  // namespace

// Protected like the version text of the product libraries (cmake/module_version.c.in): the test
// loads several versions of this double, each keeping its own copy.
extern "C" __attribute__((visibility("protected"), used)) const char TessModuleVersion[] = VIEWER_VERSION;

TESS_API int LeafCarryIsViewable(const char* source, int* viewable, uint32_t* kind, char*, int, char*, int) {
    Log(std::string("viewable ") + source);
    static const struct {
        const char* extension;
        const char* kind;
    } kinds[] = {{".doc", "word"}, {".xls", "sprd"}, {".ppt", "pres"}, {".bmp", "grph"}, {".txt", "text"}};
    *viewable = 0;
    *kind = 0;
    if (!std::filesystem::exists(source)) return 0;
    const std::string extension = std::filesystem::path(source).extension().string();
    for (const auto& k : kinds)
        if (extension == k.extension) {
            *viewable = 1;
            *kind = FourCc(reinterpret_cast<const char(&)[5]>(*k.kind));
        }
    return 0;
}

TESS_API int LeafCarryTranslateEx(TranslateRequest* r) {
    Log(std::string("translate ") + r->source);
    if (Asked("translate-throws")) throw std::runtime_error("cannot read the document");
    char line[512];
    std::snprintf(line, sizeof line, "size=%u creator=%s version=%08x title=%.32s app=%.16s flags=%u", r->size,
                  Code(r->creator).c_str(), r->version, r->title, r->application, r->flags);
    std::ofstream out(r->destination);
    out << line << '\n';
    return out ? 0 : 1;
}

TESS_API int GetLeafCarryDB2(void** database) {
    Log("database");
    *database = Asked("no-database") ? nullptr : Make("database", SlotTables().database);
    return 0;
}
