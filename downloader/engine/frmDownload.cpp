#include "downloader/engine/frmDownload.h"

#include "common/platform/CRegister.h"
#include "common/platform/Prompts.h"
#include "common/platform/Shell.h"
#include "common/support/LangString.h"
#include "common/support/Skin.h"
#include "common/support/VbText.h"
#include "downloader/engine/ControlFile.h"
#include "downloader/engine/DownloadFormat.h"
#include "downloader/engine/DownloadText.h"
#include "downloader/engine/HttpText.h"
#include "downloader/engine/frmServerData.h"
#include "downloader/settings/DownloadSettings.h"

#include <QFileInfo>
#include <QSignalBlocker>

#include <cmath>

namespace harbel {

frmDownload::frmDownload(QObject* parent) : Form(QStringLiteral("frmDownload"), parent)
{
    for (int k = 0; k < 6; ++k)
        PVProgressBar[k] = std::make_unique<ProgressBar>(*this, QStringLiteral("PVProgressBar(%1)").arg(k));
    tmrUpdate.setHandler([this] { tmrUpdate_Timer(); });
    tmrUpdate2.setHandler([this] { tmrUpdate2_Timer(); });
    tmrTimeOut.setHandler([this] { tmrTimeOut_Timer(); });
    tmrReconnect.setEnabled(false);
    connect(&tmrReconnect, &ExtraTimer::Timer, this, [this] { tmrReconnect_Timer(); });

    connect(&probe_, &HttpProbe::replied, this, [this](const QByteArray& head, const QByteArray& body) {
        stopCountdown();
        CheckProbeReply(head, body);
    });
    // A page that is still coming restarts the countdown: a server that stops sending it is timed out.
    connect(&probe_, &HttpProbe::pageArrived, this, [this] { intTimeLeft = SettingsStore::instance().record.Timeout; });
    connect(&probe_, &HttpProbe::linkFound, this, [this](const QString& link) { linkFound(link); });
    connect(&probe_, &HttpProbe::noLink, this, [this] {
        if (!transferPrepared_)
            fail(lang("19001", "The server did not announce the size of the file, so it cannot be downloaded safely."));
    });
    connect(&probe_, &HttpProbe::invalidReply, this, [this] {
        if (!transferPrepared_)
            fail(lang("19008", "The server's reply is not a valid HTTP reply."));
    });
    connect(&probe_, &HttpProbe::connectFailed, this, [this](const QString& status, bool final) { probeFailed(status, final); });
    wireFtp();
    connect(&Tray1, &Tray::LeftClick, this, [this] { Tray1_Click(); });
    connect(&Tray1, &Tray::RightClick, this, [this] { Tray1_Click(); });
    Load();
}

frmDownload::~frmDownload()
{
    const QSignalBlocker blocker(this);
    keepCompletePrefix();
    saveProgress(true);
    probe_.abort();
    for (auto& c : connections_)
        if (c)
            c->close();
    ftp_.close();
    closeFiles();
}

void frmDownload::Load()
{
    probe_.abort();
    for (auto& c : connections_)
        if (c) {
            c->close();
            c->resetEmptyCloses();
        }
    ftp_.close();
    closeFiles();
    tmrUpdate.setEnabled(false);
    tmrUpdate2.setEnabled(false);
    tmrTimeOut.setEnabled(false);
    tmrReconnect.setEnabled(false);

    blnResumeFTP = false;
    ftpStart_ = 0;
    ftpPos_ = 0;
    ftpRelogins_ = 0;
    ftpReloginFrom_ = -1;
    sizeKnown_ = true;
    intRecievedBytes = 0;
    intFileSize = 0;
    intTransferRate = 0;
    lstItem = nullptr;
    intContentLength = 0;
    intSegCount = 0;
    plan_ = SegmentPlan();
    validator_.clear();
    keepsControlFile_ = false;
    lastSave_.invalidate();
    saveInterval_ = 1000;
    dblElapsed = 0;
    intLastBytes = 0;
    intTimeLeft = 0;
    intRetryCount = 0;
    intRedirects = 0;
    serverLog_.clear();
    blnProbeFromZero = false;
    usesHttp1_ = false;
    transferPrepared_ = false;
    completed_ = false;
    failed_ = false;

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

void frmDownload::applyURL(const UrlFields& f)
{
    HTTPMODE = f.HTTPMODE;
    FTPMODE = f.FTPMODE;
    TLS = f.TLS;
    strServer = f.strServer;
    intPort = f.intPort;
    strUserName = f.strUserName;
    strPassword = f.strPassword;
    strFile = f.strFile;
    strFilePath = f.strFilePath;
}

void frmDownload::ParseURL(const QString& address)
{
    applyURL(splitURL(address));
}

void frmDownload::SetCaptions()
{
    strCapPause = lang("04012", "&Pause");
    strCapResume = lang("04013", "&Resume");
    strCapStop = lang("04014", "&Stop");
    strCapClose = lang("04015", "&Close");
    cmdPause.setCaption(strCapPause);
    cmdStop.setCaption(strCapStop);
    RefreshControls(*this);
}

void frmDownload::setRowCell(int cell, const QString& text)
{
    if (lstItem)
        lstItem->setCell(cell, text);
}

QString frmDownload::fileNameOfJob() const
{
    return strFile.section(u'/', -1);
}

// ---------------------------------------------------------------- start, pause, stop

void frmDownload::StartDownload()
{
    startJob(SettingsStore::instance().FileExistsAction);
}

void frmDownload::startJob(qint16 existsAction)
{
    existsAction_ = existsAction;
    emit connectingChanged(true);
    SetCaptions();
    initBase64();
    completed_ = false;
    failed_ = false;
    const DownloadSettings& s = SettingsStore::instance().record;
    tmrReconnect.setEnabled(false);
    tmrReconnect.setIntervalUnit(0);
    tmrReconnect.setInterval(s.TimeResume);
    output_.setPath(strSaveTo);

    if (FTPMODE) {
        startFtp(existsAction);
        return;
    }
    if (existsAction == 0) {
        if (QFileInfo::exists(strSaveTo))
            QFile::remove(strSaveTo);
        ControlFile::remove(strSaveTo);
    } else if (existsAction != -1) {
        Unload();
        return;
    }
    probe_.abort();
    connectProbe();
    cmdOpen.setVisible(false);
    cmdGotoDir.setVisible(false);
    RefreshControls(*this);
}

void frmDownload::cmdPause_Click()
{
    if (isFileDownloaded())
        return;
    if (cmdPause.Caption() == strCapPause) {
        cmdPause.setCaption(strCapResume);
        cmdStop.setEnabled(false);
        CloseConnections();
        if (!transferPrepared_) {
            // Paused while still asking the server: the probe goes too, and resuming asks again.
            probe_.abort();
            stopCountdown();
        }
        saveProgress(true);
        intTransferRate = 0;
        setRowCell(DownloadRow::Status, lang("11055", "Paused/Stopped"));
        RefreshControls(*this);
        return;
    }
    setRowCell(DownloadRow::Status, lang("11051", "Downloading"));
    cmdPause.setCaption(strCapPause);
    cmdStop.setEnabled(true);
    RefreshControls(*this);
    if (FTPMODE) {
        // A new login continues the file where it stopped, less the rollback.
        ftpRelogin();
        return;
    }
    if (!transferPrepared_) {
        startJob(existsAction_);
        return;
    }
    resumeSegments();
}

void frmDownload::cmdStop_Click()
{
    emit connectingChanged(false);
    if (cmdStop.Caption() != strCapClose && !isFileDownloaded()) {
        if (intSegCount >= 2
            && Prompts::instance().MsgBox(lang("13021", "you will not be able to resume this file later(Segmented mode "
                                                        "only), Stop?"),
                                          MsgButtons::YesNo, MsgIcon::Question, programTitle())
                   != MsgAnswer::Yes)
            return;
        cmdPause.setCaption(strCapResume);
        cmdStop.setEnabled(false);
        RefreshControls(*this);
        StopDown();
        setRowCell(DownloadRow::Status, lang("11055", "Paused/Stopped"));
        return;
    }
    Unload();
}

void frmDownload::StopDown()
{
    showStopped();
    if (!completed_)
        emit needsUser();
}

void frmDownload::showStopped()
{
    CloseConnections();
    if (intContentLength > 0)
        ProgressBar1.setValue(std::floor(double(intRecievedBytes) / double(intContentLength) * 100));
    keepCompletePrefix();
    saveProgress(true);
    closeFiles();
    for (auto& bar : PVProgressBar)
        bar->setValue(bar->Max());
    intTransferRate = 0;
    stopCountdown();
    if (transferPrepared_)
        intRecievedBytes = GetReceivedBytes();
    lblRecievedSize.setCaption(FormatBytes(double(intRecievedBytes)));
    lblTransferRate.setCaption(QStringLiteral("0 Bytes/Second"));
    lblTimeRemaining.setCaption(QStringLiteral("00:00:00"));
    lblStatus.setCaption(lang("11056", "Transfer Stopped"));
    setRowCell(DownloadRow::Recieved, lblRecievedSize.Caption());
    tmrUpdate.setEnabled(false);
    tmrUpdate2.setEnabled(false);
    cmdOpen.setVisible(true);
    cmdGotoDir.setVisible(true);
    cmdPause.setEnabled(false);
    cmdStop.setEnabled(true);
    cmdStop.setCaption(strCapClose);
    RefreshControls(*this);
}

void frmDownload::Unload()
{
    // Closing stops the transfer; the display of a finished or failed job stays as it is.
    if (!completed_ && !failed_)
        showStopped();
    probe_.abort();
    CloseConnections();
    closeFiles();
    tmrTimeOut.setEnabled(false);
    tmrReconnect.setEnabled(false);
    Hide();
    emit closed();
}

void frmDownload::startCountdown()
{
    intTimeLeft = SettingsStore::instance().record.Timeout;
    tmrTimeOut.setEnabled(true);
    lblTimer.setVisible(true);
}

void frmDownload::stopCountdown()
{
    tmrTimeOut.setEnabled(false);
    lblTimer.setVisible(false);
}

void frmDownload::closeFiles()
{
    output_.close();
}

void frmDownload::CloseConnections()
{
    tmrUpdate2.setEnabled(false);
    tmrUpdate.setEnabled(false);
    lblTransferRate.setCaption(QStringLiteral("0 Bytes/Second"));
    for (auto& c : connections_)
        if (c)
            c->close();
    if (FTPMODE) {
        ftp_.close();
        output_.close();
    }
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

// ---------------------------------------------------------------- progress

qint64 frmDownload::GetReceivedBytes() const
{
    // Counted from the file's first byte: a resumed file counts what it kept.
    return FTPMODE ? ftpPos_ : plan_.received();
}

bool frmDownload::isFileDownloaded() const
{
    // Until the server has announced the size nothing is downloaded.
    return transferPrepared_ && sizeKnown_ && GetReceivedBytes() >= intContentLength;
}

void frmDownload::Update(int k)
{
    const qint64 received = GetReceivedBytes();
    const double percent = !sizeKnown_            ? 0
                           : intContentLength > 0 ? std::floor(double(received) / double(intContentLength) * 100)
                                                  : 100;
    const QString percentText = vb::numberText(percent);
    ProgressBar1.setValue(percent);
    setCaption(fileNameOfJob() + QStringLiteral(" [") + percentText + QStringLiteral("%]"));
    Tray1.setTrayToolTip(Caption());
    lblPer.setCaption(percentText + QStringLiteral("%"));
    if (FTPMODE)
        PVProgressBar[k]->setValue(percent);
    else if (k < plan_.count() && plan_.end(k) > 0)
        PVProgressBar[k]->setValue(std::floor(double(plan_.pos(k)) / double(plan_.end(k)) * 100));
    setRowCell(DownloadRow::Percent, vb::numberText(ProgressBar1.Value()) + QStringLiteral("%"));
}

void frmDownload::tmrUpdate_Timer()
{
    if (completed_ || !transferPrepared_)
        return;
    const qint64 received = GetReceivedBytes();
    intRecievedBytes = received;
    if (!sizeKnown_ || received < intContentLength || !ftpEnded()) {
        lblRecievedSize.setCaption(FormatBytes(double(received)));
        dblElapsed += 0.5;
        lblElapsedTime.setCaption(FormatDuration(std::floor(dblElapsed)));
        setRowCell(DownloadRow::Recieved, lblRecievedSize.Caption());
        saveProgress(false);
        return;
    }
    complete();
}

void frmDownload::tmrUpdate2_Timer()
{
    const qint64 received = GetReceivedBytes();
    intRecievedBytes = received;
    if (sizeKnown_ && received >= intContentLength)
        return;
    lblRecievedSize.setCaption(FormatBytes(double(received)));
    // The tick comes every 2.5 seconds: the rate is the bytes of one tick over its length.
    const double delta = double(received - intLastBytes);
    const double rate = delta / (tmrUpdate2.Interval() / 1000.0);
    lblTransferRate.setCaption(FormatBytes(rate) + QStringLiteral(" /Second"));
    if (rate != 0)
        intTransferRate = rate;
    if (rate > 0 && sizeKnown_)
        lblTimeRemaining.setCaption(FormatDuration(double(intContentLength - received) / rate));
    intLastBytes = received;
}

void frmDownload::complete()
{
    if (completed_)
        return;
    completed_ = true;
    // A hidden window comes back to show the finished download.
    if (Tray1.IsVisible())
        Tray1_Click();
    const qint64 received = GetReceivedBytes();
    // A resumed file that was longer than the one on the server ends at the server's size.
    if (output_.isOpen() && output_.sizeOnDisk() > intContentLength)
        output_.resize(intContentLength);
    CloseConnections();
    probe_.abort();
    ProgressBar1.setValue(intContentLength > 0 ? std::floor(double(received) / double(intContentLength) * 100) : 100);
    closeFiles();
    ControlFile::remove(strSaveTo);
    for (auto& bar : PVProgressBar)
        bar->setValue(bar->Max());

    intTransferRate = 0;
    stopCountdown();
    tmrUpdate2.setEnabled(false);
    tmrReconnect.setEnabled(false);
    lblRecievedSize.setCaption(FormatBytes(double(received)));
    lblTransferRate.setCaption(QStringLiteral("0 Bytes/Second"));
    lblTimeRemaining.setCaption(QStringLiteral("00:00:00"));
    lblStatus.setCaption(lang("11046", "Transfer Completed..."));
    setRowCell(DownloadRow::Recieved, lblRecievedSize.Caption());
    setRowCell(DownloadRow::Status, lang("11052", "Download Success"));
    tmrUpdate.setEnabled(false);
    cmdOpen.setVisible(true);
    cmdGotoDir.setVisible(true);
    cmdPause.setEnabled(false);
    cmdStop.setEnabled(true);
    cmdStop.setCaption(strCapClose);
    emit connectingChanged(false);

    if (lstItem)
        emit moveRowToCompleted(lstItem.data());

    SettingsStore& store = SettingsStore::instance();
    store.record.Downloads += 1;
    store.record.AllBytes += double(received);
    CRegister reg;
    const QString key = QString::fromLatin1(kSettingsKey);
    reg.REGSaveSetting(HKEY_LOCAL_MACHINE, key, QStringLiteral("Downloads"), QString::number(store.record.Downloads));
    reg.REGSaveSetting(HKEY_LOCAL_MACHINE, key, QStringLiteral("AllBytes"), vb::numberText(store.record.AllBytes));

    emit completed();
    if (reg.REGGetSetting(HKEY_LOCAL_MACHINE, key, QStringLiteral("PromptDone"), QStringLiteral("1")) == QLatin1String("1"))
        Prompts::instance().MsgBox(lang("11031", "Download Successful."), MsgButtons::OkOnly, MsgIcon::Information,
                                   programTitle());
    if (reg.REGGetSetting(HKEY_LOCAL_MACHINE, key, QStringLiteral("CloseDownloadWindowWhenDone"), QStringLiteral("0"))
        == QLatin1String("1"))
        Unload();
    RefreshControls(*this);
}

void frmDownload::fail(const QString& message)
{
    failed_ = true;
    probe_.abort();
    tmrReconnect.setEnabled(false);
    showStopped();
    lblStatus.setCaption(message);
    setRowCell(DownloadRow::Status, message);
    emit connectingChanged(false);
    emit needsUser();
}

// ---------------------------------------------------------------- time-outs

void frmDownload::tmrTimeOut_Timer()
{
    const DownloadSettings& s = SettingsStore::instance().record;
    intTimeLeft -= 1;
    lblTimer.setCaption(QStringLiteral("Timeout: %1 sec.").arg(intTimeLeft));
    if (intTimeLeft >= 1)
        return;
    const QString text = QStringLiteral("Connection has timed out.");
    lblStatus.setCaption(text);
    setRowCell(DownloadRow::Percent, text);
    if (!s.Retry || s.Retries < intRetryCount) {
        CloseConnections();
        probe_.abort();
        intTimeLeft = s.Timeout;
        tmrTimeOut.setEnabled(false);
        emit needsUser();
        return;
    }
    intRetryCount += 1;
    CloseConnections();
    intTimeLeft = s.Timeout;
    startJob(existsAction_);
}

void frmDownload::tmrReconnect_Timer()
{
    if (FTPMODE && !completed_ && !failed_ && isFileDownloaded() && !ftpEnded()) {
        // All the announced bytes have been in for a whole watchdog period and nothing more came:
        // the server has just not closed the data connection. The file is taken as it is.
        ftp_.setDataEnded();
        ftpCheckEnd();
        return;
    }
    const qint64 received = GetReceivedBytes();
    intRecievedBytes = received;
    if (received == intLastBytes)
        cmdPause_Click();
}

// ---------------------------------------------------------------- window events

void frmDownload::cmdHide_Click()
{
    Tray1.setTrayToolTip(Caption());
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
    frmServerData::shared().showLog(serverLog_);
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
