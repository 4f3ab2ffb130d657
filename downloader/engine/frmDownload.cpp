#include "downloader/engine/frmDownload.h"

#include "common/platform/CRegister.h"
#include "common/platform/Prompts.h"
#include "common/platform/Shell.h"
#include "common/support/LangString.h"
#include "common/support/Skin.h"
#include "common/support/VbText.h"
#include "downloader/engine/DownloadFormat.h"
#include "downloader/engine/HttpText.h"
#include "downloader/engine/frmServerData.h"
#include "downloader/settings/DownloadSettings.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSignalBlocker>

#include <cmath>
#include <limits>

namespace harbel {

namespace {

// A response head longer than this is not a head: the reply is refused rather than buffered.
constexpr qsizetype kMaxHead = 64 * 1024;
// How much of a reply without a length is searched for an embedded link.
constexpr qsizetype kMaxScan = 1024 * 1024;
// Redirections followed before the job gives up (the fifth and later restart the job).
constexpr int kMaxRedirects = 20;
// Connections in a row that the server closes before any data, before the job gives up.
constexpr int kMaxEmptyCloses = 5;
// Bytes a transfer socket holds before it stops reading from the network.
constexpr qint64 kSocketBuffer = 1024 * 1024;
// The block read from a transfer socket at a time.
constexpr qint64 kReadBlock = 512 * 1024;

QString lang(const char* code, const char* text)
{
    return GetLangString(QString::fromLatin1(code), QString::fromLatin1(text));
}

QString programTitle()
{
    const QString name = QCoreApplication::applicationName();
    return name.isEmpty() ? QStringLiteral("Pellanor") : name;
}

QByteArray headOf(const QByteArray& block, qsizetype* bodyStart)
{
    const qsizetype end = block.indexOf("\r\n\r\n");
    if (end < 0)
        return {};
    *bodyStart = end + 4;
    return block.left(end);
}

// Text for a request line or header: bytes that could end the line or split it (controls, blanks,
// and bytes outside ASCII) are written as %XX, so an address from a server cannot add lines of its
// own to a request.
QByteArray requestText(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    QByteArray out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = quint8(c);
        if (b <= 0x20 || b >= 0x7f) {
            out += '%';
            out += QByteArray::number(b, 16).rightJustified(2, '0').toUpper();
        } else {
            out += c;
        }
    }
    return out;
}

bool isChunked(const QByteArray& head)
{
    const auto te = headerField(head, "Transfer-Encoding");
    return te && !te->trimmed().isEmpty() && te->trimmed().toLower() != "identity";
}

}  // namespace

frmDownload::frmDownload(QObject* parent) : Form(QStringLiteral("frmDownload"), parent)
{
    for (int k = 0; k < 6; ++k)
        PVProgressBar[k] = std::make_unique<ProgressBar>(*this, QStringLiteral("PVProgressBar(%1)").arg(k));
    tmrUpdate.setHandler([this] { tmrUpdate_Timer(); });
    tmrUpdate2.setHandler([this] { tmrUpdate2_Timer(); });
    tmrTimeOut.setHandler([this] { tmrTimeOut_Timer(); });
    tmrReconnect.setEnabled(false);
    connect(&tmrReconnect, &ExtraTimer::Timer, this, [this] { tmrReconnect_Timer(); });

    WSHead.setReadBufferSize(kSocketBuffer);
    connect(&WSHead, &QTcpSocket::connected, this, [this] { probeConnected(); });
    connect(&WSHead, &QTcpSocket::readyRead, this, [this] { probeDataArrival(); });
    connect(&WSHead, &QTcpSocket::disconnected, this, [this] { probeDisconnected(); });
    connect(&WSHead, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError e) { probeError(e); });
    connect(&ftpControl_, &QTcpSocket::connected, this, [this] { ftpControlConnected(); });
    connect(&ftpControl_, &QTcpSocket::readyRead, this, [this] { ftpControlDataArrival(); });
    connect(&ftpControl_, &QTcpSocket::disconnected, this, [this] { ftpControlClosed(); });
    connect(&ftpControl_, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError e) { ftpControlError(e); });
    connect(&ftpListener_, &QTcpServer::newConnection, this, [this] { ftpAcceptData(); });
    connect(&Tray1, &Tray::LeftClick, this, [this] { Tray1_Click(); });
    connect(&Tray1, &Tray::RightClick, this, [this] { Tray1_Click(); });
    Load();
}

frmDownload::~frmDownload()
{
    const QSignalBlocker blocker(this);
    keepCompletePrefix();
    closeSocket(WSHead);
    for (auto* array : {&wsHTTP, &wsHTTP1})
        for (Connection& c : *array)
            if (c.socket)
                closeSocket(*c.socket);
    closeFtp();
    closeFiles();
}

void frmDownload::Load()
{
    closeSocket(WSHead);
    for (auto* array : {&wsHTTP, &wsHTTP1})
        for (Connection& c : *array) {
            if (c.socket)
                closeSocket(*c.socket);
            c.headPending = false;
            c.head.clear();
            c.bodyBytes = 0;
            c.emptyCloses = 0;
        }
    closeFtp();
    closeFiles();
    tmrUpdate.setEnabled(false);
    tmrUpdate2.setEnabled(false);
    tmrTimeOut.setEnabled(false);
    tmrReconnect.setEnabled(false);

    intFTPState = 0;
    blnPortSent = false;
    blnPasvUsed = false;
    blnResumeFTP = false;
    strReply.clear();
    strReplyCode.clear();
    ftpRelogins_ = 0;
    ftpReloginFrom_ = -1;
    sizeKnown_ = true;
    intRecievedBytes = 0;
    intFileSize = 0;
    intTransferRate = 0;
    lstItem = nullptr;
    intContentLength = 0;
    intSegCount = 0;
    intSegStart.fill(0);
    intSegPos.fill(1);
    segEnd_.fill(0);
    segDoneBefore_ = 0;
    takeOvers_ = 0;
    blnSegResume.fill(false);
    dblElapsed = 0;
    intLastBytes = 0;
    intTimeLeft = 0;
    intRetryCount = 0;
    intRedirects = 0;
    serverLog_.clear();
    blnProbeFromZero = false;
    blnScanForLink = false;
    probeBuffer_.clear();
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

    if (FTPMODE) {
        startFtp(existsAction);
        return;
    }

    bool resume = false;
    if (existsAction == -1) {
        resume = true;
    } else if (existsAction == 0) {
        if (QFileInfo::exists(strSaveTo))
            QFile::remove(strSaveTo);
    } else {
        Unload();
        return;
    }
    blnSegResume.fill(resume);
    closeSocket(WSHead);
    connectProbe();
    cmdOpen.setVisible(false);
    cmdGotoDir.setVisible(false);
    RefreshControls(*this);
}

void frmDownload::connectProbe()
{
    probeBuffer_.clear();
    // Every probe gets the whole countdown, also one sent after a redirection or to an embedded
    // link: a server that never answers it is timed out and the job retried.
    startCountdown();
    WSHead.connectToHost(strServer, intPort);
}

void frmDownload::cmdPause_Click()
{
    if (isFileDownloaded())
        return;
    const DownloadSettings& s = SettingsStore::instance().record;
    if (cmdPause.Caption() == strCapPause) {
        cmdPause.setCaption(strCapResume);
        cmdStop.setEnabled(false);
        CloseConnections();
        if (FTPMODE) {
            intFTPState = 0;
            blnPortSent = false;
            blnPasvUsed = false;
        }
        if (!transferPrepared_) {
            // Paused while still asking the server: the probe goes too, and resuming asks again.
            closeSocket(WSHead);
            stopCountdown();
        }
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
    if (intSegCount >= 2) {
        resumeSegments();
    } else {
        if (s.Rollback < intSegPos[0])
            intSegPos[0] -= s.Rollback;
        blnSegResume[0] = true;
        // A stop closed the output file; the data goes on into the same file.
        if (!intSegFile[0] && !openOutput())
            return;
        connectTransfer(0);
    }
    tmrUpdate.setEnabled(true);
    tmrUpdate2.setEnabled(true);
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
    closeSocket(WSHead);
    CloseConnections();
    closeFiles();
    tmrTimeOut.setEnabled(false);
    tmrReconnect.setEnabled(false);
    Hide();
    emit closed();
}

void frmDownload::closeSocket(QTcpSocket& socket)
{
    // Closing a connection ourselves raises none of its events.
    const QSignalBlocker blocker(&socket);
    socket.abort();
}

void frmDownload::startCountdown()
{
    intTimeLeft = qint16(SettingsStore::instance().record.Timeout);
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
    for (auto& f : intSegFile)
        if (f) {
            f->close();
            f.reset();
        }
}

void frmDownload::CloseConnections()
{
    tmrUpdate2.setEnabled(false);
    tmrUpdate.setEnabled(false);
    lblTransferRate.setCaption(QStringLiteral("0 Bytes/Second"));
    for (auto* array : {&wsHTTP, &wsHTTP1})
        for (Connection& c : *array)
            if (c.socket) {
                closeSocket(*c.socket);
                c.headPending = false;
                c.head.clear();
            }
    if (FTPMODE) {
        closeFtp();
        if (intSegFile[0]) {
            intSegFile[0]->close();
            intSegFile[0].reset();
        }
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
    // One connection counts from the file's first byte (a resume starts part-way).
    if (intSegCount < 2)
        return intSegPos[0] - 1;
    qint64 received = segDoneBefore_;
    for (int k = 0; k < intSegCount && k < 6; ++k)
        received += intSegPos[k] - intSegStart[k] - 1;
    return received;
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
    else if (const qint64 end = segEnd_[k]; end > 0)
        PVProgressBar[k]->setValue(std::floor(double(intSegPos[k]) / double(end) * 100));
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
    if (intSegFile[0] && intSegFile[0]->size() > intContentLength)
        intSegFile[0]->resize(intContentLength);
    CloseConnections();
    closeSocket(WSHead);
    ProgressBar1.setValue(intContentLength > 0 ? std::floor(double(received) / double(intContentLength) * 100) : 100);
    closeFiles();
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
    closeSocket(WSHead);
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
        closeSocket(WSHead);
        intTimeLeft = qint16(s.Timeout);
        tmrTimeOut.setEnabled(false);
        emit needsUser();
        return;
    }
    intRetryCount += 1;
    CloseConnections();
    intTimeLeft = qint16(s.Timeout);
    startJob(existsAction_);
}

void frmDownload::tmrReconnect_Timer()
{
    if (FTPMODE && !completed_ && !failed_ && isFileDownloaded() && !ftpEnded()) {
        // All the announced bytes have been in for a whole watchdog period and nothing more came:
        // the server has just not closed the data connection. The file is taken as it is.
        ftpDataDone_ = true;
        ftpCheckEnd();
        return;
    }
    const qint64 received = GetReceivedBytes();
    intRecievedBytes = received;
    if (received == intLastBytes)
        cmdPause_Click();
}

// ---------------------------------------------------------------- the probe

void frmDownload::probeConnected()
{
    QByteArray request;
    request += "GET /" + requestText(strFile) + " HTTP/1.1\r\n";
    request += "Host: " + requestText(strServer) + "\r\n";
    request += blnProbeFromZero ? "Range: bytes=0-\r\n" : "Range: bytes=-\r\n";
    request += "User-Agent: DM\r\n";
    request += "Referer: " + requestText(strServer) + "\r\n";
    request += "Accept: *.*, */*\r\n";
    request += "\r\n";
    WSHead.write(request);
}

void frmDownload::probeDataArrival()
{
    if (WSHead.state() != QAbstractSocket::ConnectedState)
        return;
    const QByteArray data = WSHead.readAll();
    if (blnScanForLink) {
        // The page is still coming: the countdown starts again, so a server that stops sending it
        // is timed out rather than waited for.
        intTimeLeft = qint16(SettingsStore::instance().record.Timeout);
        scanForLink(data);
        return;
    }
    // A head may come in several pieces: it is parsed once its blank line has arrived. Until then
    // the countdown runs on, so a server that stops part-way through its head is timed out.
    probeBuffer_ += data;
    if (probeBuffer_.indexOf("\r\n\r\n") < 0) {
        if (probeBuffer_.size() > kMaxHead)
            fail(lang("19008", "The server's reply is not a valid HTTP reply."));
        return;
    }
    stopCountdown();
    const QByteArray block = probeBuffer_;
    probeBuffer_.clear();
    CheckProbeReply(block, false);
}

void frmDownload::probeDisconnected()
{
    if (blnScanForLink && WSHead.bytesAvailable() > 0)
        scanForLink(WSHead.readAll());
    if (completed_ || failed_ || transferPrepared_)
        return;
    if (blnScanForLink)
        fail(lang("19001", "The server did not announce the size of the file, so it cannot be downloaded safely."));
    else if (!probeBuffer_.isEmpty())
        fail(lang("19008", "The server's reply is not a valid HTTP reply."));
}

void frmDownload::probeError(QAbstractSocket::SocketError error)
{
    if (error == QAbstractSocket::RemoteHostClosedError)
        return;  // the disconnection is handled on its own
    // The countdown stays armed: when it runs out the job is retried as after any time-out.
    const QString text = lang("19010", "Could not connect to the server:") + u' ' + WSHead.errorString();
    lblStatus.setCaption(text);
    setRowCell(DownloadRow::Status, text);
    emit needsUser();
}

void frmDownload::CheckProbeReply(const QByteArray& text, bool scan)
{
    if (scan) {
        scanForLink(text);
        return;
    }
    qsizetype bodyStart = 0;
    const QByteArray head = headOf(text, &bodyStart);
    const QString headText = QString::fromLatin1(head);
    const qint16 code = GetStatusCode(headText);
    const QString message = GetError(code);
    if (message != QLatin1String("SUCCESS")) {
        closeSocket(WSHead);
        lblStatus.setCaption(message);
        setRowCell(DownloadRow::Status, message);
        setRowCell(DownloadRow::Percent, QStringLiteral("0 %"));
        cmdPause.setEnabled(false);
        cmdStop.setEnabled(false);
        tmrTimeOut.setEnabled(false);
        failed_ = true;
        RefreshControls(*this);
        emit connectingChanged(false);
        emit needsUser();
        return;
    }

    switch (code) {
    case 200:
    case 206: {
        std::optional<qint64> size;
        if (!isChunked(head)) {
            if (const auto field = headerField(head, "Content-Length"))
                size = parseLength(*field);
            if (code == 206) {
                if (const auto range = headerField(head, "Content-Range"))
                    if (const auto r = parseContentRange(*range); r && r->total >= 0)
                        size = r->total;
            }
        }
        if (!size) {
            // No usable length: the page may carry the real address as an embedded link.
            blnScanForLink = true;
            intTimeLeft = qint16(SettingsStore::instance().record.Timeout);
            tmrTimeOut.setEnabled(true);
            scanForLink(text.mid(bodyStart));
            return;
        }
        intContentLength = *size;
        lblFileSize.setCaption(FormatBytes(double(intContentLength)));
        lblResume.setCaption(lang("04018", "** Resume Supported **"));
        setRowCell(DownloadRow::Filename, strSaveTo);
        setRowCell(DownloadRow::Size, lblFileSize.Caption());
        const DownloadSettings& s = SettingsStore::instance().record;
        if (s.StopResume) {
            tmrReconnect.setIntervalUnit(0);
            tmrReconnect.setInterval(s.TimeResume);
            tmrReconnect.setEnabled(true);
        }
        closeSocket(WSHead);
        if (code == 200)
            Check_Create(intContentLength);
        else
            Check_Create1(intContentLength);
        return;
    }
    case 300:
    case 301:
    case 302:
    case 303:
    case 307:
    case 308:
        followRedirect(head);
        return;
    case 416:
        closeSocket(WSHead);
        if (headerField(head, "Content-Range").value_or(QByteArray()).simplified() == "bytes */0") {
            // An empty file has no byte to ask for: there is nothing to fetch but the file itself.
            intContentLength = 0;
            lblFileSize.setCaption(FormatBytes(0));
            setRowCell(DownloadRow::Filename, strSaveTo);
            setRowCell(DownloadRow::Size, lblFileSize.Caption());
            Check_Create(0);
            return;
        }
        if (blnProbeFromZero) {
            // Even the whole file is refused: asking again would never end.
            fail(QStringLiteral("HTTP 416 - ") + lang("19011", "The server refused every range of the file."));
            return;
        }
        blnProbeFromZero = true;
        connectProbe();
        return;
    default:
        closeSocket(WSHead);
        fail(lang("19004", "The server did not send the file; its answer was:") + u' '
             + QString::fromLatin1(head.left(head.indexOf('\r') >= 0 ? head.indexOf('\r') : head.size())));
        return;
    }
}

QString frmDownload::resolveLocation(const QString& location) const
{
    const QString trimmed = location.trimmed();
    if (trimmed.contains(QLatin1String("://")))
        return location;
    const QString host = intPort == 80 ? strServer : strServer + u':' + QString::number(intPort);
    if (trimmed.startsWith(QLatin1String("//")))
        return QStringLiteral("http:") + trimmed;
    if (trimmed.startsWith(u'/'))
        return QStringLiteral("http://") + host + trimmed;
    const qsizetype slash = strFile.lastIndexOf(u'/');
    return QStringLiteral("http://") + host + u'/' + strFile.left(slash + 1) + trimmed;
}

void frmDownload::followRedirect(const QByteArray& head)
{
    intRedirects += 1;
    // Addresses are UTF-8 text, like every text of this program.
    const QString headText = QString::fromUtf8(head) + QStringLiteral("\r\n");
    QString address = GetHeaderValue(headText, QStringLiteral("Location:"));
    if (address.trimmed().isEmpty())
        address = QString::fromUtf8(headerField(head, "Location").value_or(QByteArray()));
    closeSocket(WSHead);
    if (address.trimmed().isEmpty()) {
        fail(lang("19012", "The server redirected the download without saying where to."));
        return;
    }
    if (intRedirects > kMaxRedirects) {
        fail(lang("19006", "The server redirected the download too many times."));
        return;
    }
    address = resolveLocation(address);
    // Only http:// and ftp:// are spoken here; any other address (https:// most often) would be
    // taken for an FTP one and asked in the wrong language.
    const QString scheme = address.trimmed().toLower();
    if (!scheme.startsWith(QLatin1String("http://")) && !scheme.startsWith(QLatin1String("ftp://"))) {
        fail(lang("19300", "The server redirected the download to an address that cannot be fetched:") + u' '
             + address.trimmed());
        return;
    }
    txtURL.setText(address);
    ParseURL(address);
    // An FTP address is not probed with an HTTP request: the job starts again as an FTP job.
    if (intRedirects < 5 && !FTPMODE)
        connectProbe();
    else
        RestartFromAddress(address);
}

void frmDownload::RestartFromAddress(const QString& address)
{
    ParseURL(address);
    startJob(existsAction_);
}

void frmDownload::scanForLink(const QByteArray& data)
{
    probeBuffer_ += data;
    if (const auto link = FindEmbeddedLink(QString::fromLatin1(probeBuffer_), fileNameOfJob())) {
        blnScanForLink = false;
        probeBuffer_.clear();
        ParseURL(*link);
        closeSocket(WSHead);
        connectProbe();
        return;
    }
    if (probeBuffer_.size() > kMaxScan)
        fail(lang("19001", "The server did not announce the size of the file, so it cannot be downloaded safely."));
}

// ---------------------------------------------------------------- the transfer

void frmDownload::Check_Create(qint64 size)
{
    prepareTransfer(size, false);
}

void frmDownload::Check_Create1(qint64 size)
{
    blnProbeFromZero = false;
    prepareTransfer(size, true);
}

int frmDownload::segmentCountFor(qint64 size) const
{
    const auto& S = SettingsStore::instance().record.SegmentSize;
    const double d = double(size);
    if (d >= S[0] && d <= S[1])
        return 2;
    if (d >= S[2] && d <= S[3])
        return 3;
    if (d >= S[4] && d <= S[5])
        return 4;
    if (d >= S[6] && d <= S[7])
        return 5;
    if (d >= S[8])
        return 6;
    return 0;
}

bool frmDownload::askSegmented(bool ranged)
{
    const QString text = ranged
        ? lang("13022", "If you use segemnted downloading, you will not be able to resume after stopping(you still be "
                        "able to resume after pausing),Use Segemnted?!")
        : QStringLiteral("If you use segemnted downloading,you will not be able to resume after stopping (you still be "
                         "able to resume after pausing, and more segments will cause the program solwer),Use "
                         "Segemnted?!");
    return Prompts::instance().MsgBox(text, MsgButtons::YesNo, MsgIcon::Question, programTitle()) == MsgAnswer::Yes;
}

void frmDownload::prepareTransfer(qint64 size, bool ranged)
{
    const DownloadSettings& s = SettingsStore::instance().record;
    usesHttp1_ = ranged;
    intSegCount = 0;
    if (s.Segment == 1 && double(size) >= s.SegmentSize[0] && existsAction_ != -1 && askSegmented(ranged))
        intSegCount = quint8(segmentCountFor(size));
    intSegStart.fill(0);
    intSegPos.fill(1);
    segEnd_.fill(0);
    segDoneBefore_ = 0;
    closeFiles();

    if (intSegCount >= 2) {
        const int n = intSegCount;
        for (int i = 1; i < n; ++i)
            intSegStart[i] = size / n + intSegStart[i - 1];
        intSegStart[n] = size;
        for (int i = 0; i < n; ++i) {
            intSegPos[i] = intSegStart[i] + 1;
            segEnd_[i] = intSegStart[i + 1];
            if (!openOutput(i))
                return;
        }
        transferPrepared_ = true;
        LayoutSegmentBars(n);
        for (int i = 0; i < n; ++i)
            connectTransfer(i);
        tmrUpdate.setEnabled(true);
        tmrUpdate2.setEnabled(true);
        return;
    }

    intSegCount = 0;
    intSegStart[1] = size;
    segEnd_[0] = size;
    LayoutSegmentBars(1);
    if (!openOutput())
        return;
    if (existsAction_ == -1 && intSegFile[0]->size() > size) {
        // Not the beginning of this file: resuming would keep bytes of another one.
        closeFiles();
        fail(lang("19014", "The file on disk is larger than the file on the server, so it cannot be resumed."));
        return;
    }
    transferPrepared_ = true;
    if (existsAction_ == -1)
        SetSegIndecies();
    connectTransfer(0);
    tmrUpdate.setEnabled(true);
    tmrUpdate2.setEnabled(true);
}

bool frmDownload::openOutput(int k)
{
    // Every segment has its own handle on the one output file, created empty when it is missing.
    auto file = std::make_unique<QFile>(strSaveTo);
    if (!file->open(QIODevice::ReadWrite | QIODevice::Unbuffered)) {
        const QString description = file->errorString();
        closeFiles();
        Prompts::instance().MsgBox(QStringLiteral("Error No. %1 %2").arg(int(file->error())).arg(description),
                                   MsgButtons::OkOnly, MsgIcon::None, programTitle());
        fail(lang("19007", "The file could not be written:") + u' ' + strSaveTo + QStringLiteral(": ") + description);
        return false;
    }
    intSegFile[k] = std::move(file);
    return true;
}

void frmDownload::fallBackToOneConnection()
{
    // The server sends the whole file whatever range is asked: one connection takes it from the start,
    // and the other segments stop before they write into a range that is not theirs.
    for (int i = 0; i < 6; ++i) {
        resetConnection(transfer(i));
        if (i > 0 && intSegFile[i]) {
            intSegFile[i]->close();
            intSegFile[i].reset();
        }
    }
    const qint64 size = intContentLength;
    intSegCount = 0;
    intSegStart.fill(0);
    intSegStart[1] = size;
    intSegPos.fill(1);
    segEnd_.fill(0);
    segEnd_[0] = size;
    segDoneBefore_ = 0;
    blnSegResume.fill(false);
    LayoutSegmentBars(1);
    lblResume.setCaption(lang("04019", "**RESUME NOT SUPPORTED**"));
    connectTransfer(0);
}

void frmDownload::keepCompletePrefix()
{
    // A segmented file that stops short has unfilled ranges between its segments. Only the bytes
    // from the start up to the first gap are known to be the file's; the rest is cut off so that a
    // later resume never takes the gaps for data.
    if (intSegCount < 2 || completed_ || !intSegFile[0])
        return;
    // What is missing is exactly the rest of each segment's live range; everything else has been
    // written, including ranges whose connections have moved on.
    qint64 prefix = intContentLength;
    for (int k = 0; k < intSegCount; ++k)
        if (intSegPos[k] - 1 < segEnd_[k])
            prefix = std::min(prefix, intSegPos[k] - 1);
    intSegFile[0]->resize(prefix);
    // The tables follow the file: a later resume of this job (the watchdog resumes a stopped one)
    // fetches everything after the prefix again, split anew over the segments.
    const int n = intSegCount;
    const qint64 rest = intContentLength - prefix;
    for (int k = 0; k < n; ++k) {
        intSegStart[k] = prefix + rest / n * k;
        intSegPos[k] = intSegStart[k] + 1;
        segEnd_[k] = k + 1 < n ? prefix + rest / n * (k + 1) : intContentLength;
        blnSegResume[k] = false;
    }
    segDoneBefore_ = prefix;
}

void frmDownload::resumeSegments()
{
    const qint64 rollback = SettingsStore::instance().record.Rollback;
    for (int k = 0; k < intSegCount; ++k) {
        blnSegResume[k] = true;
        // A segment moves back within its own range only.
        intSegPos[k] = std::max(intSegPos[k] - rollback, intSegStart[k] + 1);
        if (!intSegFile[k] && !openOutput(k))
            return;
        connectTransfer(k);
    }
}

void frmDownload::SetSegIndecies()
{
    const qint64 len = QFileInfo(strSaveTo).size();
    const qint64 rollback = SettingsStore::instance().record.Rollback;
    if (rollback < len && intSegPos[0] < len)
        intSegPos[0] = len - rollback;
}

frmDownload::Connection& frmDownload::transfer(int k)
{
    auto& array = usesHttp1_ ? wsHTTP1 : wsHTTP;
    Connection& c = array[k];
    if (!c.socket) {
        c.socket = std::make_unique<QTcpSocket>();
        c.socket->setReadBufferSize(kSocketBuffer);
        QTcpSocket* s = c.socket.get();
        connect(s, &QTcpSocket::connected, this, [this, k] { transferConnected(k); });
        connect(s, &QTcpSocket::readyRead, this, [this, k] { transferDataArrival(k); });
        connect(s, &QTcpSocket::disconnected, this, [this, k] { transferClosed(k); });
        connect(s, &QTcpSocket::errorOccurred, this, [this, k](QAbstractSocket::SocketError e) { transferError(k, e); });
    }
    return c;
}

void frmDownload::resetConnection(Connection& c)
{
    closeSocket(*c.socket);
    c.headPending = false;
    c.head.clear();
    c.expectedBody = -1;
    c.bodyBytes = 0;
    c.keepsAlive = false;
}

void frmDownload::connectTransfer(int k)
{
    Connection& c = transfer(k);
    resetConnection(c);
    c.socket->connectToHost(strServer, intPort);
}

void frmDownload::transferConnected(int k)
{
    Connection& c = transfer(k);
    setRowCell(DownloadRow::Status, lang("11051", "Downloading..."));
    const qint64 start = blnSegResume[k] ? intSegPos[k] - 1 : intSegStart[k];
    const qint64 end = segEnd_[k] - 1;
    if (start > end) {
        // Nothing of this part is missing; the new connection may serve another part.
        segmentFinished(k, true);
        return;
    }
    if (!blnSegResume[k])
        intSegPos[k] = intSegStart[k] + 1;
    c.requestedStart = start;
    c.requestedEnd = end;
    c.headPending = true;
    c.head.clear();
    c.bodyBytes = 0;
    c.expectedBody = -1;

    const DownloadSettings& s = SettingsStore::instance().record;
    QByteArray request;
    request += "GET /" + requestText(strFile) + " HTTP/1.1\r\n";
    request += "Host: " + requestText(strServer) + "\r\n";
    request += "Range: bytes=" + QByteArray::number(start) + '-' + QByteArray::number(end) + "\r\n";
    request += "User-Agent: Vantor Segment " + QByteArray::number(k) + "\r\n";
    request += "Accept:  */*\r\n";
    if (s.UseProxy && s.LoginProxy) {
        const QString credentials = s.UsePass ? s.UserID + u':' + s.UserPass : s.UserID + u':';
        request += "Proxy-Authorization: Basic " + Encode2Base64(credentials).toLatin1() + "\r\n";
    }
    request += "\r\n";
    c.socket->write(request);
}

void frmDownload::transferDataArrival(int k)
{
    Connection& c = transfer(k);
    // Read into one buffer that lives as long as the job: no allocation per arrival.
    if (readBuffer_.size() < kReadBlock)
        readBuffer_.resize(kReadBlock);
    qint64 n;
    // A finished part may close its socket or reuse it for a new request while the loop runs.
    while (!completed_ && !failed_ && c.socket->isOpen() && (n = c.socket->read(readBuffer_.data(), kReadBlock)) > 0)
        consume(k, readBuffer_.constData(), n);
    // A reply that has delivered all it announced but left this part short is asked again.
    if (!completed_ && !failed_ && c.socket->state() == QAbstractSocket::ConnectedState && !c.headPending
        && c.expectedBody >= 0 && c.bodyBytes >= c.expectedBody && intSegPos[k] - 1 < segEnd_[k])
        reconnectTransfer(k);
}

void frmDownload::consume(int k, const char* data, qint64 size)
{
    Connection& c = transfer(k);
    if (size <= 0 || completed_ || failed_)
        return;
    if (c.headPending) {
        // The head is recognised only at the start of a reply, and may come in several pieces.
        c.head.append(data, size);
        qsizetype bodyStart = 0;
        const QByteArray head = headOf(c.head, &bodyStart);
        if (head.isEmpty()) {
            if (c.head.size() > kMaxHead)
                fail(lang("19008", "The server's reply is not a valid HTTP reply."));
            return;
        }
        const QByteArray rest = c.head.mid(bodyStart);
        c.head.clear();
        c.headPending = false;
        serverLog_ += QStringLiteral("\r\n") + QString::fromLatin1(head) + QStringLiteral("\r\n");
        if (!acceptTransferHead(k, head))
            return;
        const auto length = headerField(head, "Content-Length");
        c.expectedBody = length ? parseLength(*length).value_or(-1) : -1;
        const auto connection = headerField(head, "Connection");
        c.keepsAlive = head.startsWith("HTTP/1.1 ")
                       && !(connection && connection->toLower().contains("close"));
        if (!rest.isEmpty())
            writeBody(k, rest.constData(), rest.size());
        return;
    }
    writeBody(k, data, size);
}

bool frmDownload::acceptTransferHead(int k, const QByteArray& head)
{
    const qint16 code = GetStatusCode(QString::fromLatin1(head));
    if (isChunked(head)) {
        fail(lang("19001", "The server did not announce the size of the file, so it cannot be downloaded safely."));
        return false;
    }
    const auto length = headerField(head, "Content-Length");
    if (code == 206) {
        const auto range = headerField(head, "Content-Range");
        const auto r = range ? parseContentRange(*range) : std::nullopt;
        if (!r || r->first != transfer(k).requestedStart) {
            fail(lang("19002", "The server sent another part of the file than the one asked for; the download was stopped."));
            return false;
        }
        if (r->total >= 0 && r->total != intContentLength) {
            fail(lang("19003", "The file on the server has changed size; the download was stopped."));
            return false;
        }
        return true;
    }
    if (code == 200) {
        const auto size = length ? parseLength(*length) : std::nullopt;
        if (size && *size != intContentLength) {
            fail(lang("19003", "The file on the server has changed size; the download was stopped."));
            return false;
        }
        if (intSegCount >= 2) {
            fallBackToOneConnection();
            return false;
        }
        if (transfer(k).requestedStart != intSegStart[k]) {
            // The server ignored the range and sends the whole file: take it from its first byte.
            intSegPos[k] = intSegStart[k] + 1;
            transfer(k).requestedStart = intSegStart[k];
            lblResume.setCaption(lang("04019", "**RESUME NOT SUPPORTED**"));
        }
        return true;
    }
    const QString message = GetError(code);
    if (message != QLatin1String("SUCCESS"))
        fail(message);
    else
        fail(lang("19004", "The server did not send the file; its answer was:") + u' '
             + QString::fromLatin1(head.left(head.indexOf('\r') >= 0 ? head.indexOf('\r') : head.size())));
    return false;
}

void frmDownload::writeBody(int k, const char* data, qint64 size)
{
    Connection& c = transfer(k);
    c.bodyBytes += size;
    // Bytes past the end of this part are not the file's: they are dropped.
    const qint64 room = segEnd_[k] - (intSegPos[k] - 1);
    size = std::min(size, room);
    if (size > 0) {
        if (!intSegFile[k] && !openOutput(k))
            return;
        QFile& file = *intSegFile[k];
        const qint64 offset = intSegPos[k] - 1;
        if (file.pos() != offset && !file.seek(offset)) {
            fail(lang("19007", "The file could not be written:") + u' ' + strSaveTo + QStringLiteral(": ") + file.errorString());
            return;
        }
        const qint64 written = file.write(data, size);
        if (written > 0)
            intSegPos[k] += written;
        if (written != size) {
            fail(lang("19007", "The file could not be written:") + u' ' + strSaveTo + QStringLiteral(": ") + file.errorString());
            return;
        }
        c.emptyCloses = 0;
        Update(k);
    }
    if (intSegPos[k] - 1 >= segEnd_[k])
        segmentFinished(k);
}

void frmDownload::segmentFinished(int k, bool connectedIdle)
{
    if (isFileDownloaded()) {
        closeSocket(*transfer(k).socket);
        tmrUpdate_Timer();
        return;
    }
    if (!takeOverRange(k, connectedIdle))
        closeSocket(*transfer(k).socket);
}

bool frmDownload::takeOverRange(int k, bool connectedIdle)
{
    // A connection that has finished its range while others still have much to fetch takes over
    // the second half of the largest remainder, so all connections stay busy to the end instead of
    // the slowest one finishing alone.
    constexpr qint64 kMinTakeOver = 1024 * 1024;
    if (intSegCount < 2 || completed_ || failed_ || cmdPause.Caption() == strCapResume)
        return false;
    int from = -1;
    qint64 largest = 0;
    for (int j = 0; j < intSegCount; ++j) {
        const qint64 left = segEnd_[j] - (intSegPos[j] - 1);
        if (j != k && left > largest) {
            largest = left;
            from = j;
        }
    }
    if (from < 0 || largest < 2 * kMinTakeOver)
        return false;
    const qint64 split = segEnd_[from] - largest / 2;
    segDoneBefore_ += intSegPos[k] - 1 - intSegStart[k];
    intSegStart[k] = split;
    intSegPos[k] = split + 1;
    segEnd_[k] = segEnd_[from];
    // The other connection's reply goes on past its new end; those bytes are dropped as they come.
    segEnd_[from] = split;
    blnSegResume[k] = false;
    ++takeOvers_;
    Connection& c = transfer(k);
    // A connection with no reply outstanding takes the next request itself.
    const bool idle = c.socket->state() == QAbstractSocket::ConnectedState && c.socket->bytesAvailable() == 0
                      && (connectedIdle
                          || (c.keepsAlive && !c.headPending && c.expectedBody >= 0 && c.bodyBytes == c.expectedBody));
    if (idle)
        transferConnected(k);  // the next request goes on the same connection
    else
        connectTransfer(k);
    return true;
}

void frmDownload::transferClosed(int k)
{
    Connection& c = transfer(k);
    const QByteArray rest = c.socket->readAll();
    consume(k, rest.constData(), rest.size());
    if (completed_ || failed_)
        return;
    if (isFileDownloaded()) {
        closeSocket(*c.socket);
        tmrUpdate_Timer();
        return;
    }
    reconnectTransfer(k);
}

void frmDownload::reconnectTransfer(int k)
{
    Connection& c = transfer(k);
    if (c.bodyBytes == 0 && ++c.emptyCloses >= kMaxEmptyCloses) {
        fail(lang("19005", "The server keeps closing the connection without sending the file."));
        return;
    }
    blnSegResume[k] = true;
    closeSocket(*c.socket);
    c.headPending = false;
    c.head.clear();
    c.socket->connectToHost(strServer, intPort);
}

void frmDownload::transferError(int k, QAbstractSocket::SocketError error)
{
    if (error == QAbstractSocket::RemoteHostClosedError)
        return;  // handled as a close
    Connection& c = transfer(k);
    const QString description = c.socket->errorString();
    closeSocket(*c.socket);
    Prompts::instance().MsgBox(lang("11033", "Error was occurred.") + QStringLiteral("\r\n") + lang("11034", "")
                                   + QString::number(int(error)) + QStringLiteral("\r\n") + description,
                               MsgButtons::OkOnly, MsgIcon::Exclamation, lang("11035", "Error"));
    lblStatus.setCaption(lang("11033", "Error was occurred.") + u' ' + description);
    emit needsUser();
}

// ---------------------------------------------------------------- FTP

void frmDownload::startFtp(qint16 existsAction)
{
    const DownloadSettings& s = SettingsStore::instance().record;
    if (existsAction == -2) {
        Unload();
        return;
    }
    closeFtp();
    closeFiles();
    intSegCount = 0;
    intSegPos[0] = 1;
    intSegStart[0] = 0;
    blnResumeFTP = false;
    const QFileInfo existing(strSaveTo);
    if (existing.exists() && existsAction == -1) {
        // An existing file shorter than the rollback starts again from its first byte.
        intSegStart[0] = std::max<qint64>(existing.size() - s.Rollback, 0);
        intSegPos[0] = intSegStart[0] + 1;
        blnResumeFTP = true;
    } else if (existing.exists() && existsAction == 0) {
        QFile::remove(strSaveTo);
    }
    transferPrepared_ = false;
    intFTPState = 0;
    blnPortSent = false;
    blnPasvUsed = false;
    ftpBuffer_.clear();
    setRowCell(DownloadRow::Filename, strSaveTo);
    // A server that never greets is timed out like one that stops answering later.
    startCountdown();
    cmdOpen.setVisible(false);
    cmdGotoDir.setVisible(false);
    RefreshControls(*this);
    ftpControl_.connectToHost(strServer, intPort);
}

void frmDownload::ftpRelogin()
{
    // Continue from the bytes written, less the rollback, with a new login.
    const qint64 rollback = SettingsStore::instance().record.Rollback;
    closeFtp();
    if (intSegFile[0]) {
        intSegFile[0]->close();
        intSegFile[0].reset();
    }
    intSegStart[0] = std::max<qint64>(intSegPos[0] - 1 - rollback, 0);
    intSegPos[0] = intSegStart[0] + 1;
    blnResumeFTP = true;
    intFTPState = 0;
    blnPortSent = false;
    blnPasvUsed = false;
    failed_ = false;
    ftpBuffer_.clear();
    ftpControl_.connectToHost(strServer, intPort);
}

void frmDownload::closeFtp()
{
    closeSocket(ftpControl_);
    ftpListener_.close();
    if (wsFTPData) {
        closeSocket(*wsFTPData);
        wsFTPData.release()->deleteLater();
    }
    ftpBuffer_.clear();
    ftpRestSent_ = false;
    ftpRetrSent_ = false;
    ftpStartSeen_ = false;
    ftpReply226_ = false;
    ftpDataDone_ = false;
    ftpControlGone_ = false;
}

void frmDownload::ftpControlConnected()
{
    // The server speaks first.
    setRowCell(DownloadRow::Status, lang("11051", "Downloading..."));
}

void frmDownload::ftpSend(const QByteArray& command)
{
    ftpControl_.write(command + "\r\n");
}

namespace {

// The length of the first whole reply at the start of a block of control text (a line "xyz text",
// or a multi-line reply "xyz-" up to its closing line "xyz "), 0 while it is incomplete.
qsizetype wholeReplyLength(const QByteArray& block)
{
    const qsizetype firstEnd = block.indexOf('\n');
    if (firstEnd < 0)
        return 0;
    if (block.size() < 4 || block.at(3) != '-')
        return firstEnd + 1;
    const QByteArray closing = block.left(3) + ' ';
    for (qsizetype at = firstEnd; at >= 0 && at + 1 < block.size(); at = block.indexOf('\n', at + 1)) {
        if (block.mid(at + 1, 4) == closing) {
            const qsizetype end = block.indexOf('\n', at + 1);
            return end < 0 ? 0 : end + 1;
        }
    }
    return 0;
}

constexpr qsizetype kMaxReply = 64 * 1024;

}  // namespace

void frmDownload::ftpControlDataArrival()
{
    ftpBuffer_ += ftpControl_.readAll();
    // A reply may come in pieces, and several may come together: each whole reply is acted on by its
    // code, in turn (the state guards keep a repeated reply from repeating a command).
    while (!completed_ && !failed_) {
        const qsizetype length = wholeReplyLength(ftpBuffer_);
        if (length == 0)
            break;
        strReply = QString::fromLatin1(ftpBuffer_.left(length));
        ftpBuffer_.remove(0, length);
        strReplyCode = strReply.left(3);
        serverLog_ += strReply;
        StartLoginFTP(0);
    }
    if (ftpBuffer_.size() > kMaxReply)
        fail(lang("19101", "The FTP server's reply is not a valid FTP reply."));
}

QString frmDownload::FindPort()
{
    const int a = int(QRandomGenerator::global()->bounded(134)) + 6;
    sngDataPort = float(12 * 256 + a);
    return QStringLiteral(",12,") + QString::number(a);
}

bool frmDownload::ftpListen()
{
    const QHostAddress local = ftpControl_.localAddress();
    bool isV4 = false;
    const quint32 v4 = local.toIPv4Address(&isV4);
    if (!isV4) {
        fail(lang("19102", "An active FTP data connection needs an IPv4 connection to the server; try passive mode."));
        return false;
    }
    // The data port is listened on before the server is told of it; a port in use gets another.
    QString portText;
    for (int attempt = 0; attempt < 32; ++attempt) {
        portText = FindPort();
        ftpListener_.close();
        if (ftpListener_.listen(QHostAddress(v4), quint16(sngDataPort)))
            break;
        portText.clear();
    }
    if (portText.isEmpty()) {
        fail(lang("11043", "Could Not Establish Data Connection"));
        return false;
    }
    QString address = QHostAddress(v4).toString();
    address.replace(u'.', u',');
    ftpSend("PORT " + address.toLatin1() + portText.toLatin1());
    ftpSend("TYPE I");
    blnPortSent = true;
    return true;
}

void frmDownload::wireData(QTcpSocket* socket)
{
    socket->setReadBufferSize(kSocketBuffer);
    connect(socket, &QTcpSocket::readyRead, this, [this] { ftpDataArrival(); });
    connect(socket, &QTcpSocket::disconnected, this, [this] { ftpDataClosed(); });
    connect(socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError e) { ftpDataError(e); });
}

void frmDownload::ftpAcceptData()
{
    while (QTcpSocket* incoming = ftpListener_.nextPendingConnection()) {
        // Only the server we logged in to may deliver the file.
        if (incoming->peerAddress().toIPv4Address() != ftpControl_.peerAddress().toIPv4Address() || wsFTPData) {
            incoming->abort();
            incoming->deleteLater();
            continue;
        }
        incoming->setParent(nullptr);
        wsFTPData.reset(incoming);
        wireData(incoming);
        ftpListener_.close();
        if (incoming->bytesAvailable() > 0)
            ftpDataArrival();
        if (incoming->state() != QAbstractSocket::ConnectedState)
            ftpDataClosed();
    }
}

void frmDownload::ftpPassiveConnect()
{
    // "227 Entering Passive Mode (h1,h2,h3,h4,p1,p2)"; some servers leave the parentheses out
    // ("227 Entering Passive Mode h1,h2,h3,h4,p1,p2" or "227 =h1,...") so the six numbers are looked
    // for after the code. Only the port is taken: the data connection goes to the server of the
    // control connection whatever host the reply names.
    static const QRegularExpression sixNumbers(QStringLiteral("(\\d+) *, *(\\d+) *, *(\\d+) *, *(\\d+) *, *(\\d+) *, *(\\d+)"));
    const QRegularExpressionMatch m = sixNumbers.match(strReply, 3);
    bool ok1 = false, ok2 = false;
    const int p1 = m.hasMatch() ? m.captured(5).toInt(&ok1) : -1;
    const int p2 = m.hasMatch() ? m.captured(6).toInt(&ok2) : -1;
    if (!ok1 || !ok2 || p1 < 0 || p1 > 255 || p2 < 0 || p2 > 255 || (p1 == 0 && p2 == 0)) {
        lblStatus.setCaption(lang("11043", "Could Not Establish Data Connection"));
        setRowCell(DownloadRow::Status, lblStatus.Caption());
        closeSocket(ftpControl_);
        ftpBuffer_.clear();
        return;
    }
    if (wsFTPData) {
        closeSocket(*wsFTPData);
        wsFTPData.release()->deleteLater();
    }
    wsFTPData = std::make_unique<QTcpSocket>();
    wireData(wsFTPData.get());
    wsFTPData->connectToHost(ftpControl_.peerAddress(), quint16(p1 * 256 + p2));
}

void frmDownload::StartLoginFTP(int k)
{
    Q_UNUSED(k);
    const DownloadSettings& s = SettingsStore::instance().record;
    const int code = strReplyCode.toInt();
    switch (code) {
    case 220:
        ftpSend("USER " + strUserName.toUtf8());
        lblStatus.setCaption(lang("11049", "Logging In..."));
        setRowCell(DownloadRow::Status, lblStatus.Caption());
        cmdStop.setEnabled(true);
        // A new login gets the whole countdown.
        intTimeLeft = qint16(s.Timeout);
        intFTPState = 220;
        break;
    case 331:
        ftpSend("PASS " + strPassword.toUtf8());
        intFTPState = 331;
        break;
    case 230:
        if (s.UsePASV) {
            ftpSend("PASV");
        } else if (!blnPortSent) {
            if (wsFTPData) {
                closeSocket(*wsFTPData);
                wsFTPData.release()->deleteLater();
            }
            if (!ftpListen())
                return;
        }
        txtURL.setText(strURL);
        lblStatus.setCaption(lang("11050", "Connected... Setting Up Transfer!"));
        setRowCell(DownloadRow::Status, lang("11048", "Connected"));
        intTimeLeft = qint16(s.Timeout);
        tmrTimeOut.setEnabled(true);
        blnPasvUsed = false;
        intFTPState = 230;
        break;
    case 227:
        if (intFTPState == 227 || blnPasvUsed) {
            Prompts::instance().MsgBox(lang("11036", "FTP Server could not build PASV Mode data connection!  Try Non-PASV mode!"),
                                       MsgButtons::OkOnly, MsgIcon::None, programTitle());
            closeSocket(ftpControl_);
            ftpBuffer_.clear();
            break;
        }
        ftpPassiveConnect();
        blnPasvUsed = true;
        ftpSend("TYPE I");
        intFTPState = 227;
        break;
    case 200:
        // A reply to PORT can come after the reply to TYPE I and even after REST's: one REST per login.
        if (intFTPState == 200 || ftpRestSent_)
            break;
        ftpRestSent_ = true;
        ftpSend("REST " + QByteArray::number(intSegStart[0]));
        lblResume.setCaption(lang("04018", "** Resume Supported **"));
        cmdPause.setEnabled(false);
        intFTPState = 200;
        break;
    case 350:
        if (intFTPState == 350 || ftpRetrSent_)
            break;
        sendRetr();
        break;
    case 500:
    case 501:
    case 502:
        // REST is optional: a server without it answers that it does not know the command.
        if (ftpRestSent_ && !ftpRetrSent_)
            restartRefused();
        break;
    case 550:
        if (intFTPState != 350)
            break;
        lblStatus.setCaption(lang("11042", "File Not Found"));
        setRowCell(DownloadRow::Status, lblStatus.Caption());
        cmdStop.setCaption(strCapClose);
        cmdStop.setEnabled(true);
        stopCountdown();
        tmrReconnect.setEnabled(false);
        intFTPState = 550;
        failed_ = true;
        closeFtp();
        emit connectingChanged(false);
        emit needsUser();
        break;
    case 504:
        lblResume.setCaption(lang("04019", "**RESUME NOT SUPPORTED**"));
        if (s.StopResume) {
            tmrReconnect.setIntervalUnit(0);
            tmrReconnect.setInterval(s.TimeNoResume);
            tmrReconnect.setEnabled(true);
        }
        intFTPState = 504;
        if (ftpRestSent_ && !ftpRetrSent_)
            restartRefused();
        break;
    case 150:
    case 125:
        // One start of the file per transfer: a repeated one must not move the write position back
        // to where this transfer began while its data goes on.
        if (ftpStartSeen_)
            break;
        ftpStartSeen_ = true;
        intFTPState = 150;
        ftpStartOfFile();
        break;
    case 425:
        lblStatus.setCaption(lang("11043", "Could Not Establish Data Connection"));
        setRowCell(DownloadRow::Status, lblStatus.Caption());
        intFTPState = 425;
        break;
    case 426:
    case 451:
        // The server aborted the transfer: what arrived is kept and a new login continues it.
        if (intFTPState == 150) {
            ftpReply226_ = false;
            ftpRelogin();
        }
        break;
    case 530:
        // The language file's texts lose their blanks at the ends: they are put back between the parts.
        lblStatus.setCaption(lang("11047", "User ") + u' ' + strUserName + u' ' + lang("11045", " can not log in."));
        setRowCell(DownloadRow::Status, lang("11045", " can not log in."));
        // A refused login is not tried again by itself.
        failed_ = true;
        stopCountdown();
        emit needsUser();
        break;
    case 226:
        lblStatus.setCaption(lang("11046", "Transfer Completed..."));
        ftpReply226_ = true;
        ftpCheckEnd();
        break;
    default:
        break;
    }
    RefreshControls(*this);
}

void frmDownload::sendRetr()
{
    ftpRetrSent_ = true;
    ftpSend("RETR " + strFilePath.toUtf8());
    lblStatus.setCaption(lang("13031", "Waiting For File..."));
    // 550 is read as "file not found" from here on.
    intFTPState = 350;
}

void frmDownload::restartRefused()
{
    // Without REST the file can only come from its first byte: the transfer starts over and
    // overwrites what is on disk with the same bytes. Waiting for the server to learn REST would
    // leave the job logging in again forever, even for a fresh download.
    lblResume.setCaption(lang("04019", "**RESUME NOT SUPPORTED**"));
    intSegStart[0] = 0;
    intSegPos[0] = 1;
    blnResumeFTP = false;
    sendRetr();
}

void frmDownload::ftpStartOfFile()
{
    const DownloadSettings& s = SettingsStore::instance().record;
    // "150 Opening BINARY mode data connection for a.bin (123456 bytes)."
    sizeKnown_ = false;
    const qsizetype p = strReply.indexOf(u'(');
    const qsizetype q = p >= 0 ? strReply.indexOf(QLatin1String(" bytes)"), p) : -1;
    if (p >= 0 && q > p) {
        bool ok = false;
        const qint64 size = strReply.mid(p + 1, q - p - 1).trimmed().toLongLong(&ok);
        if (ok && size >= 0) {
            sizeKnown_ = true;
            // After a restart the server names the bytes it is about to send, or the whole file.
            intContentLength = size;
        }
    }
    if (sizeKnown_) {
        // Most servers name the whole file after a restart; a size below the bytes already kept can
        // only be the part still to come.
        if (blnResumeFTP && intContentLength < intSegStart[0])
            intContentLength += intSegStart[0];
        intFileSize = intContentLength;
        lblFileSize.setCaption(FormatBytes(double(intContentLength)));
    } else {
        intContentLength = 0;
        lblFileSize.setCaption(QString());
    }
    setRowCell(DownloadRow::Size, lblFileSize.Caption());
    setRowCell(DownloadRow::Status, lang("11051", "Downloading"));
    lblStatus.setCaption(lang("11051", "Downloading"));
    cmdPause.setEnabled(true);
    if (!blnResumeFTP) {
        intSegStart[0] = 0;
        intSegPos[0] = 1;
    }
    intSegStart[1] = sizeKnown_ ? intContentLength : std::numeric_limits<qint64>::max();
    LayoutSegmentBars(1);
    if (!intSegFile[0] && !openOutput())
        return;
    transferPrepared_ = true;
    stopCountdown();
    tmrUpdate.setEnabled(true);
    tmrUpdate2.setEnabled(true);
    // From here on only the watchdog notices a transfer that stops (a data connection that never
    // comes or goes silent): it pauses the job and then logs in again, as for HTTP. A 504 to REST
    // has set it already, with its own period.
    if (s.StopResume && !tmrReconnect.Enabled()) {
        tmrReconnect.setIntervalUnit(0);
        tmrReconnect.setInterval(s.TimeResume);
        tmrReconnect.setEnabled(true);
    }
    // Data that came before this reply waits in the data socket.
    if (wsFTPData && wsFTPData->bytesAvailable() > 0)
        ftpDataArrival();
    if (wsFTPData && wsFTPData->state() == QAbstractSocket::UnconnectedState)
        ftpDataClosed();
}

void frmDownload::ftpDataArrival()
{
    if (!wsFTPData || !transferPrepared_ || !intSegFile[0] || completed_ || failed_)
        return;
    if (readBuffer_.size() < kReadBlock)
        readBuffer_.resize(kReadBlock);
    QFile& file = *intSegFile[0];
    qint64 n;
    while ((n = wsFTPData->read(readBuffer_.data(), kReadBlock)) > 0) {
        if (sizeKnown_ && intSegPos[0] - 1 + n > intSegStart[1]) {
            // More data than the 150 reply announced: that size was wrong (some servers name only
            // the part after a restart, some a stale size). The data connection carries the file,
            // so its end and the server's 226 decide where the file ends, as for an unnamed size.
            sizeKnown_ = false;
            intContentLength = 0;
            intFileSize = 0;
            intSegStart[1] = std::numeric_limits<qint64>::max();
            lblFileSize.setCaption(QString());
            setRowCell(DownloadRow::Size, QString());
        }
        const qint64 size = n;
        const qint64 offset = intSegPos[0] - 1;
        if ((file.pos() != offset && !file.seek(offset)) || file.write(readBuffer_.constData(), size) != size) {
            fail(lang("19007", "The file could not be written:") + u' ' + strSaveTo + QStringLiteral(": ") + file.errorString());
            return;
        }
        intSegPos[0] += size;
        // Only bytes beyond where the last transfer ended are progress; the rollback's are not.
        if (intSegPos[0] - 1 > ftpReloginFrom_)
            ftpRelogins_ = 0;
        Update(0);
    }
    if (isFileDownloaded())
        tmrUpdate_Timer();
}

void frmDownload::ftpDataClosed()
{
    if (!wsFTPData)
        return;
    if (!transferPrepared_) {
        // Closed before the reply that opens the file: its data is read once that reply is in.
        return;
    }
    ftpDataArrival();
    if (completed_ || failed_)
        return;
    ftpDataDone_ = true;
    ftpCheckEnd();
}

void frmDownload::ftpCheckEnd()
{
    // The file is whole when its announced size has arrived. Without a size it is whole when the
    // data connection has closed and the server has confirmed the transfer with 226.
    if (completed_ || failed_ || !transferPrepared_)
        return;
    if (isFileDownloaded()) {
        tmrUpdate_Timer();
        return;
    }
    if (!ftpDataDone_ && !ftpControlGone_)
        return;
    if (!sizeKnown_ && ftpDataDone_ && ftpReply226_) {
        intContentLength = intSegPos[0] - 1;
        intFileSize = intContentLength;
        sizeKnown_ = true;
        lblFileSize.setCaption(FormatBytes(double(intContentLength)));
        setRowCell(DownloadRow::Size, lblFileSize.Caption());
        complete();
        return;
    }
    if (!ftpReply226_ && !ftpControlGone_)
        return;  // the data has ended; the server's word on it has not come yet
    // Short: a new login continues the file. A server that keeps ending early without sending
    // anything new is given up on.
    if (intSegPos[0] - 1 == ftpReloginFrom_ && ++ftpRelogins_ >= kMaxEmptyCloses) {
        fail(lang("19005", "The server keeps closing the connection without sending the file."));
        return;
    }
    ftpReloginFrom_ = intSegPos[0] - 1;
    ftpRelogin();
}

void frmDownload::ftpDataError(QAbstractSocket::SocketError error)
{
    if (error == QAbstractSocket::RemoteHostClosedError || !wsFTPData)
        return;
    Prompts::instance().MsgBox(lang("11032", "FTP Downloading error:") + wsFTPData->errorString(), MsgButtons::OkOnly,
                               MsgIcon::None, programTitle());
}

void frmDownload::ftpControlClosed()
{
    if (completed_ || failed_)
        return;
    if (ftpControl_.bytesAvailable() > 0)
        ftpControlDataArrival();
    if (completed_ || failed_)
        return;
    if (transferPrepared_ && wsFTPData && !ftpDataDone_) {
        // The data goes on; once it ends the file is continued if it is short.
        ftpControlGone_ = true;
        return;
    }
    if (!transferPrepared_ && intFTPState < 230) {
        // Closed during the login: the countdown decides when to try again.
        lblStatus.setCaption(lang("19103", "The FTP server closed the connection."));
        setRowCell(DownloadRow::Status, lblStatus.Caption());
        return;
    }
    ftpControlGone_ = true;
    ftpCheckEnd();
}

void frmDownload::ftpControlError(QAbstractSocket::SocketError error)
{
    if (error == QAbstractSocket::RemoteHostClosedError)
        return;
    const QString text = lang("19010", "Could not connect to the server:") + u' ' + ftpControl_.errorString();
    lblStatus.setCaption(text);
    setRowCell(DownloadRow::Status, text);
    closeSocket(ftpControl_);
    emit needsUser();
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
