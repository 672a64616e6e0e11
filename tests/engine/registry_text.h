#pragma once
// Writes one text value into the registry stand-in, making the key when missing.
#include <gtest/gtest.h>

#include <string>

#include "platform/core/registry.h"

namespace tess::engine::test {

inline void SetText(HKEY root, const std::string& path, const char* name, const std::string& text) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyA(root, path.c_str(), &key), ERROR_SUCCESS);
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const unsigned char*>(text.c_str()), DWORD(text.size() + 1));
    RegCloseKey(key);
}

}  // namespace tess::engine::test
