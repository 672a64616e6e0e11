// A message host library for the conduit's tests: it only says which host it is.
#include "platform/export.h"

TESS_API const char* HostName(void) { return TEST_HOST_NAME; }
