#include "common/support/ShiftCode.h"

#include <gtest/gtest.h>

using namespace harbel;

TEST(ShiftCode, EncodesTenUpAndEveryByteRoundTrips)
{
    EXPECT_EQ(ShiftEncode(QByteArray("abc")), "klm");
    EXPECT_EQ(ShiftDecode(QByteArray("klm")), "abc");
    EXPECT_EQ(ShiftEncode(QStringLiteral("abc")), "klm");

    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    const QByteArray enc = ShiftEncode(all);
    EXPECT_EQ(enc.size(), 256);
    EXPECT_EQ(ShiftDecode(enc), all);
    EXPECT_EQ(quint8(enc[245]), 255);  // the last byte that does not wrap
    EXPECT_EQ(quint8(enc[246]), 0);    // wraps
    EXPECT_EQ(quint8(enc[255]), 9);

    const QString text = QStringLiteral("pässwörd ✓ 密码");
    EXPECT_EQ(ShiftDecodeText(ShiftEncode(text)), text);
    // UTF-8 text never wraps, so no scrambled password holds a line end.
    const QByteArray scrambled = ShiftEncode(text);
    EXPECT_FALSE(scrambled.contains('\n'));
    EXPECT_FALSE(scrambled.contains('\r'));
}
