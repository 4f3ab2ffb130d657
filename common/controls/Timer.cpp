#include "common/controls/Timer.h"

namespace harbel {

Timer::Timer(Form& form, QString name, int intervalMs, std::function<void()> handler)
    : Control(form, std::move(name), ControlKind::Timer), interval_(intervalMs), handler_(std::move(handler))
{
    // A timer starts disabled here; the form enables it when its work begins.
    Control::setEnabled(false);
    connect(&timer_, &QTimer::timeout, this, [this] {
        if (handler_)
            handler_();
    });
    connect(this, &Control::changed, this, &Timer::apply);
}

void Timer::setInterval(int ms)
{
    if (interval_ == ms)
        return;
    interval_ = ms;
    notify();
}

void Timer::apply()
{
    if (Enabled() && interval_ > 0) {
        if (!timer_.isActive() || timer_.interval() != interval_)
            timer_.start(interval_);
    } else {
        timer_.stop();
    }
}

}  // namespace harbel
