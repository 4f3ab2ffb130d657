#pragma once

#include <QList>
#include <QtGlobal>

namespace harbel {

// A half-open range of bytes of a file: [begin, end), 0-based.
struct ByteRange {
    qint64 begin = 0;
    qint64 end = 0;
    qint64 length() const { return end - begin; }
    bool operator==(const ByteRange&) const = default;
};

// How a file of known size is fetched over one to six connections. Each segment has the range its
// connection is fetching now, [start, end), written from start up to pos. Ranges finished by a
// connection that has since moved on are kept as done; ranges no connection has taken yet wait.
// Nothing here knows of sockets or files: the job advances a segment for every byte written.
class SegmentPlan final {
public:
    static constexpr int kMaxSegments = 6;

    SegmentPlan() = default;
    // [0, size) in n ranges of size / n bytes each, the last one taking the remainder; n < 1 is 1.
    static SegmentPlan split(qint64 size, int n);
    // What of [0, size) is not in `complete`, over at most n segments. Missing ranges share the
    // segments by their length: a long one is split in equal parts, none shorter than minPart.
    // When there are more missing ranges than segments, the rest wait for a free connection.
    static SegmentPlan missing(qint64 size, const QList<ByteRange>& complete, int n, qint64 minPart);

    qint64 size() const { return size_; }
    int count() const { return int(segments_.size()); }
    qint64 start(int k) const { return segments_[k].start; }
    qint64 pos(int k) const { return segments_[k].pos; }
    qint64 end(int k) const { return segments_[k].end; }
    // Bytes segment k still has to fetch.
    qint64 left(int k) const { return end(k) - pos(k); }
    bool finished(int k) const { return pos(k) >= end(k); }
    // n bytes have been written at pos(k).
    void advance(int k, qint64 n) { segments_[k].pos += n; }
    // Segment k goes back by `bytes`, never before the start of its range.
    void rollBack(int k, qint64 bytes);

    // Segment k has finished its range and its connection is free: it takes the first waiting
    // range, or else the second half of the largest range another segment still has to fetch,
    // when that is at least 2 * minTakeOver bytes. The other segment's range ends where the taken
    // half begins. False when there is nothing worth taking.
    bool takeNext(int k, qint64 minTakeOver);
    // Ranges taken over from another segment so far.
    int takeOvers() const { return takeOvers_; }

    // Bytes written, and whether every byte has been.
    qint64 received() const;
    bool isComplete() const { return received() >= size_; }
    // The written ranges, sorted and merged.
    QList<ByteRange> completeRanges() const;
    // The bytes from the first one up to the first gap.
    qint64 completePrefix() const;
    // The file on disk ends at `length`: nothing at or past it counts as written.
    // The segments are planned anew when anything they counted is lost.
    void clipTo(qint64 length, qint64 minPart);

private:
    struct Segment {
        qint64 start = 0;
        qint64 pos = 0;
        qint64 end = 0;
    };

    qint64 size_ = 0;
    QList<Segment> segments_;
    QList<ByteRange> done_;
    QList<ByteRange> waiting_;
    int takeOvers_ = 0;
};

// Sorts ranges and merges those that touch or overlap.
QList<ByteRange> mergedRanges(QList<ByteRange> ranges);

}  // namespace harbel
