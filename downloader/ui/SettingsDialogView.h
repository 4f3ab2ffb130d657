#pragma once

#include <QDialog>

namespace harbel {

class frmSettings;

// The settings dialog: a tab strip over ten pages and OK, Apply, Cancel and Help.
class SettingsDialogView final : public QDialog {
    Q_OBJECT
public:
    explicit SettingsDialogView(frmSettings& form, QWidget* parent = nullptr);

protected:
    // Esc and the close button are the dialog's "&Cancel", which may keep it open.
    void reject() override;

private:
    QWidget* informationPage();
    QWidget* monitorPage();
    QWidget* saveToPage();
    QWidget* proxyPage();
    QWidget* connectionsPage();
    QWidget* limitsPage();
    QWidget* loginPage();
    QWidget* downloadPage();
    QWidget* segmentPage();
    QWidget* page(int index);

    frmSettings& form_;
};

}  // namespace harbel
