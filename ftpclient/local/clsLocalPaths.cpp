#include "ftpclient/local/clsLocalPaths.h"

#include "common/prompts/Prompts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>

#include <sys/stat.h>

namespace harbel::tessaly {

namespace {
const QString kErrorTitle = QStringLiteral("FTP Client[Error]");
const QString kNoticeTitle = QStringLiteral("FTP Client[Notice]");
}  // namespace

clsLocalPaths::clsLocalPaths(std::function<void(const QString&)> log, QObject* parent)
    : QObject(parent), log_(std::move(log))
{
}

void clsLocalPaths::RetrieveLogicalDrives()
{
    // The root first, then every other mounted file system a user would browse.
    emit LogicalDriveFound(QStringLiteral("/"));
    QStringList seen{QStringLiteral("/")};
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (!volume.isValid() || !volume.isReady())
            continue;
        QString root = volume.rootPath();
        if (!root.endsWith(QLatin1Char('/')))
            root += QLatin1Char('/');
        const QByteArray type = volume.fileSystemType();
        if (seen.contains(root) || root.startsWith(QLatin1String("/proc")) || root.startsWith(QLatin1String("/sys"))
            || root.startsWith(QLatin1String("/dev")) || root.startsWith(QLatin1String("/run")) || type == "tmpfs"
            || type == "overlay" || type == "squashfs")
            continue;
        seen.append(root);
        emit LogicalDriveFound(root);
    }
}

bool clsLocalPaths::enumerate(const QString& sPath, const QString& mask)
{
    QDir dir(sPath);
    if (!dir.exists() || !QFileInfo(sPath).isReadable())
        return false;
    QStringList filters;
    if (!mask.isEmpty() && mask != QLatin1String("*") && mask != QLatin1String("*.*"))
        filters << mask;
    dir.setNameFilters(filters);
    dir.setFilter(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    dir.setSorting(QDir::Name | QDir::DirsFirst | QDir::IgnoreCase);
    const QStringList names = dir.entryList();
    for (const QString& name : names) {
        const QString full = sPath + name;
        const QFileInfo info(full);
        int attributes = -1;
        QDateTime date;
        qint64 size = 0;
        struct stat st {};
        // An entry we cannot read (a dangling link, a vanished file) is still listed.
        if (::stat(QFile::encodeName(full).constData(), &st) == 0) {
            attributes = 0;
            if (S_ISDIR(st.st_mode))
                attributes |= Directory;
            if (name.startsWith(QLatin1Char('.')))
                attributes |= Hidden;
            if (!info.isWritable())
                attributes |= ReadOnly;
            date = info.lastModified();
            size = S_ISDIR(st.st_mode) ? 0 : qint64(st.st_size);
        } else if (info.isSymLink()) {
            date = info.symLinkTarget().isEmpty() ? QDateTime() : QFileInfo(info.filePath()).lastModified();
        }
        emit UpdateLocalEntry(name, date, size, attributes);
    }
    return true;
}

void clsLocalPaths::RetrieveLocalFolderContents(const QString& sPath)
{
    if (!enumerate(sPath, QString())) {
        Prompts::instance().MsgBox(QStringLiteral("Cannot read the contents of ") + sPath, MsgButtons::OkOnly, MsgIcon::Critical, kErrorTitle);
        return;
    }
    emit AddToLocalPaths(sPath);
}

void clsLocalPaths::RetrieveDefinedLocalFolderContents(const QString& sPath, const QString& definedType)
{
    if (!enumerate(sPath, definedType)) {
        Prompts::instance().MsgBox(QStringLiteral("Cannot read the contents of ") + sPath, MsgButtons::OkOnly, MsgIcon::Critical, kErrorTitle);
        if (log_)
            log_(QStringLiteral("Cannot read the contents of") + QLatin1Char(' ') + sPath);
        return;
    }
    emit AddToLocalPaths(sPath);
}

void clsLocalPaths::notice(const QString& text)
{
    Prompts::instance().MsgBox(text, MsgButtons::OkCancel, MsgIcon::Critical, kNoticeTitle);
}

void clsLocalPaths::DeleteLocalFile(const QString& sFileToDelete)
{
    const QFileInfo info(sFileToDelete);
    // A link is removed itself, never what it points at; folders are not files.
    if ((info.isDir() && !info.isSymLink()) || !QFile::remove(sFileToDelete))
        notice(QStringLiteral("Cannot delete ") + sFileToDelete);
}

void clsLocalPaths::RenameLocalFile(const QString& sCurrentName, const QString& sNewName)
{
    // Never replace an existing entry by renaming onto it.
    if (QFileInfo::exists(sNewName) || QFileInfo(sNewName).isSymLink() || !QFile::rename(sCurrentName, sNewName))
        notice(QStringLiteral("Cannot rename ") + sCurrentName);
}

void clsLocalPaths::CreateLocalFolder(const QString& sFolderToCreate)
{
    if (!QDir().mkdir(sFolderToCreate))
        notice(QStringLiteral("Cannot create ") + sFolderToCreate);
}

void clsLocalPaths::RemoveLocalFolder(const QString& sFolderToDelete)
{
    if (!QDir().rmdir(sFolderToDelete))
        notice(QStringLiteral("Cannot remove ") + sFolderToDelete);
}

}  // namespace harbel::tessaly
