// What a download job does with FTP: it starts the login, shows each of its stages, writes the data
// connection's bytes into the file and decides when the file is whole or must be continued.

#include "downloader/engine/frmDownload.h"

#include "common/platform/Prompts.h"
#include "common/support/Skin.h"
#include "downloader/engine/DownloadFormat.h"
#include "downloader/engine/DownloadText.h"
#include "downloader/settings/DownloadSettings.h"

#include <QFileInfo>

namespace harbel {

namespace {

// Logins in a row that bring nothing new before the job gives up.
constexpr int kMaxEmptyLogins = 5;
// The block read from the data connection at a time.
constexpr qint64 kReadBlock = 512 * 1024;

}  // namespace

void frmDownload::wireFtp()
{
    connect(&ftp_, &FtpRetrieval::replyReceived, this, [this](const QString& text) { serverLog_ += text; });
    // The server speaks first.
    connect(&ftp_, &FtpRetrieval::connected, this, [this] { setRowCell(DownloadRow::Status, lang("11051", "Downloading...")); });
    connect(&ftp_, &FtpRetrieval::greeted, this, [this] {
        lblStatus.setCaption(lang("11049", "Logging In..."));
        setRowCell(DownloadRow::Status, lblStatus.Caption());
        cmdStop.setEnabled(true);
        // A new login gets the whole countdown.
        intTimeLeft = SettingsStore::instance().record.Timeout;
        RefreshControls(*this);
    });
    connect(&ftp_, &FtpRetrieval::loggedIn, this, [this] {
        txtURL.setText(strURL);
        lblStatus.setCaption(lang("11050", "Connected... Setting Up Transfer!"));
        setRowCell(DownloadRow::Status, lang("11048", "Connected"));
        intTimeLeft = SettingsStore::instance().record.Timeout;
        tmrTimeOut.setEnabled(true);
        RefreshControls(*this);
    });
    connect(&ftp_, &FtpRetrieval::restarting, this, [this] {
        lblResume.setCaption(lang("04018", "** Resume Supported **"));
        cmdPause.setEnabled(false);
        RefreshControls(*this);
    });
    connect(&ftp_, &FtpRetrieval::retrieving, this, [this] { lblStatus.setCaption(lang("13031", "Waiting For File...")); });
    connect(&ftp_, &FtpRetrieval::restartRefused, this, [this](int code) {
        // Without REST the file can only come from its first byte: the transfer starts over and
        // overwrites what is on disk with the same bytes.
        lblResume.setCaption(lang("04019", "**RESUME NOT SUPPORTED**"));
        const DownloadSettings& s = SettingsStore::instance().record;
        if (code == 504 && s.StopResume) {
            tmrReconnect.setIntervalUnit(0);
            tmrReconnect.setInterval(s.TimeNoResume);
            tmrReconnect.setEnabled(true);
        }
        ftpStart_ = 0;
        ftpPos_ = 0;
        blnResumeFTP = false;
        RefreshControls(*this);
    });
    connect(&ftp_, &FtpRetrieval::startOfFile, this, [this](qint64 namedSize) { ftpStartOfFile(namedSize); });
    connect(&ftp_, &FtpRetrieval::transferConfirmed, this, [this] {
        lblStatus.setCaption(lang("11046", "Transfer Completed..."));
        ftpCheckEnd();
    });
    // The server aborted the transfer: what arrived is kept and a new login continues it.
    connect(&ftp_, &FtpRetrieval::transferAborted, this, [this] { ftpRelogin(); });
    connect(&ftp_, &FtpRetrieval::fileNotFound, this, [this] {
        lblStatus.setCaption(lang("11042", "File Not Found"));
        setRowCell(DownloadRow::Status, lblStatus.Caption());
        cmdStop.setCaption(strCapClose);
        cmdStop.setEnabled(true);
        stopCountdown();
        tmrReconnect.setEnabled(false);
        failed_ = true;
        RefreshControls(*this);
        emit connectingChanged(false);
        emit needsUser();
    });
    connect(&ftp_, &FtpRetrieval::loginRefused, this, [this] {
        // The language file's texts lose their blanks at the ends: they are put back between the parts.
        lblStatus.setCaption(lang("11047", "User ") + u' ' + strUserName + u' ' + lang("11045", " can not log in."));
        setRowCell(DownloadRow::Status, lang("11045", " can not log in."));
        // A refused login is not tried again by itself.
        failed_ = true;
        stopCountdown();
        RefreshControls(*this);
        emit needsUser();
    });
    connect(&ftp_, &FtpRetrieval::dataConnectionFailed, this, [this] {
        lblStatus.setCaption(lang("11043", "Could Not Establish Data Connection"));
        setRowCell(DownloadRow::Status, lblStatus.Caption());
    });
    connect(&ftp_, &FtpRetrieval::failed, this, [this](const QString& text) { fail(text); });
    connect(&ftp_, &FtpRetrieval::dataReadyRead, this, [this] { ftpDataArrival(); });
    connect(&ftp_, &FtpRetrieval::dataClosed, this, [this] { ftpDataClosed(); });
    connect(&ftp_, &FtpRetrieval::dataError, this, [](const QString& description) {
        Prompts::instance().MsgBox(lang("11032", "FTP Downloading error:") + description, MsgButtons::OkOnly,
                                   MsgIcon::None, programTitle());
    });
    connect(&ftp_, &FtpRetrieval::controlClosed, this, [this] { ftpControlClosed(); });
    connect(&ftp_, &FtpRetrieval::controlFailed, this, [this](const QString& description) {
        const QString text = lang("19010", "Could not connect to the server:") + u' ' + description;
        lblStatus.setCaption(text);
        setRowCell(DownloadRow::Status, text);
        ftp_.close();
        emit needsUser();
    });
}

void frmDownload::startFtp(qint16 existsAction)
{
    const DownloadSettings& s = SettingsStore::instance().record;
    if (existsAction == -2) {
        Unload();
        return;
    }
    // A line break in a name would end the command early and let the rest be read as a command
    // of its own: such an address is never sent.
    if (!FtpRetrieval::isSafeArgument(strFilePath) || !FtpRetrieval::isSafeArgument(strUserName)
        || !FtpRetrieval::isSafeArgument(strPassword)) {
        fail(lang("19016", "The address holds a control character (such as a line break), so it is not sent to the server."));
        return;
    }
    ftp_.close();
    closeFiles();
    intSegCount = 0;
    ftpPos_ = 0;
    ftpStart_ = 0;
    blnResumeFTP = false;
    const QFileInfo existing(strSaveTo);
    if (existing.exists() && existsAction == -1) {
        // An existing file shorter than the rollback starts again from its first byte.
        ftpStart_ = std::max<qint64>(existing.size() - s.Rollback, 0);
        ftpPos_ = ftpStart_;
        blnResumeFTP = true;
    } else if (existing.exists() && existsAction == 0) {
        QFile::remove(strSaveTo);
    }
    // The file is this job's from now on: a retry after a time-out continues it instead of
    // deleting what the first attempt wrote.
    existsAction_ = -1;
    transferPrepared_ = false;
    setRowCell(DownloadRow::Filename, strSaveTo);
    // A server that never greets is timed out like one that stops answering later.
    startCountdown();
    cmdOpen.setVisible(false);
    cmdGotoDir.setVisible(false);
    RefreshControls(*this);
    ftpLogin();
}

void frmDownload::ftpLogin()
{
    const DownloadSettings& s = SettingsStore::instance().record;
    FtpRetrieval::Login login{strServer, intPort, strUserName, strPassword, strFilePath, s.UsePASV};
    login.tls = TLS;  // ftps://: explicit TLS on the same port as ftp://
    ftp_.start(login, ftpStart_);
}

void frmDownload::ftpRelogin()
{
    // Continue from the bytes written, less the rollback, with a new login. A file cut short or
    // removed meanwhile continues from what it really holds.
    const qint64 rollback = SettingsStore::instance().record.Rollback;
    ftp_.close();
    output_.close();
    const qint64 onDisk = std::max<qint64>(output_.sizeOnDisk(), 0);
    ftpStart_ = std::max<qint64>(std::min(ftpPos_, onDisk) - rollback, 0);
    ftpPos_ = ftpStart_;
    blnResumeFTP = true;
    failed_ = false;
    ftpLogin();
}

void frmDownload::ftpStartOfFile(qint64 namedSize)
{
    const DownloadSettings& s = SettingsStore::instance().record;
    // "150 Opening BINARY mode data connection for a.bin (123456 bytes)."
    sizeKnown_ = namedSize >= 0;
    if (sizeKnown_) {
        // After a restart the server names the bytes it is about to send, or the whole file. Most
        // name the whole file; a size below the bytes already kept can only be the part to come.
        intContentLength = namedSize;
        if (blnResumeFTP && intContentLength < ftpStart_)
            intContentLength += ftpStart_;
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
        ftpStart_ = 0;
        ftpPos_ = 0;
    }
    LayoutSegmentBars(1);
    if (!output_.isOpen() && !openOutput())
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
    RefreshControls(*this);
    // Data that came before this reply waits in the data socket.
    if (ftp_.data() && ftp_.data()->bytesAvailable() > 0)
        ftpDataArrival();
    if (ftp_.data() && ftp_.data()->state() == QAbstractSocket::UnconnectedState)
        ftpDataClosed();
}

void frmDownload::ftpDataArrival()
{
    QTcpSocket* data = ftp_.data();
    if (!data || !transferPrepared_ || !output_.isOpen() || completed_ || failed_)
        return;
    static QByteArray buffer(kReadBlock, Qt::Uninitialized);
    qint64 n;
    while ((n = data->read(buffer.data(), kReadBlock)) > 0) {
        if (sizeKnown_ && ftpPos_ + n > intContentLength) {
            // More data than the 150 reply announced: that size was wrong (some servers name only
            // the part after a restart, some a stale size). The data connection carries the file,
            // so its end and the server's 226 decide where the file ends, as for an unnamed size.
            sizeKnown_ = false;
            intContentLength = 0;
            intFileSize = 0;
            lblFileSize.setCaption(QString());
            setRowCell(DownloadRow::Size, QString());
        }
        if (!output_.write(ftpPos_, buffer.constData(), n)) {
            fail(output_.failure());
            return;
        }
        ftpPos_ += n;
        // Only bytes beyond where the last transfer ended are progress; the rollback's are not.
        if (ftpPos_ > ftpReloginFrom_)
            ftpRelogins_ = 0;
        Update(0);
    }
    if (isFileDownloaded())
        tmrUpdate_Timer();
}

void frmDownload::ftpDataClosed()
{
    // Closed before the reply that opens the file: its data is read once that reply is in.
    if (!ftp_.data() || !transferPrepared_)
        return;
    ftpDataArrival();
    if (completed_ || failed_)
        return;
    ftp_.setDataEnded();
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
    if (!ftp_.dataEnded() && !ftp_.controlGone())
        return;
    if (!sizeKnown_ && ftp_.dataEnded() && ftp_.confirmed()) {
        intContentLength = ftpPos_;
        intFileSize = intContentLength;
        sizeKnown_ = true;
        lblFileSize.setCaption(FormatBytes(double(intContentLength)));
        setRowCell(DownloadRow::Size, lblFileSize.Caption());
        complete();
        return;
    }
    if (!ftp_.confirmed() && !ftp_.controlGone())
        return;  // the data has ended; the server's word on it has not come yet
    // Short: a new login continues the file. A server that keeps ending early without sending
    // anything new is given up on.
    if (ftpPos_ == ftpReloginFrom_ && ++ftpRelogins_ >= kMaxEmptyLogins) {
        fail(lang("19005", "The server keeps closing the connection without sending the file."));
        return;
    }
    ftpReloginFrom_ = ftpPos_;
    ftpRelogin();
}

void frmDownload::ftpControlClosed()
{
    if (completed_ || failed_)
        return;
    if (transferPrepared_ && ftp_.data() && !ftp_.dataEnded()) {
        // The data goes on; once it ends the file is continued if it is short.
        ftp_.setControlGone();
        return;
    }
    if (!transferPrepared_ && ftp_.step() < FtpRetrieval::Step::Port) {
        // Closed during the login: the countdown decides when to try again.
        lblStatus.setCaption(lang("19103", "The FTP server closed the connection."));
        setRowCell(DownloadRow::Status, lblStatus.Caption());
        return;
    }
    ftp_.setControlGone();
    ftpCheckEnd();
}

}  // namespace harbel
