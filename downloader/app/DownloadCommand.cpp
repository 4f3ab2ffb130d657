#include "downloader/app/DownloadCommand.h"

#include "common/support/LangString.h"
#include "common/support/VbText.h"
#include "downloader/engine/ControlFile.h"
#include "downloader/engine/DownloadFormat.h"
#include "downloader/engine/JobSftp.h"
#include "downloader/window/frmDownload.h"
#include "downloader/intake/UrlParsing.h"
#include "downloader/main/DownloadWindows.h"
#include "downloader/main/frmExist.h"
#include "downloader/settings/DownloadSettings.h"

#include <QDir>
#include <QFileInfo>

namespace harbel {

namespace {

QString lang(const char* code, const char* text)
{
    return GetLangString(QString::fromLatin1(code), QString::fromLatin1(text));
}

void write(std::FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

}  // namespace

MsgAnswer TerminalPrompts::MsgBox(const QString& text, MsgButtons buttons, MsgIcon icon, const QString& title)
{
    if (beforeLine)
        beforeLine();
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String(" "));
    const QString lineText = (title.isEmpty() ? shown : title + QStringLiteral(": ") + shown) + u'\n';
    write(icon == MsgIcon::Information ? stdout : stderr, lineText);
    // --segments answers the segmented download's question; a warning is never answered yes.
    if (buttons == MsgButtons::YesNo && answerYes_ && icon == MsgIcon::Question)
        return MsgAnswer::Yes;
    return buttons == MsgButtons::OkOnly || buttons == MsgButtons::OkCancel ? MsgAnswer::Ok : cancelAnswer(buttons);
}

void TerminalPrompts::ShowModal(Form& form)
{
    if (auto* exist = qobject_cast<frmExist*>(&form)) {
        switch (exists_) {
        case PellanorOptions::Exists::Overwrite:
            exist->cmdOverwrite_Click();
            break;
        case PellanorOptions::Exists::Resume:
            exist->cmdResume_Click();
            break;
        case PellanorOptions::Exists::Refuse:
        case PellanorOptions::Exists::Skip:
            exist->Command3_Click();
            break;
        }
    }
    form.Hide();
}

DownloadCommand::DownloadCommand(const PellanorOptions& options, DownloadWindows& windows, std::FILE* out,
                                 std::FILE* err, bool terminal)
    : options_(options), windows_(windows), out_(out), err_(err), terminal_(terminal)
{
    // The options hold for this run only: nothing is saved.
    DownloadSettings& s = SettingsStore::instance().record;
    if (options_.segments)
        s.Segment = 1;
    if (options_.passive)
        s.UsePASV = true;
    if (options_.timeout > 0)
        s.Timeout = options_.timeout;
    if (options_.tries >= 0) {
        s.Retry = true;
        s.Retries = options_.tries;
    }
    // Nobody is there to wait for a stalled transfer: the time-out bounds each wait for data too.
    s.DataTimeout = true;
    // Nor to answer for an SSH server's key (one the known hosts file lacks fails its download) or
    // give a key's passphrase (only one saved in the keyring is used).
    JobSftp::setAsksQuestions(false);
    if (auto* terminal = dynamic_cast<TerminalPrompts*>(&Prompts::instance()))
        terminal->setAnswerYes(options_.segments);
    ticker_.setInterval(500);
    connect(&ticker_, &QTimer::timeout, this, &DownloadCommand::showProgress);
}

void DownloadCommand::start()
{
    next();
}

QString DownloadCommand::folder() const
{
    return options_.outputDir.isEmpty() ? QDir::currentPath() : options_.outputDir;
}

QString DownloadCommand::savePathFor(const QString& url, QString* refusal) const
{
    if (!addressRefusal(url).isEmpty() || GetServerName(url).isEmpty()) {
        *refusal = lang("11041", "Invalid URL");
        return {};
    }
    if (!options_.outputFile.isEmpty())
        return QFileInfo(options_.outputFile).absoluteFilePath();
    // The name the address gives, until the server gives its own (fileNameOfAddress).
    return QFileInfo(QDir(folder()), fileNameOfAddress(url)).absoluteFilePath();
}

void DownloadCommand::next()
{
    for (const auto& c : links_)
        disconnect(c);
    links_.clear();
    job_ = nullptr;
    ++index_;
    if (index_ >= options_.urls.size()) {
        ticker_.stop();
        emit finished();
        return;
    }
    url_ = options_.urls[index_];
    shownUrl_ = addressForDisplay(url_);
    QString refusal;
    savePath_ = savePathFor(url_, &refusal);
    if (savePath_.isEmpty()) {
        line(err_, shownUrl_ + QStringLiteral(": ") + refusal);
        jobEnded(false, QString());
        return;
    }
    // A folder that does not exist yet is made, with its parents, as wget -P and aria2c -d do.
    if (const QString folder = QFileInfo(savePath_).absolutePath(); !QDir().mkpath(folder) || !QFileInfo(folder).isDir()) {
        line(err_, shownUrl_ + QStringLiteral(": ")
                       + lang("19040", "The folder to save in cannot be made:") + u' ' + QFileInfo(savePath_).absolutePath());
        jobEnded(false, QString());
        return;
    }
    existed_ = IsFilePresent(savePath_);
    // A file with a control file beside it is a download of ours that was cut short: it is
    // continued, as aria2c does. Any other file that exists waits for the options to say.
    if (auto* terminal = dynamic_cast<TerminalPrompts*>(&Prompts::instance())) {
        const bool unfinished = existed_ && QFileInfo::exists(ControlFile::pathFor(savePath_));
        terminal->setExists(options_.exists == PellanorOptions::Exists::Refuse && unfinished
                                ? PellanorOptions::Exists::Resume
                                : options_.exists);
    }
    if (!terminal_)
        line(out_, lang("19041", "Downloading") + u' ' + shownUrl_ + QStringLiteral(" -> ") + savePath_);

    // The job's signals may come while DownloadNow runs (a refused file closes it at once).
    frmDownload* job = windows_.existing(windows_.lstMain.count());
    auto watch = [this](frmDownload* j) {
        links_ << connect(j, &frmDownload::completed, this, [this] { jobEnded(true, QString()); });
        links_ << connect(j, &frmDownload::notice, this, [this](const QString& text) { line(err_, shownUrl_ + QStringLiteral(": ") + text); });
        links_ << connect(j, &frmDownload::needsUser, this, [this, j] { jobEnded(false, j->job().progress().status); });
        links_ << connect(j, &frmDownload::closed, this, [this, j] {
            if (!j->isCompleted())
                jobEnded(false, QString());
        });
    };
    if (!job)
        job = windows_.window(windows_.lstMain.count());
    if (!job) {
        line(err_, shownUrl_ + QStringLiteral(": ") + lang("19013", "No download window is free: the queue holds 51 downloads already."));
        jobEnded(false, QString());
        return;
    }
    job_ = job;
    watch(job);
    const qsizetype before = index_;
    // Without -o the server may name the file, as wget --content-disposition and aria2c do.
    DownloadWindows::PathForName named;
    if (options_.outputFile.isEmpty())
        named = [folder = folder()](const QString& name) { return QFileInfo(QDir(folder), name).absoluteFilePath(); };
    windows_.DownloadNow(url_, savePath_, -1, named);
    if (done_ <= before && job_)
        ticker_.start();
}

void DownloadCommand::jobEnded(bool ok, const QString& why)
{
    if (index_ >= options_.urls.size() || done_ > index_)
        return;  // this job has been counted already
    ++done_;
    frmDownload* job = job_;
    if (job && job->strSaveTo != savePath_) {
        // Named by the server: the lines speak of the file it became.
        savePath_ = job->strSaveTo;
        existed_ = IsFilePresent(savePath_);
    }
    for (const auto& c : links_)
        disconnect(c);
    links_.clear();
    ticker_.stop();
    if (job && ok) {
        if (terminal_) {
            showProgress();
            endLine();
        } else {
            line(out_, lang("19042", "Saved") + u' ' + savePath_ + QStringLiteral(" (")
                           + FormatBytes(double(job->GetReceivedBytes())) + u')');
        }
    } else if (job && existed_ && !job->Visible() && !job->isCompleted() && why.isEmpty()) {
        // The file was there already: the options said whether that is all right.
        if (options_.exists == PellanorOptions::Exists::Skip) {
            line(out_, lang("19043", "Skipped, the file exists already:") + u' ' + savePath_);
            ok = true;
        } else {
            line(err_, lang("19044", "The file exists already and was left alone (use --overwrite, --resume or --skip):")
                           + u' ' + savePath_);
        }
    } else if (job) {
        const QString status = why.isEmpty() ? job->job().progress().status : why;
        line(err_, lang("19045", "Failed:") + u' ' + shownUrl_ + QStringLiteral(": ") + status);
        // A job that would wait for the user is ended here; its partial file stays.
        job->Unload();
    }
    if (!ok)
        ++failures_;
    QMetaObject::invokeMethod(this, &DownloadCommand::next, Qt::QueuedConnection);
}

void DownloadCommand::interrupt()
{
    if (job_ && !job_->isCompleted()) {
        endLine();
        line(err_, lang("19046", "Interrupted; the partial file stays for --resume:") + u' ' + job_->strSaveTo);
        // The job's close is this interruption, not a failure of its own to report once more.
        for (const auto& c : links_)
            disconnect(c);
        links_.clear();
        job_->Unload();
    }
}

QString DownloadCommand::progressLine(const Progress& p)
{
    const bool completed = p.state == Progress::State::Completed;
    const QString percent = vb::numberText(double(std::max(p.percent, 0))) + u'%';
    QString textLine = QFileInfo(p.file).fileName() + QStringLiteral("  ") + percent.rightJustified(4)
                       + QStringLiteral("  ") + FormatBytes(double(p.received));
    if (p.totalKnown)
        textLine += QStringLiteral(" / ") + FormatBytes(double(p.total));
    if (p.rateMeasured)
        textLine += QStringLiteral("  ") + FormatRate(p.rate);
    if (p.timeLeft >= 0 && !completed)
        textLine += QStringLiteral("  ") + lang("19047", "left") + u' ' + FormatDuration(p.timeLeft);
    if (!completed && p.total == 0 && !p.status.isEmpty())
        textLine += QStringLiteral("  ") + p.status;
    return textLine;
}

void DownloadCommand::showProgress()
{
    if (!terminal_ || !job_)
        return;
    write(out_, QStringLiteral("\r") + progressLine(job_->job().progress()) + QStringLiteral("\x1b[K"));
    lineOpen_ = true;
}

void DownloadCommand::endLine()
{
    if (lineOpen_) {
        write(out_, QStringLiteral("\n"));
        lineOpen_ = false;
    }
}

void DownloadCommand::line(std::FILE* stream, const QString& text)
{
    endLine();
    write(stream, text + u'\n');
}

}  // namespace harbel
