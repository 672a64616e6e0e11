// A second process beside a test, with the data manager loaded on its own:
//   session_peer show                 prints "<initialised> <user id> <first-account result>"
//   session_peer open <user> <creator> opens a session (no synchronisation) and prints its result
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "datamgr/ledgerly_store.h"

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "show") == 0) {
        int user = 0;
        const int initialised = IPES_IsInitialized(&user);
        StoreHandle* first = nullptr;
        const int rc = IPES_GetFirstAccount(&first);
        if (first) IPES_FreeAccountHandle(&first);
        std::printf("%d %d %d\n", initialised, user, rc);
        return 0;
    }
    if (argc == 4 && std::strcmp(argv[1], "open") == 0) {
        IpesInitBlock block{nullptr, 1, std::atoi(argv[2]), static_cast<uint32_t>(std::strtoul(argv[3], nullptr, 0))};
        std::printf("%d\n", IPES_Initialize(&block));
        return 0;
    }
    return 2;
}
