#include "common/controls/ExtraTimer.h"

#include <limits>

namespace harbel {

ExtraTimer::ExtraTimer(Form& form, QString name) : Control(form, std::move(name), ControlKind::ExtraTimer)
{
    Control::setEnabled(false);
    source_.setInterval(1000);
    connect(&source_, &QTimer::timeout, this, &ExtraTimer::tick);
    connect(this, &Control::changed, this, [this] {
        if (Enabled() && !source_.isActive())
            source_.start();
        else if (!Enabled())
            source_.stop();
    });
}

qint64 ExtraTimer::periodSeconds() const
{
    static constexpr qint64 factors[] = {1, 60, 3600, 86400};
    if (unit_ < 0 || unit_ > 3)
        return 0;
    return qint64(interval_) * factors[unit_];
}

void ExtraTimer::tick()
{
    if (ticks_ < std::numeric_limits<qint32>::max())
        ++ticks_;
    const qint64 period = periodSeconds();
    if (period > 0 && ticks_ >= period) {
        ticks_ = 0;
        emit Timer();
    }
}

}  // namespace harbel
