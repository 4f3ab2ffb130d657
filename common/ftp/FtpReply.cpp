#include "common/ftp/FtpReply.h"

#include <QRegularExpression>

namespace harbel {

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
            done.append(FtpReply{0, {QStringLiteral("Reply too long")}, true});
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
        done.append(FtpReply{0, {QStringLiteral("Reply line too long")}, true});
        reset();
    }
    return done;
}

quint16 parsePassivePort(const FtpReply& reply, QString* namedHost)
{
    const QString text = reply.lines.join(QLatin1Char(' '));
    if (reply.code == 229) {
        static const QRegularExpression epsv(QStringLiteral(R"(\((.)\1\1(\d{1,5})\1\))"));
        const auto m = epsv.match(text);
        if (!m.hasMatch())
            return 0;
        const int port = m.captured(2).toInt();
        return port > 0 && port < 65536 ? quint16(port) : 0;
    }
    static const QRegularExpression pasv(QStringLiteral(R"((\d{1,3}) *, *(\d{1,3}) *, *(\d{1,3}) *, *(\d{1,3}) *, *(\d{1,3}) *, *(\d{1,3}))"));
    const auto m = pasv.match(text);
    if (!m.hasMatch())
        return 0;
    int v[6];
    for (int i = 0; i < 6; ++i) {
        v[i] = m.captured(i + 1).toInt();
        if (v[i] > 255)
            return 0;
    }
    if (namedHost)
        *namedHost = QStringLiteral("%1.%2.%3.%4").arg(v[0]).arg(v[1]).arg(v[2]).arg(v[3]);
    const int port = v[4] * 256 + v[5];
    return port > 0 ? quint16(port) : 0;
}

qint64 parseStartReplySize(const FtpReply& reply)
{
    static const QRegularExpression size(QStringLiteral(R"(\((\d{1,18}) bytes\))"), QRegularExpression::CaseInsensitiveOption);
    const auto m = size.match(reply.lines.join(QLatin1Char(' ')));
    return m.hasMatch() ? m.captured(1).toLongLong() : -1;
}

}  // namespace harbel
