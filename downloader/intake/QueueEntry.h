#pragma once

#include <QMetaType>
#include <QString>
#include <QStringList>

namespace harbel {

// A count of bytes as a queue entry knows it.
struct ByteCount {
    enum class Kind : quint8 {
        NotCounted,  // the job has not counted it yet
        Unknown,     // counted, but not known: a size the server did not name
        Known,       // `bytes`
        AsRead,      // History.ini keeps counts only as the row showed them: `asRead` is that text
    };
    Kind kind = Kind::NotCounted;
    qint64 bytes = 0;
    QString asRead;

    static ByteCount known(qint64 n) { return {Kind::Known, n, {}}; }
    static ByteCount unknown() { return {Kind::Unknown, 0, {}}; }
    bool operator==(const ByteCount&) const = default;
};

// The words a download job writes as its status, in the language in force and in English. Reading a
// row back, they tell a paused or a running download from one that failed with a message of its own.
struct JobStatusWords {
    QStringList paused, stopped, running, success;
    static JobStatusWords current();
};

// One download of the queue or of the completed list: where it is in its life, how far it got, and
// what its job last said. Every rule that looks at the queue asks an entry, never a row's texts.
struct QueueEntry {
    enum class State : quint8 {
        Waiting,   // queued and never started (or started and not yet heard from)
        Running,   // connecting or transferring
        Paused,    // held by a pause (also the one made when the program ended): resuming continues
        Stopped,   // stopped by the user, or left part-way by a program that did not end normally
        Failed,    // the job gave up: an error, the server's refusal, a time-out
        Blocked,   // refused by the ignore list or the wanted types before any start
        Complete,
    };
    // What the entry's share of the file stands at.
    enum class Share : quint8 {
        Percent,  // `percent` whole percent are in
        Refused,  // the file was refused (blocked, or refused by the server) and has not moved since
        Note,     // `shareNote` stands in its place: the time-out message, or what History.ini held
    };

    // The status a download started at once carries until its job says more, and the one of a
    // download queued for later (also of a blocked one).
    static QString notStartedStatus() { return QStringLiteral("N/A"); }
    static QString notDownloadedStatus() { return QStringLiteral("Not Downloaded"); }

    State state = State::Waiting;
    // The file; for a blocked entry, the reason it was blocked, shown in its place. A reason names
    // no file: see hasUsableSavePath().
    QString savePath;
    QString address;
    // The job's status in brief ("Downloading", "Paused/Stopped", its failure message...).
    QString status;
    // The date of the last save of History.ini, as written there; empty before the first.
    QString savedOn;
    Share share = Share::Percent;
    int percent = 0;
    QString shareNote;
    ByteCount size;
    ByteCount received;
    // Read back from History.ini, and no download window has taken it up since.
    bool reloaded = false;
    // A running entry whose job is still asking the server (not kept in History.ini).
    bool connecting = false;

    static QueueEntry startingNow(const QString& address, const QString& savePath);
    static QueueEntry queuedLater(const QString& address, const QString& savePath);
    static QueueEntry blocked(const QString& address, const QString& reason);

    // The share stands at exactly `value` per cent.
    bool shareIs(int value) const { return share == Share::Percent && percent == value; }

    // Counts against its server's limit: a download that is running or paused in its window.
    // Blocked, failed, timed-out, stopped, waiting and finished entries never count, nor does one
    // read back from History.ini until it is started again.
    bool countsAgainstServerLimit() const;
    // The save path names a file: an absolute path that is not a folder. A blocked entry's reason,
    // or an empty or relative path, is none; a re-download asks where to save instead.
    bool hasUsableSavePath() const;
    // Started by the scheduler: every entry but a refused one (blocked, or refused by the server and
    // not moved since) and one at 100 per cent (running, paused and failed ones are started too).
    bool startedBySchedule() const;

    // A row read back from its texts: History.ini's seven lines of a row, which are its cells 1 to
    // 7. The state follows from them: a refused share is blocked, 100% or the success status
    // complete, a note in the share failed, the pause status paused (Resume All and the schedule
    // continue it), the stop status stopped, 0% with a status of the queue waiting, a part-way
    // share with it or with a running status stopped (a program that did not end normally left it;
    // nothing runs it after a load), any other status failed. A row of the completed list is
    // complete. Every entry read is reloaded.
    static QueueEntry fromLines(const QStringList& lines, bool completedList,
                                const JobStatusWords& words = JobStatusWords::current());

    bool operator==(const QueueEntry&) const = default;
};

}  // namespace harbel

Q_DECLARE_METATYPE(harbel::QueueEntry)
