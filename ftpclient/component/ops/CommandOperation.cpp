#include "ftpclient/component/ops/CommandOperation.h"

namespace harbel::tessaly {

CommandOperation::CommandOperation(FtpComponent& ftp, QList<Step> steps) : FtpOperation(ftp), steps_(std::move(steps)) {}

void CommandOperation::start()
{
    send(steps_.at(0).command);
}

void CommandOperation::parseReply(const FtpReply& reply)
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
