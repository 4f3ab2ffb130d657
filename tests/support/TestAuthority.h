#pragma once

#include <QString>
#include <QStringList>

namespace harbel::test {

// A private certificate authority made with the openssl command in a work folder, and the server
// certificates it signs. Nothing on the machine trusts it until a test says so.
class TestAuthority final {
public:
    explicit TestAuthority(QString workFolder);

    // Makes the authority's key and certificate; false (with why()) when openssl failed.
    bool create();
    QString certificateFile() const { return work_ + QStringLiteral("/ca.pem"); }

    struct Issued {
        QString certificate;  // PEM file
        QString key;          // PEM file, unencrypted
    };
    // A server certificate for the given names ("localhost", "127.0.0.1"; an address becomes an
    // IP entry), signed by this authority, or self-signed when selfSigned is set. Its subject's
    // common name is commonName, or the first host. Empty paths when openssl failed.
    Issued issue(const QString& name, const QStringList& hosts, bool selfSigned = false, const QString& commonName = {});

    // The certificates issued from now on get a key made with these openssl options ("-newkey",
    // "rsa:1024", "-nodes") and are signed with this digest ("sha1"); empty for the defaults.
    void setIssuedKey(const QStringList& newKey, const QString& digest = {})
    {
        issuedKey_ = newKey;
        digest_ = digest;
    }

    const QString& why() const { return why_; }

private:
    bool run(const QStringList& arguments);

    QString work_;
    QString why_;
    QStringList issuedKey_;
    QString digest_;
};

}  // namespace harbel::test
