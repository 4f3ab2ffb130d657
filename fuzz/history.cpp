// History.ini's rows: seven lines a row, as any earlier version or a hand edit left them. A row read
// back, written as the list shows it and read again is the same entry.
#include "FuzzCheck.h"

#include "downloader/intake/QueueEntry.h"
#include "downloader/main/DownloadRow.h"

using namespace harbel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const bool completed = data[0] & 1;
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    QStringList lines = text.split(u'\n');
    while (lines.size() < 7)
        lines.append(QString());
    lines = lines.mid(0, 7);
    static const JobStatusWords words = JobStatusWords::current();

    const QueueEntry entry = QueueEntry::fromLines(lines, completed, words);
    FUZZ_CHECK(entry.percent >= 0 && entry.percent <= 100);
    FUZZ_CHECK(!completed || entry.state == QueueEntry::State::Complete);

    const QStringList written = queueRowCells(entry).mid(1, 7);
    FUZZ_CHECK(written.size() == 7);
    const QueueEntry again = QueueEntry::fromLines(written, completed, words);
    FUZZ_CHECK(again == entry);
    return 0;
}
