#include "tests/support/KeyringSession.h"

#include "tests/support/TestEnvironment.h"

#include <QFile>

#include <signal.h>

namespace harbel::test {

namespace {

constexpr char kTestPassword[] = "keyring test password";

}  // namespace

KeyringSession::~KeyringSession()
{
    stop();
}

bool KeyringSession::start()
{
    folder_ = std::make_unique<QTemporaryDir>();
    const QString root = folder_->path();
    const QString addressFile = root + "/address";
    // The daemon keeps its keyrings under the home it starts with; the stop file ends the session,
    // and with its bus the daemon.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", root);
    env.insert("XDG_DATA_HOME", root + "/data");
    env.insert("XDG_RUNTIME_DIR", root);
    env.insert("KEYRING_PASSWORD", kTestPassword);
    session_.setProcessEnvironment(env);
    session_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // The bus's address is given out only once the daemon runs with its keyring unlocked: a client
    // that came first would start a second daemon through the bus, with a locked keyring that asks
    // for its password on a display there is none of.
    const QString script = QStringLiteral(
        "printf %s \"$KEYRING_PASSWORD\" | gnome-keyring-daemon --unlock --components=secrets >/dev/null; "
        "echo \"$DBUS_SESSION_BUS_ADDRESS\" > '%1.part' && mv '%1.part' '%1'; "
        "while [ ! -e '%2/stop' ]; do sleep 0.1; done")
                               .arg(addressFile, root);
    session_.start("dbus-run-session", {"--", "sh", "-c", script});
    if (!session_.waitForStarted(10000)) {
        why_ = "dbus-run-session did not start: " + session_.errorString();
        return false;
    }
    if (!waitUntil([&] { return QFile::exists(addressFile); }, 10000)) {
        why_ = "the private session bus did not come up";
        return false;
    }
    const QByteArray address = readFile(addressFile).trimmed();
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);
    // Ready once the daemon owns the Secret Service's name and its keyring is unlocked.
    bool found = false;
    const bool ready = waitUntil([&] {
        QProcess store;
        store.start("secret-tool", {"store", "--label=ready", "server", "Harbel", "user", "ready"});
        store.write("ready");
        store.closeWriteChannel();
        store.waitForFinished(5000);
        lookup("ready", &found);
        return found;
    }, 15000);
    if (!ready)
        why_ = "gnome-keyring-daemon did not answer on the private bus";
    return ready;
}

void KeyringSession::stop()
{
    release();
    if (session_.state() == QProcess::NotRunning)
        return;
    writeFile(folder_->path() + "/stop", "");
    if (!session_.waitForFinished(10000)) {
        session_.kill();
        session_.waitForFinished(5000);
    }
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
}

bool KeyringSession::hold()
{
    // The process that owns the Secret Service's name on the private bus.
    QProcess bus;
    bus.start("dbus-send", {"--session", "--print-reply", "--dest=org.freedesktop.DBus", "/org/freedesktop/DBus",
                            "org.freedesktop.DBus.GetConnectionUnixProcessID", "string:org.freedesktop.secrets"});
    bus.waitForFinished(5000);
    held_ = bus.readAllStandardOutput().simplified().split(' ').last().toLongLong();
    if (held_ <= 0 || ::kill(pid_t(held_), SIGSTOP) != 0) {
        why_ = "the keyring daemon could not be held";
        held_ = 0;
    }
    return held_ > 0;
}

void KeyringSession::release()
{
    if (held_ > 0)
        ::kill(pid_t(held_), SIGCONT);
    held_ = 0;
}

QString KeyringSession::lookup(const QString& entry, bool* found) const
{
    QProcess tool;
    tool.start("secret-tool", {"lookup", "server", "Harbel", "user", entry});
    tool.waitForFinished(5000);
    if (found)
        *found = tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
    return QString::fromUtf8(tool.readAllStandardOutput());
}

}  // namespace harbel::test
