#pragma once
// The handheld's disconnected-action record: one thing the user did on the handheld while
// away from the desktop (a message marked, moved or deleted, a folder changed), kept in
// the disconnected-actions database with its account as the record's category. The engine
// carries the actions out on the host; the data manager hands them to sync components.
#include <cstddef>
#include <cstdint>
#include <string>

namespace tess {

struct ActionRecord {
    uint32_t opcode = 0;
    uint32_t uid = 0;
    std::string arg1, arg2;
};

// Opcode and UID (both big-endian), then two NUL-terminated texts; every byte is read
// within the record. False when it is too short for the two numbers. A text cut short
// ends at the record's end; a second text the record has no room for is empty.
bool ParseActionRecord(const uint8_t* data, size_t size, ActionRecord& out);

// The opcodes the handheld writes (0-8, 10, 13, 15, 16): readers leave the others alone.
bool IsHandheldActionOpcode(uint32_t opcode);

}  // namespace tess
