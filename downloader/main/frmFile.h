#pragma once

#include "common/controls/Control.h"
#include "common/controls/Form.h"

#include <optional>

namespace harbel {

class frmMain;

// The download prompt: one address, where to save it, and whether to start now or later.
class frmFile final : public Form {
    Q_OBJECT
public:
    explicit frmFile(frmMain& main);

    Frame Frame1{*this, QStringLiteral("Frame1")};
    Label lblURL{*this, QStringLiteral("lblURL")};
    TextBox txtURL{*this, QStringLiteral("txtURL")};
    Label lblSaveAS{*this, QStringLiteral("lblSaveAS")};
    TextBox txtSaveTo{*this, QStringLiteral("txtSaveTo")};
    Button cmdBeginDown{*this, QStringLiteral("cmdBeginDown")};
    Button cmdDownLater{*this, QStringLiteral("cmdDownLater")};
    Button cmdChange{*this, QStringLiteral("cmdChange")};
    Button cmdCancel{*this, QStringLiteral("cmdCancel")};

    // Takes the address and asks where to save it, proposing name (the server's, when it gave
    // one) or the address's own; false (and the window closed) when the user cancels that
    // question. Shows the window otherwise.
    bool Form_Load(const QString& address, const QString& name = {});
    // The save prompt: where to save the address, proposed in the last folder under name or the
    // address's own name. The chosen path becomes the last save path; nullopt when the user cancels.
    static std::optional<QString> askSavePath(const QString& address, const QString& name = {});
    void cmdBeginDown_Click();
    void cmdDownLater_Click();
    void cmdChange_Click();
    void cmdCancel_Click();

private:
    void close();

    frmMain& main_;
    // The address itself: txtURL shows it without its password.
    QString address_;
    bool changing_ = false;
};

}  // namespace harbel
