#pragma once

#include <QString>

#include <functional>

namespace harbel {

// The passphrases of private keys, shared by both programs. One is never written anywhere unless
// the user chooses to save it and a keyring runs: the keyring entry is named by the key file's
// absolute path, so that a passphrase saved from one program serves the other and its command line.
// A passphrase given in a window is remembered until the program ends.
class SshPassphrases final {
public:
    // The keyring entry of the key at keyFile.
    static QString entry(const QString& keyFile);
    // Remembered in this run, else saved in the keyring; empty when neither. A caller on another
    // thread than the application's waits for the keyring's answer, which the main thread's event
    // loop takes without waiting; the main thread itself (the command lines) waits for it.
    static QString saved(const QString& keyFile);
    static void remember(const QString& keyFile, const QString& passphrase);
    // Saves it in the keyring and waits for the answer; false when no keyring took it (then it is
    // written nowhere). For the command lines and tests: a window asks with ask().
    static bool save(const QString& keyFile, const QString& passphrase);
    // The window's question for the passphrase of the key at keyFile, on the main thread: a password
    // box, asked again (three times at most) while the answer does not open the key, then, where a
    // keyring runs, whether to save it there (saved without waiting; a refusal is told). A right
    // answer is remembered for the run; dismissed, or stillWanted() false meanwhile: empty.
    static QString ask(const QString& keyFile, const QString& title, const std::function<bool()>& stillWanted);
    // Whether passphrase opens the private key at keyFile.
    static bool opens(const QString& keyFile, const QString& passphrase);
};

}  // namespace harbel
