#pragma once

#include "downloader/engine/HttpProbe.h"
#include "downloader/engine/JobSegments.h"
#include "downloader/engine/SegmentPlan.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>

#include <functional>
#include <memory>

namespace harbel {

class DownloadJob;
class HttpAuth;

// Where a file is saved when the server gives its name, as the job's owner decides it once the
// name is known (the answer to the probe, or an FTP address's own name): the path, and what to do
// with a file that is there already (as FileExistsAction); a refusal ends the job with it as the
// status.
struct SaveDecision {
    QString path;
    qint16 existsAction = 0;
    QString refusal;
};
using NameSettler = std::function<SaveDecision(const QString& name)>;

// What a download job does with HTTP: the probe and its reply, redirections, the plan of the
// transfer (carried out by its ranged connections, JobSegments) and the control file that lets a
// resume fetch exactly what is missing. It is a part of its job and works on the job's file, state
// and progress.
class JobHttp final : public QObject {
    Q_OBJECT
public:
    explicit JobHttp(DownloadJob& job);
    ~JobHttp() override;

    // Clears everything of the previous download.
    void reset();
    // Sends the probe (again): every probe gets the whole countdown.
    void connectProbe();
    void abortProbe() { probe_.abort(); }
    // The passwords of the settings are still coming from the keyring, or the proxy password question
    // is open: the job waits for them (the window goes on), then calls then; true while it waits.
    // A pause, a stop or a later start drops the wait.
    bool waitForPasswords(std::function<void()> then);
    void closeConnections() { segments_.closeConnections(); }
    // The output is prepared for a file of this size: 200 (ranged false) or 206 to the probe.
    void prepareTransfer(qint64 size, bool ranged);
    void probeFromStart() { blnProbeFromZero = false; }
    // Reconnects every part that is missing something, each from where it stopped less the rollback.
    void resumeSegments();
    // Writes the control file when a second has passed since the last one (or always when forced),
    // after the bytes it names complete are on the disk.
    void saveProgress(bool force);

    qint64 received() const { return plan_.received(); }
    const SegmentPlan& plan() const { return plan_; }
    SegmentPlan& plan() { return plan_; }
    // Where the job's HTTP connections go: its server, directly or through the proxy of the settings.
    HttpRoute route() const;
    int redirects() const { return intRedirects; }

    void setNameSettler(NameSettler settler) { settler_ = std::move(settler); }
    // The name is still to come from the server: nothing is done with a file at the save path yet.
    bool namePending() const { return settler_ && !nameSettled_; }
    // The file's name is known: the settler, when there is one and it has not chosen yet, chooses
    // the path. False when the job has ended.
    bool settleName(const QString& name);
    bool usesRangedArray() const { return usesHttp1_; }

private:
    void checkProbeReply(const QByteArray& head, const QByteArray& body);
    // The probe's connection failed; final: retrying cannot help.
    void probeFailed(const QString& status, bool final);
    void followRedirect(const QByteArray& head);
    // Goes on at another address (a redirection's, or a link found in a page), by its own scheme.
    void moveTo(const QString& location);
    QString resolveLocation(const QString& location) const;
    // The address fetched now: the job's, or the last one moved to.
    QString currentAddress() const;
    // The name of the file a reply brings: the one its Content-Disposition gives, else the address's.
    QString serverFileName(const QByteArray& head) const;
    // A 401: the address's login answers the server's challenge. False when it cannot.
    bool answerChallenge(const QByteArray& head);
    // The plan of a resumed file: from its control file when it has one that matches the server's
    // file, else from its length less the rollback. False when the job cannot go on.
    bool planResume(qint64 size);
    int segmentCountFor(qint64 size) const;
    bool askSegmented(bool ranged);
    // The proxy's password of this run: asked for when it is not saved and a person watches the
    // job. False when the job has ended.
    bool proxyPasswordReady();
    // The keyring's password for the address's user when the address names none; true while the job
    // waits for it, then calls then.
    bool waitForAddressPassword(int ticket, std::function<void()> then);

    DownloadJob& job_;
    HttpProbe probe_;
    SegmentPlan plan_;
    // The server's validator of the file (its ETag or Last-Modified line).
    QByteArray validator_;
    // The control file is kept for this job (an HTTP transfer of known size).
    bool keepsControlFile_ = false;
    QElapsedTimer lastSave_;
    qint64 saveInterval_ = 1000;
    qint16 intRedirects = 0;
    QString address_;
    std::shared_ptr<HttpAuth> auth_;
    NameSettler settler_;
    bool nameSettled_ = false;
    bool blnProbeFromZero = false;
    bool usesHttp1_ = false;
    int passwordWait_ = 0;
    // The server and user whose password was last looked up in the keyring for an address that
    // names its user without one.
    QString loginLookedUp_;
    JobSegments segments_{job_, *this, plan_};
};

}  // namespace harbel
