#pragma once

#include "ftpclient/window/FileShell.h"

namespace harbel::tessaly {

// The freedesktop implementation: xdg-open, the freedesktop trash, detached processes.
class SystemFileShell final : public FileShell {
public:
    bool openDocument(const QString& path, const QString& workingFolder) override;
    bool showProperties(const QString& path) override;
    bool findFiles() override;
    bool startProgram(const QString& program, const QStringList& arguments) override;
    bool moveToTrash(const QString& path, QString* error) override;
    bool emptyTrash(QString* error) override;
};

}  // namespace harbel::tessaly
