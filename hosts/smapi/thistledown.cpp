// The Simple MAPI host's exports over its one application object.
#include "hosts/smapi/thistledown.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "common/language_module.h"
#include "datamgr/ledgerly.h"
#include "hosts/inet/host_lists.h"
#include "hosts/smapi/smapi_host.h"
#include "platform/syncmgr/syncmgr.h"

using tess::AttachmentTable;
using tess::CLanguageModule;
using tess::FolderRecord;
using tess::MailMsg;
using tess::MsgIdDescriptor;
using tess::SmapiLogonRecord;

namespace {

using namespace smapi;

constexpr const char* kLibrary = "mapi32.dll";

// The application object: "mapi32.dll" from the library's start to Uninitialize, the help
// path and the host's state.
struct CSmapiHostApp {
    CSmapiHost host{[](const std::string& line) { MLOGAdd(line.c_str()); }};
    std::string helpFile = inet::HostHelpFile();

    CSmapiHostApp() { host.mapi32 = LoadLibraryA(kLibrary); }
    ~CSmapiHostApp() {
        host.Reset();
        if (host.mapi32) FreeLibrary(host.mapi32);
    }
};

CSmapiHost& Host() {
    static CSmapiHostApp app;
    return app.host;
}

}  // namespace

TESS_API int Initialize() {
    CLanguageModule language("ThistledownLang.DLL", nullptr);
    CSmapiHost& h = Host();
    // Uninitialize released the library: a later account of the same run loads it again.
    if (!h.mapi32) h.mapi32 = LoadLibraryA(kLibrary);
    if (!h.mapi32) return kNoLibrary;
    if (!h.api.Bind(h.mapi32)) return kNoEntryPoint;
    h.initialised = 1;
    return 0;
}

TESS_API int Uninitialize() {
    CSmapiHost& h = Host();
    h.Reset();
    h.api = SimpleMapi{};
    h.initialised = 0;
    if (h.mapi32) {
        const int released = FreeLibrary(h.mapi32);
        h.mapi32 = nullptr;
        if (!released) return kNotReleased;
    }
    return 0;
}

TESS_API int Logon(const SmapiLogonRecord* record, int flags, int /*reserved*/) {
    if (!record) return kLogonFailed;
    return Host().Logon(*record, flags);
}

TESS_API int Logoff() { return Host().Logoff(); }

TESS_API int GetFolderList(FolderRecord*** out, int* count) {
    if (!Host().initialised || !out || !count) return 0;
    return inet::MakeSingleFolderList("Inbox", out, count) == 0 ? 0 : kNullList;
}

TESS_API int FreeFolderList(FolderRecord** list, int count) { return inet::FreeFolderArray(list, count); }

TESS_API int GetAllMsgs(FolderRecord*, MailMsg*** out, int* count, int) { return Host().GetAllMsgs(out, count); }

TESS_API int GetMsg(FolderRecord*, const MsgIdDescriptor*, MailMsg**) { return kStub; }
TESS_API int GetMsgIds(FolderRecord*, MailMsg***, int*) { return kStub; }
TESS_API int GetMsgHeaders(FolderRecord*, MailMsg***, int*, MsgIdDescriptor**, int*) { return kStub; }
TESS_API int HostSupportsPartialMessages() { return 0; }
TESS_API int SetMsgPriority(int, const MailMsg*, int) { return 0; }

TESS_API int FreeMailMsg(MailMsg** items, int count) { return inet::FreeMailMsgArray(items, count); }

TESS_API int SetMsgReadStatus(FolderRecord*, const MailMsg* msg, int) { return Host().MarkRead(msg); }

TESS_API int DeleteMsg(FolderRecord*, const MailMsg* msg) { return Host().Delete(msg); }

TESS_API int SendMsg(const MailMsg* msg) { return Host().Send(msg, false); }

TESS_API int SetMsg(const MailMsg* msg) { return Host().Send(msg, true); }

TESS_API int GetMessageAttachment(FolderRecord*, int idLength, const void* idBytes, AttachmentTable** out) {
    return Host().GetAttachments(idLength, idBytes, out);
}

TESS_API int FreeAttachment(AttachmentTable** table) {
    inet::FreeAttachmentTable(table);
    return 0;
}
