#include "tests/support/SshServer.h"

#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTcpSocket>

#include <cerrno>
#include <pwd.h>
#include <signal.h>
#include <unistd.h>

namespace harbel::test {

namespace {

// The accounts made for password logins are named after the test program that made them
// ("harbeltest<pid>-<n>"), so that one whose program is gone can be told from one in use.
const QString accountPrefix = QStringLiteral("harbeltest");

QStringList staleAccounts()
{
    QStringList stale;
    setpwent();
    while (const passwd* entry = getpwent()) {
        const QString name = QString::fromLocal8Bit(entry->pw_name);
        if (!name.startsWith(accountPrefix))
            continue;
        bool ok = false;
        const pid_t owner = name.mid(accountPrefix.size()).section(u'-', 0, 0).toInt(&ok);
        if (!ok || (kill(owner, 0) != 0 && errno == ESRCH))
            stale.append(name);
    }
    endpwent();
    return stale;
}

}  // namespace

SshServer::~SshServer()
{
    // The account's own processes (its SFTP sessions) end with sshd; userdel refuses while they run.
    sshd_.stop();
    if (!user_.isEmpty())
        run(QStringLiteral("userdel"), {user_});
}

bool SshServer::run(const QString& program, const QStringList& arguments, const QByteArray& input)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, arguments);
    p.write(input);
    p.closeWriteChannel();
    const bool ok = p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (!ok)
        why_ = program + QStringLiteral(" failed: ") + p.errorString() + u' ' + QString::fromUtf8(p.readAll());
    return ok;
}

bool SshServer::makeAccount()
{
    for (const QString& name : staleAccounts())
        run(QStringLiteral("userdel"), {name});
    static int made = 0;
    const QString name = QStringLiteral("%1%2-%3").arg(accountPrefix).arg(getpid()).arg(++made);
    // The account reaches its home through the private folder, which it may pass but not read.
    QFile::setPermissions(folder_->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther);
    QDir().mkpath(home());
    if (!run(QStringLiteral("useradd"), {QStringLiteral("--system"), QStringLiteral("--no-create-home"), QStringLiteral("--home-dir"), home(),
                                         QStringLiteral("--shell"), QStringLiteral("/usr/sbin/nologin"), name}))
        return false;
    user_ = name;
    const passwd* entry = getpwnam(name.toLocal8Bit().constData());
    if (!entry || chown(QFile::encodeName(home()).constData(), entry->pw_uid, entry->pw_gid) != 0) {
        why_ = QStringLiteral("the home of %1 could not be given to it").arg(name);
        return false;
    }
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    password_.clear();
    for (int i = 0; i < 40; ++i)
        password_ += QLatin1Char(letters[QRandomGenerator::system()->bounded(int(sizeof letters) - 1)]);
    return run(QStringLiteral("chpasswd"), {}, (user_ + u':' + password_ + u'\n').toUtf8());
}

QString SshServer::passwordConfig() const
{
    // PAM checks the password against /etc/shadow; the account can do nothing but SFTP, and no
    // key is authorised for it, so a key offered first is refused before the password is tried.
    return QStringLiteral("ListenAddress 127.0.0.1:%1\nListenAddress 127.0.0.1:%2\nUsePAM yes\nPasswordAuthentication yes\n"
                          "KbdInteractiveAuthentication yes\nAuthorizedKeysFile none\nAllowUsers %3\nForceCommand internal-sftp\n"
                          "Match LocalPort %2\n    PasswordAuthentication no\n")
        .arg(port_)
        .arg(keyboardOnlyPort_)
        .arg(user_);
}

bool SshServer::keygen(const QString& name, const QString& passphrase)
{
    return run(QStringLiteral("ssh-keygen"),
               {QStringLiteral("-q"), QStringLiteral("-t"), QStringLiteral("ed25519"), QStringLiteral("-N"), passphrase, QStringLiteral("-f"), folder_->filePath(name)});
}

bool SshServer::start(Logins logins)
{
    folder_ = std::make_unique<QTemporaryDir>();
    // sshd started by root wants the privilege separation folder a system service would have made.
    if (geteuid() == 0) {
        QDir().mkpath(QStringLiteral("/run/sshd"));
    } else if (logins == Logins::Passwords) {
        why_ = QStringLiteral("password logins need an account that sshd can check, which only root can make");
        return false;
    }
    if (!keygen(QStringLiteral("host_key"), {}) || !keygen(QStringLiteral("client_key"), {}) || !keygen(QStringLiteral("other_key"), {}))
        return false;
    QProcess fingerprint;
    fingerprint.start(QStringLiteral("ssh-keygen"), {QStringLiteral("-lf"), folder_->filePath(QStringLiteral("host_key.pub"))});
    fingerprint.waitForFinished(30000);
    hostFingerprint_ = QString::fromUtf8(fingerprint.readAllStandardOutput()).section(u' ', 1, 1);
    QFile::copy(clientKey() + QStringLiteral(".pub"), folder_->filePath(QStringLiteral("authorized_keys")));
    port_ = freeLoopbackPort();
    QString text = QStringLiteral("HostKey %1/host_key\nPidFile %1/sshd.pid\nStrictModes no\nSubsystem sftp internal-sftp\n").arg(folder_->path());
    if (logins == Logins::Keys) {
        text += QStringLiteral("Port %1\nListenAddress 127.0.0.1\nAuthorizedKeysFile %2/authorized_keys\nUsePAM no\n").arg(port_).arg(folder_->path());
    } else {
        while (keyboardOnlyPort_ == 0 || keyboardOnlyPort_ == port_)
            keyboardOnlyPort_ = freeLoopbackPort();
        if (!makeAccount())
            return false;
        text += passwordConfig();
    }
    const QString config = folder_->filePath(QStringLiteral("sshd_config"));
    QFile file(config);
    file.open(QIODevice::WriteOnly);
    file.write(text.toUtf8());
    file.close();
    if (!sshd_.start(QStringLiteral("/usr/sbin/sshd"), {QStringLiteral("-D"), QStringLiteral("-e"), QStringLiteral("-f"), config}, port_, &why_))
        return false;
    // sshd binds its ports one after the other.
    return keyboardOnlyPort_ == 0 || waitUntil([this] {
               QTcpSocket s;
               s.connectToHost(QHostAddress::LocalHost, keyboardOnlyPort_);
               return s.waitForConnected(200);
           });
}

QString SshServer::knownHostsLine(bool otherKey) const
{
    QFile key(folder_->filePath(otherKey ? QStringLiteral("other_key.pub") : QStringLiteral("host_key.pub")));
    key.open(QIODevice::ReadOnly);
    const QStringList parts = QString::fromUtf8(key.readAll()).split(u' ');
    QString lines;
    for (const quint16 port : {port_, keyboardOnlyPort_}) {
        if (port != 0)
            lines += QStringLiteral("[127.0.0.1]:%1 %2 %3\n").arg(port).arg(parts.value(0), parts.value(1));
    }
    return lines;
}

QString SshServer::addClientKey(const QString& name, const QString& passphrase)
{
    if (!keygen(name, passphrase))
        return {};
    QFile key(folder_->filePath(name + QStringLiteral(".pub")));
    QFile authorised(folder_->filePath(QStringLiteral("authorized_keys")));
    if (!key.open(QIODevice::ReadOnly) || !authorised.open(QIODevice::Append))
        return {};
    authorised.write(key.readAll());
    return folder_->filePath(name);
}

}  // namespace harbel::test
