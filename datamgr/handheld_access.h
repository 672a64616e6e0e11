#pragma once
// What the data manager asks the handheld besides its open database (the common
// CHandheldDb, with the data manager's codes): databases by name for one question, the
// mail application's preferences, the card and the facts the store needs about the
// handheld.
#include <cstdint>
#include <string>
#include <vector>

#include "common/handheld_database.h"
#include "datamgr/ledgerly.h"
#include "platform/syncmgr/syncmgr.h"

namespace tess::datamgr {

inline constexpr uint32_t kCreatorMail = 0x61736333;    // 'asc3'
inline constexpr uint32_t kCreatorDevice = 0x61736336;  // 'asc6'

// The store's database answers with the data manager's codes, and a write must leave a
// whole record's room on the card.
inline constexpr HandheldDbOptions kStoreDbOptions{
    .noName = int(LDG_E_INVALID_PARAMETER),
    .notOpen = int(LDG_E_NOT_INITIALIZED),
    .noMemory = int(LDG_E_NO_MEMORY),
    .tooLarge = int(LDG_E_BUFFER_TOO_SMALL),
    .openFailed = int(LDG_E_DB_OPEN),
    .closeFailed = int(LDG_E_DB_CLOSE),
    .readFailed = int(LDG_E_INVALID_PARAMETER),
    .recordNotFound = int(LDG_E_RECORD_NOT_FOUND),
    .writeFailed = int(LDG_E_INVALID_PARAMETER),
    .deleteFailed = int(LDG_E_IO_DELETE),
    .deleteAllFailed = int(LDG_E_IO_EMPTY_DB),
    .keepRecordRoom = true,
    .deviceFull = int(LDG_E_DEVICE_FULL),
};

// Each opens the database by name beside the open one and closes it again; LDG_E_DB_OPEN
// when it cannot be opened or asked.
int HandheldDbVersion(const std::string& name, uint16_t* version);
int HandheldDbCount(const std::string& name, uint32_t* count);
bool HandheldDbExists(const std::string& name);

// What the handheld mail application tells about itself; defaults until it answers.
struct CHandheldAppInfo {
    bool loaded = false;
    int version = 1024;
    int second = 0;
    std::string name32;
    std::string name64;
};
// Asks the handheld; loaded only when it named itself.
CHandheldAppInfo ReadDeviceInfo();

int ReadAppPreference(uint32_t creator, uint16_t id, std::vector<uint8_t>* out);
int WriteAppPreference(uint16_t version, uint32_t creator, uint16_t id, const void* data, uint32_t size);
int CardInformation(SyncCardInfo* out);

}  // namespace tess::datamgr
