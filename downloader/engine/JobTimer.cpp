#include "downloader/engine/JobTimer.h"

#include <limits>

namespace harbel {

JobTimer::JobTimer(int intervalMs, std::function<void()> handler, QObject* parent)
    : QObject(parent), interval_(intervalMs), handler_(std::move(handler))
{
    connect(&timer_, &QTimer::timeout, this, [this] {
        if (handler_)
            handler_();
    });
}

void JobTimer::setEnabled(bool on)
{
    if (enabled_ == on)
        return;
    enabled_ = on;
    apply();
}

void JobTimer::setInterval(int ms)
{
    if (interval_ == ms)
        return;
    interval_ = ms;
    apply();
}

void JobTimer::apply()
{
    if (enabled_ && interval_ > 0) {
        if (!timer_.isActive() || timer_.interval() != interval_)
            timer_.start(interval_);
    } else {
        timer_.stop();
    }
}

SecondsTimer::SecondsTimer(std::function<void()> handler, QObject* parent)
    : QObject(parent), handler_(std::move(handler))
{
    source_.setInterval(1000);
    connect(&source_, &QTimer::timeout, this, &SecondsTimer::tick);
}

void SecondsTimer::setEnabled(bool on)
{
    if (enabled_ == on)
        return;
    enabled_ = on;
    if (on)
        source_.start();
    else
        source_.stop();
}

void SecondsTimer::tick()
{
    if (ticks_ < std::numeric_limits<qint32>::max())
        ++ticks_;
    if (interval_ > 0 && ticks_ >= interval_) {
        ticks_ = 0;
        if (handler_)
            handler_();
    }
}

}  // namespace harbel
