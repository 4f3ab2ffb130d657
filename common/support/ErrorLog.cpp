#include "common/support/ErrorLog.h"

#include "common/platform/AppFolder.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

namespace harbel {

void WriteErrorLog(const QString& message)
{
    const QDateTime now = QDateTime::currentDateTime();
    const QLocale locale = QLocale::system();
    const QString record = QStringLiteral("\"\nDate: %1\",\"Time: %2\",\"%3\"\n")
                               .arg(locale.toString(now.date(), QLocale::ShortFormat),
                                    locale.toString(now.time(), QLocale::ShortFormat), message);
    QFile f(AppFolder::file(QStringLiteral("errorlog.txt")));
    // Only a plain file (or a link to one): opening a pipe would block the program.
    const QFileInfo info(f.fileName());
    if (info.exists() && !info.isFile())
        return;
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    f.write(record.toUtf8());
}

}  // namespace harbel
