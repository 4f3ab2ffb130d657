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

// Whether a certificate that names hosts in its alternative names names this one (a DNS name, with
// a wildcard only as a whole left-most label, or an address). A certificate with no such names
// counts as naming it: its subject's common name was checked with the rest of verification. A
// common name is never taken for a certificate that has alternative names, as RFC 6125 says; the
// verification of the TLS library does take it, so every connection checks this too.
bool namesHost(const QSslCertificate& certificate, const QString& host);

// SHA-256 fingerprint as colon-separated upper-case hex pairs.
QString fingerprint(const QSslCertificate& certificate);

}  // namespace harbel::tls
