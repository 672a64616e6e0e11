#include <gtest/gtest.h>

#include <cstring>

#include "platform/core/module.h"
#include "tests/support/test_home.h"

namespace {

struct Mapping {
    const char* name;
    const char* expected;  // relative: inside the module directory; absolute: as it stands
};

TEST(ModuleNames, MapToSharedLibraries) {
    const Mapping cases[] = {
        {"HXAES.dll", "libHXAES.so"},         {"hxaes.DLL", "libhxaes.so"},
        {"Gatehouse.Dll", "libGatehouse.so"}, {"HXAES", "libHXAES.so"},
        {"libHXAES.so", "libHXAES.so"},       {"/opt/x/Thing.dll", "/opt/x/Thing.dll"},
        {"./libfoo.so", "./libfoo.so"},       {"", ""},
    };
    const std::string dir = tess::test::libDir().string();
    for (const auto& c : cases) {
        std::string expected = c.expected;
        if (!expected.empty() && expected[0] != '/' && expected[0] != '.') expected = dir + "/" + expected;
        EXPECT_EQ(platform::resolveModulePath(c.name), expected) << c.name;
    }
}

TEST(Modules, LoadByDllNameAndFindExports) {
    HMODULE a = LoadLibraryA("TESS_PROBE_A.dll");  // the case of the base name matters on Linux
    EXPECT_EQ(a, nullptr);
    a = LoadLibraryA("tess_probe_a.DLL");
    ASSERT_NE(a, nullptr) << platform::resolveModulePath("tess_probe_a.DLL");
    auto name = reinterpret_cast<int (*)()>(GetProcAddress(a, "probeName"));
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name(), 'a');
    EXPECT_EQ(GetProcAddress(a, "noSuchExport"), nullptr);
    EXPECT_EQ(GetProcAddress(a, nullptr), nullptr);
    EXPECT_EQ(GetProcAddress(nullptr, "probeName"), nullptr);
    EXPECT_NE(FreeLibrary(a), 0);
}

TEST(Modules, SameExportNamesDoNotMeet) {
    HMODULE a = LoadLibraryA("tess_probe_a.dll");
    HMODULE b = LoadLibraryA((tess::test::libDir() / "libtess_probe_b.so").c_str());
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    auto callA = reinterpret_cast<int (*)()>(GetProcAddress(a, "probeCall"));
    auto callB = reinterpret_cast<int (*)()>(GetProcAddress(b, "probeCall"));
    ASSERT_TRUE(callA && callB);
    EXPECT_EQ(callA(), 'a');
    EXPECT_EQ(callB(), 'b');
    FreeLibrary(b);
    FreeLibrary(a);
}

TEST(Modules, MissingOrBadNamesFailCleanly) {
    EXPECT_EQ(LoadLibraryA("NoSuchModule.dll"), nullptr);
    EXPECT_EQ(LoadLibraryA(""), nullptr);
    EXPECT_EQ(LoadLibraryA(nullptr), nullptr);
    EXPECT_EQ(LoadLibraryA("/nonexistent/libx.so"), nullptr);
    EXPECT_EQ(FreeLibrary(nullptr), 0);
}

TEST(GlobalHeap, BlocksAreZeroedWhateverTheFlags) {
    for (unsigned flags : {GPTR, GMEM_FIXED}) {
        for (size_t size : {size_t{1}, size_t{17}, size_t{4096}, size_t{0}}) {
            auto* p = static_cast<unsigned char*>(GlobalAlloc(flags, size));
            ASSERT_NE(p, nullptr);
            for (size_t i = 0; i < size; ++i) ASSERT_EQ(p[i], 0) << "flags " << flags << " size " << size;
            std::memset(p, 0xAB, size);
            EXPECT_EQ(GlobalFree(p), nullptr);
        }
    }
    EXPECT_EQ(GlobalFree(nullptr), nullptr);
}

}  // namespace
