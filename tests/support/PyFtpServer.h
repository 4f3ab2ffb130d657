#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <memory>

namespace harbel::test {

// The real pyftpdlib server on a free loopback port, serving one folder to one user.
class PyFtpServer final {
public:
    struct Options {
        QString user = QStringLiteral("tess");
        QString password = QStringLiteral("secret");
        bool refuseLogin = false;
        bool noMlsd = false;
        bool noMdtm = false;  // refuse MDTM as a command the server does not know
        QString masquerade;  // address the PASV replies name
        bool anonymous = false;
        bool nameSize = false;  // the 150 reply to RETR names the size: "(N bytes)"
        quint16 port = 0;       // 0: a free port
        QString host = QStringLiteral("127.0.0.1");  // the address listened on ("::1" for IPv6)
        // Explicit FTP over TLS (pyftpdlib's TLS_FTPHandler) with this certificate and key (PEM
        // files): AUTH TLS is required before the login and PROT P before any transfer.
        QString tlsCertificate;
        QString tlsKey;
        // A data connection must resume the control connection's TLS session, as vsftpd's
        // require_ssl_reuse asks; one that does not is refused with 522.
        bool tlsRequireReuse = true;
        // The first RETR's data connection ends after this many bytes without a TLS close
        // notification, and the server still answers 226.
        qint64 tlsCutData = -1;
        // AUTH TLS is answered 234, and then nothing more: the handshake never completes.
        bool tlsStallHandshake = false;
    };

    explicit PyFtpServer(QString root, Options options);
    explicit PyFtpServer(QString root) : PyFtpServer(std::move(root), Options{}) {}
    ~PyFtpServer();

    // Starts the server and waits for its port; false (with the server's output in error()) when
    // it does not come up.
    bool start();
    void stop();
    quint16 port() const { return port_; }
    const QString& root() const { return root_; }
    const Options& options() const { return options_; }
    QString error() const { return error_; }

private:
    QString root_;
    Options options_;
    std::unique_ptr<QProcess> process_;
    quint16 port_ = 0;
    QString error_;
};

}  // namespace harbel::test
