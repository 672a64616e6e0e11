// LarkspurGetNotesConfiguration: the account wizard's question for a Notes ID file, its
// password and the user's mail server, checked against the desktop's Notes client.
#include <cstring>

#include "common/language_module.h"
#include "common/notes_client.h"
#include "engine/tidewater.h"
#include "platform/core/runtime.h"
#include "platform/ui/ui_service.h"

using platform::mfc::CString;

using tess::CLanguageModule;
using tess::CNotesClient;
using tess::LoadLangString;
using tess::NotesLogonInfo;

namespace {

// Copies the text when the buffer holds it with its NUL.
bool copyText(const std::string& text, char* buffer, int size) {
    if (!buffer || size <= 0 || text.size() >= static_cast<size_t>(size)) return false;
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return true;
}

int GetNotesConfiguration(char* idFile, int idSize, char* mailText, int mailSize, char* password, int passwordSize) {
    CNotesClient client;
    client.Initialize(nullptr);
    constexpr unsigned kInstalled = CNotesClient::kFound | CNotesClient::kLibrary | CNotesClient::kInitialised;
    if ((client.flags() & kInstalled) != kInstalled) return 0;
    CString id, pass;
    for (;;) {
        int dialog = 0;
        const int answer = client.BrowseForIdFile(nullptr, &id, &pass, &dialog);
        if (answer == 1) break;
        if (answer != 7) return 0;
        if (platform::ui::messageBox(LoadLangString(4249), LoadLangString(4248), MB_YESNO | MB_ICONINFORMATION) !=
            IDYES)
            return 0;
    }
    const NotesLogonInfo info{platform::windowsDir().string(), id.GetString(), pass.GetString()};
    if (client.SwitchIdFile(info) != 0) return 0;
    if (!copyText(info.idFile, idFile, idSize) || !copyText(client.mailServer(), mailText, mailSize) ||
        !copyText(info.password, password, passwordSize))
        return 0;
    return 1;
}

}  // namespace

TESS_API int LarkspurGetNotesConfiguration(char* idFile, int idSize, char* mailText, int mailSize, char* password,
                                           int passwordSize) {
    CLanguageModule language("LKSYNCLANG.DLL", nullptr);
    return GetNotesConfiguration(idFile, idSize, mailText, mailSize, password, passwordSize);
}
