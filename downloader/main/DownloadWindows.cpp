#include "downloader/main/DownloadWindows.h"

#include "common/platform/Prompts.h"
#include "common/support/LangString.h"
#include "downloader/engine/DownloadFormat.h"
#include "downloader/main/frmExist.h"
#include "downloader/settings/DownloadSettings.h"

namespace harbel {

DownloadLists::DownloadLists() : Form(QStringLiteral("frmMain"))
{
    setDownloadColumns(lstMain, false);
    setDownloadColumns(lstComplete, true);
}

DownloadWindows::DownloadWindows(QObject* parent)
    : QObject(parent), ownLists_(std::make_unique<DownloadLists>()), lstMain(ownLists_->lstMain),
      lstComplete(ownLists_->lstComplete)
{
}

DownloadWindows::DownloadWindows(ListView& queue, ListView& completed, QObject* parent)
    : QObject(parent), lstMain(queue), lstComplete(completed)
{
}


DownloadWindows::~DownloadWindows() = default;

frmDownload* DownloadWindows::existing(int slot) const
{
    if (slot < 0 || slot >= kSlots)
        return nullptr;
    return windows_[slot].get();
}

frmDownload* DownloadWindows::window(int slot)
{
    if (slot < 0 || slot >= kSlots)
        return nullptr;
    if (!windows_[slot]) {
        windows_[slot] = std::make_unique<frmDownload>();
        windows_[slot]->intAssignedIndex = qint16(slot);
        bind(*windows_[slot]);
    }
    return windows_[slot].get();
}

void DownloadWindows::bind(frmDownload& job)
{
    connect(&job, &frmDownload::connectingChanged, this, [this, &job](bool on) {
        const int slot = job.intAssignedIndex;
        if (slot < 0 || slot >= kSlots || connectingSlot_[slot] == on)
            return;
        connectingSlot_[slot] = on;
        connecting_ += on ? 1 : -1;
    });
    connect(&job, &frmDownload::moveRowToCompleted, this, &DownloadWindows::moveToCompleted);
}

void DownloadWindows::moveToCompleted(ListRow* row)
{
    if (lstMain.indexOf(row) == 0)
        return;
    ListRow* done = lstComplete.Add({}, DownloadRow::kCompleteIcon);
    for (int c = DownloadRow::Filename; c <= DownloadRow::URL; ++c)
        done->setCell(c, row->cell(c));
    lstMain.Remove(row);
}

void DownloadWindows::ParseURL(const QString& address, int index, bool /*flag*/)
{
    if (frmDownload* job = window(index))
        job->ParseURL(address);
}

frmDownload* DownloadWindows::DownloadNow(const QString& url, const QString& savePath, int position)
{
    const int slot = position >= 1 ? position - 1 : lstMain.count();
    frmDownload* job = window(slot);
    if (!job) {
        Prompts::instance().MsgBox(
            GetLangString(QStringLiteral("19013"), QStringLiteral("No download window is free: the queue holds 51 downloads already.")),
            MsgButtons::OkOnly, MsgIcon::Exclamation, QStringLiteral("Pellanor"));
        return nullptr;
    }
    job->Load();
    job->intAssignedIndex = qint16(slot);
    job->setStyleName(QStringLiteral("secondForm"));

    SettingsStore& store = SettingsStore::instance();
    store.FileExistsAction = 0;
    if (IsFilePresent(savePath)) {
        frmExist question;
        Prompts::instance().ShowModal(question);
    }

    ParseURL(url, slot, false);
    if (position < 0) {
        ListRow* row = lstMain.Add({}, DownloadRow::kQueueIcon);
        row->setCell(DownloadRow::Filename, savePath);
        row->setCell(DownloadRow::Percent, QStringLiteral("0%"));
        row->setCell(DownloadRow::Size, QStringLiteral("N/A"));
        row->setCell(DownloadRow::Recieved, QStringLiteral("N/A"));
        row->setCell(DownloadRow::Status, QStringLiteral("N/A"));
        row->setCell(DownloadRow::URL, url);
        job->lstItem = row;
    } else {
        job->lstItem = lstMain.item(position);
    }
    job->Show();
    job->strSaveTo = savePath;
    job->txtSaveTo.setText(savePath);
    job->txtURL.setText(url);
    job->strURL = url;
    job->StartDownload();
    return job;
}

}  // namespace harbel
