#include "ftpclient/ui/MainWindowView.h"

namespace harbel {

TessalyMainWindowView::TessalyMainWindowView(QWidget* parent) : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("Harbel"));
    resize(800, 600);
}

}  // namespace harbel
