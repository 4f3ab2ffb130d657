#include "ftpclient/component/TransferRate.h"

namespace harbel::tessaly {

void TransferRate::add(qint64 bytes, qint64 nowMs)
{
    if (start_ < 0)
        start_ = nowMs;
    if (bytes <= 0)
        return;
    samples_.emplace_back(nowMs, bytes);
    sum_ += bytes;
    drop(nowMs);
}

void TransferRate::drop(qint64 nowMs) const
{
    while (!samples_.empty() && samples_.front().first <= nowMs - window_) {
        sum_ -= samples_.front().second;
        samples_.pop_front();
    }
}

double TransferRate::perSecond(qint64 nowMs) const
{
    if (start_ < 0)
        return 0;
    drop(nowMs);
    // A run younger than the window is measured over its own age (a quarter second at least, so
    // that the first burst does not read as an absurd rate).
    const qint64 span = qBound<qint64>(250, nowMs - start_, window_);
    return double(sum_) * 1000.0 / double(span);
}

void TransferRate::reset()
{
    start_ = -1;
    samples_.clear();
    sum_ = 0;
}

}  // namespace harbel::tessaly
