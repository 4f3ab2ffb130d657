#pragma once

#include "common/controls/Control.h"
#include "common/platform/SecretStore.h"

#include <functional>
#include <vector>

namespace harbel {

// What a dialog with a password field shows of the keyring, and how it keeps its passwords without
// holding up the window. Form_Load asks whether a keyring answers: meanwhile the label says
// "Checking the keyring..."; when none does, the notice that the password will be asked for at
// each use and the box that keeps it in the private file instead, else nothing. keep() hands the
// dialog's passwords to the keyring and goes on with the dialog's own saving when the keyring has
// answered; meanwhile the label says so. The dialog disables its OK button while pending().
class KeyringNotice final {
public:
    using Passwords = SecretStore::Passwords;

    explicit KeyringNotice(Form& form);

    // Starts the check and shows the box as the user last chose.
    void Form_Load();
    // Takes the box's choice (keep() does it first).
    void apply() const;
    // Keeps the passwords, then calls then, on the event loop: the dialog writes its files then,
    // and the store's keep() answers them at once with what was kept. Waits for a check under way.
    void keep(const Passwords& passwords, std::function<void()> then);

    // The check or a keep() has not answered yet.
    bool pending() const { return checking_ || saving_ > 0; }
    // Called whenever pending() changes.
    std::function<void()> pendingChanged;

    Label lblKeyring;
    CheckBox chkSaveInFile;

private:
    void show();
    void setBusy(bool checking, int saving);

    Form& form_;
    bool checking_ = false;
    int saving_ = 0;
    bool available_ = true;
    int checks_ = 0;
    // keep() calls made while the check runs.
    std::vector<std::function<void()>> afterCheck_;
};

}  // namespace harbel
