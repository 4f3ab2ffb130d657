#include "tests/support/SshServer.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <unistd.h>

namespace harbel::test {

bool SshServer::keygen(const QString& name, const QString& passphrase)
{
    QProcess p;
    p.start(QStringLiteral("ssh-keygen"), {QStringLiteral("-q"), QStringLiteral("-t"), QStringLiteral("ed25519"), QStringLiteral("-N"),
                                            passphrase, QStringLiteral("-f"), folder_->filePath(name)});
    const bool ok = p.waitForFinished(30000) && p.exitCode() == 0;
    if (!ok)
        why_ = QStringLiteral("ssh-keygen failed: ") + QString::fromUtf8(p.readAllStandardError());
    return ok;
}

bool SshServer::start()
{
    folder_ = std::make_unique<QTemporaryDir>();
    // sshd started by root wants the privilege separation folder a system service would have made.
    if (geteuid() == 0)
        QDir().mkpath(QStringLiteral("/run/sshd"));
    if (!keygen(QStringLiteral("host_key"), {}) || !keygen(QStringLiteral("client_key"), {}) || !keygen(QStringLiteral("other_key"), {}))
        return false;
    QProcess fingerprint;
    fingerprint.start(QStringLiteral("ssh-keygen"), {QStringLiteral("-lf"), folder_->filePath(QStringLiteral("host_key.pub"))});
    fingerprint.waitForFinished(30000);
    hostFingerprint_ = QString::fromUtf8(fingerprint.readAllStandardOutput()).section(u' ', 1, 1);
    QFile::copy(clientKey() + QStringLiteral(".pub"), folder_->filePath(QStringLiteral("authorized_keys")));
    port_ = freeLoopbackPort();
    const QString config = folder_->filePath(QStringLiteral("sshd_config"));
    QFile file(config);
    file.open(QIODevice::WriteOnly);
    file.write(QStringLiteral("Port %1\nListenAddress 127.0.0.1\nHostKey %2/host_key\nAuthorizedKeysFile %2/authorized_keys\n"
                              "PidFile %2/sshd.pid\nUsePAM no\nStrictModes no\nSubsystem sftp internal-sftp\n")
                   .arg(port_)
                   .arg(folder_->path())
                   .toUtf8());
    file.close();
    return sshd_.start(QStringLiteral("/usr/sbin/sshd"), {QStringLiteral("-D"), QStringLiteral("-e"), QStringLiteral("-f"), config}, port_, &why_);
}

QString SshServer::knownHostsLine(bool otherKey) const
{
    QFile key(folder_->filePath(otherKey ? QStringLiteral("other_key.pub") : QStringLiteral("host_key.pub")));
    key.open(QIODevice::ReadOnly);
    const QStringList parts = QString::fromUtf8(key.readAll()).split(u' ');
    return QStringLiteral("[127.0.0.1]:%1 %2 %3\n").arg(port_).arg(parts.value(0), parts.value(1));
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
