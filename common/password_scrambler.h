#pragma once
// The stored form of desktop passwords in the per-user store: 32 groups "#%d", the
// bytes of the (at most 32-character) text mixed with a fixed generator and spread over
// fixed positions. Stored passwords stay readable only with this exact generator.
#include <string>

namespace tess {

std::string ScramblePassword(const std::string& text);
// Empty for an empty text or one that does not begin with "#".
std::string UnscramblePassword(const std::string& stored);

}  // namespace tess
