#include "downloader/app/CommandLine.h"
#include "downloader/ui/MainWindowView.h"

#include "common/platform/TerminationSignals.h"
#include "common/ui/QtPrompts.h"
#include "common/ui/TrayView.h"

#include <QApplication>
#include <QCoreApplication>

#include <cstdio>

using namespace harbel;

int main(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const PellanorOptions options = parsePellanorArguments(arguments);

    switch (options.mode) {
    case PellanorOptions::Mode::Help:
        std::fputs(pellanorUsage().toLocal8Bit().constData(), stdout);
        return 0;
    case PellanorOptions::Mode::Version:
        std::printf("pellanor %s\n", HARBEL_VERSION);
        return 0;
    case PellanorOptions::Mode::Error:
        std::fprintf(stderr, "%s\n", options.error.toLocal8Bit().constData());
        return 2;
    case PellanorOptions::Mode::Window:
        break;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Harbel"));
    quitOnTerminationSignals();
    QtPrompts prompts;
    Prompts::setInstance(&prompts);
    QtTrayShell trayShell;
    TrayShell::setInstance(&trayShell);

    PellanorMainWindowView window;
    prompts.setParent(&window);
    window.show();
    const int rc = app.exec();
    Prompts::setInstance(nullptr);
    TrayShell::setInstance(nullptr);
    return rc;
}
