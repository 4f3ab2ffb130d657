#include "downloader/engine/FtpRetrieval.h"

#include "downloader/engine/DownloadText.h"

#include <QRandomGenerator>
#include <QSignalBlocker>

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
    connect(&control_, &QTcpSocket::readyRead, this, [this] {
        for (const FtpReply& reply : parser_.feed(control_.readAll())) {
            if (step_ == Step::Idle)
                return;  // closed while acting on an earlier reply
            onReply(reply);
        }
    });
    connect(&control_, &QTcpSocket::disconnected, this, &FtpRetrieval::controlClosed);
    connect(&control_, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        if (error != QAbstractSocket::RemoteHostClosedError)
            emit controlFailed(control_.errorString());
    });
    connect(&listener_, &QTcpServer::newConnection, this, &FtpRetrieval::acceptData);
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
    listener_.close();
    dropData();
    parser_.reset();
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
        step_ = Step::User;
        send("USER " + login_.user.toUtf8());
        emit greeted();
        return;
    case Step::User:
    case Step::Password:
        if (code == 331 && step_ == Step::User) {
            step_ = Step::Password;
            send("PASS " + login_.password.toUtf8());
        } else if (code == 230) {
            if (login_.passive) {
                step_ = Step::Passive;
                send("PASV");
            } else if (!listenForData()) {
                return;
            }
            emit loggedIn();
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
            emit startOfFile(parseStartReplySize(reply));
        }
        return;
    case Step::Transfer:
    case Step::Idle:
        return;
    }
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
    // The data port is listened on before the server is told of it; a port in use gets another.
    for (int attempt = 0; attempt < 32; ++attempt) {
        const int low = int(QRandomGenerator::global()->bounded(134)) + 6;
        listener_.close();
        if (listener_.listen(QHostAddress(v4), quint16(12 * 256 + low))) {
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
    data_ = std::make_unique<QTcpSocket>();
    wireData();
    data_->connectToHost(control_.peerAddress(), port);
    return true;
}

void FtpRetrieval::acceptData()
{
    while (QTcpSocket* incoming = listener_.nextPendingConnection()) {
        // Only the server we logged in to may deliver the file.
        if (incoming->peerAddress().toIPv4Address() != control_.peerAddress().toIPv4Address() || data_) {
            incoming->abort();
            incoming->deleteLater();
            continue;
        }
        incoming->setParent(nullptr);
        data_.reset(incoming);
        wireData();
        listener_.close();
        if (incoming->bytesAvailable() > 0)
            emit dataReadyRead();
        if (data_ && data_->state() != QAbstractSocket::ConnectedState)
            emit dataClosed();
    }
}

void FtpRetrieval::wireData()
{
    QTcpSocket* socket = data_.get();
    socket->setReadBufferSize(kSocketBuffer);
    connect(socket, &QTcpSocket::readyRead, this, &FtpRetrieval::dataReadyRead);
    connect(socket, &QTcpSocket::disconnected, this, &FtpRetrieval::dataClosed);
    connect(socket, &QTcpSocket::errorOccurred, this, [this, socket](QAbstractSocket::SocketError error) {
        if (error != QAbstractSocket::RemoteHostClosedError)
            emit dataError(socket->errorString());
    });
}

}  // namespace harbel
