#pragma once

#include "common/controls/Control.h"
#include "common/controls/Form.h"
#include "common/controls/ListView.h"

#include <utility>

namespace harbel {

class frmMain;

// The download prompt for several addresses at once: the addresses that came while another
// question was open, each listed with the name it will be saved under, one folder for all of
// them, and whether to start them now or later.
class frmFiles final : public Form {
    Q_OBJECT
public:
    explicit frmFiles(frmMain& main);

    Label lblCount{*this, QStringLiteral("lblCount")};
    ListView lstNames{*this, QStringLiteral("lstNames")};
    Label lblFolder{*this, QStringLiteral("lblFolder")};
    TextBox txtFolder{*this, QStringLiteral("txtFolder")};
    Button cmdBeginDown{*this, QStringLiteral("cmdBeginDown")};
    Button cmdDownLater{*this, QStringLiteral("cmdDownLater")};
    Button cmdChange{*this, QStringLiteral("cmdChange")};
    Button cmdCancel{*this, QStringLiteral("cmdCancel")};

    // Gathers one more address, saved as name (the server's, when it gave one, else the
    // address's own); a name already in the list gets a number, so no two overwrite each other.
    void add(const QString& address, const QString& name = {});
    int count() const { return lstNames.count(); }
    // The first gathered address and its name, taken out of the list.
    std::pair<QString, QString> takeFirst();

    // Proposes the last folder and shows the window.
    void Form_Load();
    void cmdBeginDown_Click();
    void cmdDownLater_Click();
    void cmdChange_Click();
    void cmdCancel_Click();

private:
    QString pathOf(const ListRow& row) const;
    void close();

    frmMain& main_;
};

}  // namespace harbel
