#pragma once

#include "common/controls/Control.h"
#include "common/controls/Form.h"

namespace harbel {

// The folder chooser of the settings' "Browse" buttons: a folder path, a way to make a new
// sub-folder, and the chosen folder in strDirPath after "&OK".
class frmDir final : public Form {
    Q_OBJECT
public:
    explicit frmDir(QObject* parent = nullptr);

    TextBox txtPath{*this, QStringLiteral("txtPath")};
    Button cmdOk{*this, QStringLiteral("cmdOk")};
    Button cmdCancel{*this, QStringLiteral("cmdCancel")};
    Button cmdNewFolder{*this, QStringLiteral("cmdNewFolder")};

    QString strDirPath;

    // Shows the folder the chooser opens on.
    void setPath(const QString& folder);
    void cmdOk_Click();
    void cmdCancel_Click();
    // Makes a sub-folder of the current one and moves into it; false (with a message) when the
    // name is unusable or the folder cannot be made.
    bool cmdNewFolder_Click(const QString& name);
};

}  // namespace harbel
