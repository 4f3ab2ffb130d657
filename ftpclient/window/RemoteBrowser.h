#pragma once

#include "ftpclient/component/Listing.h"

#include <QDateTime>
#include <QHash>
#include <QString>

namespace harbel::tessaly {

class frmMain;

// The main window's remote pane: the listing of the current remote folder, moving between folders,
// the frozen copy shown while an operation changes the folder, and downloads of the selection.
class RemoteBrowser final {
public:
    explicit RemoteBrowser(frmMain& main) : main_(main) {}

    void ListFilesOnServer();
    void ListDefinedFilesOnServer(const QString& defineString);
    QString GetRemoteFolder();
    bool ChangeCurrentRemoteFolder(const QString& sNewRemotePath, bool bInteractive);
    void RefreshRemoteList();
    bool ShowServerFolder();
    bool ServerToListedFolder();
    void UpdateRemoteCommands();
    void lstRemoteFileList_DblClick();
    void cmdUpFtp_Click();
    void cboRemotePath_Click();
    void cboRemotePath_KeyPress(int keyAscii);
    void mnuRemoteGoToRemoteDirectory_Click();
    void mnuRemoteFilterAll_Click();
    void mnuRemoteFilterDefineTypes_Click();
    void SetRemoteView(int style);
    void CopyRemoteListToDelList();
    void hideDelCopies();

    // One entry of a listing as a row of the remote list (at most the window's row limit).
    void addListed(const QString& name, const QDateTime& date, qint64 size, int kind);
    // The entry of the listing shown by that name; null when there is none.
    const FolderItem* listedItem(const QString& name) const
    {
        const auto it = listed_.constFind(name);
        return it == listed_.cend() ? nullptr : &*it;
    }

private:
    void listAfterChange();
    // Lists the server's current folder (the entries matching mask) into the remote pane.
    void listFolder(const QString& mask);
    // Logs how many entries the last listing left out of the remote list, if any.
    void reportRowsLeftOut();

    frmMain& main_;
    qint64 rowsLeftOut_ = 0;
    QHash<QString, FolderItem> listed_;
};

}  // namespace harbel::tessaly
