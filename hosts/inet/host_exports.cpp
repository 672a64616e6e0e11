// The exports that both internet hosts answer alike, over the host's application object.
// Compiled into each host plug-in; the protocol's own exports stay with the host.
#include "hosts/inet/host_exports.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "hosts/inet/host_lists.h"
#include "hosts/inet/host_session.h"
#include "platform/ui/ui_service.h"

using tess::AttachmentTable;
using tess::FolderRecord;
using tess::MailMsg;

using inet::HostApp;

TESS_API int Initialize() {
    HostApp().loggedOn = 0;
    return 0;
}

TESS_API int Uninitialize() {
    HostApp().loggedOn = 0;
    HostApp().session.Cleanup();
    return 0;
}

TESS_API int Logoff() { return HostApp().session.Logoff(); }

TESS_API int FreeFolderList(FolderRecord** list, int count) { return inet::FreeFolderArray(list, count); }

TESS_API int GetAllMsgs(int /*ignored*/, MailMsg*** out, int* count, int headersOnly) {
    inet::CHostApp& app = HostApp();
    if (!app.loggedOn) return inet::kNotLoggedOn;
    const std::string protocol = app.session.Protocol();
    app.session.Log(protocol + ": Beginning to get all messages");
    const int rc = app.session.GetAllMsgs(out, count, headersOnly != 0);
    app.session.Log(protocol + ": Finished getting all messages");
    return rc == 0 ? 0 : inet::kListingFailed;
}

TESS_API int FreeMailMsg(MailMsg** items, int count) { return inet::FreeMailMsgArray(items, count); }

TESS_API int SetMsg(int /*ignored*/) {
    const std::string host = HostApp().hostName;
    platform::ui::messageBox("Undefined functionality for " + host + " SetMsg (Save) Call", host, MB_ICONINFORMATION);
    return 0;
}

TESS_API int SendMsg(const MailMsg* msg) {
    if (!HostApp().loggedOn) return inet::kNotLoggedOn;
    return HostApp().session.SendMsg(msg);
}

TESS_API int FreeAttachment(AttachmentTable** table) {
    inet::FreeAttachmentTable(table);
    return 0;
}

TESS_API int HostSupportsPartialMessages() { return 1; }
