#pragma once
// The workers of the engine's configuration exports, and the host connection's reader of
// the account wizard's selection file.
#include <string>

#include "engine/user_selection.h"

namespace tess::engine {

class CSyncSession;

// Opens the configuration window for the user after making sure the user's settings exist
// at the current data version: 0 the window ran; 1 otherwise.
int ConfigureUser(CSyncSession& session, int userId);

// Writes the wizard's selection file ("LKHELP.dat" in the sync manager's directory) and
// records the relay's mail system: 1 written, 0 not.
int SaveUserSelection(int mailSystem, const char* text1, const char* text2, const char* text3, int number);

// Reads the selection file once (ParseUserSelection): a file found sound is deleted; a
// damaged one is left as it is. kNone also when there is no file.
SelectionRead ReadUserSelectionFile(UserSelection* out, std::string* problem);
inline bool ReadUserSelection(UserSelection* out) {
    return ReadUserSelectionFile(out, nullptr) == SelectionRead::kFound;
}
// The selection file's path (empty when the sync manager's directory is unknown).
std::string UserSelectionPath();

// The desktop's mail profiles for the wizard, read by count first, then by 1-based index.
int ProfileCount(int* count);
int ProfileAt(int index, char* buffer, int size);

// Registers the office-document translator with the translator manager: 0, else 1.
int RegisterDocumentTranslator();

}  // namespace tess::engine
