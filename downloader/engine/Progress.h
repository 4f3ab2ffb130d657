#pragma once

#include "downloader/engine/SegmentPlan.h"

#include <QFlags>
#include <QString>

#include <array>
#include <optional>

namespace harbel {

// What a download job shows of itself. The job keeps one such value and publishes it, with the
// fields that changed since its last publication, whenever a step of its work ends; windows, lists
// and the command line render it, each in its own words. The only texts in it are the status the
// job decided and the address and file it works on.
struct Progress {
    enum class State : quint8 {
        Idle,          // made or loaded: nothing has started
        Connecting,    // asking the server: the probe, a redirection, the FTP login
        Transferring,  // the file's connections are open or being opened
        Paused,        // held by a pause (the user's or the watchdog's): resuming continues the file
        Stopped,       // stopped: the file stays for a later resume
        Completed,
        Failed,        // cannot go on by itself; status says why
        Refused,       // the server refused the file with an error status
        TimedOut,      // the server did not answer, or stopped sending, in time; a retry may follow at once
    };
    enum class Resume : quint8 { Unknown, Supported, NotSupported };

    enum Change : quint32 {
        StateChanged = 1u << 0,        // state
        StatusChanged = 1u << 1,       // status
        BriefStatusChanged = 1u << 2,  // briefStatus
        FileChanged = 1u << 3,         // file (the job names its file: it has started, or learnt the size)
        AddressChanged = 1u << 4,      // address
        SizeChanged = 1u << 5,         // total, totalKnown
        PercentChanged = 1u << 6,      // percent, after bytes were written
        ReceivedChanged = 1u << 7,     // received, counted by a progress tick or at the end
        ElapsedChanged = 1u << 8,      // elapsed
        RateChanged = 1u << 9,         // rate, rateMeasured, lastRate
        TimeLeftChanged = 1u << 10,    // timeLeft
        LayoutChanged = 1u << 11,      // segmentCount: the parts were planned anew, all at 0
        SegmentChanged = 1u << 12,     // segmentPercent[segment]
        EndedChanged = 1u << 13,       // the transfer ended (completed or stopped): percent is final
                                       // and every part counts as done
        ResumeChanged = 1u << 14,      // resume
        CountdownChanged = 1u << 15,   // countdown, countdownActive
        CommandsChanged = 1u << 16,    // canPause, held, canStop, stopCloses, canOpenFile
    };
    Q_DECLARE_FLAGS(Changes, Change)

    State state = State::Idle;
    // What the job says of its state, in the words of the language file.
    QString status;
    // The same in a word or two, as a list of downloads shows it ("Downloading", "Paused/Stopped").
    QString briefStatus;
    // The file written, and the address fetched (the last one, after redirections).
    QString file;
    QString address;

    // Bytes of the file that are in (a resumed file counts what it kept), as last counted.
    qint64 received = 0;
    // The file's size once the server has named it (totalKnown); 0 before.
    qint64 total = 0;
    bool totalKnown = false;
    // Whole percent of the file that is in, as computed when bytes were last written (and final
    // once the transfer has ended); negative before any byte was written.
    int percent = -1;
    // Seconds spent transferring.
    double elapsed = 0;
    // Bytes a second that this run brought over the last seconds (the job's RateMeter), taken at
    // each rate sample; the average of the last run once completed (both rateMeasured); 0 once
    // the connections have closed (rateMeasured false); negative before either. Every display of
    // a rate, and the main window's total, shows this one.
    double rate = -1;
    bool rateMeasured = false;
    // The last rate that was not 0; 0 once the job pauses, stops or completes.
    double lastRate = 0;
    // Seconds to the end at the measured rate; negative while unknown.
    double timeLeft = -1;

    // Parts of the file fetched over connections of their own (1 for one connection), and the
    // share of each: a part's write position over its end, so a later part starts above 0.
    int segmentCount = 0;
    std::array<int, SegmentPlan::kMaxSegments> segmentPercent{};
    // The part whose share changed last (SegmentChanged); -1 before any.
    int segment = -1;

    Resume resume = Resume::Unknown;
    // The connection countdown: the ticks left as its last tick counted them, and whether it
    // concerns the user (from when it is armed until the server answers or the job ends; a job
    // that gave up after a time-out keeps it at its last count).
    std::optional<int> countdown;
    bool countdownActive = false;

    // What the user may do now: pause (or resume, once held), stop (which closes the job once
    // it has stopped or ended), open the file.
    bool canPause = true;
    bool held = false;
    bool canStop = true;
    bool stopCloses = false;
    bool canOpenFile = true;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(Progress::Changes)

}  // namespace harbel
