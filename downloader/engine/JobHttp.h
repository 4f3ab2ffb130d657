#pragma once

#include "downloader/engine/HttpProbe.h"
#include "downloader/engine/JobSegments.h"
#include "downloader/engine/SegmentPlan.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>

namespace harbel {

class DownloadJob;

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
    bool usesRangedArray() const { return usesHttp1_; }

private:
    void checkProbeReply(const QByteArray& head, const QByteArray& body);
    // The probe's connection failed; final: retrying cannot help.
    void probeFailed(const QString& status, bool final);
    void followRedirect(const QByteArray& head);
    void linkFound(const QString& link);
    QString resolveLocation(const QString& location) const;
    // The plan of a resumed file: from its control file when it has one that matches the server's
    // file, else from its length less the rollback. False when the job cannot go on.
    bool planResume(qint64 size);
    int segmentCountFor(qint64 size) const;
    bool askSegmented(bool ranged);

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
    bool blnProbeFromZero = false;
    bool usesHttp1_ = false;
    JobSegments segments_{job_, *this, plan_};
};

}  // namespace harbel
