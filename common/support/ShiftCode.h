#pragma once

#include <QByteArray>
#include <QString>

namespace harbel {

// The stored-password scrambling: every byte of the text's UTF-8 form is moved 10 up (encode) or
// 10 down (decode), the length unchanged, no key. Codes wrap round within 0..255, so every byte
// round-trips: bytes 246..255 encode to 0..9. UTF-8 text never holds bytes above 244, so no
// character of a real password wraps. "abc" encodes to "klm".
QByteArray ShiftEncode(const QByteArray& plain);
QByteArray ShiftDecode(const QByteArray& scrambled);

QByteArray ShiftEncode(const QString& plain);
QString ShiftDecodeText(const QByteArray& scrambled);

}  // namespace harbel
