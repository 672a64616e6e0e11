#pragma once
// What the document viewer's library looks like to the translator: its three exports, the
// request record, the path block and the database objects whose methods are called by slot
// number (each object starts with a pointer to its table of methods; a method takes the
// object first and returns 0 on success).
#include <cstddef>
#include <cstdint>

namespace tess::translate::docviewer {

constexpr const char* kViewerLibraryName = "LeafCarryDatabase.DLL";
// The exported text the translator reads as the library's file version ("4,0,5,301").
constexpr const char* kVersionExport = "TessModuleVersion";

constexpr uint32_t FourCc(const char (&code)[5]) {
    return uint32_t(uint8_t(code[0])) << 24 | uint32_t(uint8_t(code[1])) << 16 | uint32_t(uint8_t(code[2])) << 8 |
           uint32_t(uint8_t(code[3]));
}
constexpr uint32_t kPathMagic = FourCc("Path");
constexpr uint32_t kFileMagic = FourCc("DFil");
constexpr uint32_t kDatabaseRouteFlag = 4;

#pragma pack(push, 1)
struct TranslateRequest {
    uint16_t size;  // 592
    char source[260];
    char destination[260];
    uint16_t zero;
    uint32_t creator;
    uint32_t version;
    char title[32];
    char application[16];
    uint32_t reserved1;
    uint32_t reserved2;
    uint32_t flags;
};
#pragma pack(pop)
static_assert(sizeof(TranslateRequest) == 592);
static_assert(offsetof(TranslateRequest, creator) == 524 && offsetof(TranslateRequest, title) == 532 &&
              offsetof(TranslateRequest, flags) == 588);

struct ViewerObject {
    void* const* slots;
};

// Slot numbers of the database objects.
enum Slot : int {
    kRelease = 2,
    kNeedsPreparing = 3,
    kPrepareFinish = 4,
    kOpen = 42,
    kClose = 43,
    kItemList = 52,
    kPrepareStart = 58,
    kAddFile = 8,
    kReadRecord = 59,
    kWriteFile = 65,
};
constexpr int kSlotCount = 66;

template <typename... Args>
int CallSlot(ViewerObject* object, int slot, Args... args) {
    using Method = int (*)(ViewerObject*, Args...);
    return reinterpret_cast<Method>(object->slots[slot])(object, args...);
}

using IsViewableFn = int (*)(const char* source, int* viewable, uint32_t* kind, char* buffer1, int size1, char* buffer2,
                             int size2);
using TranslateExFn = int (*)(TranslateRequest* request);
using GetDatabaseFn = int (*)(void** database);

}  // namespace tess::translate::docviewer
