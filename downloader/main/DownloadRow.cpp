#include "downloader/main/DownloadRow.h"

#include "common/support/LangString.h"
#include "common/support/VbText.h"
#include "downloader/engine/DownloadFormat.h"
#include "downloader/intake/UrlParsing.h"

#include <algorithm>

namespace harbel {

namespace {

QString countText(const ByteCount& count)
{
    switch (count.kind) {
    case ByteCount::Kind::NotCounted:
        return QStringLiteral("N/A");
    case ByteCount::Kind::Unknown:
        return QString();
    case ByteCount::Kind::Known:
        return FormatBytes(double(count.bytes));
    case ByteCount::Kind::AsRead:
        break;
    }
    return count.asRead;
}

QString shareText(const QueueEntry& e)
{
    switch (e.share) {
    case QueueEntry::Share::Percent:
        return vb::numberText(double(e.percent)) + u'%';
    case QueueEntry::Share::Refused:
        return QStringLiteral("0 %");
    case QueueEntry::Share::Note:
        break;
    }
    return e.shareNote;
}

// The words of the Status column in the language in force, read once per language: rows are
// shown again at every arrival of data.
struct StatusCellWords {
    QString language;
    QString connecting, downloading, paused, stopped, complete;
    QStringList running;  // the job's own words for running (JobStatusWords)
};

const StatusCellWords& statusCellWords()
{
    static StatusCellWords w;
    if (w.complete.isEmpty() || w.language != currentLanguageFile()) {
        w.language = currentLanguageFile();
        w.connecting = statusText(StatusWord::Connecting);
        w.downloading = statusText(StatusWord::Downloading);
        w.paused = statusText(StatusWord::Paused);
        w.stopped = statusText(StatusWord::Stopped);
        w.complete = statusText(StatusWord::Complete);
        w.running = JobStatusWords::current().running;
    }
    return w;
}

// What the Status column shows: the entry's state in the words of the download window. The
// entry's own status (what History.ini keeps) is shown as it is for an entry not started yet or
// blocked, and as the reason of a failure.
QString statusCell(const QueueEntry& e)
{
    const StatusCellWords& w = statusCellWords();
    using S = QueueEntry::State;
    switch (e.state) {
    case S::Waiting:
    case S::Blocked:
        break;
    case S::Running:
        // What the job said while under way stands, unless it is one of its words for running.
        if (e.status == QueueEntry::notStartedStatus() || w.running.contains(e.status))
            return e.connecting ? w.connecting : w.downloading;
        break;
    case S::Paused:
        return w.paused;
    case S::Stopped:
        return w.stopped;
    case S::Failed:
        // A time-out that stands in the share is the reason of a row whose status says it was
        // running. A word of ours is no reason (an older file's "Paused"): it is shown as it is.
        if (e.share == QueueEntry::Share::Note && !e.shareNote.isEmpty() && (e.status.isEmpty() || w.running.contains(e.status)))
            return statusText(StatusWord::Failed, e.shareNote);
        if (QStringList{w.connecting, w.downloading, w.paused, w.stopped, w.complete}.contains(e.status))
            break;
        return statusText(StatusWord::Failed, e.status);
    case S::Complete:
        return w.complete;
    }
    return e.status;
}

QueueEntry::State queueState(Progress::State state)
{
    using S = Progress::State;
    switch (state) {
    case S::Idle:
        return QueueEntry::State::Waiting;
    case S::Connecting:
    case S::Transferring:
        return QueueEntry::State::Running;
    case S::Paused:
        return QueueEntry::State::Paused;
    case S::Stopped:
        return QueueEntry::State::Stopped;
    case S::Completed:
        return QueueEntry::State::Complete;
    case S::Failed:
    case S::Refused:
    case S::TimedOut:
        break;
    }
    return QueueEntry::State::Failed;
}

// Reasons and states written into History.ini as they always were, and compared when it is read
// back; the list shows them corrected.
QString shownText(const QString& stored)
{
    if (stored == QLatin1String("You block this Extenison"))
        return QStringLiteral("You block this extension");
    return stored;
}

}  // namespace

void setDownloadColumns(ListView& list, bool completed)
{
    const Qt::Alignment centre = Qt::AlignHCenter;
    // Wide enough for a file's name, sizes in MB and the longer states; the address takes the rest.
    list.setColumns({
        {QString(), completed ? 15 : 20, Qt::AlignLeft},
        {completed ? QStringLiteral("Complete") : QStringLiteral("Filename"), 220, Qt::AlignLeft},
        {QStringLiteral("%"), 44, centre},
        {QStringLiteral("Size"), 80, centre},
        {QStringLiteral("Received"), 80, centre},
        {QStringLiteral("Status"), 130, centre},
        {QStringLiteral("URL"), 200, Qt::AlignLeft},
        {QStringLiteral("Date"), 0, Qt::AlignLeft},
    });
}

QStringList queueRowCells(const QueueEntry& e)
{
    return {QString(), e.savePath, shareText(e), countText(e.size), countText(e.received), e.status, e.address, e.savedOn};
}

QueueEntry entryOf(const ListRow& row)
{
    return row.Tag().value<QueueEntry>();
}

void setEntry(ListRow& row, const QueueEntry& entry)
{
    row.setTag(QVariant::fromValue(entry));
    QStringList cells = queueRowCells(entry);
    // The list shows an address without its password; the entry (and History.ini) keeps it.
    cells[DownloadRow::URL] = addressForDisplay(entry.address);
    cells[DownloadRow::Filename] = shownText(cells[DownloadRow::Filename]);
    cells[DownloadRow::Status] = shownText(statusCell(entry));
    for (int c = 0; c < DownloadRow::kCells; ++c)
        row.setCell(c, cells[c]);
}

QList<QueueEntry> queueEntries(const ListView& list)
{
    QList<QueueEntry> entries;
    entries.reserve(list.count());
    for (int i = 0; i < list.count(); ++i)
        entries.append(entryOf(*list.at(i)));
    return entries;
}

void applyProgress(QueueEntry& e, const Progress& p, Progress::Changes changes)
{
    e.reloaded = false;  // a window holds its download now
    if (changes & Progress::FileChanged)
        e.savePath = p.file;
    if (changes & Progress::SizeChanged)
        e.size = p.totalKnown ? ByteCount::known(p.total) : ByteCount::unknown();
    if (changes & Progress::PercentChanged) {
        e.share = QueueEntry::Share::Percent;
        e.percent = std::max(p.percent, 0);
    }
    if (changes & Progress::ReceivedChanged)
        e.received = ByteCount::known(p.received);
    if (changes & Progress::BriefStatusChanged)
        e.status = p.briefStatus;
    if (changes & Progress::StateChanged) {
        e.state = queueState(p.state);
        e.connecting = p.state == Progress::State::Connecting;
        if (p.state == Progress::State::Refused) {
            e.share = QueueEntry::Share::Refused;
        } else if (p.state == Progress::State::TimedOut) {
            e.share = QueueEntry::Share::Note;
            e.shareNote = p.status;
        }
    }
}

void renderDownloadRow(ListRow& row, const Progress& progress, Progress::Changes changes)
{
    QueueEntry entry = entryOf(row);
    applyProgress(entry, progress, changes);
    setEntry(row, entry);
}

}  // namespace harbel
