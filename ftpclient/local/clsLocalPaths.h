#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>

#include <functional>

namespace harbel::tessaly {

// Enumerates local folders and drives and performs local file operations, reporting entries
// through its events and failures in message boxes. It keeps no state.
class clsLocalPaths final : public QObject {
    Q_OBJECT
public:
    // Attribute bits of an entry (nAttrib); -1 when they could not be read.
    enum Attributes { ReadOnly = 1, Hidden = 2, Directory = 16 };

    // log receives the messages this class writes to the connection log.
    explicit clsLocalPaths(std::function<void(const QString&)> log = {}, QObject* parent = nullptr);

    void RetrieveLogicalDrives();
    void RetrieveLocalFolderContents(const QString& sPath);
    void RetrieveDefinedLocalFolderContents(const QString& sPath, const QString& definedType);
    void DeleteLocalFile(const QString& sFileToDelete);
    void RenameLocalFile(const QString& sCurrentName, const QString& sNewName);
    void CreateLocalFolder(const QString& sFolderToCreate);
    void RemoveLocalFolder(const QString& sFolderToDelete);

signals:
    void UpdateLocalEntry(const QString& name, const QDateTime& dtDate, qint64 lSize, int nAttrib);
    void AddToLocalPaths(const QString& sPathToAdd);
    void LogicalDriveFound(const QString& sDriveToAdd);

private:
    bool enumerate(const QString& sPath, const QString& mask);
    void notice(const QString& text);

    std::function<void(const QString&)> log_;
};

}  // namespace harbel::tessaly
