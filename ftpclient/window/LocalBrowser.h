#pragma once

#include <QDateTime>
#include <QString>

namespace harbel::tessaly {

class frmMain;

// The main window's local pane: the local folders and drives, the listing of the current folder,
// and the local file commands (delete, trash, rename, create, open, properties, search).
class LocalBrowser final {
public:
    explicit LocalBrowser(frmMain& main) : main_(main) {}

    // The events of the window's clsLocalPaths.
    void connectPaths();
    void loadDrives();
    bool ChangeCurrentLocalFolder(const QString& sNewLocalPath);
    void RefreshLocalList();
    void UpdateLocalCommands();
    void lstLocalFileList_DblClick();
    void cmdUpLocal_Click();
    void cboLocalPath_Click();
    void cboLocalPath_KeyPress(int keyAscii);
    void mnuLocalFilterAll_Click();
    void mnuLocalFilterDefineTypes_Click();
    void SetLocalView(int style);
    void miDeleteLocalFile_Click();
    void mnuLocalDeleteFileToRecycleBin_Click();
    void miRenameLocalFile_Click();
    void miCreateLocalFolder_Click();
    void mnuLocalOpenFile_Click();
    void mnuLocalProperties_Click();
    void mnuLocalFindFiles_Click();
    void mnuToolsEmptyLocalRecycleBin_Click();

private:
    void xLocal_UpdateLocalEntry(const QString& name, const QDateTime& date, qint64 size, int attrib);
    void xLocal_AddToLocalPaths(const QString& path);
    void xLocal_LogicalDriveFound(const QString& drive);
    QString selectionName() const;

    frmMain& main_;
};

}  // namespace harbel::tessaly
