#pragma once

#include "common/controls/Control.h"
#include "common/controls/Form.h"

namespace harbel::tessaly {

// The site dialog: address, port, login, anonymous and passive choices, Connect and Cancel.
class frmConnectionInfo final : public Form {
    Q_OBJECT
public:
    struct Site {
        QString address;
        QString port;
        QString user;
        QString password;
        bool anonymous = false;
        bool passive = true;
    };

    explicit frmConnectionInfo(QObject* parent = nullptr);

    // Shows the dialog modally, pre-filled with site; returns true when Connect was pressed, with
    // the edited values in site.
    bool ShowForm(Site& site);

    void cmdConnect_Click();
    void cmdCancel_Click();
    // A port that is not a number becomes "21".
    void txtPort_Change();
    void chkAnonymous_Click();

    TextBox txtAddress{*this, QStringLiteral("txtAddress")};
    TextBox txtPort{*this, QStringLiteral("txtPort")};
    TextBox txtUser{*this, QStringLiteral("txtUser")};
    TextBox txtPassword{*this, QStringLiteral("txtPassword")};
    CheckBox chkAnonymous{*this, QStringLiteral("chkAnonymous")};
    CheckBox chkPassive{*this, QStringLiteral("chkPassive")};
    Button cmdConnect{*this, QStringLiteral("cmdConnect")};
    Button cmdCancel{*this, QStringLiteral("cmdCancel")};

private:
    bool connectPressed_ = false;
};

}  // namespace harbel::tessaly
