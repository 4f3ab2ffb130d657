#pragma once

#include "downloader/engine/FtpRetrieval.h"
#include "downloader/engine/JobSftp.h"

#include <QObject>

#include <memory>

namespace harbel {

class DownloadJob;

// What a download job does with FTP: it starts the login, follows each of its stages, writes the
// data connection's bytes into the file and decides when the file is whole or must be continued.
// It is a part of its job and works on the job's file, state and progress. An sftp:// address
// goes to its JobSftp instead.
class JobFtp final : public QObject {
    Q_OBJECT
public:
    explicit JobFtp(DownloadJob& job);

    // Clears everything of the previous download.
    void reset();
    void start(qint16 existsAction);
    // What a one-connection download (FTP, SFTP) does with its file before the login: one it
    // continues (existsAction -1) starts from its size less the rollback, returned; one it
    // overwrites (0) is removed with its control file. -1 when it starts from nothing.
    static qint64 prepareStart(DownloadJob& job, qint16 existsAction);
    // Continues the file from the bytes written, less the rollback, with a new login.
    void relogin();
    void close()
    {
        sftp_.close();
        if (ftp_)
            ftp_->close();
    }
    // An FTP transfer is over only once its data connection has ended or the server has confirmed
    // it (226), or the control connection has gone: before that the announced size may be wrong.
    bool ended() const { return sftp() ? sftp_.ended() : ftp_ && ftp_->ended(); }
    // All the announced bytes have been in for a whole watchdog period and nothing more came: the
    // server has just not closed the data connection. The file is taken as it is.
    void takeAsEnded();
    // Writes the control file beside the file: it tells that the file is an unfinished download
    // of this program, which a later start continues from what the file holds.
    void saveProgress();

    qint64 received() const { return sftp() ? sftp_.received() : ftpPos_; }
    // Made on first use: a job that never speaks FTP does not set up its secure control connection.
    const FtpRetrieval& retrieval() { return ftp(); }

private:
    bool sftp() const;
    FtpRetrieval& ftp();
    void wire(FtpRetrieval& ftp);
    void login();
    void startOfFile(qint64 namedSize);
    void dataArrival();
    void dataClosed();
    void checkEnd();
    // A transfer that failed (426, 451, a short end, the server gone) is continued with a new
    // login, unless the logins in a row that brought no new bytes have reached their bound: the
    // job then fails with the server's last word (reply).
    void retryAfterFailure(const QString& reply);
    void controlClosed();

    DownloadJob& job_;
    std::unique_ptr<FtpRetrieval> ftp_;
    qint64 ftpStart_ = 0;
    qint64 ftpPos_ = 0;
    bool blnResumeFTP = false;
    EmptyLogins emptyLogins_;
    JobSftp sftp_{job_};
};

}  // namespace harbel
