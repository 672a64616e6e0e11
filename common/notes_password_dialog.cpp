#include "common/notes_password_dialog.h"

#include "common/language_module.h"
#include "common/module_help.h"
#include "common/notes_client.h"
#include "platform/core/runtime.h"
#include "platform/ui/form_dialogs.h"

namespace tess {

CNotesPasswordDlg::CNotesPasswordDlg(std::string idFile, void* parent)
    : idFile_(std::move(idFile)), windowsDirectory_(platform::windowsDir().string().substr(0, 260)), parent_(parent) {}

int CNotesPasswordDlg::DoModal() {
    platform::ui::CredentialsForm form;
    form.caption = LoadLangString(4244);
    form.idLabel = {LoadLangString(4245), 1068};
    form.passwordLabel = {LoadLangString(4246), 1069};
    form.ok = {LoadLangString(4247), IDOK};
    form.cancel = {LoadLangString(4130), IDCANCEL};
    form.help = {LoadLangString(4133), 3};
    form.idEdit = 1070;
    form.passwordEdit = 1071;
    form.idFile = idFile_;
    form.password = password_;
    form.onHelp = [] { tess::ShowModuleHelp(LoadLangString(4244)); };
    const int end = platform::ui::currentFormDialogs().credentials(form);
    if (end != IDOK) return end;  // Cancel leaves the Notes client alone
    idFile_ = form.idFile;
    password_ = form.password;
    // Validate: a client of its own logs on with the pair; the dialog ends with OK either way.
    CNotesClient client;
    const NotesLogonInfo info{windowsDirectory_, idFile_, password_};
    if (client.Initialize(&info) == 0 && (client.flags() & CNotesClient::kUserKnown)) validated_ = 1;
    return IDOK;
}

}  // namespace tess
