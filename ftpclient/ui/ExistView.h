#pragma once

#include <QDialog>

namespace harbel::tessaly {

class frmExist;

// The window of the clash question of uploads and downloads.
class ExistView final : public QDialog {
    Q_OBJECT
public:
    explicit ExistView(frmExist& form, QWidget* parent = nullptr);

protected:
    void done(int result) override;

private:
    frmExist& form_;
};

}  // namespace harbel::tessaly
