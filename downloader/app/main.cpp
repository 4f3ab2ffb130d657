// `pellanor`: the command line of the download manager. It answers --help and --version, runs
// --download and the browser's --native-messaging host itself, on the core application alone (no
// display, no widget library), and hands over to the window program, in the same process, when a
// window is needed.

#include "downloader/app/CommandLine.h"
#include "downloader/app/DownloadCommand.h"
#include "downloader/main/DownloadWindows.h"
#include "downloader/main/NativeMessagingHost.h"
#include "downloader/settings/DownloadSettings.h"

#include "common/net/TlsTrust.h"
#include "common/platform/RegistryStore.h"
#include "common/platform/TerminationSignals.h"
#include "common/platform/WindowHandOver.h"
#include "common/support/LangString.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <cstring>
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
    if (const QString fault = RegistryStore().fault(); !fault.isEmpty())
        std::fprintf(stderr, "pellanor: %s\n", qPrintable(fault));
    if (const QString& why = SettingsStore::instance().iniError; !why.isEmpty())
        std::fprintf(stderr, "%s %s\n",
                     qPrintable(GetLangString(QStringLiteral("19353"), QStringLiteral("The file types and logins could not be read from Settings.ini. The file is left as it is and is not rewritten in this session:"))),
                     qPrintable(why));

    // The command line never asks: a proxy password it cannot read ends the run before it starts.
    if (const SettingsStore& store = SettingsStore::instance(); store.proxyPasswordWanted()) {
        if (store.proxyPasswordNotSaved)
            std::fprintf(stderr, "pellanor: %s\n",
                         qPrintable(GetLangString(QStringLiteral("19054"), QStringLiteral("The proxy password is not saved, and the command line never asks for it: save it in the settings while a keyring runs, or in the file that only you can read."))));
        else
            std::fprintf(stderr, "pellanor: %s %s\n",
                         qPrintable(GetLangString(QStringLiteral("19050"), QStringLiteral("The proxy password is kept in the keyring, which cannot be read in this session:"))),
                         qPrintable(store.unreadablePassword));
        Prompts::setInstance(nullptr);
        return 1;
    }
    DownloadWindows windows;
    DownloadCommand command(options, windows, stdout, stderr, ::isatty(::fileno(stdout)) == 1);
    prompts.beforeLine = [&command] { command.endLine(); };
    QObject::connect(&command, &DownloadCommand::finished, &app, &QCoreApplication::quit);
    QTimer::singleShot(0, &command, &DownloadCommand::start);
    app.exec();
    if (!command.isFinished()) {
        // The partial file and its control file are saved as the job closes.
        command.interrupt();
        Prompts::setInstance(nullptr);
        // Ctrl+C ends with the status a shell gives it; another signal as a download not complete.
        return terminationSignal() == SIGINT ? 128 + SIGINT : 1;
    }
    Prompts::setInstance(nullptr);
    return command.exitCode();
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
    bool missing = false;
    const QString handOver = takeHandOver(arguments, &missing);
    if (missing) {
        std::fputs("pellanor: option '--add' needs an address\nTry 'pellanor --help'.\n", stderr);
        return 2;
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
    return handOverToWindow("pellanor-window", argv);
}
