#include "common/support/VbText.h"

#include <QLocale>

#include <cmath>

namespace harbel::vb {

double Val(const QString& text)
{
    QString digits;
    bool seenDigit = false, seenDot = false, seenExp = false;
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace())
        ++i;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+'))
        digits += text[i++];
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isDigit() && c.unicode() < 128) {
            digits += c;
            seenDigit = true;
        } else if (c == u'.' && !seenDot && !seenExp) {
            digits += c;
            seenDot = true;
        } else if ((c == u'e' || c == u'E') && seenDigit && !seenExp && i + 1 < text.size()
                   && (text[i + 1].isDigit() || ((text[i + 1] == u'-' || text[i + 1] == u'+') && i + 2 < text.size() && text[i + 2].isDigit()))) {
            digits += c;
            digits += text[++i];
            seenExp = true;
        } else {
            break;
        }
    }
    if (!seenDigit)
        return 0;
    bool ok = false;
    const double v = QLocale::c().toDouble(digits, &ok);
    return ok && std::isfinite(v) ? v : 0;
}

std::optional<double> toNumber(const QString& text)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return std::nullopt;
    bool ok = false;
    const double v = QLocale::c().toDouble(t, &ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

std::optional<qint64> toWhole(const QString& text)
{
    const auto v = toNumber(text);
    if (!v || std::fabs(*v) > 9.0e15)
        return std::nullopt;
    return qint64(std::nearbyint(*v));  // the default rounding mode rounds half to even
}

std::optional<bool> toBool(const QString& text)
{
    const QString t = text.trimmed();
    if (t.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (t.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
        return false;
    if (const auto v = toNumber(t))
        return *v != 0;
    return std::nullopt;
}

QString numberText(double value)
{
    if (value == 0)
        return QStringLiteral("0");
    if (std::fabs(value) < 9.0e15 && value == std::trunc(value))
        return QString::number(qint64(value));
    return QString::number(value, 'g', 15);
}

}  // namespace harbel::vb
