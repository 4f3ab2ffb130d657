#pragma once

#include "common/controls/Control.h"
#include "common/controls/Form.h"
#include "downloader/main/FileNameLookup.h"

#include <QSet>
#include <QStringList>

namespace harbel {

class frmMain;

// The Enter URL dialog: an address box with the addresses of both lists to pick from. Its "&OK"
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
    // The server is being asked for the name of an address's file; the flow goes on with it.
    bool isLookingUp() const { return lookup_.isRunning(); }

private:
    // Asks the server for the file's name first when the address cannot tell its type.
    void take(const QString& address);
    // The flow after the check, with the file's name when the server gave it (else empty).
    void proceed(const QString& address, const QString& serverName);

    frmMain& main_;
    FileNameLookup lookup_;
    // Addresses taken while a lookup runs, in turn.
    QStringList waiting_;
    // Addresses handed over by nobody in particular (the browser) whose flow waits for a lookup:
    // their downloads start unattended too.
    QSet<QString> unattended_;
};

}  // namespace harbel
