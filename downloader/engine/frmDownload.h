#pragma once

#include "common/controls/Control.h"
#include "common/controls/ExtraTimer.h"
#include "common/controls/Form.h"
#include "common/controls/Timer.h"
#include "common/controls/Tray.h"
#include "downloader/engine/DownloadRow.h"
#include "downloader/intake/UrlParsing.h"

#include <QByteArray>
#include <QFile>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

#include <array>
#include <memory>

namespace harbel {

// One download job: the download window as a presentation model. It owns its sockets, its output
// file and its timers, writes its progress into its labels and into its row, and runs by itself
// on socket events and timer ticks once StartDownload has been called.
class frmDownload final : public Form {
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
    void CheckProbeReply(const QByteArray& text, bool scan);
    void Check_Create(qint64 size);
    void Check_Create1(qint64 size);
    void SetSegIndecies();
    // The FTP dialogue: acts on the reply in strReply / strReplyCode for control connection k.
    void StartLoginFTP(int k);
    // Chooses the data port of an active-mode transfer and returns the end of the PORT argument.
    QString FindPort();
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
    bool usesRangedArray() const { return usesHttp1_; }
    int segmentCount() const { return intSegCount; }
    qint64 segmentStart(int k) const { return intSegStart[k]; }
    qint64 segmentPos(int k) const { return intSegPos[k]; }
    // The end (exclusive) of the range segment k is fetching now.
    qint64 segmentEnd(int k) const { return segEnd_[k]; }
    // How many times a finished connection has taken over part of another segment's range.
    int takeOvers() const { return takeOvers_; }
    qint16 ftpState() const { return intFTPState; }
    quint16 dataPort() const { return quint16(sngDataPort); }
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

private:
    struct Connection {
        std::unique_ptr<QTcpSocket> socket;
        bool headPending = false;
        QByteArray head;
        qint64 requestedStart = 0;
        qint64 requestedEnd = -1;
        qint64 bodyBytes = 0;
        qint64 expectedBody = -1;
        int emptyCloses = 0;
        // The server keeps the connection open after this reply (HTTP/1.1 without "Connection: close").
        bool keepsAlive = false;
    };

    void startJob(qint16 existsAction);
    void connectProbe();
    void probeConnected();
    void probeDataArrival();
    void probeError(QAbstractSocket::SocketError error);
    void probeDisconnected();
    void followRedirect(const QByteArray& head);
    void scanForLink(const QByteArray& data);
    void prepareTransfer(qint64 size, bool ranged);
    bool openOutput(int k = 0);
    int segmentCountFor(qint64 size) const;
    bool askSegmented(bool ranged);
    void fallBackToOneConnection();
    void keepCompletePrefix();
    void resumeSegments();
    // Segment k has all of its range: the job completes, or its connection takes over another part.
    // connectedIdle: the connection has just been made and carries no request yet.
    void segmentFinished(int k, bool connectedIdle = false);
    bool takeOverRange(int k, bool connectedIdle);
    // FTP.
    void startFtp(qint16 existsAction);
    void ftpControlConnected();
    void ftpControlDataArrival();
    void ftpControlClosed();
    void ftpControlError(QAbstractSocket::SocketError error);
    void ftpSend(const QByteArray& command);
    bool ftpListen();
    void ftpPassiveConnect();
    void sendRetr();
    // The server refused REST: the file is fetched again from its start.
    void restartRefused();
    void ftpStartOfFile();
    void ftpAcceptData();
    void ftpDataArrival();
    void ftpDataClosed();
    void ftpDataError(QAbstractSocket::SocketError error);
    void ftpCheckEnd();
    // An FTP transfer is over only once its data connection has ended or the server has confirmed
    // it (226), or the control connection has gone: before that the announced size may be wrong.
    // Always true for HTTP.
    bool ftpEnded() const { return !FTPMODE || ftpDataDone_ || ftpReply226_ || ftpControlGone_; }
    void ftpRelogin();
    void closeFtp();
    void wireData(QTcpSocket* socket);
    Connection& transfer(int k);
    // Closes the connection and forgets its reply.
    void resetConnection(Connection& c);
    void connectTransfer(int k);
    void transferConnected(int k);
    void transferDataArrival(int k);
    void transferClosed(int k);
    void consume(int k, const char* data, qint64 size);
    void reconnectTransfer(int k);
    void showStopped();
    void transferError(int k, QAbstractSocket::SocketError error);
    bool acceptTransferHead(int k, const QByteArray& head);
    void writeBody(int k, const char* data, qint64 size);
    void closeSocket(QTcpSocket& socket);
    void closeFiles();
    // Starts the time-out countdown from the full Timeout and shows its label.
    void startCountdown();
    // Stops the time-out countdown and hides its label.
    void stopCountdown();
    void complete();
    void fail(const QString& message);
    void setRowCell(int cell, const QString& text);
    QString fileNameOfJob() const;
    QString resolveLocation(const QString& location) const;

    // Private state.
    qint64 intContentLength = 0;
    quint8 intSegCount = 0;
    std::array<qint64, 7> intSegStart{};
    std::array<qint64, 6> intSegPos{};
    std::array<bool, 6> blnSegResume{};
    std::array<std::unique_ptr<QFile>, 6> intSegFile;
    // The live end (exclusive) of each segment's range. It starts at the next segment's start and
    // moves down when a connection that has finished its own range takes over the second half of
    // what this segment still has to fetch.
    std::array<qint64, 6> segEnd_{};
    // Bytes of ranges that were complete when their connection moved on to another range.
    qint64 segDoneBefore_ = 0;
    int takeOvers_ = 0;
    double dblElapsed = 0;
    qint64 intLastBytes = 0;
    qint16 intTimeLeft = 0;
    qint16 intRetryCount = 0;
    qint16 intRedirects = 0;
    QString serverLog_;
    QString strCapPause, strCapResume, strCapStop, strCapClose;
    bool blnProbeFromZero = false;
    bool blnScanForLink = false;

    // FTP dialogue.
    QString strReply;
    QString strReplyCode;
    qint16 intFTPState = 0;
    bool blnPortSent = false;
    bool blnPasvUsed = false;
    bool blnResumeFTP = false;
    float sngDataPort = 0;
    QByteArray ftpBuffer_;
    QTcpSocket ftpControl_;
    QTcpServer ftpListener_;
    std::unique_ptr<QTcpSocket> wsFTPData;
    bool ftpRestSent_ = false;
    bool ftpRetrSent_ = false;
    bool ftpStartSeen_ = false;
    bool ftpReply226_ = false;
    bool ftpDataDone_ = false;
    bool ftpControlGone_ = false;
    int ftpRelogins_ = 0;
    qint64 ftpReloginFrom_ = -1;
    bool sizeKnown_ = true;

    QTcpSocket WSHead;
    QByteArray probeBuffer_;
    QByteArray readBuffer_;
    std::array<Connection, 6> wsHTTP;
    std::array<Connection, 6> wsHTTP1;
    bool usesHttp1_ = false;
    bool transferPrepared_ = false;
    bool completed_ = false;
    bool failed_ = false;
    qint16 existsAction_ = 0;
};

}  // namespace harbel
