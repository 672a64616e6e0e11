// The POP host's own exports. One session per process, in the plug-in's application
// object; the exports both internet hosts share are in hosts/inet/host_exports.cpp.
#include "hosts/pop/fenwick.h"

#include <cstdlib>
#include <cstring>

#include "common/language_module.h"
#include "hosts/inet/host_lists.h"
#include "hosts/pop/pop_session.h"

using tess::AttachmentTable;
using tess::CLanguageModule;
using tess::FolderRecord;
using tess::MailMsg;
using tess::MsgIdDescriptor;
using tess::PopLogonRecord;

namespace {

using inet::kNotLoggedOn;

pop::CPopSession& Session() {
    static pop::CPopSession session;
    return session;
}

bool LoggedOn() { return inet::HostApp().loggedOn != 0; }

int Listing(int rc) { return rc == 0 ? 0 : inet::kListingFailed; }

}  // namespace

inet::CHostApp& inet::HostApp() {
    static CHostApp app{"Fenwick", Session()};
    return app;
}

TESS_API int Logon(const PopLogonRecord* record, int flags, int /*reserved*/) {
    CLanguageModule language("FenwickLang.DLL", nullptr);
    return inet::HostApp().EndLogon(Session().Logon(record, flags));
}

TESS_API int GetFolderList(FolderRecord*** out, int* count) {
    if (!LoggedOn()) return 6;
    if (!out || !count) return 12;
    return inet::MakeSingleFolderList("Inbox", out, count) == 0 ? 0 : 12;
}

TESS_API int GetMsgIds(FolderRecord* /*folder*/, MailMsg*** out, int* count) {
    if (!LoggedOn()) return kNotLoggedOn;
    return Listing(Session().GetMsgIds(out, count));
}

TESS_API int GetMsgHeaders(FolderRecord* /*folder*/, MailMsg*** out, int* count, MsgIdDescriptor** ids, int* idCount) {
    if (!LoggedOn()) return kNotLoggedOn;
    return Listing(Session().GetMsgHeaders(out, count, ids, idCount));
}

TESS_API int GetMsg(FolderRecord* /*folder*/, const MsgIdDescriptor* id, MailMsg** out) {
    const int rc = Session().GetMsg(id, out);
    return rc == pop::kPopOk || rc == pop::kPopNotConnected ? rc : pop::kPopNotFetched;
}

TESS_API int SetMsgPriority(int, int, int) { return SetMsg(0); }

TESS_API int SetMsgReadStatus(FolderRecord*, const MailMsg*, int) { return LoggedOn() ? 0 : kNotLoggedOn; }

TESS_API int DeleteMsg(FolderRecord* /*folder*/, const MailMsg* msg) {
    if (!LoggedOn()) return kNotLoggedOn;
    return Session().DeleteMsg(msg);
}

TESS_API int GetMessageAttachment(FolderRecord* /*folder*/, int idLength, const void* idBytes, AttachmentTable** out) {
    if (!LoggedOn()) return kNotLoggedOn;
    return Session().GetMessageAttachment(idLength, idBytes, out);
}
