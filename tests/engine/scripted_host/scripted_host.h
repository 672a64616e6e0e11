#pragma once
// A message host whose mailbox, answers and failures a test sets: one library exporting
// the whole host family, so that the engine drives it exactly as it drives a real host.
// The test links this library and loads it by path; both then reach the same state.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/export.h"

namespace scripted {

struct Attachment {
    std::string name;
    std::string data;
};

struct Message {
    uint32_t uid = 0;
    std::string msgId;  // what a POP-like host reports; empty: none
    std::string from, to, cc, subject, body;
    int32_t date = 0;
    bool read = false;
    bool deleted = false;  // flagged, gone at IMAP4Commit
    std::vector<Attachment> attachments;
};

struct Folder {
    std::string name;
    int type = -1;
    std::vector<Message> msgs;
};

struct SentMail {
    std::string from, to, cc, bcc, replyTo, subject, body;
    std::vector<Attachment> attachments;  // read from the files the engine named
};

struct TESS_EXPORT State {
    std::vector<Folder> folders;
    bool partial = true;
    bool popLogon = false;   // Logon gets the POP record layout
    bool mapiLogon = false;  // Logon gets the Extended MAPI record layout
    // An export named here returns the code instead of doing its work.
    std::map<std::string, int> failures;
    std::vector<std::string> calls;  // export names, in call order
    std::vector<SentMail> sent;
    std::string logonServer, logonUser;
    int logonPort = 0;
    uint32_t nextUid = 1;
    int openAttachmentFiles = 0;  // files written by GetMessageAttachment and not freed yet

    Folder* find(const std::string& name);
    Message& add(const std::string& folder, Message m);
    int count(const std::string& name) const;  // calls of an export
};

TESS_EXPORT State& state();
// Back to an empty mailbox with an Inbox, Sent and Trash folder.
TESS_EXPORT void reset();

}  // namespace scripted
