#include "downloader/engine/FtpRetrieval.h"

#include "downloader/engine/DownloadText.h"

namespace harbel {

namespace {

// Bytes the data socket holds before it stops reading from the network.
constexpr qint64 kSocketBuffer = 1024 * 1024;
// The ports an active data connection is offered on: 12 * 256 + 6 up to 12 * 256 + 139.
constexpr quint16 kFirstDataPort = 3078;
constexpr quint16 kLastDataPort = 3211;

}  // namespace

FtpRetrieval::FtpRetrieval(QObject* parent) : QObject(parent)
{
    connect(&control_, &net::Connector::ready, this, &FtpRetrieval::connected);
    connect(&control_, &net::Connector::readyRead, this, &FtpRetrieval::onControlReadable);
    connect(&control_, &net::Connector::closed, this, &FtpRetrieval::controlClosed);
    connect(&control_, &net::Connector::failed, this, &FtpRetrieval::onControlFailed);
    connect(&control_, &net::Connector::encrypted, this, [this] {
        if (step_ != Step::Handshake)
            return;
        step_ = Step::User;
        send("USER " + login_.user.toUtf8());
    });
    connect(&data_, &FtpDataChannel::readyRead, this, &FtpRetrieval::dataReadyRead);
    connect(&data_, &FtpDataChannel::ended, this, &FtpRetrieval::dataClosed);
    connect(&data_, &FtpDataChannel::failed, this, &FtpRetrieval::onDataFailed);
    connect(&data_, &FtpDataChannel::interrupted, this, [this](const net::Failure& failure) {
        if (failure.error != QAbstractSocket::RemoteHostClosedError)
            emit dataError(failure.description);
    });
}

void FtpRetrieval::onControlFailed(const net::Failure& failure)
{
    if (step_ == Step::Handshake) {
        // A certificate that fails the shared policy is refused, never asked about.
        if (failure.reason == net::Failure::Reason::CertificateRefused)
            return tlsFailed(lang("19017", "The server's certificate was refused:") + u' ' + failure.description);
        return tlsFailed(lang("19032", "The TLS handshake with the FTP server failed:") + u' ' + failure.description);
    }
    if (failure.error == QAbstractSocket::RemoteHostClosedError)
        emit controlClosed();
    else
        emit controlFailed(failure.description);
}

void FtpRetrieval::onDataFailed(const net::Failure& failure)
{
    // Nothing of the file can have come over a data connection that never got encrypted.
    if (login_.tls)
        return tlsFailed(lang("19035", "The encrypted data connection could not be set up:") + u' ' + failure.description);
    if (failure.error != QAbstractSocket::RemoteHostClosedError)
        emit dataError(failure.description);
}

void FtpRetrieval::onControlReadable()
{
    const QList<FtpReply> replies = parser_.feed(control_.socket().readAll());
    for (qsizetype i = 0; i < replies.size(); ++i) {
        if (step_ == Step::Idle)
            return;  // closed while acting on an earlier reply
        onReply(replies.at(i));
        if (step_ != Step::Handshake)
            continue;
        // 234: the server now waits for our first TLS message. Text from it is no TLS, and a
        // login that went on in clear text is not what the address asks for.
        if (i + 1 < replies.size() || parser_.hasPartial() || control_.socket().bytesAvailable() > 0)
            return tlsFailed(lang("19031", "The FTP server did not start TLS after agreeing to it (AUTH TLS)."));
        control_.startTls();
        return;
    }
}

void FtpRetrieval::tlsFailed(const QString& why)
{
    step_ = Step::Idle;
    control_.abort();
    data_.close();
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
    net::Route route;
    route.host = login.server;
    route.port = login.port;
    route.explicitTls = login.tls;
    control_.open(route);
}

void FtpRetrieval::close()
{
    control_.abort();
    data_.close();
    parser_.reset();
    step_ = Step::Idle;
    dataEnded_ = false;
    confirmed_ = false;
    controlGone_ = false;
    lastReply_.clear();
}

void FtpRetrieval::send(const QByteArray& command)
{
    control_.socket().write(command + "\r\n");
}

void FtpRetrieval::onReply(const FtpReply& reply)
{
    emit replyReceived(reply.lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"));
    if (reply.overflow) {
        emit failed(lang("19101", "The FTP server's reply is not a valid FTP reply."));
        return;
    }
    const int code = reply.code;
    if (!reply.isPreliminary())
        lastReply_ = reply.lines.join(u' ').trimmed();
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
        // The transfer was aborted, or refused for a passing fault of the server: a new login
        // may fetch it.
        if (step_ == Step::Transfer || step_ == Step::Retrieve)
            emit transferAborted(lastReply_);
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
        if (code != 227 && code != 229)
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
            control_.abort();
            data_.close();
            emit fileNotFound();
        } else if (code == 150 || code == 125) {
            step_ = Step::Transfer;
            data_.transferAccepted();
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
        send(data_.begin(dataSetup(true)).toLatin1());
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

FtpDataChannel::Setup FtpRetrieval::dataSetup(bool passive) const
{
    FtpDataChannel::Setup setup = FtpDataChannel::Setup::fromControl(control_);
    setup.passive = passive;
    setup.protect = login_.tls;
    setup.firstPort = kFirstDataPort;
    setup.lastPort = kLastDataPort;
    setup.readBufferSize = kSocketBuffer;
    return setup;
}

bool FtpRetrieval::listenForData()
{
    // The data port is listened on before the server is told of it.
    const QString command = data_.begin(dataSetup(false));
    if (command.isEmpty()) {
        emit failed(lang("11043", "Could Not Establish Data Connection"));
        return false;
    }
    dataPort_ = data_.listenPort();
    step_ = Step::Port;
    send(command.toLatin1());
    return true;
}

bool FtpRetrieval::connectPassive(const FtpReply& reply)
{
    // Only the port is taken: the data connection goes to the server of the control connection,
    // whatever host the reply names.
    if (!data_.connectPassive(reply)) {
        control_.abort();
        step_ = Step::Idle;
        emit dataConnectionFailed();
        return false;
    }
    return true;
}

}  // namespace harbel
