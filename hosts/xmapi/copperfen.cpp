// The Extended MAPI host's exports over its one application object.
#include "hosts/xmapi/copperfen.h"

#include <cstdlib>
#include <cstring>
#include <memory>

#include "common/language_module.h"
#include "datamgr/ledgerly.h"
#include "hosts/inet/host_lists.h"
#include "hosts/xmapi/mapi_session.h"
#include "platform/core/registry.h"
#include "platform/syncmgr/syncmgr.h"

using platform::mfc::CString;

using tess::AttachmentTable;
using tess::CLanguageModule;
using tess::FolderRecord;
using tess::MailMsg;
using tess::MapiLogonRecord;
using tess::MsgIdDescriptor;

namespace {

using namespace xmapi;

constexpr const char* kLanguageLibrary = "CopperfenLang.DLL";
constexpr const char* kMessagingKey = "SOFTWARE\\Microsoft\\Windows Messaging Subsystem";
constexpr const char* kMapixValue = "MAPIX";

// The application object: "mapi32.dll" from the library's start to Uninitialize, the
// bound entry points, the logon's values and its session.
struct CMapiHostApp {
    HMODULE mapi32 = nullptr;
    MapiLibrary lib;
    int initialised = 0;
    bool logging = false;
    LogonValues values;
    std::unique_ptr<CMapiSession> session;
    std::string helpFile = inet::HostHelpFile();

    CMapiHostApp() { mapi32 = LoadLibraryA("mapi32.dll"); }
    ~CMapiHostApp() {
        session.reset();
        if (mapi32) FreeLibrary(mapi32);
    }
};

CMapiHostApp& App() {
    static CMapiHostApp app;
    return app;
}

CMapiSession* Session() { return App().initialised ? App().session.get() : nullptr; }

void ProductLog(const std::string& line) { MLOGAdd(line.c_str()); }

bool MapiInstalled() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kMessagingKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    char value[10] = {};
    DWORD size = sizeof value, type = 0;
    const bool ok = RegQueryValueExA(key, kMapixValue, nullptr, &type, reinterpret_cast<unsigned char*>(value),
                                     &size) == ERROR_SUCCESS &&
                    type == REG_SZ && std::strcmp(value, "1") == 0;
    RegCloseKey(key);
    return ok;
}

int LogonWith(const MapiLogonRecord* record, int flags) {
    CMapiHostApp& app = App();
    if (record) app.values = LogonValues::From(*record);
    app.logging = (flags & 2) != 0;
    if (!app.initialised || !record) return kLogonFailed;
    app.session.reset();
    auto session = std::make_unique<CMapiSession>(app.lib, app.values, app.logging, ProductLog);
    const int rc = session->Open();
    if (rc != 0) return rc;
    app.session = std::move(session);
    return 0;
}

}  // namespace

TESS_API int Initialize() {
    CLanguageModule language(kLanguageLibrary, nullptr);
    CMapiHostApp& app = App();
    if (!MapiInstalled()) return kNotInstalled;
    // Uninitialize released the library: a later account of the same run loads it again
    // rather than finding the host unusable until it is itself reloaded.
    if (!app.mapi32) app.mapi32 = LoadLibraryA("mapi32.dll");
    if (!app.mapi32) return kNoLibrary;
    if (!app.lib.Bind(app.mapi32)) return kNoEntryPoint;
    if (FAILED(app.lib.MAPIInitialize(nullptr))) return kNoEntryPoint;
    app.initialised = 1;
    return 0;
}

TESS_API int Uninitialize() {
    CMapiHostApp& app = App();
    app.session.reset();
    if (app.initialised && app.lib.MAPIUninitialize) app.lib.MAPIUninitialize();
    app.initialised = 0;
    app.lib.Clear();
    if (app.mapi32) {
        const int released = FreeLibrary(app.mapi32);
        app.mapi32 = nullptr;
        if (!released) return 4;
    }
    return 0;
}

TESS_API int Logon(const MapiLogonRecord* record, int flags, int /*reserved*/) {
    CLanguageModule language(kLanguageLibrary, nullptr);
    return LogonWith(record, flags);
}

TESS_API int Logoff() {
    App().session.reset();
    return 0;
}

TESS_API int GetFolderList(FolderRecord*** out, int* count) {
    CMapiSession* s = Session();
    return s ? s->GetFolderList(out, count) : 0;
}

TESS_API int FreeFolderList(FolderRecord** list, int count) { return inet::FreeFolderArray(list, count); }

TESS_API int GetAllMsgs(FolderRecord* folder, MailMsg*** out, int* count, int headersOnly) {
    CLanguageModule language(kLanguageLibrary, nullptr);
    CMapiSession* s = Session();
    if (!s) return kRefused;
    return s->GetAllMsgs(folder, out, count, headersOnly != 0);
}

TESS_API int GetMsg(FolderRecord*, const MsgIdDescriptor*, MailMsg**) { return kStub; }
TESS_API int GetMsgIds(FolderRecord*, MailMsg***, int*) { return kStub; }
TESS_API int GetMsgHeaders(FolderRecord*, MailMsg***, int*, MsgIdDescriptor**, int*) { return kStub; }
TESS_API int HostSupportsPartialMessages() { return 0; }

TESS_API int FreeMailMsg(MailMsg** items, int count) { return inet::FreeMailMsgArray(items, count); }

TESS_API int SetMsgReadStatus(FolderRecord*, const MailMsg* msg, int seen) {
    CMapiSession* s = Session();
    return s ? s->SetReadStatus(msg, seen != 0) : kRefused;
}

TESS_API int SetMsgPriority(int, const MailMsg* msg, int priority) {
    CMapiSession* s = Session();
    return s ? s->SetPriority(msg, priority) : kRefused;
}

TESS_API int SendMsg(const MailMsg* msg) {
    CLanguageModule language(kLanguageLibrary, nullptr);
    CMapiSession* s = Session();
    return s ? s->Send(msg) : kRefused;
}

TESS_API int SetMsg(const MailMsg* msg) {
    CLanguageModule language(kLanguageLibrary, nullptr);
    CMapiSession* s = Session();
    return s ? s->Save(msg) : kRefused;
}

TESS_API int DeleteMsg(FolderRecord* folder, const MailMsg* msg) {
    CMapiSession* s = Session();
    return s ? s->Delete(folder, msg) : kRefused;
}

TESS_API int GetMessageAttachment(FolderRecord*, int idLength, const void* idBytes, AttachmentTable** out) {
    CLanguageModule language(kLanguageLibrary, nullptr);
    if (!App().values.attachments) return kNoAttachmentsWanted;
    CMapiSession* s = Session();
    return s ? s->GetAttachments(idLength, idBytes, out) : kRefused;
}

TESS_API int FreeAttachment(AttachmentTable** table) {
    inet::FreeAttachmentTable(table);
    return 0;
}

TESS_API int GetUserEmail(const MapiLogonRecord* record, CString* out) {
    CLanguageModule language(kLanguageLibrary, nullptr);
    CMapiHostApp& app = App();
    if (!app.initialised && Initialize() != 0) return 0;
    int found = 0;
    if (app.session || LogonWith(record, 0) == 0) {
        const std::string address = app.session->UserAddress();
        if (address.size() > 6 && out) {
            *out = address.c_str();
            found = 1;
        }
    }
    Uninitialize();
    return found;
}

TESS_API int CompareMsgId(int lengthA, const void* idA, int lengthB, const void* idB) {
    CMapiSession* s = Session();
    if (!s || !idA || !idB || lengthA <= 0 || lengthB <= 0) return 0;
    const auto* a = static_cast<const uint8_t*>(idA);
    const auto* b = static_cast<const uint8_t*>(idB);
    return s->SameMessage(EntryId(a, a + lengthA), EntryId(b, b + lengthB)) ? 1 : 0;
}

TESS_API int ResolveName(int idLength, const void* idBytes, CString* out) {
    CLanguageModule language(kLanguageLibrary, nullptr);
    CMapiSession* s = Session();
    if (!s || !idBytes || idLength <= 0) return 0;
    const auto* b = static_cast<const uint8_t*>(idBytes);
    std::string address;
    if (!s->SmtpAddressOf(EntryId(b, b + idLength), address)) return 0;
    if (out) *out = address.c_str();
    return 1;
}
