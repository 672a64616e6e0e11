#pragma once
// The handheld's mail databases: one kind per database, its name and type, and opening
// it through the sync manager. The engine and the data manager both keep their open
// database over this.
#include <cstdint>
#include <string>

#include "platform/syncmgr/syncmgr.h"

enum HandheldDbKind : int {
    kDbMessages = 0,
    kDbActions = 1,  // actions taken on the handheld while disconnected
    kDbAttachments = 2,
    kDbParts = 3,     // message parts beyond the first record
    kDbSecurity = 4,  // security keys and settings ("Larkspur SData")
    kDbIdCache = 5,   // one per account slot
    kDbOldPro2 = 6,   // messages of the two older handheld applications
    kDbOldPro3 = 7,
};

// The database's name, the id cache's with its account slot; empty for an unknown kind.
std::string HandheldDbName(int kind, int slot = 0);
// The type a database of the kind is created with.
uint32_t HandheldDbType(int kind, int slot = 0);

// Opens the database of the kind for reading and writing. The security database is
// created (mail creator, createVersion) when it cannot be opened; *createTried tells that
// a creation was tried. The sync manager's code of the open, or of the creation.
int OpenHandheldDb(int kind, int slot, uint16_t createVersion, SyncDbHandle& handle, bool* createTried = nullptr);
