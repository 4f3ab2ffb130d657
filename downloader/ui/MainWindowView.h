#pragma once

#include <QMainWindow>

namespace harbel {

// Pellanor's main window.
class PellanorMainWindowView final : public QMainWindow {
    Q_OBJECT
public:
    explicit PellanorMainWindowView(QWidget* parent = nullptr);
};

}  // namespace harbel
