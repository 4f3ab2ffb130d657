#include "tests/support/TestAuthority.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QProcess>

namespace harbel::test {

namespace {

// Elliptic-curve keys: made in milliseconds, where RSA keys would slow every test down.
const QStringList kNewKey = {QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                             QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes")};

}  // namespace

TestAuthority::TestAuthority(QString workFolder) : work_(std::move(workFolder))
{
    QDir().mkpath(work_);
}

bool TestAuthority::run(const QStringList& arguments)
{
    QProcess openssl;
    openssl.setProcessChannelMode(QProcess::MergedChannels);
    openssl.setWorkingDirectory(work_);
    openssl.start(QStringLiteral("openssl"), arguments);
    if (!openssl.waitForFinished(30000) || openssl.exitStatus() != QProcess::NormalExit ||
        openssl.exitCode() != 0) {
        why_ = QStringLiteral("openssl %1: %2").arg(arguments.value(0), QString::fromLocal8Bit(openssl.readAll()));
        return false;
    }
    return true;
}

bool TestAuthority::create()
{
    return run(QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + kNewKey +
               QStringList{QStringLiteral("-keyout"), QStringLiteral("ca.key"), QStringLiteral("-out"),
                           QStringLiteral("ca.pem"), QStringLiteral("-days"), QStringLiteral("2"),
                           QStringLiteral("-subj"), QStringLiteral("/CN=Harbel Test Authority"),
                           QStringLiteral("-addext"), QStringLiteral("basicConstraints=critical,CA:TRUE"),
                           QStringLiteral("-addext"), QStringLiteral("keyUsage=critical,keyCertSign,cRLSign")});
}

TestAuthority::Issued TestAuthority::issue(const QString& name, const QStringList& hosts, bool selfSigned, const QString& commonName)
{
    QStringList alt;
    for (const QString& host : hosts)
        alt << (QHostAddress(host).isNull() ? QStringLiteral("DNS:") : QStringLiteral("IP:")) + host;
    const QString ext = name + QStringLiteral(".ext");
    {
        QFile f(work_ + u'/' + ext);
        if (!f.open(QIODevice::WriteOnly))
            return {};
        f.write(("subjectAltName=" + alt.join(u',') + "\nbasicConstraints=CA:FALSE\n"
                 "extendedKeyUsage=serverAuth\n").toUtf8());
    }
    const QString key = name + QStringLiteral(".key");
    const QString pem = name + QStringLiteral(".pem");
    const QString subject = QStringLiteral("/CN=") + (commonName.isEmpty() ? hosts.value(0, name) : commonName);
    bool ok;
    if (selfSigned) {
        ok = run(QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + kNewKey +
                 QStringList{QStringLiteral("-keyout"), key, QStringLiteral("-out"), pem, QStringLiteral("-days"),
                             QStringLiteral("2"), QStringLiteral("-subj"), subject, QStringLiteral("-addext"),
                             QStringLiteral("subjectAltName=") + alt.join(u',')});
    } else {
        const QString csr = name + QStringLiteral(".csr");
        QStringList sign{QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"), csr, QStringLiteral("-CA"),
                         QStringLiteral("ca.pem"), QStringLiteral("-CAkey"), QStringLiteral("ca.key"),
                         QStringLiteral("-CAcreateserial"), QStringLiteral("-out"), pem, QStringLiteral("-days"),
                         QStringLiteral("2"), QStringLiteral("-extfile"), ext};
        if (!digest_.isEmpty())
            sign << u'-' + digest_;
        ok = run(QStringList{QStringLiteral("req")} + (issuedKey_.isEmpty() ? kNewKey : issuedKey_) +
                 QStringList{QStringLiteral("-keyout"), key, QStringLiteral("-out"), csr, QStringLiteral("-subj"),
                             subject}) &&
             run(sign);
    }
    if (!ok)
        return {};
    return {work_ + u'/' + pem, work_ + u'/' + key};
}

}  // namespace harbel::test
