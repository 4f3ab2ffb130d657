#include "downloader/main/History.h"

#include "downloader/main/DownloadRow.h"

#include "common/controls/ListView.h"
#include "common/platform/AppFolder.h"
#include "common/platform/CRegister.h"
#include "common/platform/PrivateFile.h"
#include "common/platform/SecretStore.h"
#include "downloader/intake/UrlParsing.h"
#include "downloader/settings/DownloadSettings.h"
#include "common/support/LangString.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace harbel {

namespace {

constexpr char kCompleteList[] = "Complete List";
constexpr char kFinishHistory[] = "Finish History";
constexpr int kLinesPerRow = 7;

QByteArray oneLine(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String(" "));
    text.replace(u'\r', u' ');
    text.replace(u'\n', u' ');
    return text.toUtf8();
}

// Every row takes the date of this save; its seven lines are its cells 1 to 7.
void writeRows(QByteArray& out, ListView& list, const QString& date)
{
    for (ListRow* row : list.rows()) {
        QueueEntry entry = entryOf(*row);
        entry.savedOn = date;
        setEntry(*row, entry);
        // A password written in the address goes to the keyring as the site's login, which a
        // download of the address reads back; the file keeps the address without it.
        if (const AddressLogin login = addressLogin(entry.address); !login.password.isEmpty()) {
            SecretStore::instance().keepLater(SettingsStore::loginEntry(login.server, login.user), login.password, nullptr,
                                              [](SecretStore::Kept) {});
            entry.address = login.address;
        }
        const QStringList lines = queueRowCells(entry).mid(1, kLinesPerRow);
        for (const QString& line : lines) {
            out += oneLine(line);
            out += "\r\n";
        }
    }
}

// A record of empty lines is what the end of a file leaves: no row.
void addRow(ListView& list, bool completed, const QStringList& lines, const JobStatusWords& words)
{
    if (std::all_of(lines.begin(), lines.end(), [](const QString& l) { return l.isEmpty(); }))
        return;
    ListRow* row = list.Add({}, completed ? DownloadRow::kCompleteIcon : DownloadRow::kQueueIcon);
    setEntry(*row, QueueEntry::fromLines(lines, completed, words));
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

    // A link or another user's file in its place is neither written through nor removed.
    const QFileInfo info(path());
    if (!PrivateFile::mayWrite(path()))
        return fail(path() + QStringLiteral(" is a link, a folder or a file of another user"));
    if (lstMain.isEmpty() && lstComplete.isEmpty()) {
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

    switch (PrivateFile::write(path(), out)) {
    case PrivateFile::Result::Written:
        return true;
    case PrivateFile::Result::Refused:
        return fail(path() + QStringLiteral(" is a link, a folder or a file of another user"));
    case PrivateFile::Result::Failed:
        break;
    }
    return fail(PrivateFile::lastFailure());
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

    // Reads a section's records up to its closing line (true) or the end of the file (false). A
    // record cut off by the end of the file is kept; one cut short by the closing line is dropped
    // and does not shift into the next section.
    const JobStatusWords words = JobStatusWords::current();
    const auto readSection = [&](ListView& list, bool completed, const char* closing) {
        for (;;) {
            QStringList record;
            while (record.size() < kLinesPerRow) {
                QString line;
                if (!next(line)) {
                    addRow(list, completed, record, words);
                    return false;
                }
                if (line == QLatin1String(closing))
                    return true;
                record.append(line);
            }
            addRow(list, completed, record, words);
        }
    };
    if (readSection(lstMain, false, kCompleteList))
        readSection(lstComplete, true, kFinishHistory);
    return true;
}

}  // namespace harbel
