#pragma once
// The mail router of the stand-in's server: delivery into a local mail file, and one pass
// over "mail.box".
#include <filesystem>
#include <string>

#include "platform/notes/note_store.h"
#include "platform/notes/notes_admin.h"

namespace platform::notes {

// Stores a copy of the note in the person's mail file as a new document with a delivery
// time, files it in `folder` and marks it unread for the file's owner when asked. Returns
// the new note id. Throws platform::syncmgr::sql::StorageError when the file cannot be written.
NOTEID deliverToMailFile(const std::filesystem::path& dataDir, const Person& person, NoteData note,
                         const std::string& folder, bool unread);

RouteResult routeMailBox(const std::filesystem::path& dataDir);

}  // namespace platform::notes
