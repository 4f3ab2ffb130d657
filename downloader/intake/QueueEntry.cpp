#include "downloader/intake/QueueEntry.h"

#include "common/support/LangString.h"

#include <QFileInfo>

namespace harbel {

namespace {

// The word of a language code and its English default, without repeats.
QStringList words(std::initializer_list<std::pair<const char*, const char*>> codes)
{
    QStringList out;
    for (const auto& [code, english] : codes) {
        for (const QString& w : {GetLangString(QLatin1String(code), QLatin1String(english)), QString::fromLatin1(english)})
            if (!w.isEmpty() && !out.contains(w))
                out.append(w);
    }
    return out;
}

// What a row shows for a share refused and for a count not yet made (DownloadRow.cpp writes them).
const QLatin1String kRefusedShare("0 %");
const QLatin1String kNotCounted("N/A");

// "N%" for a whole N from 0 to 100 written as numbers are written, without leading zeros. Any
// other share (a hand edit, a damaged file) is kept as a note, never shown as a share past whole.
bool readPercent(const QString& text, int* percent)
{
    if (text.size() < 2 || text.size() > 10 || !text.endsWith(u'%'))
        return false;
    const QStringView digits = QStringView(text).chopped(1);
    for (const QChar c : digits)
        if (c < u'0' || c > u'9')
            return false;
    if (digits.size() > 1 && digits.front() == u'0')
        return false;
    bool ok = false;
    const int value = digits.toInt(&ok);
    if (!ok || value > 100)
        return false;
    *percent = value;
    return true;
}

ByteCount readCount(const QString& text, bool mayBeUnknown)
{
    if (text == kNotCounted)
        return {};
    if (mayBeUnknown && text.isEmpty())
        return ByteCount::unknown();
    return {ByteCount::Kind::AsRead, 0, text};
}

QueueEntry::State stateOf(const QueueEntry& e, const JobStatusWords& words)
{
    using State = QueueEntry::State;
    if (e.share == QueueEntry::Share::Refused)
        return State::Blocked;
    if (e.shareIs(100) || words.success.contains(e.status))
        return State::Complete;
    if (e.share == QueueEntry::Share::Note && !e.shareNote.isEmpty())
        return State::Failed;  // the time-out message stands in the share
    if (words.paused.contains(e.status))
        return State::Paused;
    if (words.stopped.contains(e.status))
        return State::Stopped;
    if (e.status.isEmpty() || e.status == QueueEntry::notDownloadedStatus() || e.status == QueueEntry::notStartedStatus())
        return e.shareIs(0) ? State::Waiting : State::Stopped;
    if (words.running.contains(e.status))
        return State::Stopped;
    return State::Failed;
}

}  // namespace

JobStatusWords JobStatusWords::current()
{
    JobStatusWords w;
    w.paused = words({{"11055", "Paused/Stopped"}});
    w.stopped = words({{"11056", "Transfer Stopped"}});
    w.running = words({{"11051", "Downloading"}, {"11051", "Downloading..."}, {"11048", "Connected"}, {"11049", "Logging In..."}});
    w.success = words({{"11052", "Download Success"}});
    return w;
}

QueueEntry QueueEntry::startingNow(const QString& address, const QString& savePath)
{
    QueueEntry e;
    e.address = address;
    e.savePath = savePath;
    e.status = notStartedStatus();
    return e;
}

QueueEntry QueueEntry::queuedLater(const QString& address, const QString& savePath)
{
    QueueEntry e = startingNow(address, savePath);
    e.status = notDownloadedStatus();
    return e;
}

QueueEntry QueueEntry::blocked(const QString& address, const QString& reason)
{
    QueueEntry e = queuedLater(address, reason);
    e.state = State::Blocked;
    e.share = Share::Refused;
    return e;
}

bool QueueEntry::countsAgainstServerLimit() const
{
    return !reloaded && (state == State::Running || state == State::Paused);
}

bool QueueEntry::hasUsableSavePath() const
{
    return savePath.startsWith(u'/') && !savePath.endsWith(u'/') && !QFileInfo(savePath).isDir();
}

bool QueueEntry::startedBySchedule() const
{
    return share != Share::Refused && !shareIs(100);
}

QueueEntry QueueEntry::fromLines(const QStringList& lines, bool completedList, const JobStatusWords& words)
{
    QueueEntry e;
    e.savePath = lines.value(0);
    const QString share = lines.value(1);
    if (share == kRefusedShare) {
        e.share = Share::Refused;
    } else if (!readPercent(share, &e.percent)) {
        e.share = Share::Note;
        e.shareNote = share;
    }
    e.size = readCount(lines.value(2), true);
    e.received = readCount(lines.value(3), false);
    e.status = lines.value(4);
    e.address = lines.value(5);
    e.savedOn = lines.value(6);
    e.state = completedList ? State::Complete : stateOf(e, words);
    e.reloaded = true;
    return e;
}

}  // namespace harbel
