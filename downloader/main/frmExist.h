#pragma once

#include "common/controls/Control.h"
#include "common/controls/Form.h"

namespace harbel {

// The question asked when a download's file already exists: overwrite, resume or cancel. Each
// button sets the program's FileExistsAction and closes the window.
class frmExist final : public Form {
    Q_OBJECT
public:
    explicit frmExist(QObject* parent = nullptr);

    Label lblWarning{*this, QStringLiteral("lblWarning")};
    Button cmdOverwrite{*this, QStringLiteral("cmdOverwrite")};
    Button cmdResume{*this, QStringLiteral("cmdResume")};
    Button Command3{*this, QStringLiteral("Command3")};

    void cmdOverwrite_Click();
    void cmdResume_Click();
    void Command3_Click();
};

}  // namespace harbel
