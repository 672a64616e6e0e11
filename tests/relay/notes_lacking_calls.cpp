// A Notes client library that lacks the last call the relay binds (MailGetMessageItem):
// it exports every other name the relay looks up, as do-nothing functions.
#include "relay/notes_calls.h"

#define MailGetMessageItem NotBoundByTheRelay
#define DEFINE(name) \
    extern "C" __attribute__((visibility("default"))) int name() { return 0; }
RELAY_NOTES_CALLS(DEFINE)
