#include "ftpclient/component/ops/TransferOperation.h"

#include "common/platform/FileWrite.h"
#include "ftpclient/component/ControlChannel.h"
#include "ftpclient/component/FtpComponent.h"
#include "ftpclient/component/ops/CommandOperation.h"

#include <QFile>

namespace harbel::tessaly {

namespace {
constexpr qint64 kChunk = 256 * 1024;
constexpr qint64 kUploadBacklog = 1024 * 1024;
constexpr qint64 kProgressStep = 1024 * 1024;
}  // namespace

TransferOperation::TransferOperation(FtpComponent& ftp, Request request) : FtpOperation(ftp), request_(std::move(request))
{
    // Whatever ends the transfer ends its data connection and its file.
    connect(this, &FtpOperation::finished, this, &TransferOperation::closeData);
    connect(&data_, &FtpDataChannel::ready, this, &TransferOperation::onDataOpened);
    connect(&data_, &FtpDataChannel::ended, this, &TransferOperation::onDataClosed);
    connect(&data_, &FtpDataChannel::failed, this, &TransferOperation::onDataFailed);
    connect(&data_, &FtpDataChannel::refusedConnection, this, [this](const QHostAddress& from) {
        log(QStringLiteral("Refused a data connection from %1.").arg(from.toString()));
    });
    if (request_.direction == Direction::Download)
        connect(&data_, &FtpDataChannel::readyRead, this, &TransferOperation::onDataReadable);
    else
        connect(&data_, &FtpDataChannel::bytesWritten, this, &TransferOperation::pumpUpload);
}

TransferOperation::~TransferOperation()
{
    data_.disconnect(this);
    closeData();
}

void TransferOperation::start()
{
    if (request_.direction == Direction::Download && !request_.sizeOf.isEmpty() && ftp_.size_)
        return askSize(State::Size);
    sendType();
}

void TransferOperation::askSize(State state)
{
    state_ = state;
    // Servers refuse SIZE in ASCII mode: sizes are byte counts.
    QList<CommandOperation::Step> steps;
    if (const QString type = ftp_.typeToSend(false); !type.isEmpty())
        steps.append({type});
    steps.append({QStringLiteral("SIZE ") + request_.sizeOf});
    runSub(std::make_unique<CommandOperation>(ftp_, steps));
}

void TransferOperation::subFinished(FtpOperation& sub)
{
    qint64 size = -1;
    if (sub.error()) {
        // A server that does not know the file's size leaves it unknown.
        if (sub.error()->Number() != ftpErrServerRefused)
            return fail(sub.error()->Number(), sub.error()->Description());
    } else {
        bool ok = false;
        size = static_cast<CommandOperation&>(sub).lastReply().text().trimmed().toLongLong(&ok);
        if (!ok || size < 0)
            size = -1;
    }
    if (state_ == State::Size) {
        request_.totalSize = size;
        return sendType();
    }
    if (size >= 0 && size != request_.totalSize)
        return fail(ftpErrIncomplete, QStringLiteral("The server holds %1 bytes of %2, not %3.").arg(size).arg(request_.sizeOf).arg(request_.totalSize));
    succeed();
}

void TransferOperation::sendType()
{
    const QString type = ftp_.typeToSend(request_.ascii);
    if (type.isEmpty())
        return sendDataPortCommand();
    state_ = State::Type;
    send(type);
}

void TransferOperation::sendDataPortCommand()
{
    state_ = State::DataPort;
    FtpDataChannel::Setup setup = FtpDataChannel::Setup::fromControl(ftp_.control_->connector());
    // Through a proxy only passive connections can work.
    setup.passive = ftp_.Passive || setup.server.proxy.used();
    setup.protect = ftp_.dataProtected_;
    passiveData_ = setup.passive;
    const QString command = data_.begin(setup);
    if (command.isEmpty())
        return fail(ftpErrDataConnection, QStringLiteral("Could not listen for the data connection: ") + data_.listenError());
    send(command);
}

void TransferOperation::onDataFailed(const net::Failure& failure)
{
    if (isFinished())
        return;
    const bool tls = failure.reason == net::Failure::Reason::TlsFailed || failure.reason == net::Failure::Reason::CertificateRefused;
    const qint64 number = tls ? ftpErrTls : ftpErrDataConnection;
    const QString why = (tls ? QStringLiteral("The data connection could not be encrypted: ") : QStringLiteral("Could not open the data connection: "))
                        + failure.description;
    // A connection that stood and went away while the command waits for its answer: a server
    // that refuses the command may close it first.
    const bool stood = failure.reason == net::Failure::Reason::Broken || failure.reason == net::Failure::Reason::TlsFailed;
    if (stood && commandSent_ && !commandAccepted_) {
        heldDataFailure_ = FtpError(number, why);
        return;
    }
    fail(number, why);
}

void TransferOperation::sendRestOrCommand()
{
    if (request_.restOffset > 0 && state_ != State::Rest) {
        state_ = State::Rest;
        send(QStringLiteral("REST %1").arg(request_.restOffset));
        return;
    }
    state_ = State::Command;
    commandSent_ = true;
    send(request_.command);
}

void TransferOperation::onDataOpened()
{
    if (isFinished())
        return;
    if (request_.direction == Direction::Download) {
        if (data_.socket()->bytesAvailable() > 0)
            onDataReadable();
    } else if (commandAccepted_) {
        pumpUpload();
    }
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
    QString why;
    if (!FileWrite::write(*sink_, out, &why)) {
        fail(ftpErrLocalFile, QStringLiteral("Could not write %1: %2").arg(request_.displayName, why));
        return false;
    }
    return true;
}

void TransferOperation::onDataReadable()
{
    if (isFinished() || !data_.isReady())
        return;
    ftp_.touch();
    QIODevice* device = data_.socket();
    // Read into one reused buffer: no fresh allocation for every chunk of a large file.
    if (readBuffer_.isEmpty())
        readBuffer_.resize(kChunk * 4);
    for (;;) {
        qint64 n = device->read(readBuffer_.data(), readBuffer_.size());
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
    if (isFinished() || !data_.isReady() || !commandAccepted_)
        return;
    ftp_.touch();
    QIODevice* device = data_.socket();
    // The connection is closed only once what waits to go out has gone, so that the close cannot
    // overtake it.
    while (data_.bytesToWrite() < kUploadBacklog) {
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
        const qint64 n = device->write(pendingUpload_);
        if (n < 0)
            return fail(ftpErrDataConnection, QStringLiteral("The data connection failed: ") + device->errorString());
        pendingUpload_.remove(0, n);
    }
    // On a secure connection the close also waits until the server has taken every byte.
    if (uploadEof_ && pendingUpload_.isEmpty() && data_.bytesToWrite() == 0)
        data_.finishUpload();
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
    if (request_.direction == Direction::Download && data_.isReady() && data_.socket()->bytesAvailable() > 0)
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
    if (isFinished() || !finalReply_ || !dataDone_ || state_ == State::Verify)
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
        QString why;
        if (!FileWrite::flush(*sink_, &why))
            return fail(ftpErrLocalFile, QStringLiteral("Could not write %1: %2").arg(request_.displayName, why));
        sink_->close();
    }
    if (request_.reportProgress && request_.totalSize < 0 && lastReported_ != request_.restOffset + moved_) {
        const qint64 done = request_.restOffset + moved_;
        emit ftp_.TransferProgress(request_.displayName, done, done, 100);
    } else if (request_.reportProgress && lastReported_ != request_.restOffset + moved_) {
        lastReported_ = -1;
        progress();
    }
    // Make sure the server holds what was sent before calling the file sent.
    if (request_.direction == Direction::Upload && !request_.sizeOf.isEmpty() && ftp_.size_)
        return askSize(State::Verify);
    succeed();
}

void TransferOperation::closeData()
{
    data_.close();
    if (sink_)
        sink_->close();
}

void TransferOperation::abort()
{
    closeData();
    FtpOperation::abort();
}

void TransferOperation::parseReply(const FtpReply& reply)
{
    switch (state_) {
    case State::Size:
    case State::Verify:
        return;  // the size step's own replies go to it
    case State::Type:
        if (!reply.isCompletion())
            return refuse(reply);
        return sendDataPortCommand();
    case State::DataPort:
        if (!reply.isCompletion())
            return refuse(reply, ftpErrDataConnection);
        if (passiveData_) {
            QString named;
            if (!data_.connectPassive(reply, &named))
                return fail(ftpErrProtocol, QStringLiteral("The server's passive reply is malformed: ") + reply.lines.join(QLatin1Char(' ')));
            const QHostAddress peer = ftp_.control_->connector().socket().peerAddress();
            if (!named.isEmpty() && !QHostAddress(named).isEqual(peer, QHostAddress::TolerantConversion)) {
                log(QStringLiteral("The server named %1 for the data connection; connecting to %2 instead.")
                        .arg(named, ftp_.proxy().used() ? ftp_.Host : peer.toString()));
            }
        }
        return sendRestOrCommand();
    case State::Rest:
        if (reply.code != 350)
            return refuse(reply);
        return sendRestOrCommand();
    case State::Command:
    case State::Transfer:
        if (reply.isPreliminary()) {
            state_ = State::Transfer;
            commandAccepted_ = true;
            if (heldDataFailure_)
                return fail(heldDataFailure_->Number(), heldDataFailure_->Description());
            data_.transferAccepted();
            // Without SIZE, the size the start reply names is all there is to tell a whole file from
            // one cut short. Only for a whole binary file: after REST servers differ in what they name.
            if (request_.direction == Direction::Download && !request_.buffer && !request_.ascii
                && request_.totalSize < 0 && request_.restOffset == 0) {
                request_.totalSize = parseStartReplySize(reply);
            }
            if (request_.direction == Direction::Upload && data_.isReady())
                pumpUpload();
            return;
        }
        if (reply.isCompletion()) {
            const bool hadPreliminary = commandAccepted_;
            finalReply_ = reply;
            commandAccepted_ = true;
            // A passive connection still on its way is made secure once it stands, as after a 1xx.
            const bool dataMayCome = hadPreliminary || (!heldDataFailure_ && data_.transferAnswered());
            if (request_.direction == Direction::Upload && !dataDone_) {
                if (!(uploadEof_ && pendingUpload_.isEmpty()))
                    return fail(ftpErrDataConnection, QStringLiteral("The server ended the upload early: ") + reply.text());
                dataDone_ = true;
            }
            // A server that answers at once without opening a connection to our port has nothing to
            // send; a passive connection we opened ourselves always ends in its own close, unless
            // it waits for a TLS handshake that a command without a transfer never starts, or is
            // gone already.
            if (!dataMayCome && request_.direction == Direction::Download)
                dataDone_ = true;
            return maybeFinish();
        }
        closeData();
        finalReply_ = reply;
        return refuse(reply, reply.code == 425 ? ftpErrDataConnection : ftpErrServerRefused);
    }
}

}  // namespace harbel::tessaly
