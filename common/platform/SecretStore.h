#pragma once

#include <QHash>
#include <QObject>
#include <QString>

#include <functional>

namespace harbel {

// Where both programs keep the passwords they remember: the desktop's keyring (the freedesktop
// Secret Service), one entry per secret named by program, kind and key (`Tessaly profile
// "loopback"`). A settings file keeps marker() in the password's place. Where no keyring runs, a
// password is kept only when the user asked for it (fileAllowed()), in Passwords.ini in the
// application folder: 0600, and obfuscated only, as the settings files kept passwords before.
//
// The keyring answers asynchronously. read() and write() call back on the event loop; the *Now
// forms wait for the answer in a nested event loop, as a connect waits for its password, so the
// windows keep running meanwhile.
class SecretStore final : public QObject {
    Q_OBJECT
public:
    enum class Status {
        Ok,
        NotFound,   // the keyring runs and has no such entry
        NoKeyring,  // no Secret Service answers
        Failed,     // it answered with an error (locked and not unlocked, refused)
    };
    // Where a password went.
    enum class Kept { Keyring, File, NotKept };

    static SecretStore& instance();

    static QString entryName(const QString& program, const QString& kind, const QString& key);
    // What a settings file holds where a kept password was.
    static QString marker();
    static bool isMarker(const QString& value) { return value == marker(); }

    void read(const QString& entry, QObject* context, std::function<void(Status, const QString&)> done);
    void write(const QString& entry, const QString& secret, QObject* context, std::function<void(Status)> done);
    Status readNow(const QString& entry, QString* secret);
    Status writeNow(const QString& entry, const QString& secret);
    Status removeNow(const QString& entry);
    // Whether a Secret Service answers now.
    bool keyringAvailable();

    // The user's choice, for a session without a keyring, to keep passwords in the private file.
    static bool fileAllowed();
    static void setFileAllowed(bool allowed);

    // Keeps secret (in the keyring, else in the private file when allowed) and returns what the
    // settings file should hold: marker(), or empty when it was not kept (an empty secret is
    // removed from both). Waits for the keyring.
    QString keep(const QString& entry, const QString& secret, Kept* where = nullptr);
    // The password a settings value stands for: the value itself unless it is the marker, then
    // the keyring's entry or the private file's. Empty when neither has it. Waits for the keyring.
    QString find(const QString& entry, const QString& settingsValue);
    // Moves a password an older version kept in a settings file (plain or scrambled, given here
    // plain) into the keyring or the private file: true when the caller may now put the marker in
    // its place. A store that fails leaves everything as it was, and says so once a session.
    bool migrate(const QString& entry, const QString& secret);

signals:
    // The first password that could not be moved out of a settings file.
    void migrationFailed(const QString& entry);

public:

    static QString filePath();

private:
    SecretStore() = default;

    // What keep() last did for an entry of an application folder, so that rewriting a settings
    // file with the same passwords asks nothing of the keyring.
    struct Kept_ {
        QString secret;
        QString value;
    };
    QHash<QString, Kept_> kept_;
    bool migrationFailedSaid_ = false;
};

}  // namespace harbel
