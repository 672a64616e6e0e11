// The process's one binding of HXAES, shared by every account.
#include <gtest/gtest.h>

#include <string>

#include "accounts/aes_binding.h"
#include "tests/support/test_home.h"

namespace tess::accounts::test {
namespace {

std::vector<uint8_t> bytes(const std::string& s) { return {s.begin(), s.end()}; }

TEST(AesBinding, SharedUntilTheLastHolderLetsGo) {
    auto first = AesBinding::Acquire();
    ASSERT_TRUE(first->available()) << "libHXAES in " << tess::test::libDir();
    auto second = AesBinding::Acquire();
    EXPECT_EQ(first.get(), second.get());
    EXPECT_EQ(AesBinding::References(), 2);

    const auto sealed = first->Encrypt(bytes("pass word"), "device-key");
    ASSERT_TRUE(sealed);
    first.reset();  // one account ends; the other still seals and opens
    EXPECT_EQ(AesBinding::References(), 1);
    const auto opened = second->Decrypt(*sealed, "device-key");
    ASSERT_TRUE(opened);
    EXPECT_EQ(std::string(opened->begin(), opened->end()), "pass word");
    EXPECT_FALSE(second->Decrypt(*sealed, "other-key")) << "a wrong key fails instead of giving garbage";
    EXPECT_FALSE(second->Encrypt(bytes("x"), ""));
    EXPECT_FALSE(second->Encrypt({}, "k"));
    second.reset();
    EXPECT_EQ(AesBinding::References(), 0);

    // Bound again after every holder went.
    auto again = AesBinding::Acquire();
    ASSERT_TRUE(again->available());
    EXPECT_TRUE(again->Encrypt(bytes("abc"), "k"));
}

TEST(AesBinding, MissingLibraryLeavesSealingUnavailable) {
    const char* saved = getenv("TESSALINE_LIBDIR");
    const std::string keep = saved ? saved : "";
    setenv("TESSALINE_LIBDIR", "/nonexistent", 1);
    auto binding = AesBinding::Acquire();
    EXPECT_FALSE(binding->available());
    EXPECT_FALSE(binding->Encrypt(bytes("abc"), "k"));
    binding.reset();
    if (saved) setenv("TESSALINE_LIBDIR", keep.c_str(), 1);
}

}  // namespace
}  // namespace tess::accounts::test
