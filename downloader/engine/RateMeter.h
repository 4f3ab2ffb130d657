#pragma once

#include <QtGlobal>

#include <deque>
#include <optional>

namespace harbel {

// How fast one run of a transfer goes: the bytes received since the run began over the last few
// seconds. A run begins at each start and resume; what the file held before (a resumed file, the
// bytes a resume fetches again) is never counted, so the window, the totals and the command line
// all show what the connections bring now.
class RateMeter final {
public:
    // Samples older than this no longer count.
    static constexpr qint64 kWindowMs = 5000;

    // A run begins at nowMs with the count (the bytes of the file) as it stands.
    void restart(qint64 nowMs, qint64 count);
    // The count as it stands at nowMs. A count that fell (positions moved back for a resume) is
    // the run's new ground: nothing is taken away from what the run received.
    void sample(qint64 nowMs, qint64 count);

    // Bytes a second over the window, a span shorter than minSpanMs counting as minSpanMs (so a
    // burst right after the start is not taken for a rate); nullopt before any sample of the run.
    std::optional<double> rate(qint64 minSpanMs) const;
    // Bytes a second over the whole run; 0 for a run of no time.
    double average() const;
    qint64 runBytes() const { return runBytes_; }

private:
    struct Sample {
        qint64 at;
        qint64 runBytes;
    };
    std::deque<Sample> samples_;
    qint64 startedAt_ = 0;
    qint64 lastCount_ = 0;
    qint64 runBytes_ = 0;
};

}  // namespace harbel
