#pragma once
// Registers this stand-in as the desktop's default mail client in the registry stand-in,
// where the engine and the relay look: the client's key under
// HKLM "Software\Clients\Mail" (made the default value there) with its mailto protocol
// entries, the handler under HKCR "mailto\DefaultIcon" and "mailto\shell\open\command", and
// the mark that Extended MAPI is installed (HKLM "SOFTWARE\Microsoft\Windows Messaging
// Subsystem", value "MAPIX" = "1").
#include <string>

#include "platform/export.h"

namespace platform::mapi {

// The client name registered; its kind is the desktop's MAPI client.
inline constexpr const char* kMailClientName = "Microsoft Outlook";

// `program` is the command that opens a mailto link (the %1 is the link). True on success.
TESS_EXPORT bool registerDefaultMailClient(const std::string& program);

}  // namespace platform::mapi
