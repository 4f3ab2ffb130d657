#include "common/controls/KeyringNotice.h"

#include "common/controls/Form.h"
#include "common/platform/SecretStore.h"

#include <memory>
#include <utility>

namespace harbel {

namespace {

const QString kNoKeyring = QStringLiteral("No keyring is available: the password will be asked for at each use");
const QString kChecking = QStringLiteral("Checking the keyring...");
const QString kSaving = QStringLiteral("Saving the password in the keyring...");
const QString kReading = QStringLiteral("Reading the keyring...");

}  // namespace

KeyringNotice::KeyringNotice(Form& form)
    : lblKeyring(form, QStringLiteral("lblKeyring"), false), chkSaveInFile(form, QStringLiteral("chkSaveInFile")),
      form_(form)
{
    lblKeyring.setCaption(kNoKeyring);
    chkSaveInFile.setCaption(QStringLiteral("Save it in a file that only you can read"));
    lblKeyring.setVisible(false);
    chkSaveInFile.setVisible(false);
}

void KeyringNotice::Form_Load()
{
    chkSaveInFile.setValue(SecretStore::fileAllowed() ? 1 : 0);
    const int check = ++checks_;
    setBusy(true, saving_);
    SecretStore::instance().probe(&form_, [this, check](bool available) {
        // A later load asked again: its answer counts.
        if (check != checks_)
            return;
        available_ = available;
        setBusy(false, saving_);
        goOn();
    });
}

void KeyringNotice::apply() const
{
    if (chkSaveInFile.Visible())
        SecretStore::setFileAllowed(chkSaveInFile.Value() == 1);
}

void KeyringNotice::keep(const Passwords& passwords, std::function<void()> then)
{
    if (loading()) {
        afterCheck_.push_back([this, passwords, then] { keep(passwords, then); });
        return;
    }
    apply();
    if (passwords.isEmpty()) {
        then();
        return;
    }
    setBusy(false, saving_ + 1);
    // The dialog goes on outside the keyring's own answer, so that what it does may ask the
    // keyring again; at once where every answer came before the calls returned.
    auto left = std::make_shared<qsizetype>(passwords.size());
    auto starting = std::make_shared<bool>(true);
    const auto finish = [this, then] {
        setBusy(checking_, saving_ - 1);
        then();
    };
    for (const auto& [entry, password] : passwords)
        SecretStore::instance().keepLater(entry, password, &form_, [this, left, starting, finish](SecretStore::Kept) {
            if (--*left > 0)
                return;
            if (*starting)
                finish();
            else
                QMetaObject::invokeMethod(&form_, finish, Qt::QueuedConnection);
        });
    *starting = false;
}

void KeyringNotice::read(TextBox& field, const QString& entry, const QString& settingsValue, std::function<void(const QString&)> filled)
{
    const int ticket = ++readTickets_;
    const bool enabled = reads_.contains(&field) ? true : field.Enabled();
    reads_.insert(&field, ticket);
    SecretStore::instance().findLater(entry, settingsValue, &form_, [this, &field, ticket, enabled, filled](const QString& secret) {
        // A later read of the box answers for it.
        if (reads_.value(&field) != ticket)
            return;
        field.setPlaceholderText(QString());
        field.setEnabled(enabled);
        field.setText(secret);
        reads_.remove(&field);
        if (filled)
            filled(secret);
        // The dialog's buttons may wait on this box itself.
        if (pendingChanged)
            pendingChanged();
        goOn();
    });
    if (reads_.value(&field) != ticket)
        return;
    field.setText(QString());
    field.setEnabled(false);
    field.setPlaceholderText(kReading);
    if (pendingChanged)
        pendingChanged();
}

void KeyringNotice::stopReading(TextBox& field)
{
    if (!reads_.contains(&field))
        return;
    field.setPlaceholderText(QString());
    field.setEnabled(true);
    reads_.remove(&field);
    if (pendingChanged)
        pendingChanged();
    goOn();
}

void KeyringNotice::hold()
{
    const bool was = pending();
    ++holds_;
    pendingMayHaveChanged(was);
}

void KeyringNotice::release()
{
    const bool was = pending();
    holds_ = qMax(0, holds_ - 1);
    pendingMayHaveChanged(was);
    goOn();
}

void KeyringNotice::goOn()
{
    if (loading())
        return;
    for (auto waiting = std::exchange(afterCheck_, {}); auto& run : waiting)
        run();
}

void KeyringNotice::setBusy(bool checking, int saving)
{
    const bool was = pending();
    checking_ = checking;
    saving_ = saving;
    show();
    pendingMayHaveChanged(was);
}

void KeyringNotice::pendingMayHaveChanged(bool was)
{
    if (was != pending() && pendingChanged)
        pendingChanged();
}

void KeyringNotice::show()
{
    const bool none = !checking_ && !available_;
    lblKeyring.setCaption(checking_ ? kChecking : saving_ > 0 && available_ ? kSaving : kNoKeyring);
    lblKeyring.setVisible(checking_ || none || saving_ > 0);
    chkSaveInFile.setVisible(none);
}

}  // namespace harbel
