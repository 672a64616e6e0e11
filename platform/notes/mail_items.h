#pragma once
// Mail items as the mail calls, the router and the set-up tools store them.
#include <string>
#include <vector>

#include "platform/notes/note_store.h"

namespace platform::notes {

// The item name of a mail header item number ("SendTo", "Subject", ...).
std::string mailItemName(WORD item);
// A file object item value: WORD name length, the name, the file's bytes.
std::string fileObject(const std::string& name, const std::string& data);
bool readFileObject(const std::string& value, std::string& name, std::string& data);
std::vector<const Item*> attachments(const NoteData& note);

}  // namespace platform::notes
