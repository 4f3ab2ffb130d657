#pragma once

#include "common/controls/Control.h"
#include "common/platform/SecretStore.h"

#include <QHash>

#include <functional>
#include <vector>

namespace harbel {

// What a dialog with a password field shows of the keyring, and how it keeps its passwords without
// holding up the window. Form_Load asks whether a keyring answers: meanwhile the label says
// "Checking the keyring..."; when none does, the notice that the password will be asked for at
// each use and the box that keeps it in the private file instead, else nothing. keep() hands the
// dialog's passwords to the keyring and goes on with the dialog's own saving when the keyring has
// answered; meanwhile the label says so. read() fills a password box the same way: the dialog opens
// at once and the box says "Reading the keyring..." until the answer comes. The dialog disables its
// OK button while pending().
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

    // Fills field with the password that settingsValue stands for (SecretStore::findLater()). Until
    // the keyring answers, the box is empty, disabled and says "Reading the keyring..."; then it
    // is enabled as it was, and filled gets the password (empty when the keyring could not give
    // it) to show it and enable the box as the dialog wants. At once when no keyring is asked. A
    // later read() of the same box wins over one still under way.
    void read(TextBox& field, const QString& entry, const QString& settingsValue, std::function<void(const QString&)> filled);
    // A read() of field has not answered yet: the dialog keeps the box disabled.
    bool reading(const Control& field) const { return reads_.contains(&field); }
    // The dialog put its own text in the box: a read of it under way is dropped, the box enabled.
    void stopReading(TextBox& field);

    // Something else the dialog shows comes from the keyring: pending() until release().
    void hold();
    void release();

    // The check, a keep(), a read() or a hold() has not answered yet.
    bool pending() const { return checking_ || saving_ > 0 || !reads_.isEmpty() || holds_ > 0; }
    // Called whenever pending() changes.
    std::function<void()> pendingChanged;

    Label lblKeyring;
    CheckBox chkSaveInFile;

private:
    void show();
    void setBusy(bool checking, int saving);
    void pendingMayHaveChanged(bool was);
    bool loading() const { return checking_ || !reads_.isEmpty() || holds_ > 0; }
    // Runs the keep() calls that waited, once nothing is loading.
    void goOn();

    Form& form_;
    bool checking_ = false;
    int saving_ = 0;
    bool available_ = true;
    int checks_ = 0;
    // The boxes being read, each with its latest read.
    QHash<const Control*, int> reads_;
    int readTickets_ = 0;
    int holds_ = 0;
    // keep() calls made while the check, a read or a hold runs.
    std::vector<std::function<void()>> afterCheck_;
};

}  // namespace harbel
