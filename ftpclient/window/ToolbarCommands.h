#pragma once

#include <QString>

namespace harbel::tessaly {

class frmMain;

// The toolbar of the main window: each command text ("IDC_FS_...") and the handler it runs.
class ToolbarCommands final {
public:
    explicit ToolbarCommands(frmMain& main) : main_(main) {}

    void run(const QString& command);

private:
    frmMain& main_;
};

}  // namespace harbel::tessaly
