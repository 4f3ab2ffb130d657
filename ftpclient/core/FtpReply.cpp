#include "ftpclient/core/FtpReply.h"

namespace harbel::tessaly {

QString FtpReply::text() const
{
    if (lines.isEmpty())
        return {};
    const QString& last = lines.last();
    return last.size() > 4 ? last.mid(4) : QString();
}

void FtpReplyParser::reset()
{
    pending_.clear();
    current_ = {};
    currentBytes_ = 0;
    inMultiLine_ = false;
}

int FtpReplyParser::leadingCode(const QByteArray& line)
{
    if (line.size() < 3)
        return -1;
    for (int i = 0; i < 3; ++i) {
        if (line[i] < '0' || line[i] > '9')
            return -1;
    }
    if (line.size() > 3 && line[3] != ' ' && line[3] != '-')
        return -1;
    return (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
}

QList<FtpReply> FtpReplyParser::feed(const QByteArray& bytes)
{
    QList<FtpReply> done;
    pending_.append(bytes);
    qsizetype start = 0;
    for (;;) {
        const qsizetype nl = pending_.indexOf('\n', start);
        if (nl < 0)
            break;
        QByteArray line = pending_.mid(start, nl - start);
        start = nl + 1;
        if (line.endsWith('\r'))
            line.chop(1);
        const QString text = QString::fromUtf8(line);
        const int code = leadingCode(line);
        if (!inMultiLine_) {
            if (code < 100) {
                // Not a reply line at all: hand it up as a protocol error.
                done.append(FtpReply{0, {text}});
                continue;
            }
            current_ = FtpReply{code, {text}};
            if (line.size() > 3 && line[3] == '-') {
                inMultiLine_ = true;
                currentBytes_ = line.size();
                continue;
            }
            done.append(current_);
            current_ = {};
            continue;
        }
        current_.lines.append(text);
        currentBytes_ += line.size();
        if (current_.lines.size() > kMaxLines || currentBytes_ > kMaxReplyBytes) {
            done.append(FtpReply{0, {QStringLiteral("Reply too long")}});
            inMultiLine_ = false;
            current_ = {};
            currentBytes_ = 0;
            continue;
        }
        // Only the same code followed by a blank (or nothing) closes a multi-line reply.
        if (code == current_.code && (line.size() == 3 || line[3] == ' ')) {
            inMultiLine_ = false;
            done.append(current_);
            current_ = {};
        }
    }
    pending_.remove(0, start);
    if (pending_.size() > kMaxLineLength) {
        done.append(FtpReply{0, {QStringLiteral("Reply line too long")}});
        reset();
    }
    return done;
}

}  // namespace harbel::tessaly
