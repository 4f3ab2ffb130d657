#include "downloader/window/frmDownload.h"

#include "common/platform/Shell.h"
#include "common/support/Skin.h"
#include "common/support/VbText.h"
#include "downloader/engine/DownloadFormat.h"
#include "downloader/engine/DownloadText.h"
#include "downloader/window/frmServerData.h"

#include <QFileInfo>

#include <cmath>

namespace harbel {

frmDownload::frmDownload(QObject* parent)
    : Form(QStringLiteral("frmDownload"), parent), strSaveTo(job_.strSaveTo), strURL(job_.strURL),
      strServer(job_.strServer), intPort(job_.intPort), strUserName(job_.strUserName), strPassword(job_.strPassword),
      strFile(job_.strFile), strFilePath(job_.strFilePath), HTTPMODE(job_.HTTPMODE), FTPMODE(job_.FTPMODE), TLS(job_.TLS),
      intRecievedBytes(job_.intRecievedBytes), intFileSize(job_.intFileSize), tmrUpdate(job_.progressTimer),
      tmrUpdate2(job_.rateTimer), tmrTimeOut(job_.countdownTimer), tmrReconnect(job_.watchdog)
{
    for (int k = 0; k < 6; ++k)
        PVProgressBar[k] = std::make_unique<ProgressBar>(*this, QStringLiteral("PVProgressBar(%1)").arg(k));
    connect(&job_, &DownloadJob::progressChanged, this, &frmDownload::render);
    connect(&job_, &DownloadJob::connectingChanged, this, &frmDownload::connectingChanged);
    connect(&job_, &DownloadJob::completed, this, &frmDownload::completed);
    connect(&job_, &DownloadJob::needsUser, this, &frmDownload::needsUser);
    connect(&job_, &DownloadJob::notice, this, &frmDownload::notice);
    connect(&job_, &DownloadJob::closed, this, [this] {
        Hide();
        emit closed();
    });
    connect(&Tray1, &Tray::LeftClick, this, [this] { Tray1_Click(); });
    connect(&Tray1, &Tray::RightClick, this, [this] { Tray1_Click(); });
    Load();
}

frmDownload::~frmDownload()
{
    disconnect(&job_, nullptr, this, nullptr);
}

void frmDownload::Load()
{
    lstItem = nullptr;
    job_.reset();
    intTransferRate = 0;

    setCaption(QStringLiteral("Download Window"));
    for (Label* l : {&lblStatus, &lblFileSize, &lblRecievedSize, &lblTransferRate, &lblTimeRemaining,
                     &lblElapsedTime, &lblResume, &lblTimer, &lblPer})
        l->setCaption(QString());
    lblTimer.setVisible(true);
    lblElapsedTime.setCaption(FormatDuration(0));
    ProgressBar1.setValue(0);
    for (auto& bar : PVProgressBar) {
        bar->setValue(0);
        bar->setVisible(false);
    }
    cmdHide.setCaption(lang("19104", "&Hide"));
    cmdMore.setCaption(lang("19105", "More..."));
    interactdata_mnu = lang("19106", "&Server Data");
    Tray1.Show(false);
    cmdOpen.setCaption(lang("04016", "&Open"));
    cmdGotoDir.setCaption(lang("04017", "&Go To Dir"));
    cmdPause.setEnabled(true);
    cmdStop.setEnabled(true);
    SetCaptions();
}

void frmDownload::StartDownload()
{
    SetCaptions();
    job_.start();
}

void frmDownload::SetCaptions()
{
    strCapPause = lang("04012", "&Pause");
    strCapResume = lang("04013", "&Resume");
    strCapStop = lang("04014", "&Stop");
    strCapClose = lang("04015", "&Close");
    render(job_.progress(), Progress::CommandsChanged);
}

void frmDownload::render(const Progress& p, Progress::Changes changes)
{
    // The state in words; what the job says while it connects or transfers (the steps of an FTP
    // login, a time-out it tries again after, a notice) stands there until it says more.
    if ((changes & Progress::StatusChanged) && isUnderWay(p) && !p.status.isEmpty())
        lblStatus.setCaption(p.status);
    else if (changes & (Progress::StateChanged | Progress::StatusChanged))
        lblStatus.setCaption(statusText(p));
    if (changes & Progress::AddressChanged)
        txtURL.setText(addressForDisplay(p.address));
    if (changes & Progress::SizeChanged)
        lblFileSize.setCaption(p.totalKnown ? FormatBytes(double(p.total)) : QString());
    if (changes & Progress::ResumeChanged)
        lblResume.setCaption(p.resume == Progress::Resume::Supported      ? lang("04018", "** Resume Supported **")
                             : p.resume == Progress::Resume::NotSupported ? lang("04019", "**RESUME NOT SUPPORTED**")
                                                                          : QString());
    if (changes & Progress::LayoutChanged)
        LayoutSegmentBars(p.segmentCount);
    if (changes & Progress::PercentChanged) {
        const QString title = titleFor(p);
        ProgressBar1.setValue(std::max(p.percent, 0));
        setCaption(title);
        Tray1.setTrayToolTip(title);
        lblPer.setCaption(vb::numberText(double(std::max(p.percent, 0))) + QStringLiteral("%"));
    }
    if ((changes & Progress::SegmentChanged) && p.segment >= 0 && p.segment < int(PVProgressBar.size()))
        PVProgressBar[p.segment]->setValue(p.segmentPercent[p.segment]);
    if (changes & Progress::EndedChanged) {
        // The share that is in, also of a download that stopped part-way.
        ProgressBar1.setValue(std::max(p.percent, 0));
        for (int k = 0; k < int(PVProgressBar.size()); ++k) {
            const int share = p.segmentCount <= 1 && k == 0 ? std::max(p.percent, 0) : p.segmentPercent[k];
            PVProgressBar[k]->setValue(std::clamp(double(share), 0.0, PVProgressBar[k]->Max()));
        }
    }
    if (changes & Progress::ReceivedChanged)
        lblRecievedSize.setCaption(FormatBytes(double(p.received)));
    if (changes & Progress::ElapsedChanged)
        lblElapsedTime.setCaption(FormatDuration(std::floor(p.elapsed)));
    if (changes & Progress::RateChanged)
        lblTransferRate.setCaption(p.rateMeasured ? FormatRate(p.rate) : QString());
    // The total of the main window adds what runs now: nothing of a held, stopped or ended job.
    if (changes & (Progress::RateChanged | Progress::StateChanged | Progress::CommandsChanged))
        intTransferRate = p.state == Progress::State::Transferring && !p.held && p.rateMeasured ? p.rate : 0;
    if (changes & Progress::TimeLeftChanged)
        lblTimeRemaining.setCaption(p.timeLeft >= 0 ? FormatDuration(p.timeLeft) : QString());
    if (changes & Progress::CountdownChanged) {
        lblTimer.setVisible(p.countdownActive);
        lblTimer.setCaption(p.countdown ? QStringLiteral("Timeout: %1 sec.").arg(*p.countdown) : QString());
    }
    if (changes & Progress::CommandsChanged) {
        cmdPause.setEnabled(p.canPause);
        cmdPause.setCaption(p.held ? strCapResume : strCapPause);
        cmdStop.setEnabled(p.canStop);
        cmdStop.setCaption(p.stopCloses ? strCapClose : strCapStop);
        cmdOpen.setVisible(p.canOpenFile);
        cmdGotoDir.setVisible(p.canOpenFile);
    }
    // A hidden window comes back to show the finished download.
    if ((changes & Progress::StateChanged) && p.state == Progress::State::Completed && Tray1.IsVisible())
        Tray1_Click();
    if (changes & (Progress::StateChanged | Progress::CommandsChanged))
        RefreshControls(*this);
}

QString frmDownload::titleFor(const Progress& p) const
{
    // The title is the window's name until bytes have come, then the file's name and share.
    if (p.percent < 0)
        return QStringLiteral("Download Window");
    return job_.fileNameOfJob() + QStringLiteral(" [") + vb::numberText(double(p.percent)) + QStringLiteral("%]");
}

void frmDownload::LayoutSegmentBars(int n)
{
    n = std::clamp(n, 1, 6);
    ProgressBar1.setVisible(n > 1);
    const int width = 4600 / n;
    for (int k = 0; k < 6; ++k) {
        PVProgressBar[k]->setVisible(k < n);
        if (k < n) {
            segmentBarWidth[k] = width;
            segmentBarLeft[k] = width * k + 120;
            PVProgressBar[k]->setValue(0);
        }
    }
    if (n == 1)
        lblPerLeft = 2055;
}

// ---------------------------------------------------------------- window events

void frmDownload::cmdHide_Click()
{
    Tray1.setTrayToolTip(titleFor(job_.progress()));
    Tray1.Show(true);
    Hide();
}

void frmDownload::Skin1_Click(const QString& name)
{
    if (name == QLatin1String("Tray"))
        cmdHide_Click();
}

void frmDownload::Tray1_Click()
{
    setWindowState(0);
    Show();
    Tray1.Show(false);
}

void frmDownload::cmdMore_Click()
{
    emit moreMenuRequested();
}

void frmDownload::interactdata_mnu_Click()
{
    frmServerData::shared().showLog(job_.serverLog());
}

void frmDownload::cmdOpen_Click()
{
    Shell::instance().open(strSaveTo);
}

void frmDownload::cmdGotoDir_Click()
{
    // The file manager on the file's folder.
    Shell::instance().open(QFileInfo(strSaveTo).absolutePath());
}

}  // namespace harbel
