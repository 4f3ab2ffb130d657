#pragma once

#include <QString>

namespace harbel {

// The passphrases of private keys, shared by both programs. One is never written anywhere unless
// the user chooses to save it and a keyring runs: the keyring entry is named by the key file's
// absolute path, so that a passphrase saved from one program serves the other and its command line.
// A passphrase given in a window is remembered until the program ends.
class SshPassphrases final {
public:
    // The keyring entry of the key at keyFile.
    static QString entry(const QString& keyFile);
    // Remembered in this run, else saved in the keyring; empty when neither. The keyring is read on
    // the application's main thread (a caller on another thread waits for it there).
    static QString saved(const QString& keyFile);
    static void remember(const QString& keyFile, const QString& passphrase);
    // Saves it in the keyring; false when no keyring took it (then it is written nowhere).
    static bool save(const QString& keyFile, const QString& passphrase);
    static bool keyringAvailable();
    // Whether passphrase opens the private key at keyFile.
    static bool opens(const QString& keyFile, const QString& passphrase);
};

}  // namespace harbel
