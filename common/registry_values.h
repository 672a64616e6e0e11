// The values of one registry key as the product's reports print them.
#pragma once

#include <string>
#include <vector>

#include "platform/core/registry.h"

namespace tess {

struct KeyValue {
    std::string name;
    DWORD type = REG_NONE;  // REG_DWORD only when the data is four bytes; REG_NONE otherwise
    DWORD number = 0;       // REG_DWORD values
    std::string text;       // REG_SZ and REG_EXPAND_SZ values, as stored
};

// Every value of the key in the registry's enumeration order, names and data of at most
// 128 bytes; empty when the key is absent.
std::vector<KeyValue> ReadKeyValues(HKEY root, const std::string& path);

}  // namespace tess
