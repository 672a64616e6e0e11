// The IMAP host's own exports. One session per process, in the plug-in's application
// object; the exports both internet hosts share are in hosts/inet/host_exports.cpp.
#include "hosts/imap/heronwick.h"

#include "datamgr/ledgerly.h"
#include "hosts/imap/imap_session.h"
#include "platform/ui/ui_service.h"

using tess::AttachmentTable;
using tess::FolderRecord;
using tess::LogonRecord;
using tess::MailMsg;
using tess::MsgIdDescriptor;

namespace {

using inet::kNotLoggedOn;

imap::CImapSession& Session() {
    static imap::CImapSession session;
    return session;
}

const char* FolderName(const FolderRecord* folder) { return folder ? folder->name : nullptr; }

bool LoggedOn() { return inet::HostApp().loggedOn != 0; }

}  // namespace

inet::CHostApp& inet::HostApp() {
    static CHostApp app{"Heronwick", Session()};
    return app;
}

TESS_API int Logon(const LogonRecord* record, int flags, int /*reserved*/) {
    if ((flags & 2) && record && !record->userDirectory.IsEmpty()) MLOGAdd("IMAP Login");
    return inet::HostApp().EndLogon(Session().Logon(record, flags));
}

TESS_API int GetFolderList(FolderRecord*** out, int* count) { return Session().GetFolderList(out, count); }

TESS_API int GetMsgIds(FolderRecord* folder, MailMsg*** out, int* count) {
    return Session().GetMsgIds(FolderName(folder), out, count) == 0 ? 0 : inet::kListingFailed;
}

TESS_API int GetMsgHeaders(FolderRecord* folder, MailMsg*** out, int* count, MsgIdDescriptor** ids, int* idCount) {
    const int rc = Session().GetMsgHeaders(FolderName(folder), out, count, ids, idCount);
    return rc == 0 ? 0 : inet::kListingFailed;
}

TESS_API int GetMsg(FolderRecord* folder, const MsgIdDescriptor* id, MailMsg** out) {
    return Session().GetMsg(FolderName(folder), id, out);
}

TESS_API int SetMsgPriority(int, int, int) {
    platform::ui::messageBox("Undefined functionality for Heronwick SetMsgPriority Call", "Heronwick",
                             MB_ICONINFORMATION);
    return 0;
}

TESS_API int SetMsgReadStatus(FolderRecord* folder, const MailMsg* msg, int seen) {
    if (!LoggedOn()) return kNotLoggedOn;
    uint32_t uid = 0;
    if (!msg || !imap::UidOf(msg->hostId, msg->hostIdLength, uid)) return 1;
    return Session().SetSeen(FolderName(folder), uid, seen != 0);
}

TESS_API int DeleteMsg(FolderRecord* folder, const MailMsg* msg) {
    if (!LoggedOn()) return kNotLoggedOn;
    return Session().DeleteMsg(FolderName(folder), msg);
}

TESS_API int GetMessageAttachment(FolderRecord* folder, int idLength, const void* idBytes, AttachmentTable** out) {
    if (!LoggedOn()) return kNotLoggedOn;
    return Session().GetMessageAttachment(FolderName(folder), idLength, idBytes, out);
}

TESS_API int IMAP4Commit() {
    if (!LoggedOn()) return kNotLoggedOn;
    return Session().Commit();
}

TESS_API int IMAP4SelectFolder(const char* name) {
    if (!LoggedOn()) return kNotLoggedOn;
    return Session().SelectFolder(name);
}

TESS_API int IMAP4CopyMessage(uint32_t uid, const char* fromFolder, const char* toFolder) {
    if (!LoggedOn()) return kNotLoggedOn;
    return Session().CopyMessage(uid, fromFolder, toFolder);
}

TESS_API int IMAP4AddFolder(const char* name) {
    if (!LoggedOn()) return kNotLoggedOn;
    return Session().AddFolder(name);
}

TESS_API int IMAP4DeleteFolder(const char* name) {
    if (!LoggedOn()) return kNotLoggedOn;
    return Session().DeleteFolder(name);
}

TESS_API int IMAP4RenameFolder(const char* name, const char* newName) {
    if (!LoggedOn()) return kNotLoggedOn;
    return Session().RenameFolder(name, newName);
}

TESS_API int IMAP4Append(const char* folder, const char* messageText) {
    if (!LoggedOn()) return kNotLoggedOn;
    return Session().Append(folder, messageText);
}

TESS_API int IMAP4SetSeenFlag(const char* folder, uint32_t uid, int seen) {
    if (!LoggedOn()) return kNotLoggedOn;
    return Session().SetSeen(folder, uid, seen != 0);
}
