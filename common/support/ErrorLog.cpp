#include "common/support/ErrorLog.h"

#include "common/platform/AppFolder.h"
#include "common/platform/PrivateFile.h"

#include <QDateTime>
#include <QFile>
#include <QLocale>

namespace harbel {

void WriteErrorLog(const QString& message)
{
    const QDateTime now = QDateTime::currentDateTime();
    const QLocale locale = QLocale::system();
    const QString record = QStringLiteral("\"\nDate: %1\",\"Time: %2\",\"%3\"\n")
                               .arg(locale.toString(now.date(), QLocale::ShortFormat),
                                    locale.toString(now.time(), QLocale::ShortFormat), message);
    QFile f;
    // Only a plain file of this user, never a link: opening a pipe would block the program.
    if (!PrivateFile::openAppend(f, AppFolder::file(QStringLiteral("errorlog.txt"))))
        return;
    f.write(record.toUtf8());
}

}  // namespace harbel
