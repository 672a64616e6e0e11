#pragma once
// String catalogues of the language libraries (lang/<LIBRARY>.lang, copied to
// <module dir>/lang/). The file is UTF-8 text, one string a line:
//
//   # comment
//   4022<TAB>Tessaline
//   4173<TAB>- first line\n\tsecond line
//
// The id is decimal (0 to 65535); the text runs to the end of the line, with the escapes
// \n (line feed), \r, \t and \\. Blank lines and lines starting with '#' are skipped. Texts
// are handed out in Windows-1252, the 8-bit set the modules speak; a text that has no
// Windows-1252 form, an unknown escape, a bad id or a repeated id is an error.
#include <map>
#include <string>

#include "platform/export.h"

namespace platform::syncmgr {

struct Catalogue {
    std::map<unsigned, std::string> strings;  // id -> Windows-1252 text
};

// Parses a catalogue; on failure returns false with "line N: reason" in *error.
TESS_EXPORT bool parseCatalogue(const std::string& content, Catalogue* out, std::string* error);

}  // namespace platform::syncmgr
