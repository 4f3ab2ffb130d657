#include "downloader/main/DownloadRow.h"

#include "common/support/VbText.h"
#include "downloader/engine/DownloadFormat.h"

namespace harbel {

void setDownloadColumns(ListView& list, bool completed)
{
    const Qt::Alignment centre = Qt::AlignHCenter;
    list.setColumns({
        {QString(), completed ? 15 : 20, Qt::AlignLeft},
        {completed ? QStringLiteral("Complete") : QStringLiteral("Filename"), completed ? 110 : 120, Qt::AlignLeft},
        {QStringLiteral("%"), 36, centre},
        {QStringLiteral("Size"), 60, centre},
        {QStringLiteral("Recieved"), 60, centre},
        {QStringLiteral("Status"), completed ? 99 : 100, centre},
        {QStringLiteral("URL"), 200, Qt::AlignLeft},
        {QStringLiteral("Date"), 0, Qt::AlignLeft},
    });
}

void renderDownloadRow(ListRow& row, const Progress& p, Progress::Changes changes)
{
    if (changes & Progress::FileChanged)
        row.setCell(DownloadRow::Filename, p.file);
    if (changes & Progress::SizeChanged)
        row.setCell(DownloadRow::Size, p.totalKnown ? FormatBytes(double(p.total)) : QString());
    if (changes & Progress::PercentChanged)
        row.setCell(DownloadRow::Percent, vb::numberText(double(std::max(p.percent, 0))) + QStringLiteral("%"));
    if (changes & Progress::ReceivedChanged)
        row.setCell(DownloadRow::Recieved, FormatBytes(double(p.received)));
    if (changes & Progress::BriefStatusChanged)
        row.setCell(DownloadRow::Status, p.briefStatus);
    if (changes & Progress::StateChanged) {
        if (p.state == Progress::State::Refused)
            row.setCell(DownloadRow::Percent, QStringLiteral("0 %"));
        else if (p.state == Progress::State::TimedOut)
            row.setCell(DownloadRow::Percent, p.status);
    }
}

}  // namespace harbel
