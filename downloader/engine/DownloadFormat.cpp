#include "downloader/engine/DownloadFormat.h"

#include "common/support/VbText.h"
#include "downloader/engine/DownloadText.h"

#include <QFileInfo>

#include <algorithm>
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
    const double x = std::max(bytesPerSecond, 0.0);
    if (x < 1024)
        return vb::numberText(std::floor(x)) + QStringLiteral(" B/s");
    if (x < 1048576)
        return QString::number(x / 1024, 'f', 2) + QStringLiteral(" KB/s");
    return grouped(x / 1048576) + QStringLiteral(" MB/s");
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

QString statusText(StatusWord word, const QString& reason)
{
    switch (word) {
    case StatusWord::Connecting:
        return lang("19500", "Connecting");
    case StatusWord::Downloading:
        return lang("19501", "Downloading");
    case StatusWord::Paused:
        return lang("19502", "Paused");
    case StatusWord::Stopped:
        return lang("19503", "Stopped");
    case StatusWord::Failed:
        break;
    case StatusWord::Complete:
        return lang("19505", "Complete");
    }
    const QString failed = lang("19504", "Failed: %1");
    return reason.isEmpty() ? failed.section(u':', 0, 0) : failed.arg(reason);
}

QString statusText(const Progress& p)
{
    using S = Progress::State;
    switch (p.state) {
    case S::Idle:
        break;
    case S::Connecting:
        return statusText(StatusWord::Connecting);
    case S::Transferring:
        return statusText(StatusWord::Downloading);
    case S::Paused:
        return statusText(StatusWord::Paused);
    case S::Stopped:
        return statusText(StatusWord::Stopped);
    case S::Completed:
        return statusText(StatusWord::Complete);
    case S::Failed:
    case S::Refused:
    case S::TimedOut:
        return statusText(StatusWord::Failed, p.status);
    }
    return p.status;
}

}  // namespace harbel
