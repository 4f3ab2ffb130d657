#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace harbel {

// One complete server reply: its three-digit code and every line as received (without CR LF).
struct FtpReply {
    int code = 0;
    QStringList lines;
    // A protocol error of the length limits below (code 0): the server is not speaking FTP.
    bool overflow = false;

    // The text of the last line after the code and its separator.
    QString text() const;
    bool isPreliminary() const { return code >= 100 && code < 200; }
    bool isCompletion() const { return code >= 200 && code < 300; }
    bool isIntermediate() const { return code >= 300 && code < 400; }
    bool isFailure() const { return code >= 400; }
};

// Splits the bytes of a control connection into replies. It knows nothing of sockets: feed it
// whatever arrived, in pieces of any size, and take the replies it completed. A multi-line reply
// ("123-" ... "123 ") is returned once its closing line is in; lines without a valid code outside a
// multi-line reply are reported as a reply with code 0 so the caller can refuse the server.
class FtpReplyParser final {
public:
    QList<FtpReply> feed(const QByteArray& bytes);
    // Bytes held for an unfinished line or reply.
    bool hasPartial() const { return !pending_.isEmpty() || !current_.lines.isEmpty(); }
    void reset();

    // A line longer than this without a line break is a protocol error (code 0 reply).
    static constexpr int kMaxLineLength = 64 * 1024;
    // A multi-line reply with more lines than this is a protocol error too.
    static constexpr int kMaxLines = 100000;
    // So is one whose lines add up to more bytes than this: many long lines would otherwise be
    // held until the line count ran out.
    static constexpr qsizetype kMaxReplyBytes = 4 * 1024 * 1024;

private:
    static int leadingCode(const QByteArray& line);

    QByteArray pending_;
    FtpReply current_;
    qsizetype currentBytes_ = 0;
    bool inMultiLine_ = false;
};

// The data port of a passive reply: "227 ... (h1,h2,h3,h4,p1,p2)" with or without the parentheses
// and blanks around the commas, or "229 ... (|||port|)". 0 when the reply names no usable port.
// The host a 227 reply names goes to namedHost; callers connect to their control peer all the same.
quint16 parsePassivePort(const FtpReply& reply, QString* namedHost = nullptr);

// The size a start-of-transfer reply names: "150 ... (123456 bytes)". -1 when it names none.
qint64 parseStartReplySize(const FtpReply& reply);

}  // namespace harbel
