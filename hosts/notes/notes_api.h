#pragma once
// The Notes client calls the host binds by name from the client library, in the order it
// binds them; the first one missing stops the binding.
#include "common/notes_binding.h"

// clang-format off
#define BRIARHOLT_NOTES_CALLS(X) \
    X(OSGetEnvironmentString) \
    X(MailOpenMessageFile) \
    X(OSPathNetConstruct) \
    X(MailCloseMessageFile) \
    X(NSFDbAccessGet) \
    X(NSFNoteDelete) \
    X(MailCreateMessage) \
    X(ListAllocate) \
    X(OSUnlockObject) \
    X(ListAddEntry) \
    X(MailAddRecipientsItem) \
    X(MailAddHeaderItemByHandle) \
    X(MailAddHeaderItem) \
    X(NSFItemAppend) \
    X(MailCreateBodyItem) \
    X(MailAppendBodyItemLine) \
    X(MailAddBodyItem) \
    X(OSMemFree) \
    X(NSFNoteUpdate) \
    X(MailCloseMessage) \
    X(NSFNoteOpen) \
    X(NSFItemInfo) \
    X(OSLockObject) \
    X(MailGetMessageBody) \
    X(NSFNoteClose) \
    X(MailGetMessageItem) \
    X(MailCreateMessageList) \
    X(MailOpenMessage) \
    X(NSFNoteGetInfo) \
    X(MailGetMessageInfo) \
    X(MailGetMessageOriginator) \
    X(MailGetMessageItemTimeDate) \
    X(OSCurrentTIMEDATE) \
    X(MailGetMessageSize) \
    X(MailGetMessageAttachmentInfo) \
    X(NSFDbOpen) \
    X(NSFDbClose) \
    X(MailGetMessageBodyText) \
    X(NAMELookup) \
    X(NAMELocateNextName) \
    X(NAMEGetTextItem) \
    X(NAMELocateNextMatch) \
    X(ListGetNumEntries) \
    X(ListGetText) \
    X(MailExtractMessageAttachment) \
    X(MailAddMessageAttachment) \
    X(TimeGMToLocal) \
    X(IDIsPresent) \
    X(NSFDbGetUnreadNoteTable) \
    X(NSFDbUpdateUnread) \
    X(IDInsert) \
    X(IDDelete) \
    X(IDTableCopy) \
    X(IDDestroyTable) \
    X(NSFDbSetUnreadNoteTable) \
    X(IDEntries) \
    X(FolderDocRemove) \
    X(FolderDocAdd) \
    X(IDCreateTable) \
    X(NIFFindDesignNoteExt) \
    X(OSLoadString) \
    X(NSFNoteSetInfo) \
    X(TimeDateAdjust) \
    X(NSFSearch) \
    X(IDScan) \
    X(NSFFolderGetIDTable) \
    X(NSFNoteCopy) \
    X(NSFDbGenerateOID) \
    X(NIFOpenCollection) \
    X(NIFCloseCollection) \
    X(NIFReadEntries) \
    X(NSFItemGetText) \
    X(OSTranslate)
// clang-format on

namespace notes {

struct NotesApi {
    BRIARHOLT_NOTES_CALLS(TESS_NOTES_CALL_SLOT)

    // Binds every call from the library; the name of the first one missing, or null.
    const char* Bind(HMODULE library);
};

}  // namespace notes
