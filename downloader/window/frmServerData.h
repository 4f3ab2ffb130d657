#pragma once

#include "common/controls/Control.h"
#include "common/controls/Form.h"

namespace harbel {

// "Server Interaction Info": the dialogue a download job had with its server, one window shared
// by every download window.
class frmServerData final : public Form {
    Q_OBJECT
public:
    explicit frmServerData(QObject* parent = nullptr);

    // The program's one window.
    static frmServerData& shared();

    TextBox txtServerData{*this, QStringLiteral("txtServerData")};
    Button cmdCopyClip{*this, QStringLiteral("cmdCopyClip")};
    Button cmdExit{*this, QStringLiteral("cmdExit")};

    // Shows the given server dialogue without blocking, replacing what was shown before.
    void showLog(const QString& log);

    void Form_Load();
    void cmdCopyClip_Click();
    void cmdExit_Click();
    // Closing the window unloads it.
    void Unload();

    bool isLoaded() const { return loaded_; }

private:
    bool loaded_ = false;
};

}  // namespace harbel
