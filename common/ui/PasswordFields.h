#pragma once

class QLineEdit;
class QString;
class QWidget;

namespace harbel {

class KeyringNotice;

namespace ui {

// The password edit hidden as dots, with a "Show" box beside it that shows the text while ticked.
QWidget* passwordWithShowToggle(QLineEdit* edit, QWidget* parent);
// The notice and the "Save it in a file that only you can read" box of a dialog whose keyring is
// missing, bound to the form's controls (hidden while a keyring runs).
QWidget* keyringNoticeView(KeyringNotice& notice, QWidget* parent);
// Tells the user, once, when a password an older version left in a settings file could not be
// moved to the keyring.
void sayWhenPasswordsStay(const QString& title);

}  // namespace ui
}  // namespace harbel
