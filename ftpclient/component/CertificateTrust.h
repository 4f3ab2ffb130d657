#pragma once

#include <QString>

namespace harbel::tessaly {

// Where the component keeps the server certificates the user chose to trust always, by their
// SHA-256 fingerprints. Only a certificate that fails verification is looked up here; one the
// system's authorities vouch for needs no entry. The program hands the component its store; a
// component without one asks about every such certificate and keeps no answer.
class CertificateTrust {
public:
    virtual ~CertificateTrust() = default;
    // The fingerprint trusted always for the server; empty when none.
    virtual QString fingerprintFor(const QString& host, quint16 port) const = 0;
    // Keeps the fingerprint as trusted always for the server; false when it could not be kept.
    virtual bool trustAlways(const QString& host, quint16 port, const QString& fingerprint) = 0;
    // Where the fingerprints are kept, as messages name it.
    virtual QString location() const = 0;
};

}  // namespace harbel::tessaly
