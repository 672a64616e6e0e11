// Read state, deletions, moves, folder changes, the final expunge, and the sent-folder copy.
#include "hosts/imap/imap_session.h"

#include "common/sync_report.h"
#include "datamgr/ledgerly.h"
#include "platform/syncmgr/syncmgr.h"

namespace imap {

using tess::kActivityError;
using tess::MailMsg;

namespace {

std::string Text(const char* text) { return text ? std::string(text) : std::string(); }

}  // namespace

int CImapSession::SetSeen(const char* folder, uint32_t uid, bool seen) {
    if (!imapUsable_) return kImapNotConnected;
    std::string name = Text(folder);
    const std::string target = folder ? name : connection_.SelectedFolder();
    if ((folder || !target.empty()) && RefuseStaleChange(target, "Read state", uid)) return kImapOk;
    return connection_.StoreSeenFlag(folder ? &name : nullptr, uid, seen);
}

int CImapSession::DeleteMsg(const char* folder, const MailMsg* msg) {
    if (!imapUsable_) return kImapNotConnected;
    Log(inet::Described("IMAP: Beginning to delete message.", msg));
    uint32_t uid = 0;
    if (!msg || !UidOf(msg->hostId, msg->hostIdLength, uid)) return kSessionNoMessage;
    std::string name = Text(folder);
    // Nothing is deleted by a number that now names another message; the handheld's
    // copy goes with the folder's relisting and the message stays on the server.
    if (RefuseStaleChange(folder ? name : std::string("inbox"), "Deletion", uid)) return kImapOk;
    connection_.StoreSeenFlag(folder ? &name : nullptr, uid, true);
    int rc = connection_.StoreDeleted(folder ? name : std::string("inbox"), uid);
    Log(inet::Described("IMAP: Finished delete message.", msg));
    return rc == kImapOk ? kImapOk : kSessionNoMessage;
}

void CImapSession::Sent(const std::string& sent) {
    // The copy in the sent folder is a courtesy: its failure does not fail the send, but
    // the user is told, since the mail is then in no sent folder at all.
    if (imapSettings_.sentFolder.empty() || !imapUsable_) return;
    const std::string folder = connection_.SentFolderName(imapSettings_.sentFolder);
    // A folder below the top level is not in the session's list; APPEND still reaches it.
    if (!connection_.FolderExists(folder)) connection_.Select(folder);
    const int rc = connection_.AppendMessage(folder, sent);
    if (rc == kImapOk) return;
    const std::string line = "IMAP: The copy of a sent message could not be filed in folder '" + folder + "' (error " +
                             std::to_string(rc) + ").";
    MLOGAdd(line.c_str());
    SyncLogAddLine(line.c_str(), kActivityError, 0);
}

int CImapSession::Commit() {
    if (!imapUsable_) return kImapNotConnected;
    return connection_.Expunge() ? kImapOk : kImapFolderChange;
}

int CImapSession::SelectFolder(const char* name) { return connection_.SelectFolder(Text(name)); }

int CImapSession::CopyMessage(uint32_t uid, const char* from, const char* to) {
    if (!imapUsable_) return kImapNotConnected;
    if (RefuseStaleChange(Text(from), "Move", uid)) return kImapOk;
    return connection_.CopyMessages(Text(from), Text(to), 1, &uid);
}

int CImapSession::AddFolder(const char* name) {
    if (!imapUsable_) return kImapNotConnected;
    return connection_.CreateFolder(Text(name));
}

int CImapSession::DeleteFolder(const char* name) {
    if (!imapUsable_) return kImapNotConnected;
    return connection_.DeleteFolder(Text(name));
}

int CImapSession::RenameFolder(const char* name, const char* newName) {
    if (!imapUsable_) return kImapNotConnected;
    return connection_.RenameFolder(Text(name), Text(newName));
}

int CImapSession::Append(const char* folder, const char* text) {
    if (!imapUsable_) return kImapNotConnected;
    return connection_.AppendMessage(Text(folder), Text(text));
}

}  // namespace imap
