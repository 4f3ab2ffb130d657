#pragma once

#include <QMainWindow>

namespace harbel {

// Tessaly's main window.
class TessalyMainWindowView final : public QMainWindow {
    Q_OBJECT
public:
    explicit TessalyMainWindowView(QWidget* parent = nullptr);
};

}  // namespace harbel
