// The document translator: finds the viewer's library, checks its version and hands it a
// translate request, either directly or through the viewer's document database.
#include "translate/docviewer/quillmere.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "platform/core/module.h"
#include "platform/core/registry.h"
#include "platform/ui/ui_service.h"
#include "platform/ui/window_messages.h"
#include "translate/docviewer/quillmere_viewer.h"

using namespace tess::translate::docviewer;

namespace {

constexpr size_t kPathBytes = 260;
constexpr int kModuleNotFound = 126;
constexpr int kProcedureNotFound = 127;
constexpr int kGeneralFailure = 31;
// Returned by the database route when it wrote nothing, so the direct call runs instead.
constexpr int kRouteUnavailable = kProcedureNotFound;
constexpr unsigned kViewerBusy = 0x465;
constexpr unsigned kViewerDone = 0x466;
constexpr unsigned kViewerWaitMs = 30000;
constexpr int kRecordBytes = 8192;
constexpr int kNotViewable = 2;
// The export's results besides 0.
constexpr int kTooOld = 4;
constexpr int kFailed = 5;

std::string RegistryText(HKEY hive, const char* path, const char* value, bool* found) {
    HKEY key = nullptr;
    *found = RegOpenKeyExA(hive, path, 0, KEY_READ, &key) == ERROR_SUCCESS;
    if (!*found) return {};
    char text[kPathBytes] = {};
    DWORD type = 0, size = sizeof text - 1;
    const bool read =
        RegQueryValueExA(key, value, nullptr, &type, reinterpret_cast<unsigned char*>(text), &size) == ERROR_SUCCESS;
    RegCloseKey(key);
    return read && (type == REG_SZ || type == REG_EXPAND_SZ) ? std::string(text, strnlen(text, sizeof text)) : "";
}

// False when no viewer is installed; otherwise the library's path (empty when the
// registered value could not be read).
bool FindViewerLibrary(std::string* library) {
    bool found = false;
    std::string program = RegistryText(
        HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\LeafCarry.exe", nullptr, &found);
    if (!found)
        program = RegistryText(HKEY_CURRENT_USER, "Software\\Harrow Systems\\Skiff Desktop\\ApplicationLEAF", "Conduit",
                               &found);
    if (!found) return false;
    library->clear();
    if (program.empty()) return true;
    const size_t slash = program.find_last_of("/\\");
    *library = (slash == std::string::npos ? std::string() : program.substr(0, slash + 1)) + kViewerLibraryName;
    return true;
}

using Library = platform::LoadedModule;

struct FileVersion {
    int part[4] = {};
    uint32_t Packed() const {
        return uint32_t(part[0] & 0xFF) << 24 | uint32_t(part[1] & 0xFF) << 16 | uint32_t(part[2] & 0xFF) << 8;
    }
};

// The library's version text, "a,b,c,d"; anything unreadable leaves zeros.
FileVersion ReadFileVersion(const std::string& path) {
    FileVersion version;
    const Library library(path);
    if (!library) return version;
    const auto* text = library.Bind<const char*>(kVersionExport);
    int p[4] = {};
    if (text && std::sscanf(text, "%d,%d,%d,%d", &p[0], &p[1], &p[2], &p[3]) == 4)
        std::memcpy(version.part, p, sizeof p);
    return version;
}

void CopyText(char* field, size_t size, const std::string& text) { std::snprintf(field, size, "%s", text.c_str()); }

// The viewer's form of a path: magic, length with the terminator, the text; in global memory.
class PathBlock {
public:
    explicit PathBlock(const std::string& path) : block_(GlobalAlloc(GPTR, path.size() + 9)) {
        if (!block_) return;
        auto* bytes = static_cast<unsigned char*>(block_);
        const uint32_t magic = kPathMagic, length = static_cast<uint32_t>(path.size() + 1);
        std::memcpy(bytes, &magic, 4);
        std::memcpy(bytes + 4, &length, 4);
        std::memcpy(bytes + 8, path.c_str(), path.size() + 1);
    }
    ~PathBlock() { GlobalFree(block_); }
    PathBlock(const PathBlock&) = delete;
    PathBlock& operator=(const PathBlock&) = delete;
    HGLOBAL get() const { return block_; }

private:
    HGLOBAL block_;
};

// The file named by a record the viewer wrote; lengths are kept inside the buffer.
std::string RecordFileName(const std::vector<unsigned char>& record) {
    uint32_t magic = 0, length = 0;
    std::memcpy(&magic, record.data(), 4);
    std::memcpy(&length, record.data() + 4, 4);
    size_t offset = 0, size = 0;
    if (magic == kFileMagic && length >= 16)
        offset = 24, size = length - 16;
    else if (magic == kPathMagic)
        offset = 8, size = length;
    else
        return {};
    size = std::min<size_t>(size, record.size() - offset);
    const char* name = reinterpret_cast<const char*>(record.data() + offset);
    return std::string(name, strnlen(name, size));
}

// The viewer's window, if it runs, lends its database for the route and is told when the
// translator is done with it (when this object goes).
class ViewerWindow {
public:
    ViewerWindow() : window_(FindWindowA("LeafCarry", nullptr)) {}
    ~ViewerWindow() {
        if (window_) SendMessageA(window_, kViewerDone, 0, 0);
    }
    ViewerWindow(const ViewerWindow&) = delete;
    ViewerWindow& operator=(const ViewerWindow&) = delete;
    // False when the viewer answers that it is using the database itself.
    bool Lend() {
        uintptr_t reply = 0;
        if (window_) SendMessageTimeoutA(window_, kViewerBusy, 0, 0, SMTO_ABORTIFHUNG, kViewerWaitMs, &reply);
        return reply == 0;
    }

private:
    HWND window_;
};

int Prepare(ViewerObject* database) {
    char buffer[64] = {};
    if (CallSlot(database, kNeedsPreparing, buffer, int(sizeof buffer)) == 0) return 0;
    const int rc = CallSlot(database, kPrepareStart, buffer, int(sizeof buffer));
    return rc != 0 ? rc : CallSlot(database, kPrepareFinish, buffer);
}

// Adds the source to the database's list and writes the destination from the new item.
int AddAndWrite(ViewerObject* list, const TranslateRequest& request) {
    const PathBlock source(request.source), destination(request.destination);
    if (!source.get() || !destination.get()) return kRouteUnavailable;
    ViewerObject* item = nullptr;
    const int added = CallSlot(list, kAddFile, source.get(), &item);
    if (added != 0) return added;
    if (!item) return kRouteUnavailable;
    std::vector<unsigned char> record(kRecordBytes);
    const bool recordRead = CallSlot(item, kReadRecord, record.data(), kRecordBytes) == 0;
    const int rc = CallSlot(item, kWriteFile, destination.get(), 0, 0);
    CallSlot(item, kRelease);
    // The viewer's own copy of the source is not wanted once the handheld file exists.
    const std::string copy = recordRead ? RecordFileName(record) : std::string();
    std::error_code ec;
    if (!copy.empty()) std::filesystem::remove(copy, ec);
    return rc;
}

int WriteThroughDatabase(ViewerObject* database, const TranslateRequest& request) {
    CallSlot(database, kOpen, 2);
    ViewerObject* list = nullptr;
    int rc = CallSlot(database, kItemList, &list);
    if (rc == 0 && !list) rc = kRouteUnavailable;
    if (rc == 0) {
        rc = AddAndWrite(list, request);
        CallSlot(list, kRelease);
    }
    CallSlot(database, kClose);
    return rc;
}

// Older viewers want presentations and graphics written through their document database.
// Nonzero when the route wrote nothing, so that the request goes to the viewer directly:
// a missing database, a null object or a viewer busy with its database included.
int DatabaseRoute(const std::string& path, const TranslateRequest& request) {
    const Library library(path);
    if (!library) return kModuleNotFound;
    auto getDatabase = library.Bind<GetDatabaseFn>("GetLeafCarryDB2");
    if (!getDatabase) return kRouteUnavailable;
    void* object = nullptr;
    if (const int rc = getDatabase(&object); rc != 0) return rc;
    if (!object) return kRouteUnavailable;
    auto* database = static_cast<ViewerObject*>(object);
    int rc = Prepare(database);
    if (rc != 0) {
        CallSlot(database, kRelease);
        return rc;
    }
    ViewerWindow viewer;  // told after the database is released
    try {
        rc = viewer.Lend() ? WriteThroughDatabase(database, request) : kRouteUnavailable;
    } catch (...) {
        CallSlot(database, kRelease);  // a viewer that throws still gets its object back
        throw;
    }
    CallSlot(database, kRelease);
    return rc;
}

struct Kind {
    uint32_t code;
    uint32_t creator;
    bool olderUseDatabase;  // viewers before 4.0.5 take these through their database, unnamed
};
constexpr Kind kKinds[] = {
    {FourCc("word"), FourCc("LCVR"), false},
    {FourCc("sprd"), FourCc("LCVB"), false},
    {FourCc("pres"), FourCc("LCSH"), true},
    {FourCc("grph"), FourCc("PZGR"), true},
};
constexpr uint32_t kNamedVersion = 0x04000500;

void FillRequest(TranslateRequest* request, uint32_t kind, const FileVersion& version, const std::string& source,
                 const std::string& destination) {
    std::memset(request, 0, sizeof *request);
    request->size = sizeof *request;
    CopyText(request->source, sizeof request->source, source);
    CopyText(request->destination, sizeof request->destination, destination);
    const uint32_t wanted = (uint32_t((version.part[0] * 256 + version.part[1]) & 0x7FFF)) << 16;
    request->version = std::max<uint32_t>(wanted, 0x04000000);
    for (const Kind& k : kKinds) {
        if (k.code != kind) continue;
        request->creator = k.creator;
        if (k.olderUseDatabase && version.Packed() < kNamedVersion) {
            request->flags |= kDatabaseRouteFlag;
        } else {
            CopyText(request->title, sizeof request->title, std::filesystem::path(source).stem().string());
            CopyText(request->application, sizeof request->application, "Larkspur");
        }
    }
}

int Translate(const std::string& path, const std::string& source, const std::string& destination) {
    const Library library(path);
    if (!library) return kModuleNotFound;
    auto isViewable = library.Bind<IsViewableFn>("LeafCarryIsViewable");
    if (!isViewable) return kProcedureNotFound;
    int viewable = 0;
    uint32_t kind = 0;
    char first[64] = {}, second[64] = {};
    if (const int rc = isViewable(source.c_str(), &viewable, &kind, first, 64, second, 64); rc != 0) return rc;
    if (!viewable) return kNotViewable;
    auto translateEx = library.Bind<TranslateExFn>("LeafCarryTranslateEx");
    if (!translateEx) return kProcedureNotFound;
    TranslateRequest request;
    FillRequest(&request, kind, ReadFileVersion(path), source, destination);
    if (request.flags & kDatabaseRouteFlag) {
        try {
            if (DatabaseRoute(path, request) == 0) return 0;
        } catch (...) {
            request.flags &= ~kDatabaseRouteFlag;
        }
    }
    try {
        return translateEx(&request);
    } catch (...) {
        return kGeneralFailure;
    }
}

// Makes the viewer's folder current for the translation and puts the old one back.
class FolderSwitch {
public:
    explicit FolderSwitch(const std::string& library) {
        std::error_code ec;
        previous_ = std::filesystem::current_path(ec);
        const auto folder = std::filesystem::path(library).parent_path();
        if (!ec && !folder.empty()) std::filesystem::current_path(folder, ec);
    }
    ~FolderSwitch() {
        std::error_code ec;
        if (!previous_.empty()) std::filesystem::current_path(previous_, ec);
    }

private:
    std::filesystem::path previous_;
};

}  // namespace

int GetPlugInVersion(int* version) {
    if (version) *version = 1;
    return 0;
}

int TranslateFromOriginal(const char* source, char* output, void*) {
    if (!source || !output) return kFailed;
    std::string library;
    if (!FindViewerLibrary(&library)) return 0;
    FolderSwitch folder(library);
    const FileVersion version = ReadFileVersion(library);
    if (version.part[0] == 4 && version.part[3] <= 283) {
        platform::ui::messageBox(
            "The Larkspur Plug-In is incompatible with Leafcarry 4.001.  You must upgrade to Leafcarry 4.002.",
            "Compatibility Warning", MB_OK);
        return kTooOld;
    }
    std::error_code ec;
    const std::filesystem::path temp = std::filesystem::temp_directory_path(ec);
    const std::string destination = (temp / std::filesystem::path(source).filename().replace_extension("pdb")).string();
    // A path cut to fit the request would name another file: such a file is not translated.
    if (std::strlen(source) >= kPathBytes || destination.size() >= kPathBytes) return kFailed;
    CopyText(output, kPathBytes, destination);
    try {
        return Translate(library, source, destination) != 0 ? kFailed : 0;
    } catch (...) {
        return kFailed;  // nothing the viewer throws crosses this export
    }
}

int TranslateToOriginal(const char*, char*, void*) { return 2; }
