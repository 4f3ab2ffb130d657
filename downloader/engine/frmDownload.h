#pragma once

#include "common/controls/Control.h"
#include "common/controls/ExtraTimer.h"
#include "common/controls/Form.h"
#include "common/controls/Timer.h"
#include "common/controls/Tray.h"
#include "downloader/engine/DownloadRow.h"
#include "downloader/engine/FtpRetrieval.h"
#include "downloader/engine/HttpProbe.h"
#include "downloader/engine/OutputFile.h"
#include "downloader/engine/SegmentConnection.h"
#include "downloader/engine/SegmentPlan.h"
#include "downloader/intake/UrlParsing.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QPointer>

#include <array>
#include <memory>

namespace harbel {

// One download job: the download window as a presentation model. It owns its sockets, its output
// file and its timers, writes its progress into its labels and into its row, and runs by itself
// on socket events and timer ticks once StartDownload has been called. The protocol work is done by
// its parts: the HTTP probe, one SegmentConnection per range, the SegmentPlan of what is written,
// the OutputFile, and the FtpRetrieval of an FTP job. This file's .cpp holds the job's life and
// display; frmDownloadHttp.cpp and frmDownloadFtp.cpp what it does with each protocol.
class frmDownload final : public Form, private SegmentConnection::Listener {
    Q_OBJECT
public:
    explicit frmDownload(QObject* parent = nullptr);
    ~frmDownload() override;

    // Public fields. Sizes and positions are 64-bit, so files over 2 GiB download whole.
    qint64 intRecievedBytes = 0;
    qint64 intFileSize = 0;
    double intTransferRate = 0;
    qint16 intAssignedIndex = 0;
    QString strSaveTo;
    QString strURL;
    QString strServer;
    quint16 intPort = 0;
    QString strUserName;
    QString strPassword;
    QString strFile;
    QString strFilePath;
    bool HTTPMODE = true;
    bool FTPMODE = false;
    // The address asks for TLS: https:// (port 443 unless named) or ftps:// (explicit TLS on 21).
    bool TLS = false;
    QPointer<ListRow> lstItem;

    // Controls.
    Button cmdPause{*this, QStringLiteral("cmdPause")};
    Button cmdStop{*this, QStringLiteral("cmdStop")};
    Button cmdOpen{*this, QStringLiteral("cmdOpen")};
    Button cmdGotoDir{*this, QStringLiteral("cmdGotoDir")};
    TextBox txtURL{*this, QStringLiteral("txtURL")};
    TextBox txtSaveTo{*this, QStringLiteral("txtSaveTo")};
    Label lblStatus{*this, QStringLiteral("lblStatus")};
    Label lblFileSize{*this, QStringLiteral("lblFileSize")};
    Label lblRecievedSize{*this, QStringLiteral("lblRecievedSize")};
    Label lblTransferRate{*this, QStringLiteral("lblTransferRate")};
    Label lblTimeRemaining{*this, QStringLiteral("lblTimeRemaining")};
    Label lblElapsedTime{*this, QStringLiteral("lblElapsedTime")};
    Label lblResume{*this, QStringLiteral("lblResume")};
    Label lblTimer{*this, QStringLiteral("lblTimer")};
    Label lblPer{*this, QStringLiteral("lblPer")};
    ProgressBar ProgressBar1{*this, QStringLiteral("ProgressBar1")};
    std::array<std::unique_ptr<ProgressBar>, 6> PVProgressBar;
    Timer tmrUpdate{*this, QStringLiteral("tmrUpdate"), 500};
    Timer tmrUpdate2{*this, QStringLiteral("tmrUpdate2"), 2500};
    Timer tmrTimeOut{*this, QStringLiteral("tmrTimeOut"), 1500};
    ExtraTimer tmrReconnect{*this, QStringLiteral("tmrReconnect")};
    Button cmdHide{*this, QStringLiteral("cmdHide")};
    Button cmdMore{*this, QStringLiteral("cmdMore")};
    // The job's own notification icon, shown while the window is hidden.
    Tray Tray1{*this, QStringLiteral("Tray1")};
    // The one entry of the "More..." menu.
    QString interactdata_mnu;

    // Left position (window units) of the percentage label; LayoutSegmentBars moves it.
    int lblPerLeft = 0;
    // Width and left position of each segment bar, in window units.
    std::array<int, 6> segmentBarWidth{};
    std::array<int, 6> segmentBarLeft{};

    // Operations.
    // Makes the window ready for a new job in its slot: everything of the previous job is cleared.
    void Load();
    void applyURL(const UrlFields& fields);
    void ParseURL(const QString& address);
    void StartDownload();
    void Pause_Resume() { cmdPause_Click(); }
    void StopMe() { cmdStop_Click(); }
    void StopDown();
    void SetCaptions();
    void Update(int k);
    bool isFileDownloaded() const;
    qint64 GetReceivedBytes() const;
    void CloseConnections();
    void LayoutSegmentBars(int n);
    void RestartFromAddress(const QString& address);
    void Check_Create(qint64 size);
    void Check_Create1(qint64 size);
    // Closing the window: stops the transfer and hides the window.
    void Unload();

    // Event handlers.
    void cmdPause_Click();
    void cmdStop_Click();
    void cmdOpen_Click();
    void cmdGotoDir_Click();
    void tmrUpdate_Timer();
    void tmrUpdate2_Timer();
    void tmrTimeOut_Timer();
    void tmrReconnect_Timer();
    void cmdHide_Click();
    // A button of the window's skin was pressed.
    void Skin1_Click(const QString& name);
    void Tray1_Click();
    void cmdMore_Click();
    void interactdata_mnu_Click();

    // State seen from outside.
    const QString& strServerLog() const { return serverLog_; }
    qint64 contentLength() const { return intContentLength; }
    int redirects() const { return intRedirects; }
    int retries() const { return intRetryCount; }
    // The probe was answered with a range (206): the segment question says so.
    bool usesRangedArray() const { return usesHttp1_; }
    // How an HTTP file is being fetched; segments() is 0 for one connection.
    const SegmentPlan& plan() const { return plan_; }
    int segments() const { return intSegCount; }
    // The FTP login of an FTP job.
    const FtpRetrieval& ftp() const { return ftp_; }
    bool sizeKnown() const { return sizeKnown_; }
    bool isCompleted() const { return completed_; }
    const QString& capResume() const { return strCapResume; }

signals:
    // A download is connecting (true) or no longer (false): the main window shows it.
    void connectingChanged(bool connecting);
    // The download succeeded: the row moves to the completed list.
    void moveRowToCompleted(harbel::ListRow* row);
    // The job has finished successfully.
    void completed();
    // The job cannot go on by itself (an error status, a give-up, a stop); lblStatus says why.
    void needsUser();
    // The window has been closed.
    void closed();
    // "More..." was pressed: the view pops the menu up under the button.
    void moreMenuRequested();
    // Something the user should know although the job goes on (lblStatus shows it too).
    void notice(const QString& text);

private:
    // Start and stop.
    void startJob(qint16 existsAction);
    void showStopped();
    void complete();
    void fail(const QString& message);
    void closeFiles();
    void startCountdown();
    void stopCountdown();
    void setRowCell(int cell, const QString& text);
    QString fileNameOfJob() const;

    // HTTP (frmDownloadHttp.cpp).
    // Where the job's HTTP connections go: its server, directly or through the proxy of the settings.
    HttpRoute route() const;
    void connectProbe();
    void CheckProbeReply(const QByteArray& head, const QByteArray& body);
    // The probe's connection failed; final: retrying cannot help.
    void probeFailed(const QString& status, bool final);
    void followRedirect(const QByteArray& head);
    void linkFound(const QString& link);
    QString resolveLocation(const QString& location) const;
    void prepareTransfer(qint64 size, bool ranged);
    // The plan of a resumed file: from its control file when it has one that matches the server's
    // file, else from its length less the rollback. False when the job cannot go on.
    bool planResume(qint64 size);
    void startTransfers();
    bool openOutput();
    int segmentCountFor(qint64 size) const;
    bool askSegmented(bool ranged);
    void fallBackToOneConnection();
    void keepCompletePrefix();
    void resumeSegments();
    // Writes the control file when a second has passed since the last one (or always when forced),
    // after the bytes it names complete are on the disk.
    void saveProgress(bool force);
    SegmentConnection& transfer(int k);
    void connectTransfer(int k);
    void reconnectTransfer(int k);
    // Segment k has all of its range: the job completes, or its connection takes over another part.
    // connectedIdle: the connection has just been made and carries no request yet.
    void segmentFinished(int k, bool connectedIdle = false);
    bool takeOverRange(int k, bool connectedIdle);
    // SegmentConnection::Listener.
    void transferConnected(int k) override;
    bool acceptTransferHead(int k, const QByteArray& head) override;
    void writeBody(int k, const char* data, qint64 size) override;
    void transferReplyEnded(int k) override;
    void transferClosed(int k) override;
    void transferError(int k, QAbstractSocket::SocketError error, const QString& description) override;
    void transferRefused(int k, const QString& status) override;
    bool transfersRunning() const override { return !completed_ && !failed_; }

    // FTP (frmDownloadFtp.cpp).
    void wireFtp();
    void startFtp(qint16 existsAction);
    void ftpLogin();
    void ftpRelogin();
    void ftpStartOfFile(qint64 namedSize);
    void ftpDataArrival();
    void ftpDataClosed();
    void ftpCheckEnd();
    void ftpControlClosed();
    // An FTP transfer is over only once its data connection has ended or the server has confirmed
    // it (226), or the control connection has gone: before that the announced size may be wrong.
    // Always true for HTTP.
    bool ftpEnded() const { return !FTPMODE || ftp_.ended(); }

    // Private state.
    qint64 intContentLength = 0;
    quint8 intSegCount = 0;
    SegmentPlan plan_;
    OutputFile output_;
    std::array<std::unique_ptr<SegmentConnection>, SegmentPlan::kMaxSegments> connections_;
    // The server's validator of the file (its ETag or Last-Modified line).
    QByteArray validator_;
    // The control file is kept for this job (an HTTP transfer of known size).
    bool keepsControlFile_ = false;
    QElapsedTimer lastSave_;
    qint64 saveInterval_ = 1000;
    double dblElapsed = 0;
    qint64 intLastBytes = 0;
    int intTimeLeft = 0;
    qint16 intRetryCount = 0;
    qint16 intRedirects = 0;
    QString serverLog_;
    QString strCapPause, strCapResume, strCapStop, strCapClose;
    bool blnProbeFromZero = false;

    // FTP.
    FtpRetrieval ftp_;
    qint64 ftpStart_ = 0;
    qint64 ftpPos_ = 0;
    bool blnResumeFTP = false;
    int ftpRelogins_ = 0;
    qint64 ftpReloginFrom_ = -1;
    bool sizeKnown_ = true;

    HttpProbe probe_;
    bool usesHttp1_ = false;
    bool transferPrepared_ = false;
    bool completed_ = false;
    bool failed_ = false;
    qint16 existsAction_ = 0;
};

}  // namespace harbel
