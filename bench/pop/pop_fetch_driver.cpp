// One first fetch of a whole POP mailbox through the Fenwick exports, as the engine
// drives it: Initialize, Logon, GetAllMsgs (whole messages), FreeMailMsg, Logoff,
// Uninitialize. Run as its own process so its CPU and memory can be measured alone.
//   pop_fetch_driver HOST PORT USER PASSWORD EXPECTED
#include <cstdio>
#include <cstdlib>

#include "hosts/pop/fenwick.h"

using tess::MailMsg;
using tess::PopLogonRecord;

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: %s HOST PORT USER PASSWORD EXPECTED\n", argv[0]);
        return 2;
    }
    PopLogonRecord record{};
    record.server = argv[1];
    record.port = std::atoi(argv[2]);
    record.user = argv[3];
    record.password = argv[4];
    record.downloadAttachments = 1;
    record.serverUsable = 1;
    Initialize();
    if (Logon(&record, 0, 0) != 0) {
        std::fprintf(stderr, "logon failed\n");
        return 1;
    }
    MailMsg** list = nullptr;
    int count = 0;
    const int rc = GetAllMsgs(0, &list, &count, 0);
    FreeMailMsg(list, count);
    Logoff();
    Uninitialize();
    if (rc != 0 || count != std::atoi(argv[5])) {
        std::fprintf(stderr, "GetAllMsgs: %d, %d messages\n", rc, count);
        return 1;
    }
    return 0;
}
