#pragma once

#include "common/ftp/FtpReply.h"
#include "ftpclient/component/FtpError.h"

#include <QObject>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

namespace harbel::tessaly {

class FtpComponent;

// One command sequence of the FTP dialogue. The component starts it, hands it every reply of the
// control connection, and runs a nested event loop until it reports finished (with or without an
// error). An operation talks to the server only through send(). One operation may run another as
// part of it (a listing runs a transfer into memory, a file transfer asks for the file's size): the
// replies then go to the sub-operation, and when it ends it reports to subFinished() of the
// operation that ran it, which goes on from there.
class FtpOperation : public QObject {
    Q_OBJECT
public:
    explicit FtpOperation(FtpComponent& ftp);
    ~FtpOperation() override;

    // Sends the first command.
    virtual void start() = 0;
    // A reply of the control connection: to the running sub-operation, or to parseReply().
    void reply(const FtpReply& reply);
    // AbortFlag was set: stop at once. The default stops a running sub-operation and ends this one
    // as aborted.
    virtual void abort();
    // Whether the server still owes a reply to a data-transfer command (an abort must send ABOR).
    virtual bool transferInProgress() const;
    // Why the operation failed when the server went silent.
    virtual QString timeoutText() const;

    bool isFinished() const { return finished_; }
    const std::optional<FtpError>& error() const { return error_; }
    void fail(qint64 number, const QString& description);

signals:
    void finished();

protected:
    // A reply for this operation itself.
    virtual void parseReply(const FtpReply& reply) = 0;
    // Runs sub as a step of this operation; it owns sub until it ends itself.
    void runSub(std::unique_ptr<FtpOperation> sub);
    // A sub-operation ended, well or with an error. The default fails with the sub's error or
    // succeeds.
    virtual void subFinished(FtpOperation& sub);
    // The sub-operation that is running, if any.
    FtpOperation* runningSub() const;

    void send(const QString& line);
    void succeed();
    void refuse(const FtpReply& reply, qint64 number = ftpErrServerRefused);
    void log(const QString& text);

    FtpComponent& ftp_;

private:
    void end();

    bool finished_ = false;
    std::optional<FtpError> error_;
    // Every sub-operation run so far, the running one last: one that has ended may still be on the
    // call stack when the next one starts.
    std::vector<std::unique_ptr<FtpOperation>> subs_;
};

}  // namespace harbel::tessaly
