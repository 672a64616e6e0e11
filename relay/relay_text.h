#pragma once
// The relay's texts: ids of its language library's catalogue, loaded through the language
// scope current on this thread, and printf-style formatting of them.
#include <ctime>
#include <string>

namespace tess::relay {

std::string Text(unsigned id);
// The text of id formatted with the given 8-bit texts as its %s arguments.
std::string Format(unsigned id, const std::string& a = {}, const std::string& b = {}, const std::string& c = {},
                   const std::string& d = {}, const std::string& e = {}, const std::string& f = {},
                   const std::string& g = {});

// The caption of every message box (57449).
std::string Caption();
// Shows a message box through the UI service: the text of id, the caption, OK.
int Box(const std::string& text, unsigned type = 0);

// asctime text of a time (no line feed); empty when the conversion fails.
std::string AscTime(const std::tm* tm);

}  // namespace tess::relay
