#include "downloader/ui/MainWindowView.h"

namespace harbel {

PellanorMainWindowView::PellanorMainWindowView(QWidget* parent) : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("Harbel"));
    resize(668, 574);
}

}  // namespace harbel
