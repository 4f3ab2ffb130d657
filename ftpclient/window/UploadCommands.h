#pragma once

#include <QString>

namespace harbel::tessaly {

class frmMain;

// Uploads from the local pane into the current remote folder: files with the clash question
// (frmExist), folders as trees, and the transfer mode chosen by extension in auto mode.
class UploadCommands final {
public:
    explicit UploadCommands(frmMain& main) : main_(main) {}

    // Sends the local folder `path` with all it holds into a folder of the same name in the current
    // remote folder (made when missing), and stays in that remote folder.
    void UploadFolderTree(const QString& path);
    void UploadOneFile(const QString& filePath);
    void applyAutoMode(const QString& fileName);

private:
    frmMain& main_;
};

}  // namespace harbel::tessaly
