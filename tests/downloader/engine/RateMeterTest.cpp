#include "downloader/engine/RateMeter.h"

#include <gtest/gtest.h>

#include <optional>
#include <utility>
#include <vector>

using namespace harbel;

// The rate counts the bytes of this run over the last five seconds, a span shorter than the tick's
// 2.5 s counting as the tick: never what the file held when the run began, nor bytes fetched again.
TEST(RateMeter, CountsOnlyTheBytesOfThisRunOverTheLastSeconds)
{
    struct Case {
        const char* what;
        qint64 kept;                                  // the count when the run began, at 0 ms
        std::vector<std::pair<qint64, qint64>> samples;  // (ms, count)
        std::optional<double> rate;
        double average;
    };
    const Case cases[] = {
        {"no sample yet", 0, {}, std::nullopt, 0},
        {"a burst right after the start", 0, {{100, 5000}}, 2000, 50000},
        {"a steady run", 0, {{2500, 5000}, {5000, 10000}, {7500, 15000}, {10000, 20000}}, 2000, 2000},
        {"a resumed file: the kept bytes are not counted", 6000, {{2000, 8000}, {4000, 10000}}, 1000, 1000},
        {"a resume that moved back counts from there", 5000, {{1000, 4900}, {3000, 6900}}, 2000.0 / 3, 2000.0 / 3},
        {"a stall after the window", 0, {{1000, 5000}, {7000, 5000}}, 0, 5000.0 / 7},
    };
    for (const Case& c : cases) {
        RateMeter meter;
        meter.restart(0, c.kept);
        for (const auto& [at, count] : c.samples)
            meter.sample(at, count);
        const std::optional<double> rate = meter.rate(2500);
        ASSERT_EQ(rate.has_value(), c.rate.has_value()) << c.what;
        if (rate)
            EXPECT_DOUBLE_EQ(*rate, *c.rate) << c.what;
        EXPECT_DOUBLE_EQ(meter.average(), c.average) << c.what;
    }
}
