// What the product log gets about an account before it is synchronised.
#include "common/sync_report.h"
#include "engine/engine_log.h"
#include "engine/sync_session.h"

namespace tess::engine {

void CSyncSession::WriteAccountReport(CHostConnection& c) {
    Debug(Printf("Account is active : %s", c.IsActive() ? "Yes" : "No"));
    switch (c.ConnType()) {
    case kConnDialUp: Debug("Account connection type is Dial-Up"); break;
    case kConnTcpIp: Debug("Account connection type is TCPIP"); break;
    case kConnWireless: Debug("Account connection type is Wireless"); break;
    default: Debug("Account connection type is Sync Only"); break;
    }
    const int p = c.Protocol();
    if (p == kProtocolNotes)
        Debug("Account protocol is NOTES.");
    else if (p == kProtocolImap)
        Debug("Account protocol is direct IMAP.");
    else if (p == kProtocolMapi || p == kProtocolMapi2)
        Debug("Account protocol is MAPI.");
    else if (p == kProtocolPop && c.IdentifiesByMessageId())
        Debug("Account protocol is direct POP.");
    else
        Debug("Account protocol is SMAPI");
    Debug(Printf("Account has %d disconnected actions associated with it", int(c.actions.size())));
    Debug(Printf("Account has %d device messages associated with it", int(c.device.Count())));
    std::vector<int> slots;
    std::vector<std::string> names;
    c.account->SelectedFolders(slots, names);
    Debug(Printf("Account has %d categories associated with it:", int(names.size())));
    for (const std::string& n : names) Debug("\t " + n);
}

}  // namespace tess::engine
