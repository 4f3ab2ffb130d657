#include "ftpclient/window/SystemFileShell.h"

#include "common/prompts/Prompts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace harbel::tessaly {

bool SystemFileShell::openDocument(const QString& path, const QString& workingFolder)
{
    return QProcess::startDetached(QStringLiteral("xdg-open"), {path}, workingFolder);
}

bool SystemFileShell::showProperties(const QString& path)
{
    return QProcess::startDetached(QStringLiteral("xdg-open"), {QFileInfo(path).absolutePath()});
}

bool SystemFileShell::findFiles()
{
    for (const char* tool : {"catfish", "gnome-search-tool", "kfind", "mate-search-tool"}) {
        const QString exe = QStandardPaths::findExecutable(QLatin1String(tool));
        if (!exe.isEmpty())
            return QProcess::startDetached(exe, {});
    }
    return QProcess::startDetached(QStringLiteral("xdg-open"), {QDir::homePath()});
}

bool SystemFileShell::startProgram(const QString& program, const QStringList& arguments)
{
    return QProcess::startDetached(program, arguments, QFileInfo(program).absolutePath());
}

bool SystemFileShell::moveToTrash(const QString& path, QString* error)
{
    QFile file(path);
    if (file.moveToTrash())
        return true;
    if (error)
        *error = QStringLiteral("Could not move %1 to the trash: %2").arg(path, file.errorString());
    return false;
}

bool SystemFileShell::emptyTrash(QString* error)
{
    const QString trash = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Trash");
    if (Prompts::instance().MsgBox(QStringLiteral("Permanently delete every item in the trash?"), MsgButtons::YesNo,
                                   MsgIcon::Exclamation, QStringLiteral("Empty Trash")) != MsgAnswer::Yes)
        return true;
    bool ok = true;
    for (const char* sub : {"files", "info", "expunged"}) {
        QDir dir(trash + QLatin1Char('/') + QLatin1String(sub));
        if (!dir.exists())
            continue;
        for (const QFileInfo& entry : dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
            const bool removed = entry.isDir() && !entry.isSymLink() ? QDir(entry.filePath()).removeRecursively()
                                                                     : QFile::remove(entry.filePath());
            if (!removed) {
                ok = false;
                if (error)
                    *error = QStringLiteral("Could not remove %1 from the trash.").arg(entry.filePath());
            }
        }
    }
    return ok;
}

}  // namespace harbel::tessaly
