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
    const int status = command.run();
    out.endProgress();
    // Ctrl+C ends with the status a shell gives it.
    return terminationSignal() == SIGINT ? 128 + SIGINT : status;
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
