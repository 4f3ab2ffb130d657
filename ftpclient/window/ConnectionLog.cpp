// The connection log of the FTP client's main window: the list on screen, the log file and the
// start-up rule that deletes old logs.

#include "ftpclient/window/ConnectionLog.h"

#include "common/platform/AppFolder.h"
#include "common/platform/FileWrite.h"
#include "common/platform/PrivateFile.h"
#include "common/prompts/Prompts.h"
#include "common/support/VbText.h"
#include "ftpclient/config/ClientSettings.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace harbel::tessaly {

namespace {

// The width a line of the log takes, in pixels of the log's font.
int textWidth(const QString& text)
{
    return int(text.size()) * 7;
}

constexpr int kScrollBarWidth = 17;

}  // namespace

QString ConnectionLog::filePath() const
{
    // Only the base name counts: no folder part, no extension.
    QString name = QFileInfo(setting(QStringLiteral("LOG FILE NAME"), QStringLiteral("FTP.LOG"))).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0)
        name = name.left(dot);
    if (name.isEmpty())
        name = QStringLiteral("FTP");
    return AppFolder::file(QStringLiteral("log/")) + name + QStringLiteral(".log");
}

QString ConnectionLog::connectionLine(int connection, const QString& text)
{
    return QStringLiteral("[%1] ").arg(connection) + text;
}

void ConnectionLog::add(const QString& sMessage)
{
    const int width = textWidth(sMessage) + kScrollBarWidth;
    if (width > list_.Tag()) {
        list_.setHorizontalExtent(width);
        list_.setTag(width);
    }
    list_.AddItem(sMessage);
    if (list_.Items().size() > lineLimit)
        list_.RemoveOldest(int(list_.Items().size()) - qMax(0, lineLimit));
    list_.setListIndex(int(list_.Items().size()) - 1);

    // One record per message: #date#,"text" with quotes doubled and line breaks flattened.
    QString text = sMessage;
    text.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    const QByteArray record = "#" + QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toUtf8() + "#,\""
                              + text.toUtf8() + "\"\n";
    const QString path = filePath();
    QString failure;
    if (path != file_.fileName() || !file_.isOpen()) {
        // Opened once and kept open: a busy session logs thousands of lines.
        file_.close();
        file_.setFileName(path);
        // Only a plain file of this user, never a link: opening a pipe would block the program.
        const QFileInfo existing(path);
        if (!PrivateFile::openAppend(file_, path))
            failure = existing.isSymLink() || (existing.exists() && !existing.isFile()) ? QStringLiteral("it is not a plain file")
                : existing.exists() && existing.ownerId() != ::geteuid() ? QStringLiteral("it belongs to another user")
                                                                          : QString::fromLocal8Bit(std::strerror(errno));
    }
    if (failure.isEmpty() && FileWrite::write(file_, record, &failure))
        FileWrite::flush(file_, &failure);
    if (!failure.isEmpty())
        file_.close();
    if (!failure.isEmpty() && !failureShown_) {
        // Shown once: a log that cannot be written must not stop every later message.
        failureShown_ = true;
        Prompts::instance().MsgBox(QStringLiteral("Could not write the log file ") + path + QStringLiteral(": ") + failure,
                                   MsgButtons::OkOnly, MsgIcon::Critical, title_);
    }
}

bool ConnectionLog::deleteFiles()
{
    // Only the log files this program writes, and never through a link: a "log" that is a link to
    // a folder of the user's, or anything else kept in the folder, stays as it is.
    file_.close();
    const QFileInfo folder(AppFolder::file(QStringLiteral("log")));
    if (!folder.exists() || folder.isSymLink() || !folder.isDir())
        return true;
    bool ok = true;
    const QFileInfoList logs = QDir(folder.filePath()).entryInfoList({QStringLiteral("*.log")}, QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo& log : logs)
        if (!log.isSymLink() && log.isFile())
            ok = QFile::remove(log.filePath()) && ok;
    return ok;
}

void ConnectionLog::applyStartRule()
{
    bool failed = false;
    if (settingFlag(QStringLiteral("DELETE LOG ON STARTUP"), QStringLiteral("1"))) {
        failed = !deleteFiles();
    } else if (settingFlag(QStringLiteral("DELETE LOG IF SIZE EXCEEDS"), QStringLiteral("0"))) {
        const QFileInfo log(filePath());
        const double limit = vb::Val(setting(QStringLiteral("LOG FILE SIZE"), QStringLiteral("1000")));
        if (log.exists() && double(log.size()) > limit)
            failed = !deleteFiles();
    }
    if (failed) {
        Prompts::instance().MsgBox(QStringLiteral("Path/File access error Err No.75"), MsgButtons::OkOnly, MsgIcon::Critical, title_);
    }
}

void ConnectionLog::clear()
{
    list_.Clear();
}

}  // namespace harbel::tessaly
