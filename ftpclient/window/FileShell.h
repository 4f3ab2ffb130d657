#pragma once

#include <QString>
#include <QStringList>

namespace harbel::tessaly {

// What the FTP client asks of the desktop: opening documents, the file manager, other programs and
// the trash. The program uses the system's; tests put a recorder in its place.
class FileShell {
public:
    virtual ~FileShell() = default;
    // Opens a file with its default application, in the given working folder.
    virtual bool openDocument(const QString& path, const QString& workingFolder) = 0;
    // Shows a file's properties (the file manager on its folder).
    virtual bool showProperties(const QString& path) = 0;
    // Opens the desktop's file search with no folder preset.
    virtual bool findFiles() = 0;
    virtual bool startProgram(const QString& program, const QStringList& arguments) = 0;
    virtual bool moveToTrash(const QString& path, QString* error) = 0;
    // Empties the trash; the desktop asks for confirmation first.
    virtual bool emptyTrash(QString* error) = 0;

    // The shell in use: the system's (SystemFileShell) unless one was set.
    static FileShell& instance();
    static void setInstance(FileShell* shell);
};

}  // namespace harbel::tessaly
