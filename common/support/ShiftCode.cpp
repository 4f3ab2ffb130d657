#include "common/support/ShiftCode.h"

namespace harbel {

namespace {
QByteArray shifted(QByteArray bytes, int delta)
{
    for (char& c : bytes)
        c = char((quint8(c) + delta) & 0xFF);
    return bytes;
}
}  // namespace

QByteArray ShiftEncode(const QByteArray& plain)
{
    return shifted(plain, 10);
}

QByteArray ShiftDecode(const QByteArray& scrambled)
{
    return shifted(scrambled, 256 - 10);
}

QByteArray ShiftEncode(const QString& plain)
{
    return ShiftEncode(plain.toUtf8());
}

QString ShiftDecodeText(const QByteArray& scrambled)
{
    return QString::fromUtf8(ShiftDecode(scrambled));
}

}  // namespace harbel
