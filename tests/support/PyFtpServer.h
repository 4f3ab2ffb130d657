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
