#include "common/notes_client.h"

#include <strings.h>

#include <cstring>
#include <filesystem>
#include <system_error>

#include "common/language_module.h"
#include "common/notes_password_dialog.h"
#include "platform/core/registry.h"
#include "platform/core/runtime.h"
#include "platform/ui/form_dialogs.h"

namespace tess {

using platform::mfc::CString;

namespace {

bool containsNoCase(const std::string& text, const char* part) { return strcasestr(text.c_str(), part) != nullptr; }

std::string joinPath(const std::string& dir, const std::string& name) {
    if (dir.empty() || dir.back() == '/') return dir + name;
    return dir + "/" + name;
}

}  // namespace

CNotesClient::CNotesClient() {
    struct Key {
        const char* path;
        int version;
    };
    for (const Key& key : {Key{"SOFTWARE\\Lotus\\Notes\\6.0", kNotes6}, Key{"SOFTWARE\\Lotus\\Notes\\5.0", kNotes5}}) {
        HKEY h = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.path, 0, KEY_READ, &h) != ERROR_SUCCESS) continue;
        version_ = key.version;
        char path[261] = {};
        DWORD size = 260;
        if (RegQueryValueExA(h, "Path", nullptr, nullptr, reinterpret_cast<unsigned char*>(path), &size) ==
                ERROR_SUCCESS &&
            path[0]) {
            programDir_ = path;
            flags_ |= kFound;
        } else {
            version_ = kNoPath;
        }
        RegCloseKey(h);
        break;
    }
    if (version_ == 0) version_ = kNotInstalled;
    if (version_ == kNotes6)
        installIni_ = joinPath(programDir_, "notes.ini");
    else if (version_ == kNotes5)
        installIni_ = (platform::windowsSystemDir() / "notes.ini").string();
}

CNotesClient::~CNotesClient() {
    if (library_) {
        if ((flags_ & kInitialised) && notesTerm_) notesTerm_();
        FreeLibrary(library_);
    }
    if (pathChanged_) path_.Restore();
    RemoveWorkingCopy();
}

int CNotesClient::LoadLibrary() {
    if (!(flags_ & kFound)) return 1;
    if (library_) return 0;
    if (path_.Extend(programDir_)) pathChanged_ = true;
    library_ = LoadLibraryA(joinPath(programDir_, "nnotes.dll").c_str());
    if (!library_) return 2;
    auto bind = [&](auto& slot, const char* name) {
        slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(GetProcAddress(library_, name));
        return slot != nullptr;
    };
    if (!bind(notesInitIni_, "NotesInitIni") || !bind(notesTerm_, "NotesTerm") ||
        !bind(switchToIdFile_, "SECKFMSwitchToIDFile") || !bind(getUserName_, "SECKFMGetUserName") ||
        !bind(getEnvironmentString_, "OSGetEnvironmentString") || !bind(dnParse_, "DNParse")) {
        FreeLibrary(library_);
        library_ = nullptr;
        return 2;
    }
    flags_ |= kLibrary;
    return 0;
}

// The working notes.ini: notes.ini in the given directory (or the given path when it
// names notes.ini), copied over from the installation's.
bool CNotesClient::CopyIni(const NotesLogonInfo& info) {
    std::string target = info.notesDirectory;
    for (auto& c : target)
        if (c == '\\') c = '/';
    if (!containsNoCase(target, "notes.ini")) target = joinPath(target, "notes.ini");
    std::error_code ec;
    std::filesystem::copy_file(installIni_, target, std::filesystem::copy_options::overwrite_existing, ec);
    if (ec) return false;
    workingIni_ = target;
    return true;
}

void CNotesClient::RemoveWorkingCopy() {
    if (!workingIni_.empty() && strcasecmp(workingIni_.c_str(), installIni_.c_str()) != 0) {
        std::error_code ec;
        std::filesystem::remove(workingIni_, ec);
    }
    workingIni_.clear();
}

std::string CNotesClient::EnvironmentString(const char* name) {
    char value[256] = {};
    if (!getEnvironmentString_ || !getEnvironmentString_(name, value, sizeof value)) return {};
    return value;
}

int CNotesClient::Initialize(const NotesLogonInfo* info) {
    if (flags_ & kInitialised) return 0;
    if (!(flags_ & kFound) || installIni_.empty()) return 1;
    if (info && (info->notesDirectory.empty() || info->idFile.empty() || info->password.empty())) return 6;
    if (int rc = LoadLibrary(); rc != 0) return rc;
    if (info) {
        if (!CopyIni(*info)) return 4;
    } else {
        workingIni_ = installIni_;
    }
    if (notesInitIni_(workingIni_.c_str()) != NOERROR) return 3;
    flags_ |= kInitialised;
    dataDir_ = EnvironmentString("Directory");
    mailServer_ = EnvironmentString("MailServer");
    if (!mailServer_.empty()) flags_ |= kMailServerKnown;
    if (!info) {
        const std::string key = EnvironmentString("KeyFilename");
        if (key.size() > 3) {
            const bool hasDirectory = key.find('/') != std::string::npos || key.find('\\') != std::string::npos;
            idFile_ = hasDirectory ? key : joinPath(dataDir_, key);
        }
        char name[256] = {};
        if (getUserName_(name) == NOERROR && name[0]) {
            fullUserName_ = name;
            CString common;
            if (GetCommonName(name, &common)) userName_ = common.GetString();
        }
        flags_ &= ~kUserKnown;
        return 0;
    }
    char name[256] = {};
    if (switchToIdFile_(info->idFile.c_str(), info->password.c_str(), name, sizeof name, 0, nullptr) != NOERROR)
        return 0;  // started, but without a user
    if (!name[0]) return 5;
    fullUserName_ = name;
    CString common;
    userName_ = GetCommonName(name, &common) ? common.GetString() : name;
    idFile_ = info->idFile;
    password_ = info->password;
    flags_ |= kUserKnown;
    return 0;
}

int CNotesClient::SwitchIdFile(const NotesLogonInfo& info) {
    userName_.clear();
    fullUserName_.clear();
    idFile_.clear();
    password_.clear();
    flags_ &= ~kUserKnown;
    if (info.notesDirectory.empty() || info.idFile.empty() || info.password.empty()) return 6;
    if (!(flags_ & kFound)) return 1;
    if (!(flags_ & kInitialised)) return 3;
    if (!library_) return 2;
    RemoveWorkingCopy();
    if (!CopyIni(info)) return 4;
    notesTerm_();
    flags_ &= ~kInitialised;
    if (notesInitIni_(workingIni_.c_str()) != NOERROR) return 3;
    flags_ |= kInitialised;
    char name[256] = {};
    if (switchToIdFile_(info.idFile.c_str(), info.password.c_str(), name, sizeof name, 0, nullptr) != NOERROR ||
        !name[0])
        return 7;
    fullUserName_ = name;
    CString common;
    userName_ = GetCommonName(name, &common) ? common.GetString() : name;
    idFile_ = info.idFile;
    password_ = info.password;
    flags_ |= kUserKnown;
    return 0;
}

int CNotesClient::GetCommonName(const char* distinguishedName, CString* out) {
    if (!dnParse_ || !distinguishedName || !out) return 0;
    DN_COMPONENTS parts{};
    if (dnParse_(0, nullptr, distinguishedName, &parts, sizeof parts) != NOERROR || !parts.CN) return 0;
    *out = CString(std::string(parts.CN, parts.CNLength));
    return 1;
}

int CNotesClient::BrowseForIdFile(void* parent, CString* idPath, CString* password, int* dialogResult) {
    if (dialogResult) *dialogResult = 0;
    if (!(flags_ & kInitialised)) return 0;
    platform::ui::OpenFileRequest request;
    request.title = LoadLangString(4374);
    request.filter = LoadLangString(4373);
    request.startDirectory = dataDir_.empty() ? "/" : dataDir_;
    request.mustExist = true;
    std::string chosen;
    if (platform::ui::currentFormDialogs().openFile(request, chosen) != IDOK) {
        if (dialogResult) *dialogResult = IDCANCEL;
        return 0;
    }
    CNotesPasswordDlg dialog(chosen, parent);
    const int end = dialog.DoModal();
    if (dialogResult) *dialogResult = end;
    if (end != IDOK) return 0;
    if (!dialog.validated()) return 7;
    if (idPath) *idPath = CString(dialog.idFile());
    if (password) *password = CString(dialog.password());
    return 1;
}

}  // namespace tess
