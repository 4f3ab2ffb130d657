#include "ftpclient/core/FtpOperations.h"

#include "ftpclient/core/FtpComponent.h"
#include "ftpclient/core/TlsLayer.h"

#include "common/net/TlsSession.h"
#include "common/net/TlsTrust.h"

#include <QFile>
#include <QRegularExpression>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace harbel::tessaly {

namespace {
constexpr qint64 kChunk = 256 * 1024;
constexpr qint64 kUploadBacklog = 1024 * 1024;
constexpr qint64 kProgressStep = 1024 * 1024;
}  // namespace

// --- FtpOperation ---------------------------------------------------------------------------

FtpOperation::FtpOperation(FtpComponent& ftp) : ftp_(ftp) {}

void FtpOperation::send(const QString& line)
{
    ftp_.control_->send(line);
}

void FtpOperation::log(const QString& text)
{
    emit ftp_.LogLine(text);
}

void FtpOperation::succeed()
{
    if (finished_)
        return;
    finished_ = true;
    emit finished();
}

void FtpOperation::fail(qint64 number, const QString& description)
{
    if (finished_)
        return;
    finished_ = true;
    error_ = FtpError(number, description);
    emit finished();
}

void FtpOperation::refuse(const FtpReply& reply, qint64 number)
{
    fail(number, reply.lines.isEmpty() ? QStringLiteral("The server refused the command.") : reply.lines.join(QLatin1Char('\n')));
}

void FtpOperation::abort()
{
    fail(ftpErrAborted, QStringLiteral("The operation was aborted."));
}

QString FtpOperation::timeoutText() const
{
    return QStringLiteral("The server did not answer in time.");
}

// --- CommandOperation -----------------------------------------------------------------------

CommandOperation::CommandOperation(FtpComponent& ftp, QList<Step> steps) : FtpOperation(ftp), steps_(std::move(steps)) {}

void CommandOperation::start()
{
    send(steps_.at(0).command);
}

void CommandOperation::onReply(const FtpReply& reply)
{
    if (reply.isPreliminary())
        return;
    last_ = reply;
    const Step& step = steps_.at(index_);
    const bool ok = reply.isCompletion() || (step.intermediateOk && reply.isIntermediate());
    if (!ok)
        return refuse(reply);
    if (++index_ == steps_.size())
        return succeed();
    send(steps_.at(index_).command);
}

// --- LoginOperation -------------------------------------------------------------------------

void LoginOperation::start()
{
    step_ = Step::Connecting;
    // What an earlier server offered says nothing about this one, which may not answer FEAT at all.
    ftp_.mlsd_ = ftp_.utf8_ = ftp_.size_ = ftp_.rest_ = false;
    ftp_.dataProtected_ = false;
    FtpControlChannel* control = ftp_.control_;
    connect(control, &FtpControlChannel::tlsReady, this, &LoginOperation::tlsReady);
    connect(control, &FtpControlChannel::tlsFailed, this, [this](const QString& why) {
        fail(ftpErrTls, QStringLiteral("The TLS handshake with %1 failed: %2. Nothing was sent in clear text.").arg(ftp_.Host, why));
    });
    connect(control, &FtpControlChannel::certificateQuestion, this, &LoginOperation::judgeCertificate);
    control->open(ftp_.Host, ftp_.Port, ftp_.proxy());
}

QString LoginOperation::timeoutText() const
{
    if (step_ == Step::Handshake)
        return QStringLiteral("The server %1 stopped answering in the middle of the TLS handshake.").arg(ftp_.Host);
    return FtpOperation::timeoutText();
}

void LoginOperation::sendUser()
{
    step_ = Step::User;
    send(QStringLiteral("USER ") + ftp_.User);
}

void LoginOperation::tlsReady()
{
    if (isFinished() || step_ != Step::Handshake)
        return;
    log(QStringLiteral("The connection to %1 is encrypted (TLS).").arg(ftp_.Host));
    sendUser();
}

void LoginOperation::judgeCertificate(const QSslCertificate& certificate, const QList<QSslError>& errors)
{
    if (isFinished())
        return ftp_.control_->refuseCertificate();
    const QString fingerprint = tls::fingerprint(certificate);
    const QString trusted = TrustedCertificates::fingerprintFor(ftp_.Host, ftp_.Port);
    if (!trusted.isEmpty() && trusted.compare(fingerprint, Qt::CaseInsensitive) == 0) {
        log(QStringLiteral("The certificate of %1 (%2) is one you chose to trust always.").arg(ftp_.Host, fingerprint));
        return ftp_.control_->acceptCertificate();
    }
    const CertificateInfo info = describeCertificate(ftp_.Host, ftp_.Port, certificate, errors, trusted);
    if (info.changed())
        log(QStringLiteral("WARNING: the certificate of %1 has changed: trusted before %2, presented now %3.")
                .arg(ftp_.Host, trusted, fingerprint));
    int answer = certRefuse;
    // The user takes the time the question needs: the server's silence meanwhile is no time-out.
    ftp_.watchdog_->stop();
    emit ftp_.CertificateQuery(info, answer);
    ftp_.touch();
    if (isFinished())
        return ftp_.control_->refuseCertificate();
    if (answer == certTrustAlways && !TrustedCertificates::trust(ftp_.Host, ftp_.Port, fingerprint))
        log(QStringLiteral("The certificate could not be kept in %1; it is trusted this time only.").arg(TrustedCertificates::filePath()));
    if (answer == certTrustAlways || answer == certTrustOnce) {
        log(QStringLiteral("You chose to trust the certificate of %1 (%2) %3.")
                .arg(ftp_.Host, fingerprint, answer == certTrustAlways ? QStringLiteral("always") : QStringLiteral("this time")));
        return ftp_.control_->acceptCertificate();
    }
    fail(ftpErrCertificate, QStringLiteral("The certificate of %1 was refused: %2.").arg(ftp_.Host, info.reason));
    ftp_.control_->refuseCertificate();
}

void LoginOperation::loggedIn()
{
    if (!ftp_.UseTls) {
        step_ = Step::Feat;
        send(QStringLiteral("FEAT"));
        return;
    }
    step_ = Step::Pbsz;
    send(QStringLiteral("PBSZ 0"));
}

void LoginOperation::opened()
{
    step_ = Step::Greeting;
}

void LoginOperation::openFailed(const QString& description)
{
    fail(ftpErrConnectFailed, QStringLiteral("Could not connect to %1 on port %2: %3").arg(ftp_.Host).arg(ftp_.Port).arg(description));
}

void LoginOperation::askAccount()
{
    if (++accountsSent_ > 3)
        return fail(ftpErrLoginFailed, QStringLiteral("The server keeps asking for an account."));
    QString account;
    emit ftp_.AccountRequired(account);
    if (account.isEmpty())
        return fail(ftpErrLoginFailed, QStringLiteral("The server requires an account and none was given."));
    step_ = Step::Acct;
    send(QStringLiteral("ACCT ") + account);
}

void LoginOperation::onReply(const FtpReply& reply)
{
    if (reply.isPreliminary())
        return;  // 120: the server will be ready soon
    switch (step_) {
    case Step::Connecting:
    case Step::Greeting:
        if (reply.code != 220)
            return refuse(reply, ftpErrConnectFailed);
        if (ftp_.UseTls) {
            step_ = Step::Auth;
            send(QStringLiteral("AUTH TLS"));
            return;
        }
        return sendUser();
    case Step::Auth:
        if (reply.code != 234) {
            // FTP over TLS was chosen: a server without it gets no login in clear text.
            return fail(ftpErrTls, QStringLiteral("The server %1 refused FTP over TLS (AUTH TLS): %2 Nothing was sent in clear text.")
                                       .arg(ftp_.Host, reply.lines.join(QLatin1Char(' '))));
        }
        step_ = Step::Handshake;
        ftp_.control_->startTls(ftp_.Host);
        return;
    case Step::Handshake:
        return fail(ftpErrTls, QStringLiteral("The server %1 sent a reply in the middle of the TLS handshake.").arg(ftp_.Host));
    case Step::Pbsz:
    case Step::Prot:
        if (!reply.isCompletion()) {
            return fail(ftpErrTls, QStringLiteral("The server %1 refused to encrypt the data connections (%2): %3")
                                       .arg(ftp_.Host, step_ == Step::Pbsz ? QStringLiteral("PBSZ 0") : QStringLiteral("PROT P"),
                                            reply.lines.join(QLatin1Char(' '))));
        }
        if (step_ == Step::Pbsz) {
            step_ = Step::Prot;
            send(QStringLiteral("PROT P"));
            return;
        }
        ftp_.dataProtected_ = true;
        step_ = Step::Feat;
        send(QStringLiteral("FEAT"));
        return;
    case Step::User:
    case Step::Pass:
    case Step::Acct:
        if (reply.code == 230 || reply.code == 202)
            return loggedIn();
        if (reply.code == 331) {
            QString password = ftp_.Password;
            if (passwordsSent_ > 0) {
                // A second 331: the server wants another password.
                password.clear();
                emit ftp_.PasswordRequired(password);
                if (password.isEmpty() || passwordsSent_ > 3)
                    return fail(ftpErrLoginFailed, reply.lines.join(QLatin1Char('\n')));
            }
            ++passwordsSent_;
            step_ = Step::Pass;
            send(QStringLiteral("PASS ") + password);
            return;
        }
        if (reply.code == 332)
            return askAccount();
        return refuse(reply, ftpErrLoginFailed);
    case Step::Feat:
        if (reply.isCompletion())
            ftp_.parseFeatures(reply);
        if (ftp_.utf8_) {
            step_ = Step::Utf8;
            send(QStringLiteral("OPTS UTF8 ON"));
            return;
        }
        return succeed();
    case Step::Utf8:
        return succeed();  // servers that refuse it still work, in their own encoding
    }
}

// --- TransferOperation ----------------------------------------------------------------------

TransferOperation::TransferOperation(FtpComponent& ftp, Request request) : FtpOperation(ftp), request_(std::move(request)) {}

TransferOperation::~TransferOperation()
{
    closeData();
}

void TransferOperation::start()
{
    step_ = Step::Type;
    send(request_.ascii ? QStringLiteral("TYPE A") : QStringLiteral("TYPE I"));
}

void TransferOperation::sendDataPortCommand()
{
    step_ = Step::DataPort;
    const bool ipv6 = ftp_.control_->peerAddress().protocol() == QAbstractSocket::IPv6Protocol
                      && !ftp_.control_->peerAddress().toString().startsWith(QLatin1String("::ffff:"));
    // Through a proxy only passive connections can work.
    if (ftp_.Passive || ftp_.proxy().used()) {
        send(ipv6 ? QStringLiteral("EPSV") : QStringLiteral("PASV"));
        return;
    }
    // An encrypted data connection is accepted as a TLS socket whose client side is ours.
    listener_ = ftp_.dataProtected_ ? new tls::SslListener(this) : new QTcpServer(this);
    const QHostAddress local = ftp_.control_->localAddress();
    if (!listener_->listen(local, 0))
        return fail(ftpErrDataConnection, QStringLiteral("Could not listen for the data connection: ") + listener_->errorString());
    connect(listener_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* s = listener_->nextPendingConnection()) {
            // Only the server we talk to may connect to our data port.
            if (data_ || !s->peerAddress().isEqual(ftp_.control_->peerAddress(), QHostAddress::TolerantConversion)) {
                log(QStringLiteral("Refused a data connection from %1.").arg(s->peerAddress().toString()));
                s->abort();
                s->deleteLater();
                continue;
            }
            s->setParent(this);
            listener_->close();
            secureDataSocket(s);
        }
    });
    const quint16 port = listener_->serverPort();
    if (ipv6) {
        send(QStringLiteral("EPRT |2|%1|%2|").arg(local.toString()).arg(port));
    } else {
        const quint32 a = local.toIPv4Address();
        send(QStringLiteral("PORT %1,%2,%3,%4,%5,%6").arg(a >> 24).arg((a >> 16) & 0xff).arg((a >> 8) & 0xff).arg(a & 0xff)
                 .arg(port >> 8).arg(port & 0xff));
    }
}

void TransferOperation::sendRestOrCommand()
{
    if (request_.restOffset > 0 && step_ != Step::Rest) {
        step_ = Step::Rest;
        send(QStringLiteral("REST %1").arg(request_.restOffset));
        return;
    }
    step_ = Step::Command;
    commandSent_ = true;
    send(request_.command);
}

void TransferOperation::connectPassive(quint16 port)
{
    auto* socket = ftp_.dataProtected_ ? new QSslSocket(this) : new QTcpSocket(this);
    data_ = socket;
    const ProxySettings proxy = ftp_.proxy();
    connector_ = new ProxiedConnector(*socket, proxy, this);
    connect(connector_, &ProxiedConnector::ready, this, [this, socket] {
        connector_->disconnect(this);
        connector_->deleteLater();
        secureDataSocket(socket);
    });
    connect(connector_, &ProxiedConnector::failed, this, [this](const QString& why) {
        if (!dataReady_)
            fail(ftpErrDataConnection, QStringLiteral("Could not open the data connection: ") + why);
    });
    // The data connection goes to the host we are already talking to, whatever the reply named.
    const QString host = proxy.used() ? ftp_.Host : ftp_.control_->peerAddress().toString();
    connector_->connectTo(host, port);
}

void TransferOperation::secureDataSocket(QTcpSocket* socket)
{
    if (!ftp_.dataProtected_ || !qobject_cast<QSslSocket*>(socket))
        return adoptDataSocket(socket);
    data_ = socket;
    awaitingTls_ = socket;
    if (commandAccepted_)
        startDataTls();
}

void TransferOperation::startDataTls()
{
    auto* ssl = qobject_cast<QSslSocket*>(awaitingTls_.data());
    awaitingTls_ = nullptr;
    if (!ssl || isFinished())
        return;
    QTcpSocket* socket = ssl;
    tls_ = new TlsLayer(*ssl, ftp_.Host, this);
    connect(tls_, &TlsLayer::encrypted, this, [this, socket] {
        if (!isFinished())
            adoptDataSocket(socket);
    });
    connect(tls_, &TlsLayer::failed, this, [this](const QString& why) {
        if (!dataReady_)
            fail(ftpErrTls, QStringLiteral("The data connection could not be encrypted: ") + why);
    });
    // The session of the control connection is resumed, and the server must be the same one.
    tls_->startData(ftp_.control_->sessionTicket(), ftp_.control_->peerCertificate());
}

void TransferOperation::adoptDataSocket(QTcpSocket* socket)
{
    data_ = socket;
    dataReady_ = true;
    connect(socket, &QTcpSocket::disconnected, this, &TransferOperation::onDataClosed);
    if (request_.direction == Direction::Download) {
        connect(socket, &QTcpSocket::readyRead, this, &TransferOperation::onDataReadable);
        if (socket->bytesAvailable() > 0)
            onDataReadable();
    } else {
        connect(socket, &QTcpSocket::bytesWritten, this, &TransferOperation::pumpUpload);
        if (auto* ssl = qobject_cast<QSslSocket*>(socket))
            connect(ssl, &QSslSocket::encryptedBytesWritten, this, &TransferOperation::pumpUpload);
        if (commandAccepted_)
            pumpUpload();
    }
    if (socket->state() != QAbstractSocket::ConnectedState)
        onDataClosed();
}

bool TransferOperation::writeSink(const QByteArray& bytes)
{
    if (request_.buffer) {
        request_.buffer->append(bytes);
        if (request_.buffer->size() > 256LL * 1024 * 1024) {
            fail(ftpErrProtocol, QStringLiteral("The folder listing is too large."));
            return false;
        }
        return true;
    }
    if (!sink_) {
        QString why;
        sink_.reset(request_.openSink ? request_.openSink(why) : nullptr);
        if (!sink_) {
            fail(ftpErrLocalFile, why);
            return false;
        }
    }
    QByteArray out = bytes;
    if (request_.ascii) {
        // Network text lines end in CR LF; ours end in LF.
        if (pendingCr_)
            out.prepend('\r');
        pendingCr_ = out.endsWith('\r');
        if (pendingCr_)
            out.chop(1);
        out.replace("\r\n", "\n");
    }
    if (sink_->write(out) != out.size()) {
        fail(ftpErrLocalFile, QStringLiteral("Could not write %1: %2").arg(request_.displayName, sink_->errorString()));
        return false;
    }
    return true;
}

void TransferOperation::onDataReadable()
{
    if (isFinished() || !data_)
        return;
    ftp_.touch();
    // Read into one reused buffer: no fresh allocation for every chunk of a large file.
    if (readBuffer_.isEmpty())
        readBuffer_.resize(kChunk * 4);
    for (;;) {
        qint64 n = data_->read(readBuffer_.data(), readBuffer_.size());
        if (n <= 0)
            break;
        // A binary download of known size that goes on past it is not the file asked for: keep what
        // it should hold and stop, rather than fill the disk for as long as the server sends.
        const qint64 room = request_.ascii || request_.totalSize < 0 ? n : request_.totalSize - request_.restOffset - moved_;
        const bool overrun = n > room;
        if (overrun)
            n = qMax<qint64>(0, room);
        moved_ += n;
        if (n > 0 && !writeSink(QByteArray::fromRawData(readBuffer_.constData(), n)))
            return closeData();
        if (overrun) {
            if (sink_)
                sink_->flush();
            fail(ftpErrIncomplete, QStringLiteral("The server sent more than the %1 bytes of %2.").arg(request_.totalSize).arg(request_.displayName));
            return closeData();
        }
    }
    progress();
}

void TransferOperation::pumpUpload()
{
    if (isFinished() || !data_ || !commandAccepted_)
        return;
    ftp_.touch();
    // What still waits to go out: on an encrypted connection, the encrypted bytes too. The
    // connection is closed only once they have gone, so that the close cannot overtake them.
    auto waiting = [this] {
        const auto* ssl = qobject_cast<const QSslSocket*>(data_.data());
        return data_->bytesToWrite() + (ssl ? ssl->encryptedBytesToWrite() : 0);
    };
    while (waiting() < kUploadBacklog) {
        if (pendingUpload_.isEmpty()) {
            if (uploadEof_)
                break;
            QByteArray chunk = request_.source->read(kChunk);
            if (chunk.isEmpty()) {
                if (request_.source->error() != QFile::NoError)
                    return fail(ftpErrLocalFile, QStringLiteral("Could not read %1: %2").arg(request_.source->fileName(), request_.source->errorString()));
                uploadEof_ = true;
                break;
            }
            moved_ += chunk.size();
            if (request_.ascii) {
                QByteArray converted;
                converted.reserve(chunk.size() + chunk.size() / 16);
                for (char c : std::as_const(chunk)) {
                    if (c == '\n' && !lastWasCr_)
                        converted.append('\r');
                    converted.append(c);
                    lastWasCr_ = c == '\r';
                }
                chunk = converted;
            }
            pendingUpload_ = chunk;
            progress();
        }
        const qint64 n = data_->write(pendingUpload_);
        if (n < 0)
            return fail(ftpErrDataConnection, QStringLiteral("The data connection failed: ") + data_->errorString());
        pendingUpload_.remove(0, n);
    }
    if (uploadEof_ && pendingUpload_.isEmpty() && waiting() == 0)
        closeUpload();
}

void TransferOperation::closeUpload()
{
    if (isFinished() || !data_ || data_->state() != QAbstractSocket::ConnectedState)
        return;
    // An encrypted connection is closed only once the server has taken every byte and what it sent
    // meanwhile has been read: closing earlier would reset it and lose the file's end. The time
    // limit still runs while the server takes them.
    if (tls_ && !tls::socketDrained(*data_)) {
        QTimer::singleShot(5, this, &TransferOperation::closeUpload);
        return;
    }
    data_->disconnectFromHost();
}

void TransferOperation::progress()
{
    if (!request_.reportProgress)
        return;
    const qint64 done = request_.restOffset + moved_;
    const bool last = request_.totalSize >= 0 && done >= request_.totalSize;
    if (!last && lastReported_ >= 0 && done - lastReported_ < kProgressStep)
        return;
    lastReported_ = done;
    const qint64 total = request_.totalSize;
    const int percent = total > 0 ? int(qBound<qint64>(qint64(0), done * 100 / total, qint64(100))) : 0;
    emit ftp_.TransferProgress(request_.displayName, total < 0 ? 0 : total, done, percent);
}

void TransferOperation::onDataClosed()
{
    if (isFinished() || dataDone_)
        return;
    if (request_.direction == Direction::Download && data_ && data_->bytesAvailable() > 0)
        onDataReadable();
    if (isFinished())
        return;
    if (request_.direction == Direction::Upload && !(uploadEof_ && pendingUpload_.isEmpty()))
        return fail(ftpErrDataConnection, QStringLiteral("The server closed the data connection before the whole file was sent."));
    dataDone_ = true;
    if (pendingCr_ && sink_) {
        sink_->write("\r", 1);
        pendingCr_ = false;
    }
    if (sink_)
        sink_->flush();
    maybeFinish();
}

void TransferOperation::maybeFinish()
{
    if (isFinished() || !finalReply_ || !dataDone_)
        return;
    if (request_.direction == Direction::Download && !request_.ascii && request_.totalSize >= 0
        && request_.restOffset + moved_ != request_.totalSize) {
        return fail(ftpErrIncomplete, QStringLiteral("The transfer of %1 ended after %2 of %3 bytes.")
                                         .arg(request_.displayName).arg(request_.restOffset + moved_).arg(request_.totalSize));
    }
    if (request_.direction == Direction::Download && !sink_ && !request_.buffer) {
        // An empty file: nothing arrived, but the file must exist.
        QString why;
        sink_.reset(request_.openSink ? request_.openSink(why) : nullptr);
        if (!sink_)
            return fail(ftpErrLocalFile, why);
    }
    if (sink_) {
        if (!sink_->flush())
            return fail(ftpErrLocalFile, QStringLiteral("Could not write %1: %2").arg(request_.displayName, sink_->errorString()));
        sink_->close();
    }
    if (request_.reportProgress && request_.totalSize < 0 && lastReported_ != request_.restOffset + moved_) {
        const qint64 done = request_.restOffset + moved_;
        emit ftp_.TransferProgress(request_.displayName, done, done, 100);
    } else if (request_.reportProgress && lastReported_ != request_.restOffset + moved_) {
        lastReported_ = -1;
        progress();
    }
    succeed();
}

void TransferOperation::closeData()
{
    if (connector_)
        connector_->disconnect(this);
    if (tls_)
        tls_->disconnect(this);
    if (listener_)
        listener_->close();
    if (data_) {
        data_->disconnect(this);
        data_->abort();
    }
    if (sink_)
        sink_->close();
}

void TransferOperation::abort()
{
    closeData();
    FtpOperation::abort();
}

void TransferOperation::onReply(const FtpReply& reply)
{
    switch (step_) {
    case Step::Type:
        if (!reply.isCompletion())
            return refuse(reply);
        return sendDataPortCommand();
    case Step::DataPort: {
        if (!reply.isCompletion())
            return refuse(reply, ftpErrDataConnection);
        if (listener_)
            return sendRestOrCommand();
        QString named;
        const quint16 port = parsePassivePort(reply, &named);
        if (port == 0)
            return fail(ftpErrProtocol, QStringLiteral("The server's passive reply is malformed: ") + reply.lines.join(QLatin1Char(' ')));
        const QHostAddress peer = ftp_.control_->peerAddress();
        if (!named.isEmpty() && !QHostAddress(named).isEqual(peer, QHostAddress::TolerantConversion)) {
            log(QStringLiteral("The server named %1 for the data connection; connecting to %2 instead.")
                    .arg(named, ftp_.proxy().used() ? ftp_.Host : peer.toString()));
        }
        connectPassive(port);
        return sendRestOrCommand();
    }
    case Step::Rest:
        if (reply.code != 350)
            return refuse(reply);
        return sendRestOrCommand();
    case Step::Command:
    case Step::Transfer:
        if (reply.isPreliminary()) {
            step_ = Step::Transfer;
            commandAccepted_ = true;
            if (awaitingTls_)
                startDataTls();
            // Without SIZE, the size the start reply names is all there is to tell a whole file from
            // one cut short. Only for a whole binary file: after REST servers differ in what they name.
            if (request_.direction == Direction::Download && !request_.buffer && !request_.ascii
                && request_.totalSize < 0 && request_.restOffset == 0) {
                request_.totalSize = parseStartReplySize(reply);
            }
            if (request_.direction == Direction::Upload && dataReady_)
                pumpUpload();
            return;
        }
        if (reply.isCompletion()) {
            const bool hadPreliminary = commandAccepted_;
            finalReply_ = reply;
            commandAccepted_ = true;
            if (request_.direction == Direction::Upload && !dataDone_) {
                if (!(uploadEof_ && pendingUpload_.isEmpty()))
                    return fail(ftpErrDataConnection, QStringLiteral("The server ended the upload early: ") + reply.text());
                dataDone_ = true;
            }
            // A server that answers at once without opening a connection to our port has nothing to
            // send; a passive connection we opened ourselves always ends in its own close, unless
            // it waits for a TLS handshake that a command without a transfer never starts.
            if (!hadPreliminary && (listener_ || awaitingTls_) && !dataReady_ && request_.direction == Direction::Download)
                dataDone_ = true;
            return maybeFinish();
        }
        closeData();
        finalReply_ = reply;
        return refuse(reply, reply.code == 425 ? ftpErrDataConnection : ftpErrServerRefused);
    }
}

// --- reply helpers --------------------------------------------------------------------------

std::optional<QString> parsePwdReply(const FtpReply& reply)
{
    if (reply.code != 257 || reply.lines.isEmpty())
        return std::nullopt;
    // The folder is quoted on the first line; servers that talk more put it on the last.
    QStringList candidates{reply.lines.first()};
    if (reply.lines.size() > 1)
        candidates.prepend(reply.lines.last());
    for (const QString& line : std::as_const(candidates)) {
        const QString text = line.mid(4);
        const qsizetype open = text.indexOf(QLatin1Char('"'));
        if (open < 0)
            continue;
        QString path;
        for (qsizetype i = open + 1; i < text.size(); ++i) {
            if (text[i] == QLatin1Char('"')) {
                if (i + 1 < text.size() && text[i + 1] == QLatin1Char('"')) {
                    path.append(QLatin1Char('"'));
                    ++i;
                    continue;
                }
                return path;
            }
            path.append(text[i]);
        }
    }
    return std::nullopt;
}

}  // namespace harbel::tessaly
