#include "downloader/main/History.h"

#include "common/controls/ListView.h"
#include "common/platform/AppFolder.h"
#include "common/platform/CRegister.h"
#include "common/support/LangString.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>

namespace harbel {

namespace {

constexpr char kCompleteList[] = "Complete List";
constexpr char kFinishHistory[] = "Finish History";
constexpr int kQueueIcon = 1;
constexpr int kCompleteIcon = 4;

QByteArray oneLine(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String(" "));
    text.replace(u'\r', u' ');
    text.replace(u'\n', u' ');
    return text.toUtf8();
}

void writeRows(QByteArray& out, ListView& list, const QString& date)
{
    for (ListRow* row : list.rows()) {
        row->setCell(7, date);
        for (int c = 1; c <= 7; ++c) {
            out += oneLine(row->cell(c));
            out += "\r\n";
        }
    }
}

bool isBlank(const ListRow* row)
{
    for (int c = 1; c <= 7; ++c)
        if (!row->cell(c).isEmpty())
            return false;
    return true;
}

}  // namespace

QString History::path()
{
    return AppFolder::file(QStringLiteral("History.ini"));
}

bool History::SaveHistory(ListView& lstMain, ListView& lstComplete, const QDate& today, QString* error)
{
    const auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    // The language in force goes to the per-user settings of the program.
    CRegister().REGSaveSetting(HKEY_CURRENT_USER, QStringLiteral("Software\\VB and VBA Program Settings\\Harbel\\Language"),
                               QStringLiteral("Name"), currentLanguageFile());

    // A link is the user's own arrangement (a file kept elsewhere): the history is written to the
    // file it points to, and two empty lists are written there rather than removing the link.
    const QFileInfo info(path());
    if (lstMain.isEmpty() && lstComplete.isEmpty() && !info.isSymLink()) {
        QFile f(path());
        if (!info.exists() || f.remove())
            return true;
        return fail(f.errorString());
    }

    const QString date = QLocale::system().toString(today, QLocale::ShortFormat);
    QByteArray out;
    writeRows(out, lstMain, date);
    out += kCompleteList;
    out += "\r\n";
    writeRows(out, lstComplete, date);
    out += kFinishHistory;
    out += "\r\n";

    QSaveFile f(path());
    if (!f.open(QIODevice::WriteOnly) || f.write(out) != out.size() || !f.commit())
        return fail(f.errorString());
    return true;
}

bool History::LoadHistory(ListView& lstMain, ListView& lstComplete, QString* error)
{
    QFile f(path());
    if (!f.exists())
        return true;
    // A folder, a pipe or a device in its place is refused before it is opened: a pipe would block.
    const bool regular = QFileInfo(path()).isFile();
    QByteArray bytes;
    if (!regular || !f.open(QIODevice::ReadOnly) || (bytes = f.readAll(), f.error() != QFileDevice::NoError)) {
        if (error)
            *error = regular ? f.errorString() : QStringLiteral("%1 is not a file").arg(path());
        return false;
    }
    QList<QByteArray> lines = bytes.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    qsizetype at = 0;
    const auto next = [&](QString& line) {
        if (at >= lines.size())
            return false;
        QByteArray l = lines[at++];
        if (l.endsWith('\r'))
            l.chop(1);
        line = QString::fromUtf8(l);
        return true;
    };

    lstMain.Clear();
    lstComplete.Clear();

    // The queue, up to "Complete List".
    QString line;
    bool inQueue = true;
    while (inQueue) {
        ListRow* row = lstMain.Add({}, kQueueIcon);
        for (int c = 1; c <= 7; ++c) {
            if (!next(line)) {
                inQueue = false;
                break;
            }
            if (line == QLatin1String(kCompleteList)) {
                lstMain.Remove(row);
                row = nullptr;
                inQueue = false;
                break;
            }
            row->setCell(c, line);
        }
        if (row && isBlank(row))
            lstMain.Remove(row);  // nothing was read into it: the file ended
        if (!inQueue && at >= lines.size() && line != QLatin1String(kCompleteList))
            return true;  // the file ended inside the queue
    }

    // The completed list, up to "Finish History".
    while (at < lines.size()) {
        ListRow* row = lstComplete.Add({}, kCompleteIcon);
        for (int c = 1; c <= 7; ++c) {
            if (!next(line))
                break;
            if (line == QLatin1String(kFinishHistory)) {
                lstComplete.Remove(row);
                return true;
            }
            row->setCell(c, line);
        }
        if (isBlank(row))
            lstComplete.Remove(row);
    }
    return true;
}

}  // namespace harbel
