#pragma once

#include <QString>

#include <optional>

namespace harbel::vb {

// The leading number of a text, 0 when it has none ("12abc" is 12, " 2.5 MB" is 2.5).
double Val(const QString& text);

// The whole text as a number (blanks around it allowed); nullopt when it is not one.
std::optional<double> toNumber(const QString& text);

// The whole text as a whole number, rounded half to even; nullopt when it is not a number.
std::optional<qint64> toWhole(const QString& text);

// "True"/"False" in any case, or a number (0 false, anything else true); nullopt otherwise.
std::optional<bool> toBool(const QString& text);

// Decimal text of a number: whole numbers without a fraction, "-0" as "0".
QString numberText(double value);

}  // namespace harbel::vb
