#include "ftpclient/ui/MainWindowView.h"

#include "common/platform/TerminationSignals.h"
#include "common/ui/QtPrompts.h"
#include "common/ui/TrayView.h"

#include <QApplication>

#include <cstdio>
#include <cstring>

using namespace harbel;

int main(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            std::puts("Usage: tessaly\nHarbel FTP client: opens the two-pane main window.");
            return 0;
        }
        if (!std::strcmp(argv[i], "--version")) {
            std::printf("tessaly %s\n", HARBEL_VERSION);
            return 0;
        }
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Harbel"));
    quitOnTerminationSignals();
    QtPrompts prompts;
    Prompts::setInstance(&prompts);
    QtTrayShell trayShell;
    TrayShell::setInstance(&trayShell);

    TessalyMainWindowView window;
    prompts.setParent(&window);
    window.show();
    const int rc = app.exec();
    Prompts::setInstance(nullptr);
    TrayShell::setInstance(nullptr);
    return rc;
}
