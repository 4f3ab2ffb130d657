#include "downloader/engine/RateMeter.h"

#include <algorithm>

namespace harbel {

void RateMeter::restart(qint64 nowMs, qint64 count)
{
    samples_.clear();
    startedAt_ = nowMs;
    lastCount_ = count;
    runBytes_ = 0;
    samples_.push_back({nowMs, 0});
}

void RateMeter::sample(qint64 nowMs, qint64 count)
{
    if (count > lastCount_)
        runBytes_ += count - lastCount_;
    lastCount_ = count;
    samples_.push_back({nowMs, runBytes_});
    // The oldest sample kept is the last one at or before the window's start: the window is
    // measured from there.
    while (samples_.size() > 2 && samples_[1].at <= nowMs - kWindowMs)
        samples_.pop_front();
}

std::optional<double> RateMeter::rate(qint64 minSpanMs) const
{
    if (samples_.size() < 2)
        return std::nullopt;
    const Sample& first = samples_.front();
    const Sample& last = samples_.back();
    const double seconds = double(std::max(last.at - first.at, std::max<qint64>(minSpanMs, 1))) / 1000.0;
    return double(last.runBytes - first.runBytes) / seconds;
}

double RateMeter::average() const
{
    if (samples_.empty())
        return 0;
    const qint64 span = samples_.back().at - startedAt_;
    return span > 0 ? double(runBytes_) * 1000.0 / double(span) : 0;
}

}  // namespace harbel
