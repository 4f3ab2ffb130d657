#pragma once

#include "common/controls/Control.h"

#include <QTimer>

namespace harbel {

// A timer for long periods: counts one-second ticks and raises Timer once Interval units
// (0 seconds, 1 minutes, 2 hours, 3 days) have passed, then counts again from 0. Disabling stops
// the ticks but keeps the count.
class ExtraTimer final : public Control {
    Q_OBJECT
public:
    ExtraTimer(Form& form, QString name);

    qint32 Interval() const { return interval_; }
    void setInterval(qint32 interval) { interval_ = interval; }
    qint32 IntervalUnit() const { return unit_; }
    void setIntervalUnit(qint32 unit) { unit_ = unit; }
    bool isEnabled() const { return Enabled(); }
    qint32 tickCount() const { return ticks_; }

    // The period in seconds (64-bit, so no product overflows); 0 for an unknown unit.
    qint64 periodSeconds() const;

    // One tick of the one-second source; public so that tests need not wait.
    void tick();

    bool hasHandle() const override { return false; }
    bool canRefresh() const override { return false; }

signals:
    void Timer();

private:
    QTimer source_;
    qint32 interval_ = 1;
    qint32 unit_ = 0;
    qint32 ticks_ = 0;
};

}  // namespace harbel
