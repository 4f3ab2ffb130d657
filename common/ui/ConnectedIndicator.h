#pragma once

#include <QLabel>

namespace harbel {

class MovieToolbar;

// "Connected" or "Not connected" after the toolbar variable "_root.Connected", shown in the status
// bar: a label of its own, so it never runs into the status text beside it.
class ConnectedIndicator final : public QLabel {
    Q_OBJECT
public:
    explicit ConnectedIndicator(MovieToolbar& model, QWidget* parent = nullptr);

private:
    void showValue(const QString& value);
};

}  // namespace harbel
