#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace harbel::test {

// A real Secret Service of its own: gnome-keyring-daemon on a private session bus
// (dbus-run-session), its login keyring made and unlocked with a test password. The process's
// DBUS_SESSION_BUS_ADDRESS points at that bus while it runs, so the programs' keyring calls and
// secret-tool reach it and never the user's. The keyring library keeps its connection for the
// process, so one session serves a whole test program: start it before the first keyring call.
class KeyringSession final {
public:
    KeyringSession() = default;
    KeyringSession(const KeyringSession&) = delete;
    KeyringSession& operator=(const KeyringSession&) = delete;
    ~KeyringSession();

    // Starts the bus and the daemon and waits until the keyring answers; false (with why()) if not.
    bool start();
    void stop();
    const QString& why() const { return why_; }

    // What the keyring holds for an entry of the programs, read back with secret-tool; nullopt-like
    // empty with found false when there is none.
    QString lookup(const QString& entry, bool* found = nullptr) const;

    // Holds back every answer of the keyring until release(), as one behind its unlock prompt
    // does: the daemon is stopped and the calls wait on the bus. Keep it short (the bus gives up on a
    // call after 25 s) and call nothing that waits for the keyring meanwhile, lookup() included.
    bool hold();
    void release();

private:
    std::unique_ptr<QTemporaryDir> folder_;
    QProcess session_;
    QString why_;
    qint64 held_ = 0;
};

}  // namespace harbel::test
