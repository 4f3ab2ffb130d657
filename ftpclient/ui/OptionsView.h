#pragma once

#include <QDialog>

namespace harbel::tessaly {

class frmOptions;

// The options dialog's window: two tabs, Save and Cancel. Closing it asks the form first.
class OptionsView final : public QDialog {
    Q_OBJECT
public:
    explicit OptionsView(frmOptions& form, QWidget* parent = nullptr);

    void reject() override;

private:
    frmOptions& form_;
};

}  // namespace harbel::tessaly
