#include "ftpclient/component/TransferEnds.h"

#include "ftpclient/component/FtpComponent.h"
#include "ftpclient/component/LocalFile.h"

#include <QFileInfo>

namespace harbel::tessaly {

namespace {

// "20240131093000" as MDTM answers and MFMT asks, always in UTC; seconds are all FTP keeps.
constexpr auto kFtpTime = "yyyyMMddHHmmss";

}  // namespace

std::optional<QString> TransferEnds::query(const QString& line)
{
    try {
        return ftp_.SendCommand(line).text().trimmed();
    } catch (const FtpError& e) {
        if (e.Number() != ftpErrServerRefused)
            throw;
        return std::nullopt;
    }
}

int TransferEnds::ask(RemoteSession& session, FileClash clash)
{
    const QFileInfo local(clash.localPath);
    clash.localSize = local.size();
    clash.localTime = local.lastModified();
    // Nobody to ask: leave the file as it is and go no further.
    int answer = FileClash::Cancel;
    emit session.FileExists(clash, answer);
    return answer;
}

int TransferEnds::askDownload(const QString& remoteName, const QString& localPath, qint64 listedSize, const QDateTime& listedTime)
{
    FileClash clash;
    clash.localPath = localPath;
    clash.remoteName = remoteName;
    clash.remoteSize = listedSize;
    clash.remoteTime = listedTime;
    if (listedSize < 0 && ftp_.size_) {
        // Sizes are byte counts: some servers refuse SIZE in ASCII mode.
        if (const QString type = ftp_.typeToSend(false); !type.isEmpty())
            query(type);
        bool ok = false;
        const qint64 size = query(QStringLiteral("SIZE ") + remoteName).value_or(QString()).toLongLong(&ok);
        clash.remoteSize = ok ? size : -1;
    }
    if (!listedTime.isValid() && ftp_.mdtm_) {
        QDateTime t = QDateTime::fromString(query(QStringLiteral("MDTM ") + remoteName).value_or(QString()).left(14), QLatin1String(kFtpTime));
        t.setTimeSpec(Qt::UTC);
        clash.remoteTime = t;
    }
    return ask(ftp_, clash);
}

bool TransferEnds::sendAsking(const QString& localPath, const QString& remoteName, const QList<FolderItem>& remoteEntries)
{
    const QFileInfo local(localPath);
    const bool mlsd = ftp_.offersMlsd() && ftp_.ListingOption == 1;
    qint64 offset = 0;
    bool resume = true;
    // The entries are those of the folder the remote name (a name, or a path) ends in.
    const QString name = remoteName.section(QLatin1Char('/'), -1);
    for (const FolderItem& item : remoteEntries) {
        if (item.Name != name)
            continue;
        // Times are compared as exactly as the listing gives them.
        const bool sameTime = listing::compareTimes(item.Date, local.lastModified(), listing::listedPrecision(item, mlsd)) == 0;
        if (item.Size == local.size() && sameTime)
            break;
        FileClash clash;
        clash.upload = true;
        clash.localPath = localPath;
        clash.remoteName = remoteName;
        clash.remoteSize = item.Size;
        clash.remoteTime = item.Date;
        switch (ask(ftp_, clash)) {
        case FileClash::Overwrite:
            resume = false;
            break;
        case FileClash::Resume:
            offset = item.Size;
            break;
        case FileClash::Skip:
            return false;
        default:
            throw FtpError(ftpErrAborted, QStringLiteral("The upload was cancelled."));
        }
        break;
    }
    // The final reply vouches for a whole file sent in a batch; a resumed one is checked, as
    // servers differ in how they continue a file.
    ftp_.send(localPath, offset, remoteName, resume, false);
    return true;
}

void TransferEnds::keepRemoteTime(const QString& remoteName, const QString& localPath, const QDateTime& listedTime)
{
    if (!ftp_.KeepFileTimes || (!ftp_.mdtm_ && !listedTime.isValid()))
        return;
    QDateTime t = listedTime;
    if (!t.isValid()) {
        t = QDateTime::fromString(query(QStringLiteral("MDTM ") + remoteName).value_or(QString()).left(14), QLatin1String(kFtpTime));
        t.setTimeSpec(Qt::UTC);
    }
    if (t.isValid() && !LocalFile::setModificationTime(localPath, t))
        emit ftp_.LogLine(QStringLiteral("Could not give %1 the server's modification time.").arg(localPath));
}

void TransferEnds::keepLocalTime(const QString& localPath, const QString& remoteName)
{
    if (!ftp_.KeepFileTimes || !(ftp_.mfmt_ || ftp_.siteUtime_))
        return;
    const QString when = QFileInfo(localPath).lastModified().toUTC().toString(QLatin1String(kFtpTime));
    query((ftp_.mfmt_ ? QStringLiteral("MFMT ") : QStringLiteral("SITE UTIME ")) + when + u' ' + remoteName);
}

}  // namespace harbel::tessaly
