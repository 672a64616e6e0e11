#pragma once
// The Notes client calls the relay binds by name, in the order it binds them (an X-macro,
// kept apart from the client's header so that a stand-in library can be made from it).
// clang-format off
#define RELAY_NOTES_CALLS(X) \
    X(NotesInitIni) \
    X(NotesTerm) \
    X(SECKFMGetUserName) \
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
    X(MailGetMessageItem)
// clang-format on
