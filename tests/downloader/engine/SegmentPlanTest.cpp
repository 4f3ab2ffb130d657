#include "downloader/engine/ControlFile.h"
#include "downloader/engine/SegmentPlan.h"

#include "tests/support/TestEnvironment.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace harbel;
using harbel::test::writeFile;

namespace {

constexpr qint64 MiB = 1024 * 1024;

QList<ByteRange> liveRanges(const SegmentPlan& plan)
{
    QList<ByteRange> ranges;
    for (int k = 0; k < plan.count(); ++k)
        ranges.append({plan.pos(k), plan.end(k)});
    return ranges;
}

// No byte is fetched twice or left out: the live ranges and the complete ones tile the file.
void expectTiles(const SegmentPlan& plan)
{
    QList<ByteRange> all = plan.completeRanges() + liveRanges(plan);
    qint64 sum = 0;
    for (const ByteRange& r : all)
        sum += r.length();
    EXPECT_EQ(sum, plan.size());
    const QList<ByteRange> merged = mergedRanges(all);
    ASSERT_EQ(merged.size(), 1);
    EXPECT_EQ(merged[0], (ByteRange{0, plan.size()}));
}

}  // namespace

TEST(SegmentPlan, SplitTakeOverAndRollBackKeepEveryByteInExactlyOneRange)
{
    SegmentPlan plan = SegmentPlan::split(10000, 3);
    ASSERT_EQ(plan.count(), 3);
    EXPECT_EQ(liveRanges(plan), (QList<ByteRange>{{0, 3333}, {3333, 6666}, {6666, 10000}}));

    // Segment 0 finishes while segment 2 has hardly begun: it takes the second half of what
    // segment 2 still has to fetch, and segment 2's range ends where that half begins.
    plan.advance(0, 3333);
    plan.advance(1, 1000);
    plan.advance(2, 334);
    EXPECT_TRUE(plan.finished(0));
    EXPECT_EQ(plan.received(), 3333 + 1000 + 334);
    ASSERT_TRUE(plan.takeNext(0, 100));
    EXPECT_EQ(plan.takeOvers(), 1);
    EXPECT_EQ(plan.start(0), 8500);
    EXPECT_EQ(plan.end(0), 10000);
    EXPECT_EQ(plan.end(2), 8500);
    EXPECT_EQ(plan.received(), 3333 + 1000 + 334);
    expectTiles(plan);
    EXPECT_EQ(plan.completeRanges(), (QList<ByteRange>{{0, 4333}, {6666, 7000}}));
    EXPECT_EQ(plan.completePrefix(), 4333);

    // A remainder below twice the minimum is not worth a new request.
    EXPECT_FALSE(SegmentPlan::split(1000, 2).takeNext(0, 600));

    // A rollback moves a segment back within its own range only.
    plan.advance(0, 50);
    plan.rollBack(0, 4096);
    EXPECT_EQ(plan.pos(0), 8500);
    plan.rollBack(1, 10);
    EXPECT_EQ(plan.pos(1), 4323);
    expectTiles(plan);

    // The whole file written completes the plan.
    SegmentPlan whole = SegmentPlan::split(5, 1);
    whole.advance(0, 5);
    EXPECT_TRUE(whole.isComplete());
    EXPECT_EQ(whole.completePrefix(), 5);
}

TEST(SegmentPlan, MissingRangesAreSharedOutOrWaitAndAShorterFileLosesItsTail)
{
    // Two gaps of 40 MiB over six connections: three equal parts each.
    SegmentPlan plan = SegmentPlan::missing(100 * MiB, {{0, 10 * MiB}, {50 * MiB, 60 * MiB}}, 6, MiB);
    ASSERT_EQ(plan.count(), 6);
    EXPECT_EQ(plan.received(), 20 * MiB);
    EXPECT_EQ(plan.start(0), 10 * MiB);
    EXPECT_EQ(plan.start(3), 60 * MiB);
    for (int k = 0; k < 6; ++k)
        EXPECT_NEAR(double(plan.end(k) - plan.start(k)), double(40 * MiB / 3), 1.0);
    expectTiles(plan);

    // Small gaps are not split below the minimum part.
    plan = SegmentPlan::missing(10 * MiB, {{0, 9 * MiB}}, 6, MiB);
    EXPECT_EQ(plan.count(), 1);
    EXPECT_EQ(liveRanges(plan), (QList<ByteRange>{{9 * MiB, 10 * MiB}}));

    // More gaps than connections: one connection takes them one after another.
    plan = SegmentPlan::missing(1000, {{100, 200}, {300, 400}}, 1, 10);
    ASSERT_EQ(plan.count(), 1);
    EXPECT_EQ(liveRanges(plan), (QList<ByteRange>{{0, 100}}));
    plan.advance(0, 100);
    ASSERT_TRUE(plan.takeNext(0, 10));
    EXPECT_EQ(liveRanges(plan), (QList<ByteRange>{{200, 300}}));
    plan.advance(0, 100);
    ASSERT_TRUE(plan.takeNext(0, 10));
    EXPECT_EQ(liveRanges(plan), (QList<ByteRange>{{400, 1000}}));
    EXPECT_EQ(plan.takeOvers(), 0);
    plan.advance(0, 600);
    EXPECT_TRUE(plan.isComplete());
    EXPECT_FALSE(plan.takeNext(0, 10));

    // Everything complete leaves nothing to fetch.
    EXPECT_TRUE(SegmentPlan::missing(1000, {{0, 1000}}, 3, 10).isComplete());

    // The file on disk ends before bytes the plan counted: they are fetched again.
    plan = SegmentPlan::split(1000, 2);
    plan.advance(0, 300);
    plan.advance(1, 200);
    plan.clipTo(600, 1);
    EXPECT_EQ(plan.completeRanges(), (QList<ByteRange>{{0, 300}, {500, 600}}));
    expectTiles(plan);
    plan.clipTo(2000, 1);  // a longer file changes nothing
    EXPECT_EQ(plan.received(), 400);
}

TEST(ControlFile, KeepsWhatIsCompleteAndRefusesWhatMakesNoSense)
{
    const QString output = test::testFolder() + "/file.bin";
    ControlFile c;
    c.size = 5000;
    c.validator = "ETag: \"abc\"";
    c.segments = 4;
    c.complete = {{0, 100}, {200, 300}};
    ASSERT_TRUE(c.write(output));
    EXPECT_EQ(ControlFile::pathFor(output), output + ".pellanor");
    bool damaged = true;
    const auto back = ControlFile::read(output, &damaged);
    ASSERT_TRUE(back);
    EXPECT_FALSE(damaged);
    EXPECT_EQ(back->size, 5000);
    EXPECT_EQ(back->validator, c.validator);
    EXPECT_EQ(back->segments, 4);
    EXPECT_EQ(back->complete, c.complete);

    // The server's file must be the same one: same size, and the same validator of the same kind.
    EXPECT_TRUE(back->matches(5000, "ETag: \"abc\""));
    EXPECT_FALSE(back->matches(5001, "ETag: \"abc\""));
    EXPECT_FALSE(back->matches(5000, "ETag: \"abd\""));
    EXPECT_TRUE(back->matches(5000, {}));
    EXPECT_TRUE(back->matches(5000, "Last-Modified: Mon, 07 Dec 2026 10:00:00 GMT"));

    ControlFile::remove(output);
    EXPECT_FALSE(ControlFile::read(output, &damaged));
    EXPECT_FALSE(damaged);

    const QByteArray bad[] = {"garbage", "Pellanor download state 1\nvalidator=x\n",
                              "Pellanor download state 1\nsize=100\ncomplete=0-200\n",
                              "Pellanor download state 1\nsize=100\ncomplete=50-10\n",
                              "Pellanor download state 1\nsize=-4\n"};
    for (const QByteArray& text : bad) {
        SCOPED_TRACE(text.toStdString());
        writeFile(ControlFile::pathFor(output), text);
        EXPECT_FALSE(ControlFile::read(output, &damaged));
        EXPECT_TRUE(damaged);
    }
}
