#pragma once

#include "downloader/engine/EmptyLogins.h"

#include <QObject>
#include <QPointer>

namespace harbel {

class DownloadJob;
class SftpRetrieval;

// What a download job does with an sftp:// address: one connection (SFTP has no ranged segments
// here), made by an SftpRetrieval on its own thread, whose signals move the job through its
// states. The file continues from what it holds (less the rollback), as an FTP one does. An
// unknown host key, and the passphrase of a key that has none remembered or saved, are asked about
// only when a person started the job and questions are allowed; a changed host key is always
// refused. It is a part of its job, reached through JobFtp.
class JobSftp final : public QObject {
    Q_OBJECT
public:
    explicit JobSftp(DownloadJob& job);
    ~JobSftp() override;

    void reset();
    void start(qint16 existsAction);
    // Continues the file from the bytes written, less the rollback, with a new login.
    void relogin();
    // The retrieval stops between two blocks; what it wrote stays for a resume.
    void close();
    bool ended() const { return ended_; }
    void takeAsEnded() { ended_ = true; }
    void saveProgress();
    qint64 received() const { return pos_; }

    // Off for a run where nobody may be asked (the command line): an unknown host key fails the
    // download with the fingerprint and what to do, and a key whose passphrase is not saved is
    // skipped.
    static void setAsksQuestions(bool on);

private:
    void login();
    void opened(qint64 size);
    void progressed(qint64 position);
    void done(qint64 position);
    void connectionFailed(const QString& reason);
    void refused(const QString& reason);
    // Answers the retrieval's question about an unknown host key; on the job's thread.
    int askHostKey(const QString& type, const QString& fingerprint, const QString& where);
    // Asks for the passphrase of the key at keyFile until one opens it (empty: dismissed), remembers
    // it for the run and offers to save it in the keyring; on the job's thread.
    QString askPassphrase(const QString& keyFile);

    DownloadJob& job_;
    QPointer<SftpRetrieval> retrieval_;
    qint64 start_ = 0;
    qint64 pos_ = 0;
    bool ended_ = false;
    EmptyLogins emptyLogins_;
};

}  // namespace harbel
