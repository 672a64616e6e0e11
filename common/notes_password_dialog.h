#pragma once
// The Notes ID and password dialog: asks for an ID file and its password and checks the
// pair by logging on to the local Notes client before it closes.
#include <string>

namespace tess {

class CNotesPasswordDlg {
public:
    CNotesPasswordDlg(std::string idFile, void* parent);

    // Runs the dialog modally (through the form dialogs of the UI layer); returns its end
    // code. On Validate (IDOK) the pair is checked; validated() tells the outcome.
    int DoModal();

    bool validated() const { return validated_ != 0; }
    const std::string& idFile() const { return idFile_; }
    const std::string& password() const { return password_; }

private:
    std::string password_;
    std::string idFile_;
    int validated_ = 0;
    std::string windowsDirectory_;
    void* parent_;
};

}  // namespace tess
