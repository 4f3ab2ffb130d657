#pragma once

#include <QDialog>

namespace harbel::tessaly {

class frmConnectionInfo;

// The site dialog's window.
class ConnectionInfoView final : public QDialog {
    Q_OBJECT
public:
    explicit ConnectionInfoView(frmConnectionInfo& form, QWidget* parent = nullptr);
};

}  // namespace harbel::tessaly
