#pragma once

#include "ftpclient/component/ServerCertificate.h"

#include <QString>

namespace harbel::tessaly {

// The message box text: the certificate, the reason, and what Yes (always), No (this time only)
// and Cancel (do not connect) do. A changed certificate begins with a warning and both fingerprints.
QString certificateQuestionText(const CertificateInfo& info);

// Asks the user about a certificate that failed verification, as the component's CertificateQuery
// wants it answered: Yes trusts it always, No this time only; Cancel and a dismissed box refuse it.
int askAboutCertificate(const CertificateInfo& info);

// The same question about an SSH server's host key that the known hosts file does not list: the
// key's type and SHA-256 fingerprint; Yes adds it to the known hosts file, No trusts it this time,
// Cancel and a dismissed box do not connect (nothing of the login has been sent).
QString hostKeyQuestionText(const CertificateInfo& info);
int askAboutHostKey(const CertificateInfo& info);

}  // namespace harbel::tessaly
