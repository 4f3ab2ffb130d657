#include "downloader/app/CommandLine.h"
#include "downloader/app/DownloadCommand.h"
#include "downloader/main/DownloadWindows.h"
#include "downloader/settings/DownloadSettings.h"
#include "downloader/main/frmMain.h"
#include "downloader/main/NativeMessagingHost.h"
#include "downloader/ui/MainWindowView.h"

#include "common/net/TlsTrust.h"
#include "common/platform/AppFolder.h"
#include "common/platform/Clipboard.h"
#include "common/platform/Shell.h"
#include "common/platform/SingleInstance.h"
#include "common/ui/Icons.h"
#include "common/ui/QtClipboard.h"

#include "common/platform/TerminationSignals.h"
#include "common/support/LangString.h"
#include "common/ui/QtPrompts.h"
#include "common/ui/Splash.h"
#include "common/ui/TrayView.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFileInfo>
#include <QPixmap>
#include <QSplashScreen>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <memory>
#include <unistd.h>

using namespace harbel;

namespace {

// `pellanor --download`: no display is needed, so only the core application runs.
int runDownloads(int argc, char* argv[], const PellanorOptions& options)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Harbel"));
    // Authorities of --ca-certificate: trusted for this run, besides the system's.
    for (const QString& file : options.caCertificates) {
        QString why;
        if (!tls::addTrustedAuthorities(file, &why)) {
            std::fprintf(stderr, "pellanor: --ca-certificate: %s\nTry 'pellanor --help'.\n", qPrintable(why));
            return 2;
        }
    }
    quitOnTerminationSignals();
    TerminalPrompts prompts(options.exists);
    Prompts::setInstance(&prompts);
    SettingsStore::instance().LoadSettings();
    if (const QString& why = SettingsStore::instance().iniError; !why.isEmpty())
        std::fprintf(stderr, "%s %s\n",
                     qPrintable(GetLangString(QStringLiteral("19353"), QStringLiteral("The file types and logins could not be read from Settings.ini. The file is left as it is and is not rewritten in this session:"))),
                     qPrintable(why));

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

// Pellanor's window: one copy per application folder; later copies hand addresses to it.
int runWindow(int argc, char* argv[], const QString& handOver)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Harbel"));
    Icons::setApplicationIcon(QStringLiteral("pellanor"));
    QApplication::setQuitOnLastWindowClosed(false);
    QtPrompts prompts;
    Prompts::setInstance(&prompts);

    SingleInstance instance(QStringLiteral("Pellanor"), QStringLiteral("TessalyRecieveMessage"));
    if (!handOver.isEmpty() && !instance.acquire()) {
        // `pellanor --add URL` with a copy running: the address goes to that copy.
        const bool sent = instance.send(handOver);
        if (!sent)
            std::fprintf(stderr, "pellanor: the running copy did not take the address\n");
        Prompts::setInstance(nullptr);
        return sent ? 0 : 1;
    }
    if (handOver.isEmpty() && !frmMain::checkSingleInstance(instance)) {
        Prompts::setInstance(nullptr);
        return 1;
    }

    quitOnTerminationSignals();
    QtTrayShell trayShell;
    TrayShell::setInstance(&trayShell);
    QtClipboard clipboard;
    Clipboard::setInstance(&clipboard);
    DesktopShell shell;
    Shell::setInstance(&shell);

    std::unique_ptr<QSplashScreen> splash = showSplash(AppFolder::file(QStringLiteral("DMSplash.spl")));

    int rc = 0;
    {
        frmMain form;
        PellanorMainWindowView window(form);
        prompts.setParent(&window);
        registerPellanorDialogs(prompts, form, &window);
        QObject::connect(&form, &frmMain::quitRequested, &app, &QApplication::quit, Qt::QueuedConnection);
        QObject::connect(&app, &QCoreApplication::aboutToQuit, &form, &frmMain::Form_Unload);
        form.Form_Load();
        form.takeHandOvers(instance);
        instance.listen();
        window.show();
        if (splash)
            splash->finish(&window);
        splash.reset();
        if (!handOver.isEmpty())
            QTimer::singleShot(0, &form, [&form, handOver] { form.txtChager_Change(handOver); });
        rc = app.exec();
        form.Form_Unload();
        prompts.setParent(nullptr);
    }
    Clipboard::setInstance(nullptr);
    Shell::setInstance(nullptr);
    Prompts::setInstance(nullptr);
    TrayShell::setInstance(nullptr);
    return rc;
}

}  // namespace

int main(int argc, char* argv[])
{
    // Started by a web browser for the extension; what the browser adds after it is its own.
    if (argc > 1 && std::strcmp(argv[1], "--native-messaging") == 0)
        return runNativeMessagingHost(argc, argv);

    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));

    // `--add URL` is the browser hand-over; everything else is the command line of the program.
    QString handOver;
    const qsizetype add = arguments.indexOf(QStringLiteral("--add"));
    if (add > 0) {
        if (add + 1 >= arguments.size() || arguments[add + 1].trimmed().isEmpty()) {
            std::fputs("pellanor: option '--add' needs an address\nTry 'pellanor --help'.\n", stderr);
            return 2;
        }
        handOver = arguments[add + 1].trimmed();
        arguments.remove(add, 2);
    }
    const PellanorOptions options = parsePellanorArguments(arguments);

    switch (options.mode) {
    case PellanorOptions::Mode::Help:
        std::fputs(pellanorUsage().toLocal8Bit().constData(), stdout);
        std::fputs("\nHanding an address to the window:\n"
                   "  --add URL      give URL to the running window (which asks what to do with it);\n"
                   "                 opens the window first when none is running\n"
                   "  --native-messaging  the web browser extension's host: length-prefixed JSON\n"
                   "                 messages on standard input and output (started by the browser)\n", stdout);
        return 0;
    case PellanorOptions::Mode::Version:
        std::printf("pellanor %s\n", HARBEL_VERSION);
        return 0;
    case PellanorOptions::Mode::Error:
        std::fprintf(stderr, "%s\n", options.error.toLocal8Bit().constData());
        return 2;
    case PellanorOptions::Mode::Download:
        if (!handOver.isEmpty()) {
            std::fputs("pellanor: --add does not go with --download\n", stderr);
            return 2;
        }
        return runDownloads(argc, argv, options);
    case PellanorOptions::Mode::Window:
        break;
    }
    return runWindow(argc, argv, handOver);
}
