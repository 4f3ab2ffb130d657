#include "downloader/engine/DownloadFormat.h"

#include "common/support/VbText.h"

#include <QFileInfo>

#include <cmath>

namespace harbel {

namespace {
// "###,###,##0.00": two decimals, thousands grouped with ",".
QString grouped(double value)
{
    QString text = QString::number(value, 'f', 2);
    const qsizetype dot = text.indexOf(u'.');
    const qsizetype firstDigit = text.startsWith(u'-') ? 1 : 0;
    for (qsizetype i = dot - 3; i > firstDigit; i -= 3)
        text.insert(i, u',');
    return text;
}
}  // namespace

QString FormatBytes(double x)
{
    if (x < 1024)
        return vb::numberText(x) + QStringLiteral(" Bytes");
    if (x > 1048576)
        return grouped(x / 1048576) + QStringLiteral(" MB");
    return QString::number(x / 1024, 'f', 2) + QStringLiteral(" KB");
}

QString FormatRate(double bytesPerSecond)
{
    return FormatBytes(bytesPerSecond) + QStringLiteral(" /Second");
}

QString FormatDuration(double s)
{
    if (!(s >= 0))
        return QStringLiteral("00:00:00");
    const qint64 wholeMinutes = qint64(std::trunc(s / 60));
    const qint64 hours = wholeMinutes / 60;
    const qint64 minutes = wholeMinutes - 60 * hours;
    const qint64 seconds = qint64(std::trunc(s - 60.0 * double(wholeMinutes)));
    return QStringLiteral("%1:%2:%3")
        .arg(hours, 2, 10, QLatin1Char('0'))
        .arg(minutes, 2, 10, QLatin1Char('0'))
        .arg(seconds, 2, 10, QLatin1Char('0'));
}

bool IsFilePresent(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() && info.isFile();
}

}  // namespace harbel
