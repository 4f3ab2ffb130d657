#pragma once

#include "common/ftp/FtpDataChannel.h"
#include "ftpclient/component/ops/FtpOperation.h"

#include <QByteArray>

#include <functional>
#include <memory>

class QFile;

namespace harbel::tessaly {

// One data transfer: TYPE (when another is in force), the data connection's PASV/EPSV or PORT/EPRT, REST, the command, the
// data, the final reply. A binary file transfer also asks for the file's size (SIZE, as a step of
// its own): before a download, to know when the file is whole, and after an upload, to check that
// the server holds every byte. Downloads go into a sink opened only once the server has accepted
// the command, so a refused RETR leaves no local file behind; uploads read from a source in chunks.
// The data connection is the suite's FTP data channel: passive through the SOCKS proxy when one is
// set, encrypted after the command's 1xx when the session protects its data.
class TransferOperation final : public FtpOperation {
    Q_OBJECT
public:
    enum class Direction { Download, Upload };
    enum class State { Size, Type, DataPort, Rest, Command, Transfer, Verify };
    struct Request {
        Direction direction = Direction::Download;
        QString command;        // "RETR name", "STOR name", "MLSD", "LIST"
        QString displayName;    // for progress events
        bool ascii = false;
        qint64 restOffset = 0;  // REST before the command when > 0
        qint64 totalSize = -1;  // whole file size when known (progress, completeness)
        bool reportProgress = true;
        // The remote file whose size the server is asked for (when it offers SIZE): before a
        // download, or after an upload. Empty: not asked.
        QString sizeOf;
        // Download: opens the destination; nullptr (with why) refuses. Listing downloads use buffer.
        std::function<QFile*(QString& why)> openSink;
        QByteArray* buffer = nullptr;
        QFile* source = nullptr;  // upload, positioned at restOffset
    };

    TransferOperation(FtpComponent& ftp, Request request);
    ~TransferOperation() override;
    void start() override;
    void abort() override;
    bool transferInProgress() const override { return commandSent_ && !finalReply_; }

    qint64 bytesMoved() const { return moved_; }
    // The server's last word on the command, once it has come.
    const std::optional<FtpReply>& finalReply() const { return finalReply_; }

protected:
    void parseReply(const FtpReply& reply) override;
    void subFinished(FtpOperation& sub) override;

private:
    void askSize(State state);
    void sendType();
    void sendDataPortCommand();
    void sendRestOrCommand();
    void onDataFailed(const net::Failure& failure);
    void onDataOpened();
    void onDataReadable();
    void pumpUpload();
    void onDataClosed();
    void maybeFinish();
    void progress();
    void closeData();
    bool writeSink(const QByteArray& bytes);

    State state_ = State::Type;
    Request request_;
    std::unique_ptr<QFile> sink_;
    FtpDataChannel data_;
    // The data connection is dialled from here (PASV/EPSV) rather than taken from the server.
    bool passiveData_ = true;
    // A data connection that went away before the server answered the command: the answer says
    // more (a refusal), else this is the transfer's failure.
    std::optional<FtpError> heldDataFailure_;
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

}  // namespace harbel::tessaly
