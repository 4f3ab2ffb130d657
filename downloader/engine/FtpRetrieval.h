#pragma once

#include "common/ftp/FtpDataChannel.h"
#include "common/ftp/FtpReply.h"
#include "common/net/Connector.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTcpSocket>

namespace harbel {

// One FTP login that fetches one file: the greeting, USER and PASS, the data connection (PORT to a
// port of ours, or PASV to the server's), TYPE I, REST and RETR, one command at a time. Each step
// waits for its own reply; a reply that does not belong to the step is not acted on, so a repeated
// or late reply can never send a command twice. The job is told of every stage by a signal and
// reads the file's bytes from data() itself. Closing it raises none of its events.
//
// With Login::tls (an ftps:// address) the login is explicit FTP over TLS: AUTH TLS after the
// greeting, the control connection encrypted before USER, PBSZ 0 and PROT P after the login, and the
// data connection encrypted too, resuming the control connection's TLS session. The certificate is
// checked with the programs' shared policy and never asked about: a refused one, a server without
// TLS or a failed handshake ends the login (failed) with its reason, and nothing goes in clear text.
// The connections themselves are common/net's connector (control) and common/ftp's data channel.
class FtpRetrieval final : public QObject {
    Q_OBJECT
public:
    // What the login waits for.
    // The steps before Port are the login.
    enum class Step { Idle, Greeting, Auth, Handshake, User, Password, Pbsz, Prot, Port, Passive, Type, Restart, Retrieve, Transfer };

    struct Login {
        QString server;
        quint16 port = 21;
        QString user;
        QString password;
        QString path;
        bool passive = false;
        bool tls = false;  // explicit FTP over TLS (ftps://)
    };

    explicit FtpRetrieval(QObject* parent = nullptr);
    ~FtpRetrieval() override;

    // Logs in and asks for the file from byte restartAt on.
    void start(const Login& login, qint64 restartAt);
    void close();

    Step step() const { return step_; }
    // The port an active data connection was offered on.
    quint16 dataPort() const { return dataPort_; }
    QTcpSocket* data() const { return data_.socket(); }
    // The transfer is over only once its data connection has ended or the server has confirmed it
    // (226), or the control connection has gone: before that the announced size may be wrong.
    bool dataEnded() const { return dataEnded_; }
    bool confirmed() const { return confirmed_; }
    bool controlGone() const { return controlGone_; }
    bool ended() const { return dataEnded_ || confirmed_ || controlGone_; }
    void setDataEnded() { dataEnded_ = true; }
    void setControlGone() { controlGone_ = true; }
    // The server's last final reply of this login, as one line.
    const QString& lastReply() const { return lastReply_; }
    bool controlConnected() const { return control_.socket().state() == QAbstractSocket::ConnectedState; }
    QString controlError() const { return control_.socket().errorString(); }

    // Whether text can be sent in a command: a control character would end the line early and
    // let the rest be taken for a command of its own.
    static bool isSafeArgument(const QString& text);

signals:
    // Every reply, as received, for the server log.
    void replyReceived(const QString& text);
    void greeted();
    void loggedIn();
    void restarting();
    void retrieving();
    // REST was refused (504) or is not known (500, 501, 502): the file comes from its first byte.
    void restartRefused(int code);
    // 150 or 125: the file comes; namedSize is the size the reply names, or -1.
    void startOfFile(qint64 namedSize);
    void transferConfirmed();
    // 426 or 451 to the transfer, with the server's reply.
    void transferAborted(const QString& reply);
    void fileNotFound();
    void loginRefused();
    // 425, or a passive reply without a usable port (the control connection is closed then).
    void dataConnectionFailed();
    // The login cannot go on: text says why.
    void failed(const QString& text);
    void dataReadyRead();
    void dataClosed();
    void dataError(const QString& description);
    void connected();
    void controlClosed();
    void controlFailed(const QString& description);

private:
    void onControlReadable();
    void onReply(const FtpReply& reply);
    void send(const QByteArray& command);
    void loggedInAs();
    // FTP over TLS could not be set up: the login ends with why, nothing more is sent.
    void tlsFailed(const QString& why);
    void onControlFailed(const net::Failure& failure);
    void onDataFailed(const net::Failure& failure);
    // The data connection of this login, as the control connection stands now.
    FtpDataChannel::Setup dataSetup(bool passive) const;
    bool listenForData();
    bool connectPassive(const FtpReply& reply);
    void retrieve();

    net::Connector control_;
    FtpDataChannel data_;
    FtpReplyParser parser_;
    Login login_;
    qint64 restartAt_ = 0;
    Step step_ = Step::Idle;
    quint16 dataPort_ = 0;
    bool dataEnded_ = false;
    bool confirmed_ = false;
    bool controlGone_ = false;
    QString lastReply_;
};

}  // namespace harbel
