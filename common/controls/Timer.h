#pragma once

#include "common/controls/Control.h"

#include <QTimer>

#include <functional>

namespace harbel {

// A window timer: raises its handler every Interval milliseconds while enabled. The form's handler
// is also a plain method, so tests call it directly instead of waiting.
class Timer final : public Control {
    Q_OBJECT
public:
    Timer(Form& form, QString name, int intervalMs = 0, std::function<void()> handler = {});

    int Interval() const { return interval_; }
    void setInterval(int ms);
    bool isEnabled() const { return Enabled(); }
    void setHandler(std::function<void()> handler) { handler_ = std::move(handler); }

    bool hasHandle() const override { return false; }
    bool canRefresh() const override { return false; }

private:
    void apply();

    QTimer timer_;
    int interval_;
    std::function<void()> handler_;
};

}  // namespace harbel
