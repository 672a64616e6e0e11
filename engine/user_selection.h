#pragma once
// The account wizard's selection file as the engine writes it: one line of four fields
// separated by the byte 0x01: a profile name, the password in its stored form, a third
// text and a number.
#include <cstddef>
#include <string>

namespace tess::engine {

struct UserSelection {
    std::string account;
    std::string password;  // in clear
    std::string third;
    int number = 25;
};

enum class SelectionRead { kNone, kFound, kDamaged };

// Larger than any selection file written for texts an account can hold.
inline constexpr size_t kSelectionMaxSize = 4096;

// kFound when the first field is not empty, kNone when it is. kDamaged, with the reason
// in *problem, for a text the wizard's writer does not make: fields missing or too many,
// a password not in its stored form, control bytes, a name too long for the account, a
// last field that is no number, or more than kSelectionMaxSize bytes. The fourth value is
// always taken as 25.
SelectionRead ParseUserSelection(const std::string& text, UserSelection* out, std::string* problem);

}  // namespace tess::engine
