#include "tests/support/SshServer.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <pwd.h>
#include <unistd.h>

namespace harbel::test {

namespace {

QString run(const QString& program, const QStringList& arguments, bool* ok)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, arguments);
    *ok = p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    return QString::fromUtf8(p.readAll());
}

bool append(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::Append) && f.write(bytes) == bytes.size();
}

}  // namespace

SshServer::~SshServer()
{
    stop();
}

bool SshServer::keygen(const QString& path, const QString& passphrase)
{
    bool ok = false;
    const QString out = run(QStringLiteral("ssh-keygen"),
                            {QStringLiteral("-q"), QStringLiteral("-t"), QStringLiteral("ed25519"), QStringLiteral("-N"), passphrase,
                             QStringLiteral("-C"), QStringLiteral("test"), QStringLiteral("-f"), path},
                            &ok);
    if (!ok)
        why_ = QStringLiteral("ssh-keygen failed: ") + out;
    return ok;
}

bool SshServer::start()
{
    stop();
    folder_ = std::make_unique<QTemporaryDir>();
    if (!folder_->isValid()) {
        why_ = QStringLiteral("no temporary folder");
        return false;
    }
    const passwd* pw = getpwuid(geteuid());
    user_ = pw ? QString::fromLocal8Bit(pw->pw_name) : qEnvironmentVariable("USER");
    // sshd started by root wants its privilege separation folder, which only a running system
    // service would otherwise have made.
    if (geteuid() == 0 && !QDir(QStringLiteral("/run/sshd")).exists())
        QDir().mkpath(QStringLiteral("/run/sshd"));
    const QString hostKey = folder_->filePath(QStringLiteral("host_key"));
    if (!keygen(hostKey, QString()) || !keygen(clientKey(), QString()) || !keygen(folder_->filePath(QStringLiteral("other_host_key")), QString()))
        return false;
    bool ok = false;
    const QString listed = run(QStringLiteral("ssh-keygen"), {QStringLiteral("-l"), QStringLiteral("-f"), hostKey + QStringLiteral(".pub")}, &ok);
    hostFingerprint_ = listed.section(u' ', 1, 1);
    const QString authorised = folder_->filePath(QStringLiteral("authorized_keys"));
    QFile::copy(clientKey() + QStringLiteral(".pub"), authorised);
    port_ = freeLoopbackPort();
    const QString config = folder_->filePath(QStringLiteral("sshd_config"));
    const QByteArray text = QStringLiteral("Port %1\nListenAddress 127.0.0.1\nHostKey %2\nAuthorizedKeysFile %3\nPidFile %4\n"
                                           "UsePAM no\nStrictModes no\nPasswordAuthentication no\nKbdInteractiveAuthentication no\n"
                                           "PermitRootLogin prohibit-password\nSubsystem sftp internal-sftp\nLogLevel ERROR\n")
                                .arg(port_)
                                .arg(hostKey, authorised, folder_->filePath(QStringLiteral("sshd.pid")))
                                .toUtf8();
    QFile f(config);
    if (!f.open(QIODevice::WriteOnly) || f.write(text) != text.size()) {
        why_ = QStringLiteral("could not write ") + config;
        return false;
    }
    f.close();
    return sshd_.start(QStringLiteral("/usr/sbin/sshd"), {QStringLiteral("-D"), QStringLiteral("-e"), QStringLiteral("-f"), config}, port_, &why_);
}

void SshServer::stop()
{
    sshd_.stop();
}

QString SshServer::hostEntry(const QString& publicKeyFile) const
{
    QFile f(publicKeyFile);
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    const QStringList parts = QString::fromUtf8(f.readAll()).split(u' ');
    return QStringLiteral("[127.0.0.1]:%1 %2 %3\n").arg(port_).arg(parts.value(0), parts.value(1));
}

QString SshServer::knownHostsLine(bool otherKey) const
{
    return hostEntry(folder_->filePath(otherKey ? QStringLiteral("other_host_key.pub") : QStringLiteral("host_key.pub")));
}

QString SshServer::addClientKey(const QString& name, const QString& passphrase)
{
    const QString path = folder_->filePath(name);
    if (!keygen(path, passphrase))
        return QString();
    QFile pub(path + QStringLiteral(".pub"));
    if (!pub.open(QIODevice::ReadOnly) || !append(folder_->filePath(QStringLiteral("authorized_keys")), pub.readAll()))
        return QString();
    return path;
}

}  // namespace harbel::test
