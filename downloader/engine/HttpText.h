#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace harbel {

// The status code of a response head: the three characters after the first blank (the first
// three when there is no blank), 0 when they are not a number.
qint16 GetStatusCode(const QString& text);

// The message of a failure status, or "SUCCESS" for every code that lets the caller go on.
QString GetError(qint16 code);

// Everything after the first occurrence of name (letter case counts) up to the next CR LF, leading
// blanks kept; empty when the text does not hold the name.
QString GetHeaderValue(const QString& text, const QString& name);

// The value of a head field matched without regard to letter case, as HTTP defines field names,
// trimmed; nullopt when the head has no such field. Only the lines after the status line count.
std::optional<QByteArray> headerField(const QByteArray& head, const QByteArray& name);

// Every value of the head fields of that name (letter case ignored), in order, trimmed.
QList<QByteArray> headerFields(const QByteArray& head, const QByteArray& name);

// The file name a reply's Content-Disposition field gives (RFC 6266): its "filename*" in the
// charset it names (UTF-8 or ISO-8859-1, RFC 8187) when it has one that can be read, else its
// "filename" (UTF-8 when the bytes are, else ISO-8859-1). Only the last component of a name with
// folders is taken. Empty when the reply names none.
QString contentDispositionName(const QByteArray& head);

// The full address written between the last src=' at or before the name and the end of the name
// (both searched without regard to case); nullopt when either is missing.
std::optional<QString> FindEmbeddedLink(const QString& text, const QString& name);

// Fills the 64-symbol table of the encoder (A-Z, a-z, 0-9, "+", "/").
void initBase64();
// Standard Base64 of the text's bytes, "=" padded; empty text gives empty text.
QString Encode2Base64(const QString& text);

// A "Content-Range: bytes first-last/total" value; total is -1 when the server wrote "*".
struct ContentRange {
    qint64 first = -1;
    qint64 last = -1;
    qint64 total = -1;
};
std::optional<ContentRange> parseContentRange(const QByteArray& value);

// A decimal length of at most 18 digits; nullopt for anything else.
std::optional<qint64> parseLength(const QByteArray& value);

// The head at the start of block, without its blank line; bodyStart is where the body begins.
// Empty while the blank line has not arrived.
QByteArray headOf(const QByteArray& block, qsizetype* bodyStart);

// Text for a request line or header: bytes that could end the line or split it (controls, blanks,
// and bytes outside ASCII) are written as %XX, so an address from a server cannot add lines of its
// own to a request.
QByteArray requestText(const QString& text);

// The reply's body is chunked (or in any other transfer coding): its length is not announced.
bool isChunked(const QByteArray& head);

// What identifies this version of the file on the server: its "ETag: ..." line, else its
// "Last-Modified: ..." line, else nothing.
QByteArray validatorOf(const QByteArray& head);

// The first line of a head, for messages.
QByteArray statusLine(const QByteArray& head);

}  // namespace harbel
