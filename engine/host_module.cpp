// Binding a message host's exports by name, once per loaded library.
#include "engine/host_module.h"

namespace tess::engine {
namespace {

template <class Fn>
void BindOne(HMODULE library, const char* name, Fn& fn) {
    fn = reinterpret_cast<Fn>(GetProcAddress(library, name));
}

}  // namespace

HostModule HostModule::Bind(HMODULE library) {
    HostModule m;
    m.library = library;
    if (!library) return m;
    BindOne(library, "Initialize", m.initialize);
    BindOne(library, "Uninitialize", m.uninitialize);
    BindOne(library, "Logon", m.logon);
    BindOne(library, "Logoff", m.logoff);
    BindOne(library, "GetFolderList", m.getFolderList);
    BindOne(library, "FreeFolderList", m.freeFolderList);
    BindOne(library, "HostSupportsPartialMessages", m.supportsPartialMessages);
    BindOne(library, "GetMsgIds", m.getMsgIds);
    BindOne(library, "GetMsgHeaders", m.getMsgHeaders);
    BindOne(library, "GetAllMsgs", m.getAllMsgs);
    BindOne(library, "GetMsg", m.getMsg);
    BindOne(library, "FreeMailMsg", m.freeMailMsg);
    BindOne(library, "SetMsgReadStatus", m.setMsgReadStatus);
    BindOne(library, "SendMsg", m.sendMsg);
    BindOne(library, "DeleteMsg", m.deleteMsg);
    BindOne(library, "GetMessageAttachment", m.getMessageAttachment);
    BindOne(library, "FreeAttachment", m.freeAttachment);
    BindOne(library, "ResolveName", m.resolveName);
    BindOne(library, "CompareMsgId", m.compareMsgId);
    BindOne(library, "IMAP4Commit", m.imap4Commit);
    BindOne(library, "IMAP4SelectFolder", m.imap4SelectFolder);
    BindOne(library, "IMAP4CopyMessage", m.imap4CopyMessage);
    BindOne(library, "IMAP4AddFolder", m.imap4AddFolder);
    BindOne(library, "IMAP4DeleteFolder", m.imap4DeleteFolder);
    BindOne(library, "IMAP4RenameFolder", m.imap4RenameFolder);
    BindOne(library, "IMAP4SetSeenFlag", m.imap4SetSeenFlag);
    return m;
}

}  // namespace tess::engine
