#pragma once
// Finding the desktop's Notes client, loading its library, starting it with a notes.ini
// and switching it to an ID file: shared by the engine's configuration exports and the
// Notes message host. Paths that the desktop joins with '\' are joined with '/'; the
// Windows directory is platform::windowsDir(). PATH is the process's own, split at ':'.
#include <string>
#include <vector>

#include "common/address_list.h"
#include "platform/core/module.h"
#include "platform/mfc/cstring.h"
#include "platform/notes/nnotes.h"

namespace tess {

using platform::mfc::CString;

// Where the working notes.ini goes (a directory, or a path naming notes.ini), the ID
// file and its password.
struct NotesLogonInfo {
    std::string notesDirectory;
    std::string idFile;
    std::string password;
};

class CNotesClient {
public:
    enum : int { kNotes6 = 60, kNotes5 = 50, kNotInstalled = 0xFFFE, kNoPath = 0xFFFF };
    enum : unsigned { kFound = 1, kLibrary = 2, kInitialised = 4, kUserKnown = 8, kMailServerKnown = 0x10 };

    // Clears everything and locates Notes through the registry.
    CNotesClient();
    virtual ~CNotesClient();
    CNotesClient(const CNotesClient&) = delete;
    CNotesClient& operator=(const CNotesClient&) = delete;

    // 0 initialised (or already); 1 Notes not found or no notes.ini location; 2 the
    // library or one of its entry points is missing; 3 NotesInitIni failed; 4 the
    // notes.ini copy could not be made; 5 the ID file gives an empty user name; 6 a text of
    // info is empty.
    int Initialize(const NotesLogonInfo* info);
    // 0 switched; 6 a text is empty; 1 Notes not found; 3 not initialised or the new
    // NotesInitIni failed; 2 library not loaded; 4 copy failed; 7 the ID file and password
    // were refused or give no user name.
    int SwitchIdFile(const NotesLogonInfo& info);
    // The common-name part of a distinguished name; 0 on failure.
    int GetCommonName(const char* distinguishedName, CString* out);
    // An open-file dialog for the ID file, then the ID and password dialog. 1 when an ID
    // and password were accepted; 7 when the dialog's pair was refused; 0 otherwise
    // (dialogResult 2 when the file dialog was cancelled, else the dialog's end code).
    int BrowseForIdFile(void* parent, CString* idPath, CString* password, int* dialogResult);

    int version() const { return version_; }
    unsigned flags() const { return flags_; }
    const std::string& programDirectory() const { return programDir_; }
    const std::string& installIni() const { return installIni_; }
    const std::string& workingIni() const { return workingIni_; }
    const std::string& dataDirectory() const { return dataDir_; }
    const std::string& idFile() const { return idFile_; }
    const std::string& userName() const { return userName_; }
    const std::string& fullUserName() const { return fullUserName_; }
    const std::string& mailServer() const { return mailServer_; }
    const std::string& password() const { return password_; }
    // Whether PATH was changed for the library (restored at destruction).
    bool pathChanged() const { return pathChanged_; }

private:
    int LoadLibrary();
    bool CopyIni(const NotesLogonInfo& info);
    void RemoveWorkingCopy();
    std::string EnvironmentString(const char* name);

    int version_ = 0;
    std::string programDir_, installIni_, dataDir_, idFile_, userName_, fullUserName_, mailServer_, password_;
    std::string workingIni_;
    unsigned flags_ = 0;
    tess::CPathEnvironment path_;
    bool pathChanged_ = false;
    HMODULE library_ = nullptr;
    decltype(&NotesInitIni) notesInitIni_ = nullptr;
    decltype(&NotesTerm) notesTerm_ = nullptr;
    decltype(&SECKFMSwitchToIDFile) switchToIdFile_ = nullptr;
    decltype(&SECKFMGetUserName) getUserName_ = nullptr;
    decltype(&OSGetEnvironmentString) getEnvironmentString_ = nullptr;
    decltype(&DNParse) dnParse_ = nullptr;
};

}  // namespace tess
