#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

namespace harbel {

// A timer of a download job: runs its handler every Interval milliseconds while enabled. The
// handlers are plain methods of the job, so tests call them instead of waiting.
class JobTimer final : public QObject {
    Q_OBJECT
public:
    JobTimer(int intervalMs, std::function<void()> handler, QObject* parent = nullptr);

    bool Enabled() const { return enabled_; }
    bool isEnabled() const { return enabled_; }
    void setEnabled(bool on);
    int Interval() const { return interval_; }
    void setInterval(int ms);

private:
    void apply();

    QTimer timer_;
    int interval_;
    bool enabled_ = false;
    std::function<void()> handler_;
};

// A timer for periods in whole seconds: counts one-second ticks and runs its handler once Interval
// of them have passed, then counts again from 0. Disabling stops the ticks but keeps the count.
class SecondsTimer final : public QObject {
    Q_OBJECT
public:
    explicit SecondsTimer(std::function<void()> handler, QObject* parent = nullptr);

    bool Enabled() const { return enabled_; }
    bool isEnabled() const { return enabled_; }
    void setEnabled(bool on);
    qint32 Interval() const { return interval_; }
    void setInterval(qint32 seconds) { interval_ = seconds; }

    // One tick of the one-second source; public so that tests need not wait.
    void tick();

private:
    QTimer source_;
    qint32 interval_ = 1;
    qint32 ticks_ = 0;
    bool enabled_ = false;
    std::function<void()> handler_;
};

}  // namespace harbel
