#pragma once

#include "common/prompts/Prompts.h"
#include "downloader/app/CommandLine.h"
#include "downloader/engine/Progress.h"

#include <QObject>
#include <QTimer>

#include <cstdio>

namespace harbel {

class DownloadWindows;
class frmDownload;

// Prompts of the command-line mode: the file-exists question is answered from the options and
// every message box is written out as a line (information on the standard output, the rest on
// the standard error) and given its default answer.
class TerminalPrompts final : public Prompts {
public:
    explicit TerminalPrompts(PellanorOptions::Exists exists) : exists_(exists) {}

    // Called before a line is written, so a live progress line can end first.
    std::function<void()> beforeLine;

    MsgAnswer MsgBox(const QString& text, MsgButtons buttons, MsgIcon icon, const QString& title) override;
    std::optional<QString> InputBox(const QString&, const QString&, const QString&) override { return std::nullopt; }
    std::optional<QString> SaveFileName(const QString&, const QString&, const QString&) override { return std::nullopt; }
    std::optional<QString> OpenFileName(const QString&, const QString&, const QString&) override { return std::nullopt; }
    std::optional<QString> ChooseFolder(const QString&, const QString&) override { return std::nullopt; }
    void ShowModal(Form& form) override;
    // Yes/No questions (the segment question, the stop question of a segmented job) get Yes; a
    // warning (a control file that cannot be kept) never does.
    void setAnswerYes(bool yes) { answerYes_ = yes; }
    // The answer to the file-exists question of the next download.
    void setExists(PellanorOptions::Exists exists) { exists_ = exists; }

private:
    PellanorOptions::Exists exists_;
    bool answerYes_ = false;
};

// `pellanor --download`: every address goes in turn through a download job of the main module,
// as in the window mode; the jobs are shown as one progress line each.
class DownloadCommand final : public QObject {
    Q_OBJECT
public:
    DownloadCommand(const PellanorOptions& options, DownloadWindows& windows, std::FILE* out, std::FILE* err,
                    bool terminal);

    // Starts the first download; finished() follows the last one.
    void start();
    // 0 when every file is complete (or skipped with --skip), 1 otherwise.
    int exitCode() const { return failures_ == 0 && done_ == options_.urls.size() ? 0 : 1; }
    bool isFinished() const { return done_ == options_.urls.size(); }
    // Ends the current download where it is (the partial file stays for a later --resume).
    void interrupt();

    // Ends a live progress line, so that another line can follow.
    void endLine();

    // The progress line of a job: name, percentage, received of total, rate, time left.
    static QString progressLine(const Progress& progress);

signals:
    void finished();

private:
    void next();
    void jobEnded(bool ok, const QString& why);
    void showProgress();
    void line(std::FILE* stream, const QString& text);
    QString savePathFor(const QString& url, QString* refusal) const;
    // The folder of -d, else the current one.
    QString folder() const;

    PellanorOptions options_;
    DownloadWindows& windows_;
    std::FILE* out_;
    std::FILE* err_;
    bool terminal_;
    QTimer ticker_;
    frmDownload* job_ = nullptr;
    QString url_;
    QString shownUrl_;  // url_ with its password masked, for the lines printed
    QString savePath_;
    bool existed_ = false;
    bool lineOpen_ = false;
    qsizetype index_ = -1;
    qsizetype done_ = 0;
    int failures_ = 0;
    QList<QMetaObject::Connection> links_;
};

}  // namespace harbel
