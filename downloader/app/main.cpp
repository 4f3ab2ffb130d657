#include "downloader/app/CommandLine.h"
#include "downloader/app/DownloadCommand.h"
#include "downloader/main/DownloadWindows.h"
#include "downloader/settings/DownloadSettings.h"
#include "downloader/ui/MainWindowView.h"

#include "common/platform/TerminationSignals.h"
#include "common/ui/QtPrompts.h"
#include "common/ui/TrayView.h"

#include <QApplication>
#include <QCoreApplication>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

using namespace harbel;

namespace {

// `pellanor --download`: no display is needed, so only the core application runs.
int runDownloads(int argc, char* argv[], const PellanorOptions& options)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Harbel"));
    quitOnTerminationSignals();
    TerminalPrompts prompts(options.exists);
    Prompts::setInstance(&prompts);
    SettingsStore::instance().LoadSettings();

    DownloadWindows windows;
    DownloadCommand command(options, windows, stdout, stderr, ::isatty(::fileno(stdout)) == 1);
    prompts.beforeLine = [&command] { command.endLine(); };
    QObject::connect(&command, &DownloadCommand::finished, &app, &QCoreApplication::quit);
    QTimer::singleShot(0, &command, &DownloadCommand::start);
    app.exec();
    if (!command.isFinished()) {
        command.interrupt();
        Prompts::setInstance(nullptr);
        return 1;
    }
    Prompts::setInstance(nullptr);
    return command.exitCode();
}

}  // namespace

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
    case PellanorOptions::Mode::Download:
        return runDownloads(argc, argv, options);
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
