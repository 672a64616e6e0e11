#pragma once
// A user's stored settings: creating the defaults, upgrading older data versions, and
// moving the user's section out of the sync manager's old settings file.
namespace tess::engine {

class CSyncSession;

int CreateIniFileSettingsFor(CSyncSession& session, int userId);
int UpgradeUserSettingsFor(CSyncSession& session, int userId, int storedVersion);
void MoveSyncIniSection(int userId);

}  // namespace tess::engine
