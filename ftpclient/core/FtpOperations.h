#pragma once

#include "ftpclient/core/FtpError.h"
#include "common/ftp/FtpReply.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QSslCertificate>
#include <QSslError>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QFile;
class QTcpServer;
class QTcpSocket;

namespace harbel::tessaly {

class FtpComponent;
class ProxiedConnector;
class TlsLayer;

// One command sequence of the FTP dialogue. The component starts it, hands it every reply of the
// control connection, and runs a nested event loop until it reports finished (with or without an
// error). An operation only talks to the server through send().
class FtpOperation : public QObject {
    Q_OBJECT
public:
    explicit FtpOperation(FtpComponent& ftp);
    virtual void start() = 0;
    virtual void onReply(const FtpReply& reply) = 0;
    // AbortFlag was set: stop at once. The default ends the operation as aborted.
    virtual void abort();
    // Whether the server still owes a reply to a data-transfer command (an abort must send ABOR).
    virtual bool transferInProgress() const { return false; }
    // Why the operation failed when the server went silent.
    virtual QString timeoutText() const;

    bool isFinished() const { return finished_; }
    const std::optional<FtpError>& error() const { return error_; }
    void fail(qint64 number, const QString& description);

signals:
    void finished();

protected:
    void send(const QString& line);
    void succeed();
    void refuse(const FtpReply& reply, qint64 number = ftpErrServerRefused);
    void log(const QString& text);

    FtpComponent& ftp_;

private:
    bool finished_ = false;
    std::optional<FtpError> error_;
};

// Commands sent one after another; each must be answered positively (2xx, or 3xx where the step
// says so). The last reply is kept for the caller.
class CommandOperation final : public FtpOperation {
    Q_OBJECT
public:
    struct Step {
        QString command;
        bool intermediateOk = false;  // 3xx accepted (RNFR)
    };
    CommandOperation(FtpComponent& ftp, QList<Step> steps);
    void start() override;
    void onReply(const FtpReply& reply) override;
    const FtpReply& lastReply() const { return last_; }

private:
    QList<Step> steps_;
    int index_ = 0;
    FtpReply last_;
};

// Greeting, AUTH TLS and its handshake (UseTls), USER, PASS (again when the server asks with a
// second 331), ACCT on 332, PBSZ 0 and PROT P (UseTls), FEAT.
class LoginOperation final : public FtpOperation {
    Q_OBJECT
public:
    using FtpOperation::FtpOperation;
    void start() override;
    void onReply(const FtpReply& reply) override;
    QString timeoutText() const override;
    void opened();
    void openFailed(const QString& description);

private:
    enum class Step { Connecting, Greeting, Auth, Handshake, User, Pass, Acct, Pbsz, Prot, Feat, Utf8 } step_ = Step::Connecting;
    void sendUser();
    void loggedIn();
    void tlsReady();
    // A certificate that failed verification: trusted always before, or asked about.
    void judgeCertificate(const QSslCertificate& certificate, const QList<QSslError>& errors);
    void askAccount();
    int passwordsSent_ = 0;
    int accountsSent_ = 0;
};

// One data transfer: TYPE, PASV/EPSV or PORT/EPRT, REST, the command, the data, the final reply.
// Downloads go into a sink opened only once the server has accepted the command, so a refused
// RETR leaves no local file behind; uploads read from a source in chunks.
class TransferOperation final : public FtpOperation {
    Q_OBJECT
public:
    enum class Direction { Download, Upload };
    struct Request {
        Direction direction = Direction::Download;
        QString command;        // "RETR name", "STOR name", "MLSD", "LIST"
        QString displayName;    // for progress events
        bool ascii = false;
        qint64 restOffset = 0;  // REST before the command when > 0
        qint64 totalSize = -1;  // whole file size when known (progress, completeness)
        bool reportProgress = true;
        // Download: opens the destination; nullptr (with why) refuses. Listing downloads use buffer.
        std::function<QFile*(QString& why)> openSink;
        QByteArray* buffer = nullptr;
        QFile* source = nullptr;  // upload, positioned at restOffset
    };

    TransferOperation(FtpComponent& ftp, Request request);
    ~TransferOperation() override;
    void start() override;
    void onReply(const FtpReply& reply) override;
    void abort() override;
    bool transferInProgress() const override { return commandSent_ && !finalReply_; }

    qint64 bytesMoved() const { return moved_; }

private:
    enum class Step { Type, DataPort, Rest, Command, Transfer } step_ = Step::Type;
    void sendDataPortCommand();
    void sendRestOrCommand();
    void connectPassive(quint16 port);
    // Encrypts a data connection when PROT P is in force, then adopts it. The handshake starts once
    // the server has accepted the command (1xx), as curl and Python's ftplib do: some servers
    // (pyftpdlib) drop a data connection that speaks before the command has come.
    void secureDataSocket(QTcpSocket* socket);
    void startDataTls();
    void adoptDataSocket(QTcpSocket* socket);
    void onDataReadable();
    void pumpUpload();
    void closeUpload();
    void onDataClosed();
    void maybeFinish();
    void progress();
    void closeData();
    bool writeSink(const QByteArray& bytes);

    Request request_;
    std::unique_ptr<QFile> sink_;
    QPointer<QTcpSocket> data_;
    QPointer<QTcpServer> listener_;
    QPointer<ProxiedConnector> connector_;
    QPointer<TlsLayer> tls_;
    QPointer<QTcpSocket> awaitingTls_;
    bool dataReady_ = false;
    bool dataDone_ = false;
    bool commandSent_ = false;
    bool commandAccepted_ = false;
    std::optional<FtpReply> finalReply_;
    qint64 moved_ = 0;
    qint64 lastReported_ = -1;
    bool pendingCr_ = false;  // ASCII download: a CR at the end of the last chunk
    bool lastWasCr_ = false;  // ASCII upload
    bool uploadEof_ = false;
    QByteArray pendingUpload_;
    QByteArray readBuffer_;
};

// The folder of a 257 reply ("257 \"/a \"\"b\"\"\" is current"), quotes undoubled.
std::optional<QString> parsePwdReply(const FtpReply& reply);

}  // namespace harbel::tessaly
