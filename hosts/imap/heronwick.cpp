// The exports of the IMAP host. One session per process, in the plug-in's application
// object; exports run one at a time on the caller's thread.
#include "hosts/imap/heronwick.h"

#include <cstdio>
#include <cstdlib>

#include "datamgr/ledgerly.h"
#include "hosts/imap/imap_session.h"
#include "platform/ui/ui_service.h"

namespace {

constexpr int kNotLoggedOn = -1;
constexpr int kNullList = 211;
constexpr int kLogonFailed = 16394;

struct CHeronwickApp {
    int loggedOn = 0;
    int logEnabled = 0;
    int notifyFailure = 0;
    imap::CImapSession session;
};

CHeronwickApp& App() {
    static CHeronwickApp app;
    return app;
}

const char* FolderName(const FolderRecord* folder) { return folder ? folder->name : nullptr; }

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

TESS_API int Logon(const LogonRecord* record, int flags, int /*reserved*/) {
    CHeronwickApp& app = App();
    app.logEnabled = flags & 2;
    app.notifyFailure = flags & 1;
    if ((flags & 2) && record && !record->userDirectory.IsEmpty()) MLOGAdd("IMAP Login");
    if (app.session.Logon(record, flags) != 0) return kLogonFailed;
    app.loggedOn = 1;
    return 0;
}

TESS_API int Logoff() {
    App().session.Logoff();
    return 0;
}

TESS_API int GetFolderList(FolderRecord*** out, int* count) {
    return App().session.GetFolderList(out, count);
}

TESS_API int FreeFolderList(FolderRecord** list, int count) {
    if (!list) return kNullList;
    if (count == 0) return 0;
    imap::FreeFolderRecords(list, count < 0 ? 0 : count);
    return 0;
}

TESS_API int GetMsgIds(FolderRecord* folder, MailMsg*** out, int* count) {
    return App().session.GetMsgIds(FolderName(folder), out, count) == 0 ? 0 : 213;
}

TESS_API int GetMsgHeaders(FolderRecord* folder, MailMsg*** out, int* count, MsgIdDescriptor** ids,
                           int* idCount) {
    return App().session.GetMsgHeaders(FolderName(folder), out, count, ids, idCount) == 0 ? 0 : 213;
}

TESS_API int GetAllMsgs(int /*ignored*/, MailMsg*** out, int* count, int headersOnly) {
    CHeronwickApp& app = App();
    if (!app.loggedOn) return kNotLoggedOn;
    if (app.logEnabled) MLOGAdd("IMAP: Beginning to get all messages");
    int rc = app.session.GetAllMsgs(out, count, headersOnly != 0);
    if (app.logEnabled) MLOGAdd("IMAP: Finished getting all messages");
    return rc == 0 ? 0 : 213;
}

TESS_API int GetMsg(FolderRecord* folder, const MsgIdDescriptor* id, MailMsg** out) {
    return App().session.GetMsg(FolderName(folder), id, out);
}

TESS_API int FreeMailMsg(MailMsg** items, int count) {
    if (!items) return kNullList;
    if (count == 0) return 0;
    for (int i = 0; i < count; ++i) FreeMailMsgBlock(items[i]);
    std::free(items);
    return 0;
}

TESS_API int SetMsg(int /*ignored*/) {
    platform::ui::messageBox("Undefined functionality for Heronwick SetMsg (Save) Call", "Heronwick",
                             MB_ICONINFORMATION);
    return 0;
}

TESS_API int SetMsgPriority(int, int, int) {
    platform::ui::messageBox("Undefined functionality for Heronwick SetMsgPriority Call",
                             "Heronwick", MB_ICONINFORMATION);
    return 0;
}

TESS_API int SetMsgReadStatus(FolderRecord* folder, const MailMsg* msg, int seen) {
    if (!App().loggedOn) return kNotLoggedOn;
    uint32_t uid = 0;
    if (!msg || !imap::UidOf(msg->hostId, msg->hostIdLength, uid)) return 1;
    return App().session.SetSeen(FolderName(folder), uid, seen != 0);
}

TESS_API int SendMsg(const MailMsg* msg) {
    if (!App().loggedOn) return kNotLoggedOn;
    return App().session.SendMsg(msg);
}

TESS_API int DeleteMsg(FolderRecord* folder, const MailMsg* msg) {
    if (!App().loggedOn) return kNotLoggedOn;
    return App().session.DeleteMsg(FolderName(folder), msg);
}

TESS_API int GetMessageAttachment(FolderRecord* folder, int idLength, const void* idBytes,
                                  AttachmentTable** out) {
    if (!App().loggedOn) return kNotLoggedOn;
    return App().session.GetMessageAttachment(FolderName(folder), idLength, idBytes, out);
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

TESS_API int IMAP4Commit() {
    if (!App().loggedOn) return kNotLoggedOn;
    return App().session.Commit();
}

TESS_API int IMAP4SelectFolder(const char* name) {
    if (!App().loggedOn) return kNotLoggedOn;
    return App().session.SelectFolder(name);
}

TESS_API int IMAP4CopyMessage(uint32_t uid, const char* fromFolder, const char* toFolder) {
    if (!App().loggedOn) return kNotLoggedOn;
    return App().session.CopyMessage(uid, fromFolder, toFolder);
}

TESS_API int IMAP4AddFolder(const char* name) {
    if (!App().loggedOn) return kNotLoggedOn;
    return App().session.AddFolder(name);
}

TESS_API int IMAP4DeleteFolder(const char* name) {
    if (!App().loggedOn) return kNotLoggedOn;
    return App().session.DeleteFolder(name);
}

TESS_API int IMAP4RenameFolder(const char* name, const char* newName) {
    if (!App().loggedOn) return kNotLoggedOn;
    return App().session.RenameFolder(name, newName);
}

TESS_API int IMAP4Append(const char* folder, const char* messageText) {
    if (!App().loggedOn) return kNotLoggedOn;
    return App().session.Append(folder, messageText);
}

TESS_API int IMAP4SetSeenFlag(const char* folder, uint32_t uid, int seen) {
    if (!App().loggedOn) return kNotLoggedOn;
    return App().session.SetSeen(folder, uid, seen != 0);
}
