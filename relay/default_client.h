#pragma once
// Whether the desktop's default mail program is the MAPI client the relay works through.

namespace tess::relay {

// True when the mailto handler's command (HKEY_CLASSES_ROOT "mailto\shell\open\command")
// names outlook.exe, in any case; false when the key or its value is missing.
bool IsOutlookDefaultMailClient();

}  // namespace tess::relay
