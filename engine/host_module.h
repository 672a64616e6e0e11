#pragma once
// HostModule: the exports of one message host library, bound once when the library is
// loaded for an account. An export the host lacks stays null; the engine answers a call
// it needs with kResultMissingExport (and the message that the host is not usable).
#include "engine/tidewater.h"

namespace tess::engine {

// A host lacks an export the engine needs for the step.
constexpr int kResultMissingExport = 103;
// An IMAP folder call the IMAP host does not export.
constexpr int kResultMissingImapExport = 101;

struct HostModule {
    HMODULE library = nullptr;

    HostInitializeFn initialize = nullptr;
    HostUninitializeFn uninitialize = nullptr;
    HostLogonFn logon = nullptr;
    HostLogoffFn logoff = nullptr;
    HostGetFolderListFn getFolderList = nullptr;
    HostFreeFolderListFn freeFolderList = nullptr;
    HostSupportsPartialFn supportsPartialMessages = nullptr;
    HostGetMsgIdsFn getMsgIds = nullptr;
    HostGetMsgHeadersFn getMsgHeaders = nullptr;
    HostGetAllMsgsFn getAllMsgs = nullptr;
    HostGetMsgFn getMsg = nullptr;
    HostFreeMailMsgFn freeMailMsg = nullptr;
    HostSetMsgReadStatusFn setMsgReadStatus = nullptr;
    HostSendMsgFn sendMsg = nullptr;
    HostDeleteMsgFn deleteMsg = nullptr;
    HostGetMessageAttachmentFn getMessageAttachment = nullptr;
    HostFreeAttachmentFn freeAttachment = nullptr;
    // The MAPI hosts' address-book calls.
    HostResolveNameFn resolveName = nullptr;
    HostCompareMsgIdFn compareMsgId = nullptr;
    // The IMAP host's folder calls.
    Imap4CommitFn imap4Commit = nullptr;
    Imap4SelectFolderFn imap4SelectFolder = nullptr;
    Imap4CopyMessageFn imap4CopyMessage = nullptr;
    Imap4AddFolderFn imap4AddFolder = nullptr;
    Imap4DeleteFolderFn imap4DeleteFolder = nullptr;
    Imap4RenameFolderFn imap4RenameFolder = nullptr;
    Imap4SetSeenFlagFn imap4SetSeenFlag = nullptr;

    // Binds every export of library; null binds nothing.
    static HostModule Bind(HMODULE library);
    explicit operator bool() const { return library != nullptr; }
};

}  // namespace tess::engine
