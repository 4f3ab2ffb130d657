#include "downloader/engine/SegmentPlan.h"

#include <algorithm>

namespace harbel {

QList<ByteRange> mergedRanges(QList<ByteRange> ranges)
{
    ranges.removeIf([](const ByteRange& r) { return r.length() <= 0; });
    std::sort(ranges.begin(), ranges.end(), [](const ByteRange& a, const ByteRange& b) { return a.begin < b.begin; });
    QList<ByteRange> out;
    for (const ByteRange& r : ranges) {
        if (!out.isEmpty() && r.begin <= out.last().end)
            out.last().end = std::max(out.last().end, r.end);
        else
            out.append(r);
    }
    return out;
}

SegmentPlan SegmentPlan::split(qint64 size, int n)
{
    n = std::clamp(n, 1, kMaxSegments);
    SegmentPlan plan;
    plan.size_ = size;
    const qint64 part = size / n;
    for (int k = 0; k < n; ++k) {
        const qint64 start = part * k;
        plan.segments_.append(Segment{start, start, k + 1 < n ? part * (k + 1) : size});
    }
    return plan;
}

SegmentPlan SegmentPlan::missing(qint64 size, const QList<ByteRange>& complete, int n, qint64 minPart)
{
    n = std::clamp(n, 1, kMaxSegments);
    SegmentPlan plan;
    plan.size_ = size;
    // The gaps between the complete ranges, clipped to the file.
    QList<ByteRange> gaps;
    qint64 at = 0;
    for (const ByteRange& r : mergedRanges(complete)) {
        const qint64 begin = std::clamp<qint64>(r.begin, 0, size);
        const qint64 end = std::clamp<qint64>(r.end, 0, size);
        if (begin > at)
            gaps.append({at, begin});
        if (end > begin)
            plan.done_.append({begin, end});
        at = std::max(at, end);
    }
    if (at < size)
        gaps.append({at, size});
    if (gaps.isEmpty()) {
        plan.segments_.append(Segment{size, size, size});
        return plan;
    }
    // Each gap gets one segment; spare segments go one by one to the gap whose parts are longest.
    const int used = std::min<int>(n, gaps.size());
    QList<int> parts(used, 1);
    for (int spare = n - used; spare > 0; --spare) {
        int best = -1;
        for (int g = 0; g < used; ++g) {
            const qint64 next = gaps[g].length() / (parts[g] + 1);
            if (next >= minPart && (best < 0 || gaps[g].length() / parts[g] > gaps[best].length() / parts[best]))
                best = g;
        }
        if (best < 0)
            break;
        ++parts[best];
    }
    for (int g = 0; g < used; ++g) {
        const qint64 part = gaps[g].length() / parts[g];
        for (int p = 0; p < parts[g]; ++p) {
            const qint64 start = gaps[g].begin + part * p;
            plan.segments_.append(Segment{start, start, p + 1 < parts[g] ? start + part : gaps[g].end});
        }
    }
    plan.waiting_ = gaps.mid(used);
    return plan;
}

void SegmentPlan::rollBack(int k, qint64 bytes)
{
    Segment& s = segments_[k];
    s.pos = std::max(s.pos - std::max<qint64>(bytes, 0), s.start);
}

bool SegmentPlan::takeNext(int k, qint64 minTakeOver)
{
    Segment& mine = segments_[k];
    if (!waiting_.isEmpty()) {
        done_.append({mine.start, mine.pos});
        const ByteRange next = waiting_.takeFirst();
        mine = Segment{next.begin, next.begin, next.end};
        return true;
    }
    int from = -1;
    qint64 largest = 0;
    for (int j = 0; j < count(); ++j) {
        if (j != k && left(j) > largest) {
            largest = left(j);
            from = j;
        }
    }
    if (from < 0 || largest < 2 * minTakeOver)
        return false;
    const qint64 half = segments_[from].end - largest / 2;
    done_.append({mine.start, mine.pos});
    mine = Segment{half, half, segments_[from].end};
    // The other connection's reply goes on past its new end; those bytes are dropped as they come.
    segments_[from].end = half;
    ++takeOvers_;
    return true;
}

qint64 SegmentPlan::received() const
{
    qint64 n = 0;
    for (const ByteRange& r : done_)
        n += r.length();
    for (const Segment& s : segments_)
        n += s.pos - s.start;
    return n;
}

QList<ByteRange> SegmentPlan::completeRanges() const
{
    QList<ByteRange> ranges = done_;
    for (const Segment& s : segments_)
        ranges.append({s.start, s.pos});
    return mergedRanges(ranges);
}

qint64 SegmentPlan::completePrefix() const
{
    const QList<ByteRange> ranges = completeRanges();
    return !ranges.isEmpty() && ranges.first().begin == 0 ? ranges.first().end : 0;
}

void SegmentPlan::clipTo(qint64 length, qint64 minPart)
{
    const QList<ByteRange> ranges = completeRanges();
    if (ranges.isEmpty() || ranges.last().end <= length)
        return;
    QList<ByteRange> kept;
    for (ByteRange r : ranges) {
        r.end = std::min(r.end, length);
        kept.append(r);
    }
    const int takeOvers = takeOvers_;
    *this = missing(size_, kept, count(), minPart);
    takeOvers_ = takeOvers;
}

}  // namespace harbel
