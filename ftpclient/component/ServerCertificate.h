#pragma once

#include <QDateTime>
#include <QList>
#include <QSslCertificate>
#include <QSslError>
#include <QString>

namespace harbel::tessaly {

// A server certificate that failed verification, as the user is shown it before deciding.
struct CertificateInfo {
    QString host;
    quint16 port = 21;
    QString subject;      // "CN=ftp.example.org, O=Example"
    QString issuer;
    QString fingerprint;  // SHA-256, colon-separated hex pairs
    QDateTime validFrom;  // UTC
    QDateTime validUntil;
    QString reason;       // why it failed, in words ("the certificate is not trusted")
    // The fingerprint trusted for this server before; not empty: the certificate has changed.
    QString previousFingerprint;
    bool changed() const { return !previousFingerprint.isEmpty(); }
};

// The answers to the question (the component's CertificateQuery event).
enum CertificateAnswer : int { certRefuse = 0, certTrustOnce = 1, certTrustAlways = 2 };

CertificateInfo describeCertificate(const QString& host, quint16 port, const QSslCertificate& certificate,
                                    const QList<QSslError>& errors, const QString& previousFingerprint);

}  // namespace harbel::tessaly
