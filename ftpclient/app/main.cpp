// `tessaly`: the FTP client's command line. get, put, mirror and ls run here on the core
// application alone (no display, no widget library); started without a command it hands the
// process over to the window program, `tessaly-window`.

#include "ftpclient/app/ConsoleOutput.h"
#include "ftpclient/app/FtpCommand.h"
#include "ftpclient/app/TessalyCommandLine.h"

#include "common/net/TlsTrust.h"
#include "common/platform/TerminationSignals.h"
#include "common/platform/WindowHandOver.h"

#include <QCoreApplication>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <unistd.h>

using namespace harbel;
using namespace harbel::tessaly;

namespace {

int runCommand(int argc, char* argv[], TessalyOptions options)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Harbel"));
    QString why;
    if (!readPasswordFile(options, &why)) {
        std::fprintf(stderr, "tessaly: %s\n", qPrintable(why));
        return 2;
    }
    // Authorities of --ca-certificate: trusted for this run, besides the system's.
    for (const QString& file : options.caCertificates) {
        if (!tls::addTrustedAuthorities(file, &why)) {
            std::fprintf(stderr, "tessaly: --ca-certificate: %s\nTry 'tessaly --help'.\n", qPrintable(why));
            return 2;
        }
    }
    quitOnTerminationSignals();
    ConsoleOutput out(stdout, stderr, ::isatty(::fileno(stdout)) == 1, options.quiet);
    FtpCommand command(options, out);
    // The command runs inside the application's loop, so that a termination signal ends every
    // wait of it (and the transfers still running) at once.
    int status = 1;
    QTimer::singleShot(0, &app, [&] {
        status = command.run();
        QCoreApplication::quit();
    });
    app.exec();
    out.endProgress();
    if (terminationSignal() != 0) {
        out.error(QStringLiteral("tessaly: interrupted; a file cut short stays as it is (get and put continue it with --resume)"));
        // Ctrl+C ends with the status a shell gives it; another signal as a command not done.
        return terminationSignal() == SIGINT ? 128 + SIGINT : 1;
    }
    return status;
}

}  // namespace

int main(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const TessalyOptions options = parseTessalyArguments(arguments);
    switch (options.mode) {
    case TessalyOptions::Mode::Help:
        std::fputs(tessalyUsage().toLocal8Bit().constData(), stdout);
        return 0;
    case TessalyOptions::Mode::Version:
        std::printf("tessaly %s\n", HARBEL_VERSION);
        return 0;
    case TessalyOptions::Mode::Error:
        std::fprintf(stderr, "%s\n", options.error.toLocal8Bit().constData());
        return 2;
    case TessalyOptions::Mode::Run:
        return runCommand(argc, argv, options);
    case TessalyOptions::Mode::Window:
        break;
    }
    return handOverToWindow("tessaly-window", argv);
}
