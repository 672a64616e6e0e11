#pragma once
// A read-only listing of a handheld: card, databases with their records, application
// preferences and the handheld application's answers, every byte in hex.
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>

namespace platform::syncmgr {
class HandheldStore;
}

namespace tallyhop {

// "asc3" for printable codes, else 0x61736333.
std::string fourcc(uint32_t code);
// Hex dump, 16 bytes a line: offset, bytes, printable ASCII; each line starts with indent.
void hexDump(std::ostream& out, const uint8_t* data, size_t size, const std::string& indent);

void listHandheld(platform::syncmgr::HandheldStore& store, std::ostream& out);

}  // namespace tallyhop
