#include "downloader/engine/FtpRetrieval.h"

#include "downloader/engine/DownloadText.h"

#include "common/net/TlsSession.h"
#include "common/net/TlsTrust.h"

#include <QRandomGenerator>
#include <QSignalBlocker>
#include <QSslConfiguration>

namespace harbel {

namespace {

// Bytes the data socket holds before it stops reading from the network.
constexpr qint64 kSocketBuffer = 1024 * 1024;

void closeQuietly(QAbstractSocket& socket)
{
    const QSignalBlocker blocker(&socket);
    socket.abort();
}

}  // namespace

FtpRetrieval::FtpRetrieval(QObject* parent) : QObject(parent)
{
    connect(&control_, &QTcpSocket::connected, this, &FtpRetrieval::connected);
    connect(&control_, &QTcpSocket::readyRead, this, &FtpRetrieval::onControlReadable);
    connect(&control_, &QTcpSocket::disconnected, this, &FtpRetrieval::controlClosed);
    connect(&control_, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        if (step_ == Step::Handshake) {
            if (!refusal_.isEmpty())
                return tlsFailed(lang("19017", "The server's certificate was refused:") + u' ' + refusal_);
            return tlsFailed(lang("19032", "The TLS handshake with the FTP server failed:") + u' ' + control_.errorString());
        }
        if (error != QAbstractSocket::RemoteHostClosedError)
            emit controlFailed(control_.errorString());
    });
    // A certificate that fails the shared policy is refused, never asked about: the handshake then
    // fails and its reason is the status.
    connect(&control_, &QSslSocket::sslErrors, this, [this](const QList<QSslError>& errors) { refusal_ = tls::describeErrors(errors); });
    connect(&control_, &QSslSocket::encrypted, this, [this] {
        if (step_ != Step::Handshake)
            return;
        step_ = Step::User;
        send("USER " + login_.user.toUtf8());
    });
}

void FtpRetrieval::onControlReadable()
{
    const QList<FtpReply> replies = parser_.feed(control_.readAll());
    for (qsizetype i = 0; i < replies.size(); ++i) {
        if (step_ == Step::Idle)
            return;  // closed while acting on an earlier reply
        onReply(replies.at(i));
        if (step_ != Step::Handshake)
            continue;
        // 234: the server now waits for our first TLS message. Text from it is no TLS, and a
        // login that went on in clear text is not what the address asks for.
        if (i + 1 < replies.size() || parser_.hasPartial() || control_.bytesAvailable() > 0)
            return tlsFailed(lang("19031", "The FTP server did not start TLS after agreeing to it (AUTH TLS)."));
        tls::startClient(control_, login_.server);
        return;
    }
}

void FtpRetrieval::tlsFailed(const QString& why)
{
    step_ = Step::Idle;
    closeQuietly(control_);
    if (listener_)
        listener_->close();
    dropData();
    emit failed(why);
}

FtpRetrieval::~FtpRetrieval()
{
    close();
}

bool FtpRetrieval::isSafeArgument(const QString& text)
{
    for (const QChar c : text)
        if (c.unicode() < 32 || c.unicode() == 127)
            return false;
    return true;
}

void FtpRetrieval::start(const Login& login, qint64 restartAt)
{
    close();
    login_ = login;
    restartAt_ = restartAt;
    step_ = Step::Greeting;
    control_.connectToHost(login.server, login.port);
}

void FtpRetrieval::close()
{
    closeQuietly(control_);
    if (listener_)
        listener_->close();
    dropData();
    parser_.reset();
    refusal_.clear();
    retrAccepted_ = false;
    step_ = Step::Idle;
    dataEnded_ = false;
    confirmed_ = false;
    controlGone_ = false;
}

void FtpRetrieval::dropData()
{
    if (!data_)
        return;
    closeQuietly(*data_);
    data_.release()->deleteLater();
}

void FtpRetrieval::send(const QByteArray& command)
{
    control_.write(command + "\r\n");
}

void FtpRetrieval::onReply(const FtpReply& reply)
{
    emit replyReceived(reply.lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"));
    if (reply.overflow) {
        emit failed(lang("19101", "The FTP server's reply is not a valid FTP reply."));
        return;
    }
    const int code = reply.code;
    // The steps of FTP over TLS take every final reply as theirs, a 530 included.
    if ((step_ == Step::Auth || step_ == Step::Pbsz || step_ == Step::Prot) && !reply.isPreliminary()) {
        const QString said = reply.lines.join(u' ');
        if (step_ == Step::Auth && code == 234) {
            step_ = Step::Handshake;
            return;
        }
        if (step_ == Step::Auth)
            return tlsFailed(lang("19030", "The FTP server refused FTP over TLS (AUTH TLS), so nothing was sent in clear text:") + u' ' + said);
        if (!reply.isCompletion())
            return tlsFailed(lang("19034", "The FTP server refused to encrypt the data connection (PROT P):") + u' ' + said);
        if (step_ == Step::Pbsz) {
            step_ = Step::Prot;
            send("PROT P");
            return;
        }
        return loggedInAs();
    }
    // Replies that end the login or the transfer whatever it waits for.
    switch (code) {
    case 530:
        step_ = Step::Idle;
        emit loginRefused();
        return;
    case 425:
        emit dataConnectionFailed();
        return;
    case 426:
    case 451:
        if (step_ == Step::Transfer)
            emit transferAborted();
        return;
    case 522:
        // The server could not set up the encrypted data connection (RFC 4217).
        if (login_.tls)
            return tlsFailed(lang("19035", "The encrypted data connection could not be set up:") + u' ' + reply.lines.join(u' '));
        break;
    case 226:
        if (step_ == Step::Transfer || step_ == Step::Retrieve) {
            confirmed_ = true;
            emit transferConfirmed();
        }
        return;
    default:
        break;
    }

    switch (step_) {
    case Step::Greeting:
        if (code != 220)
            return;
        if (login_.tls) {
            step_ = Step::Auth;
            send("AUTH TLS");
        } else {
            step_ = Step::User;
            send("USER " + login_.user.toUtf8());
        }
        emit greeted();
        return;
    case Step::User:
    case Step::Password:
        if (code == 331 && step_ == Step::User) {
            step_ = Step::Password;
            send("PASS " + login_.password.toUtf8());
        } else if (code == 230 && login_.tls) {
            step_ = Step::Pbsz;
            send("PBSZ 0");
        } else if (code == 230) {
            loggedInAs();
        }
        return;
    case Step::Port:
        if (code != 200)
            return;
        step_ = Step::Type;
        send("TYPE I");
        return;
    case Step::Passive:
        if (code != 227)
            return;
        if (!connectPassive(reply))
            return;
        step_ = Step::Type;
        send("TYPE I");
        return;
    case Step::Type:
        if (code != 200)
            return;
        step_ = Step::Restart;
        send("REST " + QByteArray::number(restartAt_));
        emit restarting();
        return;
    case Step::Restart:
        if (code == 350) {
            retrieve();
        } else if (code == 500 || code == 501 || code == 502 || code == 504) {
            restartAt_ = 0;
            emit restartRefused(code);
            retrieve();
        }
        return;
    case Step::Retrieve:
        if (code == 550) {
            step_ = Step::Idle;
            closeQuietly(control_);
            dropData();
            emit fileNotFound();
        } else if (code == 150 || code == 125) {
            step_ = Step::Transfer;
            retrAccepted_ = true;
            secureData();
            emit startOfFile(parseStartReplySize(reply));
        }
        return;
    case Step::Transfer:
    case Step::Idle:
    case Step::Auth:
    case Step::Handshake:
    case Step::Pbsz:
    case Step::Prot:
        return;
    }
}

void FtpRetrieval::loggedInAs()
{
    if (login_.passive) {
        step_ = Step::Passive;
        send("PASV");
    } else if (!listenForData()) {
        return;
    }
    emit loggedIn();
}

void FtpRetrieval::retrieve()
{
    step_ = Step::Retrieve;
    send("RETR " + login_.path.toUtf8());
    emit retrieving();
}

bool FtpRetrieval::listenForData()
{
    bool isV4 = false;
    const quint32 v4 = control_.localAddress().toIPv4Address(&isV4);
    if (!isV4) {
        emit failed(lang("19102", "An active FTP data connection needs an IPv4 connection to the server; try passive mode."));
        return false;
    }
    dropData();
    // An encrypted data connection is accepted as a TLS socket whose client side is ours.
    if (login_.tls)
        listener_ = std::make_unique<tls::SslListener>();
    else
        listener_ = std::make_unique<QTcpServer>();
    connect(listener_.get(), &QTcpServer::newConnection, this, &FtpRetrieval::acceptData);
    // The data port is listened on before the server is told of it; a port in use gets another.
    for (int attempt = 0; attempt < 32; ++attempt) {
        const int low = int(QRandomGenerator::global()->bounded(134)) + 6;
        listener_->close();
        if (listener_->listen(QHostAddress(v4), quint16(12 * 256 + low))) {
            dataPort_ = quint16(12 * 256 + low);
            QString address = QHostAddress(v4).toString();
            address.replace(u'.', u',');
            step_ = Step::Port;
            send("PORT " + address.toLatin1() + ",12," + QByteArray::number(low));
            return true;
        }
    }
    emit failed(lang("11043", "Could Not Establish Data Connection"));
    return false;
}

bool FtpRetrieval::connectPassive(const FtpReply& reply)
{
    // Only the port is taken: the data connection goes to the server of the control connection,
    // whatever host the reply names.
    const quint16 port = parsePassivePort(reply);
    if (port == 0) {
        closeQuietly(control_);
        step_ = Step::Idle;
        emit dataConnectionFailed();
        return false;
    }
    dropData();
    if (login_.tls) {
        auto socket = std::make_unique<QSslSocket>();
        QSslSocket* ssl = socket.get();
        connect(ssl, &QSslSocket::connected, this, &FtpRetrieval::secureData);
        data_ = std::move(socket);
    } else {
        data_ = std::make_unique<QTcpSocket>();
    }
    wireData();
    data_->connectToHost(control_.peerAddress(), port);
    return true;
}

void FtpRetrieval::acceptData()
{
    while (QTcpSocket* incoming = listener_->nextPendingConnection()) {
        // Only the server we logged in to may deliver the file.
        if (incoming->peerAddress().toIPv4Address() != control_.peerAddress().toIPv4Address() || data_) {
            incoming->abort();
            incoming->deleteLater();
            continue;
        }
        incoming->setParent(nullptr);
        data_.reset(incoming);
        wireData();
        listener_->close();
        secureData();
        if (incoming->bytesAvailable() > 0)
            emit dataReadyRead();
        if (data_ && data_->state() != QAbstractSocket::ConnectedState)
            emit dataClosed();
    }
}

void FtpRetrieval::secureData()
{
    auto* socket = qobject_cast<QSslSocket*>(data_.get());
    if (!socket || dataTlsStarted_ || !retrAccepted_ || socket->state() != QAbstractSocket::ConnectedState)
        return;
    dataTlsStarted_ = true;
    // The server of the control connection, resuming its session as many servers require.
    tls::startClient(*socket, login_.server, control_.sslConfiguration().sessionTicket());
}

void FtpRetrieval::wireData()
{
    QTcpSocket* socket = data_.get();
    dataEncrypted_ = false;
    dataTlsStarted_ = false;
    socket->setReadBufferSize(kSocketBuffer);
    connect(socket, &QTcpSocket::readyRead, this, &FtpRetrieval::dataReadyRead);
    connect(socket, &QTcpSocket::disconnected, this, &FtpRetrieval::dataClosed);
    if (auto* ssl = qobject_cast<QSslSocket*>(socket))
        connect(ssl, &QSslSocket::encrypted, this, [this] { dataEncrypted_ = true; });
    connect(socket, &QTcpSocket::errorOccurred, this, [this, socket](QAbstractSocket::SocketError error) {
        if (login_.tls && !dataEncrypted_) {
            // Nothing of the file can have come over a data connection that never got encrypted.
            return tlsFailed(lang("19035", "The encrypted data connection could not be set up:") + u' ' + socket->errorString());
        }
        if (error != QAbstractSocket::RemoteHostClosedError)
            emit dataError(socket->errorString());
    });
}

}  // namespace harbel
