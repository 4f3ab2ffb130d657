#pragma once

#include "common/controls/Control.h"
#include "common/controls/Form.h"

#include <QStringList>

namespace harbel {

class frmMain;

// The Enter URL dialog: an address box with the addresses of both lists to pick from. Its "&Ok"
// is the one road every address takes into the download manager.
class frmURL final : public Form {
    Q_OBJECT
public:
    explicit frmURL(frmMain& main);

    TextBox txtURL{*this, QStringLiteral("txtURL")};
    Button cmdOk{*this, QStringLiteral("cmdOk")};
    // The drop-down of txtURL.
    QStringList urlHistory;

    // Fills the drop-down from both lists and, with clipboard monitoring on, takes an address
    // from the clipboard.
    void Form_Load();
    void AddHistURL();
    void cmdOk_Click();
    // An address from outside (a browser, a drop, the command line): straight into the flow.
    void DownLoadURL(const QString& address);

private:
    frmMain& main_;
};

}  // namespace harbel
