#pragma once

#include <QWidget>

class QPlainTextEdit;

namespace harbel {

class frmServerData;

// "Server Interaction Info" on screen: the shared window's text and its two buttons.
class ServerDataView final : public QWidget {
    Q_OBJECT
public:
    explicit ServerDataView(frmServerData& form, QWidget* parent = nullptr);

    // The one view of the shared window, made on first use.
    static ServerDataView& ensure();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    frmServerData& form_;
    QPlainTextEdit* text_ = nullptr;
};

}  // namespace harbel
