#pragma once

namespace harbel::tessaly {

class frmMain;

// The two one-way synchronisations between the current local folder and the current remote folder:
// files only, one level deep, compared by modification time or by size.
class DirectorySyncCommands final {
public:
    explicit DirectorySyncCommands(frmMain& main) : main_(main) {}

    // Local folder from the remote one.
    void mnuDirSyncDown_Click();
    // Remote folder from the local one.
    void mnuSyncDirUp_Click();

private:
    // The end of a run: normal pointer, not busy, both lists listed again.
    void end();

    frmMain& main_;
};

}  // namespace harbel::tessaly
