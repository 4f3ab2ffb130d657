#include "ftpclient/component/ops/FtpOperation.h"

#include "ftpclient/component/ControlChannel.h"
#include "ftpclient/component/FtpComponent.h"

namespace harbel::tessaly {

FtpOperation::FtpOperation(FtpComponent& ftp) : ftp_(ftp) {}

FtpOperation::~FtpOperation() = default;

void FtpOperation::send(const QString& line)
{
    ftp_.sendLine(line);
}

void FtpOperation::log(const QString& text)
{
    emit ftp_.LogLine(text);
}

void FtpOperation::reply(const FtpReply& reply)
{
    if (finished_)
        return;
    if (FtpOperation* sub = runningSub())
        sub->reply(reply);
    else
        parseReply(reply);
}

FtpOperation* FtpOperation::runningSub() const
{
    return !subs_.empty() && !subs_.back()->isFinished() ? subs_.back().get() : nullptr;
}

void FtpOperation::runSub(std::unique_ptr<FtpOperation> sub)
{
    FtpOperation& op = *sub;
    subs_.push_back(std::move(sub));
    connect(&op, &FtpOperation::finished, this, [this, &op] {
        if (!finished_)
            subFinished(op);
    });
    op.start();
}

void FtpOperation::subFinished(FtpOperation& sub)
{
    if (sub.error())
        fail(sub.error()->Number(), sub.error()->Description());
    else
        succeed();
}

void FtpOperation::end()
{
    finished_ = true;
    // A step still running ends with this operation: nothing of it may act on its own afterwards.
    if (FtpOperation* sub = runningSub())
        sub->abort();
    emit finished();
}

void FtpOperation::succeed()
{
    if (finished_)
        return;
    end();
}

void FtpOperation::fail(qint64 number, const QString& description)
{
    if (finished_)
        return;
    error_ = FtpError(number, description);
    end();
}

void FtpOperation::refuse(const FtpReply& reply, qint64 number)
{
    fail(number, reply.lines.isEmpty() ? QStringLiteral("The server refused the command.") : reply.lines.join(QLatin1Char('\n')));
}

void FtpOperation::abort()
{
    if (FtpOperation* sub = runningSub())
        sub->abort();
    fail(ftpErrAborted, QStringLiteral("The operation was aborted."));
}

bool FtpOperation::transferInProgress() const
{
    const FtpOperation* sub = runningSub();
    return sub && sub->transferInProgress();
}

QString FtpOperation::timeoutText() const
{
    if (const FtpOperation* sub = runningSub())
        return sub->timeoutText();
    return QStringLiteral("The server did not answer in time.");
}

}  // namespace harbel::tessaly
