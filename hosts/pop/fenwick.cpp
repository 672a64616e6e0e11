// The exports of the POP host. One session per process, in the plug-in's application
// object; exports run one at a time on the caller's thread.
#include "hosts/pop/fenwick.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/language_module.h"
#include "datamgr/ledgerly.h"
#include "hosts/pop/pop_session.h"
#include "platform/ui/ui_service.h"

namespace {

constexpr int kNotLoggedOn = -1;
constexpr int kListingFailed = 213;
constexpr int kNullList = 211;
constexpr int kLogonFailed = 16394;

struct CFenwickApp {
    int loggedOn = 0;
    int logEnabled = 0;
    int notifyFailure = 0;
    pop::CPopSession session;
};

CFenwickApp& App() {
    static CFenwickApp app;
    return app;
}

void Log(const char* text) {
    if (App().logEnabled) MLOGAdd(text);
}

int Listing(int rc) { return rc == 0 ? 0 : kListingFailed; }

}  // namespace

TESS_API int Initialize() {
    App().loggedOn = 0;
    return 0;
}

TESS_API int Uninitialize() {
    App().loggedOn = 0;
    App().session.Cleanup();
    return 0;
}

TESS_API int Logon(const PopLogonRecord* record, int flags, int /*reserved*/) {
    CLanguageModule language("FenwickLang.DLL", nullptr);
    CFenwickApp& app = App();
    app.logEnabled = flags & 2;
    app.notifyFailure = flags & 1;
    if (app.session.Logon(record, flags) != 0) return kLogonFailed;
    app.loggedOn = 1;
    return 0;
}

TESS_API int Logoff() {
    App().session.Logoff();
    return 0;
}

TESS_API int GetFolderList(FolderRecord*** out, int* count) {
    if (!App().loggedOn) return 6;
    if (!out || !count) return 12;
    auto** list = static_cast<FolderRecord**>(std::calloc(1, sizeof(FolderRecord*)));
    auto* record = static_cast<FolderRecord*>(std::calloc(1, sizeof(FolderRecord)));
    char* name = static_cast<char*>(std::calloc(6, 1));
    if (!list || !record || !name) {
        std::free(list);
        std::free(record);
        std::free(name);
        return 12;
    }
    std::memcpy(name, "Inbox", 5);
    record->name = name;
    list[0] = record;
    *out = list;
    *count = 1;
    return 0;
}

TESS_API int FreeFolderList(FolderRecord** list, int count) {
    if (!list) return kNullList;
    if (count == 0) return 0;
    for (int i = 0; i < count; ++i) {
        if (!list[i]) continue;
        std::free(list[i]->name);
        std::free(list[i]->extra);
        std::free(list[i]);
    }
    std::free(list);
    return 0;
}

TESS_API int GetMsgIds(FolderRecord* /*folder*/, MailMsg*** out, int* count) {
    if (!App().loggedOn) return kNotLoggedOn;
    return Listing(App().session.GetMsgIds(out, count));
}

TESS_API int GetMsgHeaders(FolderRecord* /*folder*/, MailMsg*** out, int* count,
                           MsgIdDescriptor** ids, int* idCount) {
    if (!App().loggedOn) return kNotLoggedOn;
    return Listing(App().session.GetMsgHeaders(out, count, ids, idCount));
}

TESS_API int GetAllMsgs(int /*ignored*/, MailMsg*** out, int* count, int headersOnly) {
    if (!App().loggedOn) return kNotLoggedOn;
    Log("POP: Beginning to get all messages");
    const int rc = App().session.GetAllMsgs(out, count, headersOnly != 0);
    Log("POP: Finished getting all messages");
    return Listing(rc);
}

TESS_API int GetMsg(FolderRecord* /*folder*/, const MsgIdDescriptor* id, MailMsg** out) {
    const int rc = App().session.GetMsg(id, out);
    return rc == pop::kPopOk || rc == pop::kPopNotConnected ? rc : pop::kPopNotFetched;
}

TESS_API int FreeMailMsg(MailMsg** items, int count) {
    if (!items) return kNullList;
    if (count == 0) return 0;
    for (int i = 0; i < count; ++i) FreeMailMsgBlock(items[i]);
    std::free(items);
    return 0;
}

TESS_API int SetMsg(int /*ignored*/) {
    platform::ui::messageBox("Undefined functionality for Fenwick SetMsg (Save) Call", "Fenwick",
                             MB_ICONINFORMATION);
    return 0;
}

TESS_API int SetMsgPriority(int, int, int) { return SetMsg(0); }

TESS_API int SetMsgReadStatus(FolderRecord*, const MailMsg*, int) {
    return App().loggedOn ? 0 : kNotLoggedOn;
}

TESS_API int SendMsg(const MailMsg* msg) {
    if (!App().loggedOn) return kNotLoggedOn;
    return App().session.SendMsg(msg);
}

TESS_API int DeleteMsg(FolderRecord* /*folder*/, const MailMsg* msg) {
    if (!App().loggedOn) return kNotLoggedOn;
    return App().session.DeleteMsg(msg);
}

TESS_API int GetMessageAttachment(FolderRecord* /*folder*/, int idLength, const void* idBytes,
                                  AttachmentTable** out) {
    if (!App().loggedOn) return kNotLoggedOn;
    return App().session.GetMessageAttachment(idLength, idBytes, out);
}

TESS_API int FreeAttachment(AttachmentTable** table) {
    if (!table || !*table) return 0;
    for (int i = 0; i < (*table)->count && i < 10; ++i) {
        (*table)->path[i][255] = '\0';
        std::remove((*table)->path[i]);
    }
    std::free(*table);
    *table = nullptr;
    return 0;
}

TESS_API int HostSupportsPartialMessages() { return 1; }
