#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>

#include <functional>

namespace harbel {

// Where both programs keep the passwords they remember: the desktop's keyring (the freedesktop
// Secret Service), one entry per secret named by program, kind and key (`Tessaly profile
// "loopback"`). A settings file keeps marker() in the password's place. Where no keyring runs, a
// password is kept only when the user asked for it (fileAllowed()), in Passwords.ini in the
// application folder: 0600, and obfuscated only, as the settings files kept passwords before.
//
// The keyring answers asynchronously, and may take as long as the user takes to unlock it.
// read(), write(), probe(), keepLater() and findLater() call back on the event loop (at once, before
// they return, where no session bus can be reached or the answer is at hand): everything the window
// does takes them, so it never waits. The *Now forms, keep(), find(), keyringAvailable() and
// migrate() wait for the answer in a nested event loop that leaves out the user's input: only the
// command lines and the migration at start take them, where nobody waits on the window (keep()
// and find() of a password this run has kept or read answer at once, without the loop). A password
// that is not kept is marked askedMarker() in its settings file: the window asks for it at its
// first use and remembers the answer until the program ends.
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
    // Entries and their passwords; an empty password takes its entry out.
    using Passwords = QList<QPair<QString, QString>>;

    static SecretStore& instance();

    static QString entryName(const QString& program, const QString& kind, const QString& key);
    // What a settings file holds where a kept password was.
    static QString marker();
    static bool isMarker(const QString& value) { return value == marker(); }
    // What a settings file holds where a password was typed but not kept (no keyring, and the
    // private file not chosen): it is asked for at its first use in a run.
    static QString askedMarker();
    static bool isAskedMarker(const QString& value) { return value == askedMarker(); }

    void read(const QString& entry, QObject* context, std::function<void(Status, const QString&)> done);
    void write(const QString& entry, const QString& secret, QObject* context, std::function<void(Status)> done);
    Status readNow(const QString& entry, QString* secret);
    Status writeNow(const QString& entry, const QString& secret);
    Status removeNow(const QString& entry);
    // Whether a Secret Service answers now.
    bool keyringAvailable();
    // The same question, answered on the event loop.
    void probe(QObject* context, std::function<void(bool available)> done);

    // The user's choice, for a session without a keyring, to keep passwords in the private file.
    static bool fileAllowed();
    static void setFileAllowed(bool allowed);

    // Keeps secret (in the keyring, else in the private file when allowed) and returns what the
    // settings file should hold: marker(), or empty when it was not kept (an empty secret is
    // removed from both). Waits for the keyring.
    QString keep(const QString& entry, const QString& secret, Kept* where = nullptr);
    // keep(), but a password typed and not kept leaves askedMarker() in the settings file.
    QString keepOrAsk(const QString& entry, const QString& secret);
    // keep() without waiting: the keyring's answer calls done on the event loop, and keep() and
    // keepOrAsk() of the same entry and secret then answer at once with what was kept. A password
    // this run has kept or read already is not written again: done is called at once.
    void keepLater(const QString& entry, const QString& secret, QObject* context, std::function<void(Kept)> done);
    // The password a settings value stands for: the value itself unless it is the marker, then
    // the keyring's entry or the private file's. Empty when neither has it. Waits for the keyring,
    // unless this run kept the password itself.
    QString find(const QString& entry, const QString& settingsValue);
    // find() without waiting: done gets the password on the event loop, or at once, before this
    // returns, when no keyring has to be asked. Reads of one entry under way at the same time ask the
    // keyring once; what it answered is kept for the run (until the entry is kept anew).
    void findLater(const QString& entry, const QString& settingsValue, QObject* context, std::function<void(const QString&)> done);
    // A password that is not kept (or is kept where this session cannot read it), as the user typed
    // or gave it in this run: find() answers it until the program ends. It is written nowhere.
    void remember(const QString& entry, const QString& secret);
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
    QString cacheKey(const QString& entry) const;
    // What keep() does once the keyring has answered a write (or a removal) with status.
    QString settle(const QString& entry, const QString& secret, Status status, Kept* where);

    // What keep() last did for an entry of an application folder, so that rewriting a settings
    // file with the same passwords asks nothing of the keyring.
    struct Kept_ {
        QString secret;
        QString value;
        Kept where = Kept::NotKept;
    };
    QHash<QString, Kept_> kept_;
    // Passwords read from the keyring in this run, and the reads under way with who waits on them.
    QHash<QString, QString> read_;
    QHash<QString, QList<std::function<void(const QString&)>>> reading_;
    // What find() answers without the keyring: true with *secret set when it can.
    bool atHand(const QString& entry, const QString& settingsValue, QString* secret) const;
    QString fromFile(const QString& entry) const;
    QHash<QString, QString> remembered_;
    bool migrationFailedSaid_ = false;
};

}  // namespace harbel
