#include "common/controls/KeyringNotice.h"

#include "common/platform/SecretStore.h"

namespace harbel {

KeyringNotice::KeyringNotice(Form& form)
    : lblKeyring(form, QStringLiteral("lblKeyring"), false), chkSaveInFile(form, QStringLiteral("chkSaveInFile"))
{
    lblKeyring.setCaption(QStringLiteral("No keyring is available: the password will be asked for at each use"));
    chkSaveInFile.setCaption(QStringLiteral("Save it in a file that only you can read"));
    lblKeyring.setVisible(false);
    chkSaveInFile.setVisible(false);
}

void KeyringNotice::Form_Load()
{
    const bool none = !SecretStore::instance().keyringAvailable();
    lblKeyring.setVisible(none);
    chkSaveInFile.setVisible(none);
    chkSaveInFile.setValue(SecretStore::fileAllowed() ? 1 : 0);
}

void KeyringNotice::apply() const
{
    if (chkSaveInFile.Visible())
        SecretStore::setFileAllowed(chkSaveInFile.Value() == 1);
}

}  // namespace harbel
