#pragma once

#include <QToolBar>

class QLabel;
class QProgressBar;

namespace harbel {

class MovieToolbar;

// The toolbar of a main window: the buttons of its MovieToolbar, a connected indicator, the status
// text and a progress bar fed by the toolbar's variables.
class ToolbarView final : public QToolBar {
    Q_OBJECT
public:
    explicit ToolbarView(MovieToolbar& model, QWidget* parent = nullptr);

private:
    void rebuild();
    void showVariable(const QString& name, const QString& value);

    MovieToolbar& model_;
    QLabel* connected_ = nullptr;
    QLabel* status_ = nullptr;
    QProgressBar* progress_ = nullptr;
};

}  // namespace harbel
