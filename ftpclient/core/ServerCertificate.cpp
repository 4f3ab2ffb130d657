#include "ftpclient/core/ServerCertificate.h"

#include "common/net/TlsTrust.h"
#include "common/platform/AppFolder.h"
#include "common/platform/IniFile.h"

namespace harbel::tessaly {

namespace {

const QString kSection = QStringLiteral("Trusted");

QString distinguishedName(const QSslCertificate& certificate, bool subject)
{
    static const std::pair<QSslCertificate::SubjectInfo, const char*> kParts[] = {
        {QSslCertificate::CommonName, "CN"},
        {QSslCertificate::Organization, "O"},
        {QSslCertificate::OrganizationalUnitName, "OU"},
        {QSslCertificate::LocalityName, "L"},
        {QSslCertificate::StateOrProvinceName, "ST"},
        {QSslCertificate::CountryName, "C"},
    };
    QStringList parts;
    for (const auto& [info, tag] : kParts) {
        const QStringList values = subject ? certificate.subjectInfo(info) : certificate.issuerInfo(info);
        for (const QString& v : values)
            parts << QLatin1String(tag) + u'=' + v;
    }
    return parts.isEmpty() ? QStringLiteral("(none)") : parts.join(QStringLiteral(", "));
}

QString when(const QDateTime& t)
{
    return t.isValid() ? t.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm 'UTC'")) : QStringLiteral("(unknown)");
}

QString key(const QString& host, quint16 port)
{
    return host.trimmed().toLower() + u':' + QString::number(port);
}

}  // namespace

CertificateInfo describeCertificate(const QString& host, quint16 port, const QSslCertificate& certificate,
                                    const QList<QSslError>& errors, const QString& previousFingerprint)
{
    CertificateInfo info;
    info.host = host;
    info.port = port;
    info.subject = distinguishedName(certificate, true);
    info.issuer = distinguishedName(certificate, false);
    info.fingerprint = tls::fingerprint(certificate);
    info.validFrom = certificate.effectiveDate().toUTC();
    info.validUntil = certificate.expiryDate().toUTC();
    info.reason = tls::describeErrors(errors);
    info.previousFingerprint = previousFingerprint;
    return info;
}

QString certificateQuestionText(const CertificateInfo& info)
{
    const QString server = info.host + u':' + QString::number(info.port);
    QString text;
    if (info.changed()) {
        text = QStringLiteral("WARNING: the certificate of %1 has CHANGED since you chose to trust it. Someone may be "
                              "intercepting the connection, or the server has a new certificate.\n\n"
                              "Trusted before: %2\nPresented now: %3\n\n")
                   .arg(server, info.previousFingerprint, info.fingerprint);
    }
    text += QStringLiteral("The certificate of %1 could not be verified: %2.\n\n"
                           "Subject: %3\nIssuer: %4\nValid from %5 until %6\nSHA-256 fingerprint: %7\n\n"
                           "Do you trust this certificate?\n"
                           "Yes: trust it always (it is kept for this server)\n"
                           "No: trust it this time only\n"
                           "Cancel: do not connect")
                .arg(server, info.reason, info.subject, info.issuer, when(info.validFrom), when(info.validUntil),
                     info.fingerprint);
    return text;
}

namespace TrustedCertificates {

QString filePath()
{
    return AppFolder::file(QStringLiteral("TrustedCertificates.ini"));
}

QString fingerprintFor(const QString& host, quint16 port)
{
    return IniFile(filePath()).value(kSection, key(host, port));
}

bool trust(const QString& host, quint16 port, const QString& fingerprint)
{
    return IniFile(filePath()).writeString(kSection, key(host, port), fingerprint);
}

}  // namespace TrustedCertificates

}  // namespace harbel::tessaly
