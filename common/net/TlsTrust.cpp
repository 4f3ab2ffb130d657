#include "common/net/TlsTrust.h"

#include <QCryptographicHash>
#include <QFile>
#include <QHostAddress>
#include <QMutex>
#include <QSslKey>
#include <QSslSocket>
#include <QUrl>

#include <optional>

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

// One DER element: where its contents start and how long they are.
struct DerElement {
    qsizetype contents = 0;
    qsizetype length = 0;
    qsizetype end() const { return contents + length; }
};

std::optional<DerElement> derElement(const QByteArray& der, qsizetype at, char tag)
{
    if (at + 2 > der.size() || der[at] != tag)
        return std::nullopt;
    qsizetype length = quint8(der[at + 1]);
    qsizetype contents = at + 2;
    if (length & 0x80) {
        const int bytes = int(length & 0x7f);
        if (bytes == 0 || bytes > 4 || contents + bytes > der.size())
            return std::nullopt;
        length = 0;
        for (int i = 0; i < bytes; ++i)
            length = (length << 8) | quint8(der[contents++]);
    }
    if (length > der.size() - contents)
        return std::nullopt;
    return DerElement{contents, length};
}

// The digest of the certificate's own signature when it is one that no longer protects anything
// (MD2, MD4, MD5, SHA-1); empty otherwise. Read from the outer signatureAlgorithm, which follows
// the signed part: SEQUENCE { tbsCertificate, SEQUENCE { OID, ... }, BIT STRING }.
QString weakSignatureDigest(const QSslCertificate& certificate)
{
    const QByteArray der = certificate.toDer();
    const auto outer = derElement(der, 0, 0x30);
    const auto signedPart = outer ? derElement(der, outer->contents, 0x30) : std::nullopt;
    const auto algorithm = signedPart ? derElement(der, signedPart->end(), 0x30) : std::nullopt;
    const auto oid = algorithm ? derElement(der, algorithm->contents, 0x06) : std::nullopt;
    if (!oid)
        return {};
    const QByteArray id = der.mid(oid->contents, oid->length);
    static const struct {
        const char* oid;
        const char* digest;
    } weak[] = {
        {"\x2a\x86\x48\x86\xf7\x0d\x01\x01\x02", "MD2"},  {"\x2a\x86\x48\x86\xf7\x0d\x01\x01\x03", "MD4"},
        {"\x2a\x86\x48\x86\xf7\x0d\x01\x01\x04", "MD5"},  {"\x2a\x86\x48\x86\xf7\x0d\x01\x01\x05", "SHA-1"},
        {"\x2a\x86\x48\xce\x3d\x04\x01", "SHA-1"},          {"\x2a\x86\x48\xce\x38\x04\x03", "SHA-1"},
    };
    for (const auto& w : weak)
        if (id == QByteArray(w.oid))
            return QString::fromLatin1(w.digest);
    return {};
}

// What makes a certificate too weak for the TLS library's default security level (112 bits:
// RSA, DSA and DH keys of 2048 bits, elliptic curves of 224, no MD5 or SHA-1 signature); empty
// when nothing does. Qt reports these refusals without a reason of its own.
QString weaknessOf(const QSslCertificate& certificate)
{
    if (certificate.isNull())
        return {};
    const QSslKey key = certificate.publicKey();
    const int bits = key.length();
    const bool ec = key.algorithm() == QSsl::Ec;
    if (!key.isNull() && bits > 0 && bits < (ec ? 224 : 2048)) {
        const char* kind = ec ? "EC" : key.algorithm() == QSsl::Dsa ? "DSA" : key.algorithm() == QSsl::Dh ? "DH" : "RSA";
        return QStringLiteral("the certificate's key is too weak (%1, %2 bits)").arg(QLatin1String(kind)).arg(bits);
    }
    const QString digest = weakSignatureDigest(certificate);
    if (!digest.isEmpty())
        return QStringLiteral("the certificate's signature digest algorithm is too weak (%1)").arg(digest);
    return {};
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
    case QSslError::UnspecifiedError: {
        // The library's check that has no error of Qt's own: most often a key or a digest below
        // the security level, named here; otherwise said as a failed check rather than "Unknown error".
        const QString weakness = weaknessOf(error.certificate());
        return weakness.isEmpty() ? QStringLiteral("the certificate failed the TLS library's checks") : weakness;
    }
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
