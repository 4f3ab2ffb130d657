#pragma once

#include <QList>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslError>
#include <QString>

namespace harbel::tls {

// The client side of every TLS connection the programs open: the system's trusted authorities,
// plus any the user added for this run (a private authority of their own servers).

// Reads the PEM or DER certificates of a file and trusts them too, for the rest of the run.
// False, with why, when the file cannot be read or holds no certificate.
bool addTrustedAuthorities(const QString& file, QString* why);
// Forgets the authorities added above (tests).
void clearAddedAuthorities();

// A client configuration: TLS 1.2 or later, peer verification on, the system's authorities and
// the added ones.
QSslConfiguration clientConfiguration();

// The errors that decide that a certificate is refused, in a few words a user can act on:
// "the certificate has expired", "the certificate is not trusted", "the certificate is for
// another host (NAME)". Errors of the same reason are named once.
QString describeErrors(const QList<QSslError>& errors);

// SHA-256 fingerprint as colon-separated upper-case hex pairs.
QString fingerprint(const QSslCertificate& certificate);

}  // namespace harbel::tls
