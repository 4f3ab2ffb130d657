#include "downloader/main/DownloadWindows.h"

#include "common/prompts/Prompts.h"
#include "common/support/LangString.h"
#include "downloader/engine/ControlFile.h"
#include "downloader/engine/DownloadFormat.h"
#include "downloader/intake/CaptureFilters.h"
#include "downloader/main/frmExist.h"
#include "downloader/main/frmFile.h"
#include "downloader/settings/DownloadSettings.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <algorithm>

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
        emit windowMade(windows_[slot].get());
    }
    return windows_[slot].get();
}

void DownloadWindows::bind(frmDownload& job)
{
    connect(&job, &frmDownload::connectingChanged, this, [this, &job](bool on) {
        emit connectingReported(on);
        const int slot = job.intAssignedIndex;
        if (slot < 0 || slot >= kSlots || connectingSlot_[slot] == on)
            return;
        connectingSlot_[slot] = on;
        connecting_ += on ? 1 : -1;
    });
    connect(&job, &frmDownload::completed, this, [this, &job] {
        if (!job.job().announcesCompletionInABox())
            emit downloadEnded(job.strSaveTo, true, {});
    });
    connect(&job, &frmDownload::needsUser, this, [this, &job] {
        // Stopped and paused by a person: nothing to tell.
        const Progress& p = job.job().progress();
        if (p.state != Progress::State::Stopped && p.state != Progress::State::Paused && !job.isCompleted())
            emit downloadEnded(job.strSaveTo, false, p.status);
    });
    // The row's entry takes the progress of the window's download and shows it; a completed download
    // moves its row to the completed list.
    connect(&job.job(), &DownloadJob::progressChanged, this,
            [this, &job](const Progress& progress, Progress::Changes changes) {
                if (!job.lstItem)
                    return;
                renderDownloadRow(*job.lstItem, progress, changes);
                if ((changes & Progress::StateChanged) && progress.state == Progress::State::Completed)
                    moveToCompleted(job.lstItem.data());
            });
}

void DownloadWindows::moveToCompleted(ListRow* row)
{
    if (lstMain.indexOf(row) == 0)
        return;
    // The completed row gets its save date at the next save.
    QueueEntry done = entryOf(*row);
    done.state = QueueEntry::State::Complete;
    done.savedOn.clear();
    setEntry(*lstComplete.Add({}, DownloadRow::kCompleteIcon), done);
    lstMain.Remove(row);
}

void DownloadWindows::ParseURL(const QString& address, int index, bool /*flag*/)
{
    if (frmDownload* job = window(index))
        job->ParseURL(address);
}

frmDownload* DownloadWindows::DownloadNow(const QString& url, const QString& savePath, int position,
                                          const PathForName& pathForName)
{
    return start(url, savePath, position, nullptr, std::nullopt, pathForName);
}

frmDownload* DownloadWindows::ReDownloadRow(const QString& url, const QString& savePath, int position, ListRow* row)
{
    return start(url, savePath, qMax(position, 1), row);
}

frmDownload* DownloadWindows::resumeRow(ListRow* row)
{
    const QueueEntry entry = entryOf(*row);
    const QString address = reDownloadAddress(entry.address);
    if (address.isEmpty() || !entry.hasUsableSavePath())
        return nullptr;
    return start(address, entry.savePath, qMax(lstMain.indexOf(row), 1), row, qint16(-1));
}

void DownloadWindows::settleFileExists(const QString& savePath, std::optional<qint16> existsAction, bool unattended)
{
    SettingsStore& store = SettingsStore::instance();
    store.FileExistsAction = 0;
    if (!IsFilePresent(savePath))
        return;
    if (existsAction) {
        store.FileExistsAction = *existsAction;
        return;
    }
    if (UseScheduleExistsAction) {
        store.FileExistsAction = ScheduleExistsAction == 2 ? -1 : ScheduleExistsAction == 3 ? -2 : 0;
        return;
    }
    if (unattended) {
        store.FileExistsAction = QFileInfo::exists(ControlFile::pathFor(savePath)) ? -1 : -2;
        if (store.FileExistsAction == -2)
            emit downloadEnded(savePath, false,
                               GetLangString(QStringLiteral("19516"), QStringLiteral("The file exists already and was left alone.")));
        return;
    }
    // Closing the question without an answer is Cancel: the file is left alone.
    store.FileExistsAction = -2;
    frmExist question;
    asking_ = true;
    Prompts::instance().ShowModal(question);
    asking_ = false;
}

bool DownloadWindows::isBusy(int slot) const
{
    const frmDownload* job = existing(slot);
    return job && (connectingSlot_[slot] || job->tmrUpdate.Enabled() || job->tmrReconnect.Enabled());
}

bool DownloadWindows::isPaused(int slot) const
{
    const frmDownload* job = existing(slot);
    if (!job)
        return false;
    const Progress& p = job->job().progress();
    return !job->isCompleted() && p.canPause && p.held;
}

bool DownloadWindows::isRunning(int slot) const
{
    const frmDownload* job = existing(slot);
    if (!job || job->isCompleted())
        return false;
    const Progress& p = job->job().progress();
    return !p.held && (p.state == Progress::State::Connecting || p.state == Progress::State::Transferring);
}

int DownloadWindows::runningCount() const
{
    int n = 0;
    for (int s = 0; s < kSlots; ++s)
        n += isRunning(s) ? 1 : 0;
    return n;
}

void DownloadWindows::pauseRunning()
{
    for (int s = 0; s < kSlots; ++s)
        if (isRunning(s))
            existing(s)->Pause_Resume();
}

int DownloadWindows::slotOf(const ListRow* row) const
{
    if (!row)
        return -1;
    for (int s = 0; s < kSlots; ++s)
        if (const frmDownload* job = existing(s); job && job->lstItem == row)
            return s;
    return -1;
}

// The slot follows the row's place in the queue, but rows leave the queue while other downloads
// run (finished ones move to the completed list), so that slot may hold a running download of
// another row: starting there would stop it. The row's own window, else a window with no queue
// row to serve, else any idle one is taken instead.
int DownloadWindows::slotFor(int preferred, const ListRow* row) const
{
    if (preferred >= kSlots)
        return preferred;  // refused by the caller
    const frmDownload* there = existing(preferred);
    if (!isBusy(preferred) || (row && there && there->lstItem == row))
        return preferred;
    if (const int own = slotOf(row); own >= 0)
        return own;
    for (int s = 0; s < kSlots; ++s) {
        const frmDownload* job = existing(s);
        if (!job || (!isBusy(s) && (!job->lstItem || lstMain.indexOf(job->lstItem) == 0)))
            return s;
    }
    for (int s = 0; s < kSlots; ++s)
        if (!isBusy(s))
            return s;
    return kSlots;
}

frmDownload* DownloadWindows::start(const QString& url, const QString& savePath, int position, ListRow* boundRow,
                                    std::optional<qint16> existsAction, const PathForName& pathForName)
{
    ListRow* row = boundRow ? boundRow : position >= 1 ? lstMain.item(position) : nullptr;
    const int slot = slotFor(position >= 1 ? position - 1 : lstMain.count(), row);
    frmDownload* job = window(slot);
    if (!job) {
        Prompts::instance().MsgBox(
            GetLangString(QStringLiteral("19200"), QStringLiteral("No download window is free: the queue holds 51 downloads already. Remove finished or unwanted rows and try again.")),
            MsgButtons::OkOnly, MsgIcon::Exclamation, QStringLiteral("Harbel"));
        return nullptr;
    }
    job->Load();
    const bool unattended = startsUnattended();
    job->job().attended = !unattended;
    job->intAssignedIndex = qint16(slot);
    job->setStyleName(QStringLiteral("secondForm"));
    if (boundRow)
        job->lstItem = boundRow;

    // An HTTP server may name the file: the path and the file-exists question wait for its answer.
    if (pathForName && splitURL(url).HTTPMODE)
        job->job().setNameSettler([this, pathForName, url, unattended,
                                   fallback = QFileInfo(savePath).fileName()](const QString& name) {
            SaveDecision d;
            const QString file = safeName(name, fallback);
            const SettingsStore& store = SettingsStore::instance();
            if (checksServerNames && !isServerNameWanted(file, url, store.record.MonitorTypes)) {
                d.refusal = GetLangString(QStringLiteral("13030"), QStringLiteral("You block this Extenison"));
                return d;
            }
            d.path = pathForName(file);
            settleFileExists(d.path, std::nullopt, unattended);
            d.existsAction = store.FileExistsAction;
            return d;
        });
    else
        settleFileExists(savePath, existsAction, unattended);

    ParseURL(url, slot, false);
    if (boundRow) {
        // already bound
    } else if (position < 0) {
        job->lstItem = appendRow(QueueEntry::startingNow(url, savePath));
    } else {
        job->lstItem = lstMain.item(position);
    }
    job->Show();
    job->strSaveTo = savePath;
    job->txtSaveTo.setText(savePath);
    job->txtURL.setText(addressForDisplay(url));
    job->strURL = url;
    job->StartDownload();
    return job;
}

ListRow* DownloadWindows::appendRow(const QueueEntry& entry)
{
    ListRow* row = lstMain.Add({}, DownloadRow::kQueueIcon);
    setEntry(*row, entry);
    return row;
}

ListRow* DownloadWindows::DownloadLater(const QString& url, const QString& savePath)
{
    return appendRow(QueueEntry::queuedLater(url, savePath));
}

ListRow* DownloadWindows::DownloadBlocked(const QString& url, const QString& reason)
{
    return appendRow(QueueEntry::blocked(url, reason));
}

QString DownloadWindows::reDownloadAddress(const QString& url)
{
    // An SFTP address is whole as it is ("ftp://" inside it is no scheme of its own).
    if (url.startsWith(QLatin1String("sftp://"), Qt::CaseInsensitive))
        return url;
    // The secure form of each scheme counts as the scheme.
    const auto firstOf = [](const QString& text, const char* plain, const char* secure) {
        const qsizetype p = text.indexOf(QLatin1String(plain), 0, Qt::CaseInsensitive);
        const qsizetype q = text.indexOf(QLatin1String(secure), 0, Qt::CaseInsensitive);
        return p < 0 ? q : q < 0 ? p : std::min(p, q);
    };
    QString address = url;
    const qsizetype http = firstOf(address, "http://", "https://");
    if (http >= 0)
        address = address.mid(http);
    const qsizetype ftp = firstOf(address, "ftp://", "ftps://");
    if (ftp >= 0)
        address = address.mid(ftp);
    return address;
}

std::optional<QString> DownloadWindows::savePathFor(ListRow& row, const QString& address)
{
    const QueueEntry entry = entryOf(row);
    if (entry.hasUsableSavePath())
        return entry.savePath;
    // What stands in the place of the file is a message or nothing: the user says where to save.
    asking_ = true;
    const std::optional<QString> chosen = frmFile::askSavePath(address);
    asking_ = false;
    return chosen;
}

void DownloadWindows::reDownloadQueue()
{
    if (lstMain.isEmpty() || !lstMain.SelectedItem())
        return;
    for (ListRow* row : lstMain.selectedRows()) {
        const QString address = reDownloadAddress(entryOf(*row).address);
        if (address.isEmpty())
            return;
        const std::optional<QString> path = savePathFor(*row, address);
        if (!path)
            continue;
        if (*path != entryOf(*row).savePath)
            setEntry(*row, QueueEntry::startingNow(address, *path));
        ReDownloadRow(address, *path, row->Index(), row);
    }
}

void DownloadWindows::reDownloadCompleted()
{
    if (lstComplete.isEmpty() || !lstComplete.SelectedItem())
        return;
    for (ListRow* row : lstComplete.selectedRows()) {
        const QString address = reDownloadAddress(entryOf(*row).address);
        if (address.isEmpty())
            return;
        const std::optional<QString> path = savePathFor(*row, address);
        if (!path)
            continue;
        if (!DownloadNow(address, *path, -1))
            return;
    }
}

void DownloadWindows::resumeUnattended(int slot)
{
    if (frmDownload* job = existing(slot)) {
        job->job().attended = false;
        job->Pause_Resume();
    }
}

void DownloadWindows::closeAll()
{
    for (int slot = 0; slot < kSlots; ++slot) {
        for (int i = 0; i < 14; ++i)
            QCoreApplication::processEvents();
        if (frmDownload* job = existing(slot))
            job->Unload();
        for (int i = 0; i < 14; ++i)
            QCoreApplication::processEvents();
    }
}

}  // namespace harbel
