#include "common/controls/ExtraTimer.h"
#include "common/controls/Form.h"
#include "tests/support/TestEnvironment.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace harbel;

namespace {
class TimerForm final : public Form {
public:
    TimerForm() : Form("frmMain") {}
    ExtraTimer ExtraTimer1{*this, "ExtraTimer1"};
};

int ticksUntilEvent(ExtraTimer& t, int limit)
{
    QSignalSpy spy(&t, &ExtraTimer::Timer);
    for (int i = 1; i <= limit; ++i) {
        t.tick();
        if (spy.count() > 0)
            return i;
    }
    return -1;
}
}  // namespace

TEST(ExtraTimer, PeriodsInEachUnit)
{
    TimerForm f;
    ExtraTimer& t = f.ExtraTimer1;
    EXPECT_EQ(t.Interval(), 1);
    EXPECT_EQ(t.IntervalUnit(), 0);
    EXPECT_EQ(ticksUntilEvent(t, 10), 1);
    EXPECT_EQ(ticksUntilEvent(t, 10), 1);  // every second
    t.setInterval(2);
    t.setIntervalUnit(1);
    EXPECT_EQ(ticksUntilEvent(t, 1000), 120);
    t.setInterval(1);
    t.setIntervalUnit(2);
    EXPECT_EQ(t.periodSeconds(), 3600);
    t.setIntervalUnit(3);
    EXPECT_EQ(t.periodSeconds(), 86400);
    // Beyond 32 bits the period is still right.
    t.setInterval(100000);
    EXPECT_EQ(t.periodSeconds(), 8640000000LL);
    // An unknown unit never raises the event.
    t.setInterval(1);
    t.setIntervalUnit(4);
    EXPECT_EQ(ticksUntilEvent(t, 100), -1);
}

TEST(ExtraTimer, DisablingKeepsTheCountAndTheRealSourceTicksOncePerSecond)
{
    TimerForm f;
    ExtraTimer& t = f.ExtraTimer1;
    t.setInterval(3);
    t.tick();
    t.tick();
    t.setEnabled(true);
    t.setEnabled(false);
    EXPECT_EQ(t.tickCount(), 2);
    QSignalSpy spy(&t, &ExtraTimer::Timer);
    t.setEnabled(true);
    // The third tick comes from the one-second source.
    EXPECT_TRUE(test::waitUntil([&] { return spy.count() == 1; }, 2500));
    EXPECT_EQ(t.tickCount(), 0);
    t.setEnabled(false);
}
