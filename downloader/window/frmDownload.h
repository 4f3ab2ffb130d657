#pragma once

#include "common/controls/Control.h"
#include "common/controls/Form.h"
#include "common/controls/ListView.h"
#include "common/controls/Tray.h"
#include "downloader/engine/DownloadJob.h"

#include <QPointer>

#include <array>
#include <memory>

namespace harbel {

// The download window as a presentation model: the controls of one download job, which it owns.
// Its handlers hand the user's presses to the job, and render() shows what the job publishes in
// the window's captions, bars and buttons, in one place. It adds what concerns the window alone:
// the bar layout in window units, hiding into the notification area, "More..." and the server data.
class frmDownload final : public Form {
    Q_OBJECT

    DownloadJob job_;

public:
    explicit frmDownload(QObject* parent = nullptr);
    ~frmDownload() override;

    DownloadJob& job() { return job_; }
    const DownloadJob& job() const { return job_; }

    // The job's fields, under the window's names.
    QString& strSaveTo;
    QString& strURL;
    QString& strServer;
    quint16& intPort;
    QString& strUserName;
    QString& strPassword;
    QString& strFile;
    QString& strFilePath;
    bool& HTTPMODE;
    bool& FTPMODE;
    bool& TLS;
    qint64& intRecievedBytes;
    qint64& intFileSize;
    // The rate the main window adds to its total: the job's rate while it transfers, else 0.
    double intTransferRate = 0;
    qint16 intAssignedIndex = 0;
    // The row of the queue this window's download belongs to; its binder keeps it up to date.
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
    Button cmdHide{*this, QStringLiteral("cmdHide")};
    Button cmdMore{*this, QStringLiteral("cmdMore")};
    // The job's own notification icon, shown while the window is hidden.
    Tray Tray1{*this, QStringLiteral("Tray1")};
    // The one entry of the "More..." menu.
    QString interactdata_mnu;
    // The job's timers, under the window's names.
    JobTimer& tmrUpdate;
    JobTimer& tmrUpdate2;
    JobTimer& tmrTimeOut;
    SecondsTimer& tmrReconnect;

    // Left position (window units) of the percentage label; LayoutSegmentBars moves it.
    int lblPerLeft = 0;
    // Width and left position of each segment bar, in window units.
    std::array<int, 6> segmentBarWidth{};
    std::array<int, 6> segmentBarLeft{};

    // Operations.
    // Makes the window ready for a new job in its slot: everything of the previous job is cleared.
    void Load();
    void applyURL(const UrlFields& fields) { job_.applyURL(fields); }
    void ParseURL(const QString& address) { job_.ParseURL(address); }
    void StartDownload();
    // What cmdPause does, for commands of the main window (Pause All, Resume All, the schedule):
    // who resumes this way is not asked anything.
    void Pause_Resume() { job_.pauseResume(); }
    void StopMe() { cmdStop_Click(); }
    void StopDown() { job_.stopDown(); }
    void SetCaptions();
    bool isFileDownloaded() const { return job_.isFileDownloaded(); }
    qint64 GetReceivedBytes() const { return job_.receivedBytes(); }
    void CloseConnections() { job_.closeConnections(); }
    void LayoutSegmentBars(int n);
    void RestartFromAddress(const QString& address) { job_.restartFromAddress(address); }
    void Check_Create(qint64 size) { job_.checkCreate(size); }
    void Check_Create1(qint64 size) { job_.checkCreate1(size); }
    // Closing the window: stops the transfer and hides the window.
    void Unload() { job_.close(); }

    // Event handlers.
    void cmdPause_Click()
    {
        job_.attended = true;  // a person pressed it, and may be asked
        job_.pauseResume();
    }
    void cmdStop_Click() { job_.stop(); }
    void cmdOpen_Click();
    void cmdGotoDir_Click();
    void tmrUpdate_Timer() { job_.progressTick(); }
    void tmrUpdate2_Timer() { job_.rateTick(); }
    void tmrTimeOut_Timer() { job_.countdownTick(); }
    void tmrReconnect_Timer() { job_.watchdogTick(); }
    void cmdHide_Click();
    // A button of the window's skin was pressed.
    void Skin1_Click(const QString& name);
    void Tray1_Click();
    void cmdMore_Click();
    void interactdata_mnu_Click();

    // State seen from outside.
    const QString& strServerLog() const { return job_.serverLog(); }
    qint64 contentLength() const { return job_.contentLength(); }
    int redirects() const { return job_.redirects(); }
    int retries() const { return job_.retries(); }
    // The probe was answered with a range (206): the segment question says so.
    bool usesRangedArray() const { return job_.usesRangedArray(); }
    // How an HTTP file is being fetched; segments() is 0 for one connection.
    const SegmentPlan& plan() const { return job_.plan(); }
    int segments() const { return job_.segments(); }
    // The FTP login of an FTP job.
    const FtpRetrieval& ftp() { return job_.ftp(); }
    bool sizeKnown() const { return job_.sizeKnown(); }
    bool isCompleted() const { return job_.isCompleted(); }
    const QString& capResume() const { return strCapResume; }

signals:
    // A download is connecting (true) or no longer (false): the main window shows it.
    void connectingChanged(bool connecting);
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
    // Shows what changed of the job's progress in the window's controls.
    void render(const Progress& p, Progress::Changes changes);
    QString titleFor(const Progress& p) const;

    QString strCapPause, strCapResume, strCapStop, strCapClose;
};

}  // namespace harbel
