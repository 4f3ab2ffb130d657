#pragma once

#include "ftpclient/component/CertificateTrust.h"

#include <QString>

namespace harbel::tessaly {

// Trusted certificates in an INI file: one line per server ("host:port=SHA-256 fingerprint") in the
// section [Trusted], the host in lower case.
class IniCertificateTrust final : public CertificateTrust {
public:
    explicit IniCertificateTrust(QString filePath) : path_(std::move(filePath)) {}

    QString fingerprintFor(const QString& host, quint16 port) const override;
    bool trustAlways(const QString& host, quint16 port, const QString& fingerprint) override;
    QString location() const override { return path_; }

private:
    QString path_;
};

}  // namespace harbel::tessaly
