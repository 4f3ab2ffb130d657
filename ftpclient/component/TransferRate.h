#pragma once

#include <QtGlobal>

#include <deque>
#include <utility>

namespace harbel::tessaly {

// Bytes per second over a sliding window of a few seconds: what moved recently, not the average
// since the start, so that a stall shows at once and a resumed file does not count its old bytes.
class TransferRate final {
public:
    explicit TransferRate(qint64 windowMs = 3000) : window_(windowMs) {}

    void add(qint64 bytes, qint64 nowMs);
    double perSecond(qint64 nowMs) const;
    void reset();

private:
    void drop(qint64 nowMs) const;

    qint64 window_;
    qint64 start_ = -1;
    mutable std::deque<std::pair<qint64, qint64>> samples_;  // (time, bytes)
    mutable qint64 sum_ = 0;
};

}  // namespace harbel::tessaly
