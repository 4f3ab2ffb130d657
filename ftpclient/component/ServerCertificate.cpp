#include "ftpclient/component/ServerCertificate.h"

#include "common/net/TlsTrust.h"

namespace harbel::tessaly {

namespace {

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

}  // namespace harbel::tessaly
