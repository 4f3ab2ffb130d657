#pragma once

#include <QString>
#include <QStringList>

namespace harbel::tessaly {

class CertificateTrust;
class FtpComponent;
class RemoteSession;
class SftpComponent;

// Everything a transfer connection needs to log in as the session did, so that the queue's
// connections reach the same server the same way (FTP or SFTP, TLS, proxy, time-out, modes).
struct SessionLogin {
    // SFTP over SSH (SftpComponent) instead of FTP.
    bool sftp = false;
    QString host;
    quint16 port = 21;
    QString user;
    QString password;
    bool passive = true;
    bool tls = false;
    int proxyKind = 0;  // as FtpComponent::ProxyKind
    QString proxyHost;
    quint16 proxyPort = 1080;
    QString proxyUser;
    QString proxyPassword;
    int timeoutSeconds = 60;
    int transferMode = 0;  // 0 binary, 1 ASCII, 2 by extension (asciiTypes in ASCII, the rest binary)
    // Auto mode's extensions (lower case, without the dot) that go in ASCII.
    QStringList asciiTypes;
    bool keepFileTimes = true;
    int listingOption = 1;
    // The SHA-256 fingerprint of the certificate the session accepted for this run: a transfer
    // connection shown the same one takes it without asking again.
    QString acceptedFingerprint;
    // Where the certificates trusted always are kept (not owned; consulted on the owner's thread).
    CertificateTrust* trust = nullptr;
    // SFTP: the private key, its passphrase once given, and the known hosts file (as SftpComponent's).
    QString identityFile;
    QString passphrase;
    QString knownHostsFile;

    // Sets the component's login properties (not its certificate trust).
    void applyTo(FtpComponent& ftp) const;
    void applyTo(SftpComponent& sftp) const;
    // The login of a component; with it connected over TLS, the certificate it was shown.
    static SessionLogin from(const FtpComponent& ftp);
    // The login of an SFTP session; its accepted fingerprint is the host key it was shown.
    static SessionLogin from(const SftpComponent& sftp);
    // Either of the two, by the session's kind.
    static SessionLogin of(const RemoteSession& session);
    // The transfer mode for one file: 0 binary, 1 ASCII.
    int modeFor(const QString& fileName) const;
    // The same server and account: a connection opened with one serves the other.
    bool sameAccount(const SessionLogin& other) const;
};

}  // namespace harbel::tessaly
