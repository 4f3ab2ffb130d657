#pragma once

#include "common/controls/Control.h"

namespace harbel {

// What a dialog with a password field shows when no keyring runs: the notice that the password
// will be asked for at each use, and the box that keeps it in the private file instead. Hidden
// while a keyring answers.
class KeyringNotice final {
public:
    explicit KeyringNotice(Form& form);

    // Asks whether a keyring answers and shows the two controls when none does, the box as the
    // user last chose.
    void Form_Load();
    // Takes the box's choice; called before the dialog keeps its password.
    void apply() const;

    Label lblKeyring;
    CheckBox chkSaveInFile;
};

}  // namespace harbel
