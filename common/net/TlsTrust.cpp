#include "common/net/TlsTrust.h"

#include <QCryptographicHash>
#include <QFile>
#include <QHostAddress>
#include <QMutex>
#include <QSslSocket>
#include <QUrl>

namespace harbel::tls {

namespace {

QMutex& lock()
{
    static QMutex mutex;
    return mutex;
}

QList<QSslCertificate>& added()
{
    static QList<QSslCertificate> certificates;
    return certificates;
}

QString reasonOf(const QSslError& error)
{
    switch (error.error()) {
    case QSslError::CertificateExpired:
        return QStringLiteral("the certificate has expired");
    case QSslError::CertificateNotYetValid:
        return QStringLiteral("the certificate is not valid yet");
    case QSslError::HostNameMismatch: {
        const QStringList names = error.certificate().subjectAlternativeNames().values();
        const QString shown = names.isEmpty() ? error.certificate().subjectInfo(QSslCertificate::CommonName).join(u", ")
                                              : names.join(u", ");
        return shown.isEmpty() ? QStringLiteral("the certificate is for another host")
                               : QStringLiteral("the certificate is for another host (%1)").arg(shown);
    }
    case QSslError::SelfSignedCertificate:
    case QSslError::SelfSignedCertificateInChain:
    case QSslError::UnableToGetLocalIssuerCertificate:
    case QSslError::UnableToGetIssuerCertificate:
    case QSslError::UnableToVerifyFirstCertificate:
    case QSslError::CertificateUntrusted:
    case QSslError::CertificateRejected:
    case QSslError::InvalidCaCertificate:
        return QStringLiteral("the certificate is not trusted");
    case QSslError::CertificateRevoked:
        return QStringLiteral("the certificate has been revoked");
    case QSslError::NoPeerCertificate:
        return QStringLiteral("the server sent no certificate");
    default:
        return error.errorString();
    }
}

// A DNS name of a certificate against the host's name, both lower case and without a final dot.
bool dnsNameMatches(QString pattern, const QString& host)
{
    pattern = pattern.toLower();
    if (pattern.endsWith(u'.'))
        pattern.chop(1);
    if (pattern == host)
        return true;
    // "*.example.com": one whole label, never a dot, and never for a name of two labels.
    if (!pattern.startsWith(QLatin1String("*.")) || pattern.count(u'.') < 2)
        return false;
    const QStringView rest = QStringView(pattern).mid(1);
    return host.size() > rest.size() && host.endsWith(rest) && !QStringView(host).left(host.size() - rest.size()).contains(u'.');
}

}  // namespace

bool namesHost(const QSslCertificate& certificate, const QString& host)
{
    const auto names = certificate.subjectAlternativeNames();
    const QStringList dns = names.values(QSsl::DnsEntry);
    const QStringList addresses = names.values(QSsl::IpAddressEntry);
    if (dns.isEmpty() && addresses.isEmpty())
        return true;
    QString bare = host;
    if (bare.startsWith(u'[') && bare.endsWith(u']'))
        bare = bare.mid(1, bare.size() - 2);
    const QHostAddress address(bare);
    if (!address.isNull()) {
        for (const QString& a : addresses)
            if (QHostAddress(a) == address)
                return true;
        return false;
    }
    QString name = QString::fromLatin1(QUrl::toAce(bare)).toLower();
    if (name.endsWith(u'.'))
        name.chop(1);
    for (const QString& d : dns)
        if (dnsNameMatches(d, name))
            return true;
    return false;
}

bool addTrustedAuthorities(const QString& file, QString* why)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) {
        if (why)
            *why = QStringLiteral("%1: %2").arg(file, f.errorString());
        return false;
    }
    const QByteArray data = f.read(16 * 1024 * 1024);
    QList<QSslCertificate> certificates = QSslCertificate::fromData(data, QSsl::Pem);
    if (certificates.isEmpty())
        certificates = QSslCertificate::fromData(data, QSsl::Der);
    certificates.removeIf([](const QSslCertificate& c) { return c.isNull(); });
    if (certificates.isEmpty()) {
        if (why)
            *why = QStringLiteral("%1 holds no certificate").arg(file);
        return false;
    }
    const QMutexLocker guard(&lock());
    added() += certificates;
    return true;
}

void clearAddedAuthorities()
{
    const QMutexLocker guard(&lock());
    added().clear();
}

QSslConfiguration clientConfiguration()
{
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setProtocol(QSsl::TlsV1_2OrLater);
    configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
    const QMutexLocker guard(&lock());
    // Adding authorities keeps the system's on-demand lookup (OpenSSL looks an issuer up in the
    // system's certificate folders when it needs it), where setting them would end it and need the
    // whole system list read and parsed first, a fifth of a second at every start.
    if (!added().isEmpty())
        configuration.addCaCertificates(added());
    return configuration;
}

QString describeErrors(const QList<QSslError>& errors)
{
    QStringList reasons;
    for (const QSslError& error : errors) {
        const QString reason = reasonOf(error);
        if (!reasons.contains(reason))
            reasons << reason;
    }
    return reasons.join(QStringLiteral("; "));
}

QString fingerprint(const QSslCertificate& certificate)
{
    const QByteArray digest = certificate.digest(QCryptographicHash::Sha256).toHex().toUpper();
    QStringList pairs;
    for (qsizetype i = 0; i < digest.size(); i += 2)
        pairs << QString::fromLatin1(digest.mid(i, 2));
    return pairs.join(u':');
}

}  // namespace harbel::tls
