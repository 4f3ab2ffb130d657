// Uploads from the local pane into the current remote folder: files with the clash question,
// folders as trees, and the transfer mode chosen by extension in auto mode.

#include "ftpclient/core/frmMain.h"

#include "common/platform/Prompts.h"
#include "ftpclient/core/FtpListing.h"
#include "ftpclient/core/MainWindowText.h"
#include "ftpclient/core/frmExist.h"

#include <QDir>
#include <QFileInfo>

namespace harbel::tessaly {

namespace {

// Folders nested deeper than this are not sent: a tree that deep is a loop more often than not.
constexpr int kMaxUploadDepth = 64;

}  // namespace

void frmMain::applyAutoMode(const QString& fileName)
{
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    const QString extension = dot >= 0 ? fileName.mid(dot + 1).toLower() : QString();
    // The list's entries are compared as they are stored: one written in capitals never matches.
    xFtp.TransferMode = !extension.isEmpty() && autoTypes.contains(extension) ? 1 : 0;
}

void frmMain::UploadSelection()
{
    const Operation op(*this);
    if (op.refused())
        return;
    if (xFtp.State() == FtpComponent::NotConnected) {
        StatusBarInfo(QStringLiteral("Cannot upload file(s) when not connected."));
        return;
    }
    checkAll = false;
    setMousePointer(kHourglass);
    SetBusyState(true);
    bool complete = true;
    QString outcome;
    try {
        // Names and kinds first: the local list may change while the files go.
        QList<std::pair<QString, int>> rows;
        for (ListRow* r : lstLocalFileList.selectedRows())
            rows.append({r->Text(), r->SmallIcon()});
        int answer = frmExist::Overwrite;
        const bool mlsd = xFtp.offersMlsd() && xFtp.ListingOption == 1;
        for (const auto& [name, icon] : rows) {
            const QString reason = listing::unsafeNameReason(name);
            if (!reason.isEmpty()) {
                DisplayMessage(QStringLiteral("Refused to upload '%1': %2.").arg(name, reason));
                continue;
            }
            const QString path = sLocalPath + name;
            if (icon == 2) {
                const bool sub = Prompts::instance().MsgBox(QStringLiteral("Do you want to send any subfolders that are contained in the '")
                                                                + path + QStringLiteral("' folder?"),
                                                            MsgButtons::YesNo, MsgIcon::Question, kConfirm) == MsgAnswer::Yes;
                if (sub && bAutoMode) {
                    // The tree is sent from inside it; the rest of the selection goes where it began.
                    const QString start = xFtp.CurrentFolder();
                    UploadFolderTree(path);
                    if (!ChangeCurrentRemoteFolder(start, true))
                        throw FtpError(ftpErrServerRefused, QStringLiteral("Could not go back to the remote folder ") + start);
                } else {
                    xFtp.SendFiles(path + QStringLiteral("/*"), name, true, sub);
                }
                continue;
            }
            const QFileInfo local(path);
            qint64 offset = 0;
            bool resume = true;
            bool skip = false;
            for (const FolderItem& item : xFtp.GetFolderItems(QString(), 0)) {
                if (item.Name != name)
                    continue;
                // Times are compared as exactly as the listing gives them.
                const bool sameTime = listing::compareTimes(item.Date, local.lastModified(),
                                                            listing::listedPrecision(item, mlsd)) == 0;
                if (item.Size != local.size() || !sameTime) {
                    if (!checkAll) {
                        frmExist question;
                        question.lblDestination.setCaption(QStringLiteral("Destination File Size: ") + QString::number(item.Size)
                                                           + QStringLiteral(" Last Modified: ") + generalDate(item.Date));
                        question.lblSource.setCaption(QStringLiteral("Source File Size: ") + QString::number(local.size())
                                                      + QStringLiteral(" Last Modified: ") + generalDate(local.lastModified()));
                        Prompts::instance().ShowModal(question);
                        answer = question.eResumeFile;
                        checkAll = question.chkAll.Value() == 1;
                    }
                    switch (answer) {
                    case frmExist::Overwrite:
                        resume = false;
                        break;
                    case frmExist::Resume:
                        offset = item.Size;
                        break;
                    case frmExist::Skip:
                        skip = true;
                        break;
                    default:
                        // Cancel ends the whole upload; this file is not sent.
                        Abort();
                        throw FtpError(ftpErrAborted, QStringLiteral("The upload was cancelled."));
                    }
                }
                break;
            }
            if (bAutoMode)
                applyAutoMode(name);
            if (skip)
                DisplayMessage(QStringLiteral("Skiped sending file: ") + name);
            else
                xFtp.SendFile(path, offset, name, resume);
        }
    } catch (const FtpError& e) {
        complete = false;
        if (e.Number() == ftpErrAborted) {
            DisplayMessage(QStringLiteral("Upload successfully aborted."));
            outcome = QStringLiteral("Upload aborted.");
        } else {
            DisplayMessage(QStringLiteral("Error while uploading file(s). Description: ") + e.Description());
            outcome = QStringLiteral("Error while uploading file(s).");
        }
    }
    ResetProgress();
    setMousePointer(0);
    SetBusyState(false);
    // The list first: its own status would hide how the upload ended.
    if (xFtp.State() == FtpComponent::Idle)
        RefreshRemoteList();
    if (complete)
        UpdateAction(QStringLiteral("Upload complete"));
    else
        StatusBarInfo(outcome);
}

void frmMain::UploadFolderTree(const QString& path)
{
    uploadFolderTree(path, 0);
}

void frmMain::uploadFolderTree(QString path, int depth)
{
    if (xFtp.State() != FtpComponent::Idle)
        return;
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    const QString name = path.section(QLatin1Char('/'), -2, -2);
    bool there = false;
    for (const FolderItem& item : xFtp.GetFolderItems(QString(), 0))
        there = there || item.Name.toLower() == name.toLower();
    if (!there)
        xFtp.CreateFolder(name);
    // Sending into another folder than the one asked for would scatter the tree: stop instead.
    if (!ChangeCurrentRemoteFolder(name, true))
        throw FtpError(ftpErrServerRefused, QStringLiteral("Could not enter the remote folder ") + name);
    QStringList folders;
    const QFileInfoList entries =
        QDir(path).entryInfoList(QDir::Files | QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& entry : entries) {
        const QString entryName = entry.fileName();
        const QString reason = listing::unsafeNameReason(entryName);
        if (!reason.isEmpty()) {
            DisplayMessage(QStringLiteral("Refused to upload '%1': %2.").arg(entryName, reason));
        } else if (entry.isDir() && entry.isSymLink()) {
            DisplayMessage(QStringLiteral("Skipped the folder %1: it is a symbolic link.").arg(entry.filePath()));
        } else if (entry.isDir()) {
            folders.append(entryName);
        } else if (!entry.isFile()) {
            DisplayMessage(QStringLiteral("Skipped %1: it is not a regular file.").arg(entry.filePath()));
        } else {
            UploadOneFile(path + entryName);
        }
    }
    if (depth >= kMaxUploadDepth && !folders.isEmpty()) {
        DisplayMessage(QStringLiteral("Folders nested deeper than %1 levels are not sent: %2").arg(kMaxUploadDepth).arg(path));
        folders.clear();
    }
    for (const QString& folder : std::as_const(folders)) {
        uploadFolderTree(path + folder + QLatin1Char('/'), depth + 1);
        xFtp.ChangeToParent();
        sRemotePath = GetRemoteFolder();
    }
}

void frmMain::UploadOneFile(const QString& filePath)
{
    const QString name = QFileInfo(filePath).fileName();
    if (optAuto.Value())
        applyAutoMode(name);
    xFtp.SendFile(filePath, 0, name, false);
}

}  // namespace harbel::tessaly
